// Formant weighting filter W(z) = A(z/0.9) / A(z/0.5).
#pragma once

#include <span>

#include "codec/state.h"

namespace sivo {

// Builds the four subframes' weighting sets from the unquantised predictors.
void weighting_coefficients(std::span<weighting_set, kSubframes> sets_out,
                            std::span<const lpc_set, kSubframes> coefficients) noexcept;

// speech: first sample of the coded frame in speech_buffer; reads
// speech[-10..239]. Writes weighted_out[0..239]; updates
// state.weighting_memory (newest first).
void weighting_filter(const float* speech, float* weighted_out,
                      std::span<const weighting_set, kSubframes> sets,
                      encoder_state& state) noexcept;

}  // namespace sivo
