// Rounding and saturation of the decoded signal to 16-bit samples.
#include "codec/synthesis/pcm_output.h"

#include <algorithm>

#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

SIVO_LANE_CLONES
void convert_lanes(const float* in, int count, int16_t* out) noexcept {
  int i = 0;
  for (; i + 4 <= count; i += 4) pcm16_quad(in + i, out + i);
  for (; i < count; ++i) out[i] = pcm16_sample(in[i]);
}

}  // namespace

void float_to_pcm16(const float* in, int count, int16_t* out) noexcept {
  convert_lanes(in, count, out);
}

}  // namespace sivo
