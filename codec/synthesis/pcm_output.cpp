// Rounding and saturation of the decoded signal to 16-bit samples.
#include "codec/synthesis/pcm_output.h"

#include <algorithm>
#include <cmath>

namespace sivo {
namespace {

// Decided on the value and its sign bit, so that infinities and NaNs of
// either sign saturate towards their sign. The half is added in double, so
// the largest float below 0.5 still rounds to 0.
int16_t to_pcm16(float x) noexcept {
  const bool negative = std::signbit(x);
  if (std::isnan(x)) return negative ? -32768 : 32767;
  // Half away from zero (a negative zero gives 0 either way), then limited:
  // beyond -32767.5 or 32766.5 the biased value passes the 16-bit range.
  // Selected rather than branched on, as the sign of speech is random.
  const double biased = negative ? double(x) - 0.5 : double(x) + 0.5;
  return static_cast<int16_t>(std::min(std::max(biased, -32768.0), 32767.0));
}

}  // namespace

void float_to_pcm16(const float* in, int count, int16_t* out) noexcept {
  for (int i = 0; i < count; ++i) out[i] = to_pcm16(in[i]);
}

}  // namespace sivo
