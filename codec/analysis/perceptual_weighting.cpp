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

  for (int sub = 0; sub < kSubframes; ++sub) {
    const weighting_set& set = sets[sub];
    for (int k = 0; k < kSubframe; ++k) {
      const int n = sub * kSubframe + k;
      double zeros = 0.0;
      for (int j = 1; j <= kOrder; ++j) zeros += static_cast<double>(set.zero[j - 1]) * speech[n - j];
      double poles = 0.0;
      for (int j = 1; j <= kOrder; ++j) poles += static_cast<double>(set.pole[j - 1]) * y[n - j];
      y[n] = static_cast<float>((speech[n] - zeros) + poles);
    }
  }

  for (int n = 0; n < kFrame; ++n) weighted_out[n] = y[n];
  for (int i = 0; i < kOrder; ++i) state.weighting_memory[i] = y[kFrame - 1 - i];
}

}  // namespace sivo
