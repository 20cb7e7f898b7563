// Rounding and saturation of the decoded signal to 16-bit samples.
#include "codec/synthesis/pcm_output.h"

#include <algorithm>
#include <cmath>

#include "codec/vector_lanes.h"

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

// Four samples at a time where none is a NaN: the same rounding and limits
// as to_pcm16, selected lane by lane.
SIVO_LANE_CLONES
void convert_lanes(const float* in, int count, int16_t* out) noexcept {
  int i = 0;
  for (; i + 4 <= count; i += 4) {
    const float4 x = load_float4(in + i);
    const int4 nan = x != x;
    if (nan[0] | nan[1] | nan[2] | nan[3]) {
      for (int k = 0; k < 4; ++k) out[i + k] = to_pcm16(in[i + k]);
      continue;
    }
    const double4 d = __builtin_convertvector(x, double4);
    const double4 biased = d + (d < 0.0 ? SIVO_SPLAT(-0.5) : SIVO_SPLAT(0.5));
    const double4 low = biased < -32768.0 ? SIVO_SPLAT(-32768.0) : biased;
    const double4 limited = low > 32767.0 ? SIVO_SPLAT(32767.0) : low;
    for (int k = 0; k < 4; ++k) out[i + k] = static_cast<int16_t>(limited[k]);
  }
  for (; i < count; ++i) out[i] = to_pcm16(in[i]);
}

}  // namespace

void float_to_pcm16(const float* in, int count, int16_t* out) noexcept {
  convert_lanes(in, count, out);
}

}  // namespace sivo
