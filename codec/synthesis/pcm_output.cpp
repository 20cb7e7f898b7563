// Rounding and saturation of the decoded signal to 16-bit samples.
#include "codec/synthesis/pcm_output.h"

namespace sivo {

void float_to_pcm16(const float* in, int count, int16_t* out) noexcept {
  for (int i = 0; i < count; ++i) out[i] = pcm16_sample(in[i]);
}

}  // namespace sivo
