// The excitation-error tracker that bounds the adaptive-codebook gain.
#pragma once

#include <cstdint>

#include "codec/state.h"

namespace sivo {

// olp: the half frame's lag after the adaptive-codebook search; acb_lag and
// acb_gain: the subframe's choice. Shifts and updates state.taming_errors.
void update_taming(int32_t olp, int32_t acb_lag, int32_t acb_gain,
                   encoder_state& state) noexcept;

}  // namespace sivo
