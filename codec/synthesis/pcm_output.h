// Rounding and saturation of the decoded signal to 16-bit samples.
#pragma once

#include <cstdint>

namespace sivo {

void float_to_pcm16(const float* in, int count, int16_t* out) noexcept;

}  // namespace sivo
