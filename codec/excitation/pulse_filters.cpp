// Pitch repetition, backward correlation and the zero-state filter used to
// remove a pulse vector's filtered contribution from a target.
#include "codec/excitation/pulse_filters.h"

#include <array>

#include "codec/kernels/kernel_table.h"

namespace sivo {

void repeat_pitch_train(std::span<float, kSubframe> dst, std::span<const float, kSubframe> src,
                        int lag) noexcept {
  // The copies always add the unrepeated source, so the source is kept aside
  // before dst (which may be src) is written.
  std::array<float, kSubframe> source;
  for (int i = 0; i < kSubframe; ++i) source[i] = src[i];
  for (int i = 0; i < kSubframe; ++i) dst[i] = source[i];
  // A lag below one sample would never leave the subframe; treat it as no
  // repetition rather than looping forever.
  if (lag < 1) return;
  for (int a = lag; a < kSubframe; a += lag)
    for (int i = 0; i + a < kSubframe; ++i) dst[a + i] += source[i];
}

void backward_correlate(std::span<const float, kSubframe> x, std::span<const float, kSubframe> h,
                        std::span<float, kSubframe> out) noexcept {
  for (int i = 0; i < kSubframe; ++i) {
    double sum = 0.0;
    for (int j = i; j < kSubframe; ++j) sum += static_cast<double>(x[j]) * h[j - i];
    out[i] = static_cast<float>(sum);
  }
}

void causal_convolution(std::span<double, kSubframe> out, const float* a,
                        const float* b) noexcept {
  for (int n = 0; n < kSubframe; ++n) {
    double sum = 0.0;
    for (int m = 0; m <= n; ++m) sum += static_cast<double>(a[m]) * b[n - m];
    out[n] = sum;
  }
}

void subtract_filtered_excitation(std::span<float, kSubframe> target,
                                  std::span<const float, kSubframe> excitation,
                                  std::span<const float, kSubframe> h) noexcept {
  std::array<double, kSubframe> filtered;
  kernels().causal_convolution(filtered, excitation.data(), h.data());
  for (int n = 0; n < kSubframe; ++n) target[n] = static_cast<float>(target[n] - filtered[n]);
}

}  // namespace sivo
