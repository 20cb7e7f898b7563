// Harmonic noise shaping: lag and gain per subframe, and the comb filter.
#pragma once

#include <cstdint>

#include "codec/codec_types.h"

namespace sivo {

// x: the subframe's weighted speech y[60i] with at least 145 samples of
// history before it; lag: the half frame's open-loop lag (before the
// adaptive codebook rewrites it). Reads x[-lag-3 .. 59].
shaping_params noise_shaping_estimate(const float* x, int32_t lag) noexcept;

// destination[offset+n] = y[offset+n] - gain*y[offset+n-lag], n = 0..59,
// with y = buffer + 145 (buffer: weighted speech line at slot start - 145).
void noise_shaping_filter(float* destination, const float* buffer, int offset,
                          shaping_params shaping) noexcept;

}  // namespace sivo
