// Lane kernel of the 16-bit output: four samples at a time.
#include "codec/kernels/pcm_output_lanes.h"

#include "codec/kernels/lane_kernels.h"

namespace sivo {
namespace {

// float_to_pcm16 by quads; the lane width does not matter here.
template <int W>
SIVO_LANE_INLINE void convert_quads(const float* in, int count, int16_t* out) noexcept {
  int i = 0;
  for (; i + 4 <= count; i += 4) pcm16_quad(in + i, out + i);
  for (; i < count; ++i) out[i] = pcm16_sample(in[i]);
}

}  // namespace

SIVO_LANE_ENTRIES(float_to_pcm16, convert_quads, (const float* in, int count, int16_t* out),
                  (in, count, out))

}  // namespace sivo
