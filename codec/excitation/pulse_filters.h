// Small filters shared by the pulse codebook search and its decoder.
#pragma once

#include <span>

#include "codec/codec_types.h"

namespace sivo {

// dst = src plus src delayed by lag, 2 lag, ... within 60 samples; dst and
// src may be the same buffer.
void repeat_pitch_train(std::span<float, kSubframe> dst,
                        std::span<const float, kSubframe> src, int lag) noexcept;

// out[i] = sum over j = i..59 of x[j] h[j-i], in double in increasing j,
// rounded to float. The reference form of the backward correlation kernel.
void backward_correlate(std::span<const float, kSubframe> x,
                        std::span<const float, kSubframe> h,
                        std::span<float, kSubframe> out) noexcept;

// out[n] = sum over m = 0..n of a[m] b[n-m], n = 0..59: each a double sum
// in increasing m, not rounded. Reads a[0..59] and b[0..59]. The reference
// form of the convolution kernel.
void causal_convolution(std::span<double, kSubframe> out, const float* a,
                        const float* b) noexcept;

// target[n] -= sum over m = 0..n of excitation[m] h[n-m].
void subtract_filtered_excitation(std::span<float, kSubframe> target,
                                  std::span<const float, kSubframe> excitation,
                                  std::span<const float, kSubframe> h) noexcept;

}  // namespace sivo
