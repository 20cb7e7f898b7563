// Four samples at a time to 16 bits, for the lane kernels that end in output.
#pragma once

#include <cstdint>

#include "codec/kernels/vector_lanes.h"
#include "codec/synthesis/pcm_output.h"

namespace sivo {

// pcm16_sample of four samples, side by side where none is a NaN.
SIVO_LANE_INLINE void pcm16_quad(const float* in, int16_t* out) noexcept {
  const float4 x = load_float4(in);
  const int4 nan = x != x;
  if (nan[0] | nan[1] | nan[2] | nan[3]) {
    for (int k = 0; k < 4; ++k) out[k] = pcm16_sample(in[k]);
    return;
  }
  const double4 d = __builtin_convertvector(x, double4);
  const double4 biased = d + (d < 0.0 ? SIVO_SPLAT(-0.5) : SIVO_SPLAT(0.5));
  const double4 low = biased < -32768.0 ? SIVO_SPLAT(-32768.0) : biased;
  const double4 limited = low > 32767.0 ? SIVO_SPLAT(32767.0) : low;
  // Each lane is within 16 bits: truncated to int as the plain form's
  // conversion does, then narrowed exactly.
  typedef int16_t int16x4 __attribute__((vector_size(8)));
  const int16x4 whole = __builtin_convertvector(__builtin_convertvector(limited, int4), int16x4);
  __builtin_memcpy(out, &whole, sizeof whole);
}

}  // namespace sivo
