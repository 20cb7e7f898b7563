// The encoder's per-frame pipeline.
#pragma once

#include <cstdint>

#include "codec/state.h"

namespace sivo {

// Codes 240 samples into one frame of state.comp_rate. Always returns 0.
int32_t encode_frame(encoder_state& state, const int16_t* samples,
                     uint8_t* frame_bytes, int32_t& frame_type,
                     int32_t& byte_count) noexcept;

}  // namespace sivo
