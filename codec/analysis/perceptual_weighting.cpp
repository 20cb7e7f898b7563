// Formant weighting: the W(z) coefficients of each subframe and the filter over the frame.
#include "codec/analysis/perceptual_weighting.h"

#include <array>

#include "codec/tables/weighting_tables.h"

namespace sivo {

void weighting_coefficients(std::span<weighting_set, kSubframes> sets_out,
                            std::span<const lpc_set, kSubframes> coefficients) noexcept {
  for (int sub = 0; sub < kSubframes; ++sub) {
    for (int j = 0; j < kOrder; ++j) {
      const double a = coefficients[sub][j];
      sets_out[sub].zero[j] = static_cast<float>(a * weighting_zero_powers[j]);
      sets_out[sub].pole[j] = static_cast<float>(a * weighting_pole_powers[j]);
    }
  }
}

void weighting_filter(const float* speech, float* weighted_out,
                      std::span<const weighting_set, kSubframes> sets,
                      encoder_state& state) noexcept {
  // Output line: ten past outputs in time order, then the frame.
  std::array<float, kFilterLine> line{};
  for (int i = 0; i < kOrder; ++i) line[kOrder - 1 - i] = state.weighting_memory[i];
  float* y = line.data() + kOrder;

  // The newest output rides along in a register, so that it does not wait
  // on a store and a reload before it feeds the next sample, and the pole
  // sum starts from its first product rather than from 0.0 + product (an
  // addition fewer on the chain; it differs only as -0 for +0, and then
  // meets an addend made +0 off the chain, with the same result).
  double newest = y[-1];
  for (int sub = 0; sub < kSubframes; ++sub) {
    const weighting_set& set = sets[sub];
    double zero[kOrder], pole[kOrder];
    for (int j = 0; j < kOrder; ++j) {
      zero[j] = set.zero[j];
      pole[j] = set.pole[j];
    }
    for (int k = 0; k < kSubframe; ++k) {
      const int n = sub * kSubframe + k;
      double zeros = 0.0;
#pragma GCC unroll 10
      for (int j = 1; j <= kOrder; ++j) zeros += zero[j - 1] * speech[n - j];
      double poles = pole[0] * newest;
#pragma GCC unroll 9
      for (int j = 2; j <= kOrder; ++j) poles += pole[j - 1] * y[n - j];
      const auto out = static_cast<float>(((speech[n] - zeros) + 0.0) + poles);
      y[n] = out;
      newest = out;
    }
  }

  for (int n = 0; n < kFrame; ++n) weighted_out[n] = y[n];
  for (int i = 0; i < kOrder; ++i) state.weighting_memory[i] = y[kFrame - 1 - i];
}

}  // namespace sivo
