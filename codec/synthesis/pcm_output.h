// Rounding and saturation of the decoded signal to 16-bit samples.
#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>

namespace sivo {

// One sample, rounded half away from zero and saturated. Decided on the
// value and its sign bit, so that infinities and NaNs of either sign
// saturate towards their sign. The half is added in double, so the largest
// float below 0.5 still rounds to 0.
inline int16_t pcm16_sample(float x) noexcept {
  const bool negative = std::signbit(x);
  if (std::isnan(x)) return negative ? -32768 : 32767;
  // Beyond -32767.5 or 32766.5 the biased value passes the 16-bit range.
  // Selected rather than branched on, as the sign of speech is random.
  const double biased = negative ? double(x) - 0.5 : double(x) + 0.5;
  return static_cast<int16_t>(std::min(std::max(biased, -32768.0), 32767.0));
}

// out[i] = pcm16_sample(in[i]), i < count.
void float_to_pcm16(const float* in, int count, int16_t* out) noexcept;

}  // namespace sivo
