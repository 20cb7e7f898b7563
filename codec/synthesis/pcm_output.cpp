// Rounding and saturation of the decoded signal to 16-bit samples.
#include "codec/synthesis/pcm_output.h"

#include <cmath>

namespace sivo {
namespace {

// Decided on the value and its sign bit, so that infinities and NaNs of
// either sign saturate towards their sign. The half is added in double, so
// the largest float below 0.5 still rounds to 0.
int16_t to_pcm16(float x) noexcept {
  const bool negative = std::signbit(x);
  if (negative && (std::isnan(x) || x < -32767.5f)) return -32768;
  if (!negative && (std::isnan(x) || x > 32766.5f)) return 32767;
  if (negative && x != 0.0f) return static_cast<int16_t>(double(x) - 0.5);
  return static_cast<int16_t>(double(x) + 0.5);
}

}  // namespace

void float_to_pcm16(const float* in, int count, int16_t* out) noexcept {
  for (int i = 0; i < count; ++i) out[i] = to_pcm16(in[i]);
}

}  // namespace sivo
