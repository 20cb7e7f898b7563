// Lane kernel of the formant weighting filter: each subframe's zero section
// in lanes, its pole section run ahead of its rounding (recursion_lanes.h),
// and the whole frame again in the plain form if the check finds a sample
// that may round otherwise.
#include <array>

#include "codec/analysis/perceptual_weighting.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/recursion_lanes.h"

namespace sivo {
namespace {

// zeros[n] = sum of zero[j - 1] speech[n - j], j = 1..10, n = 0..59, in
// lanes (in another order than the plain form's: part of the fast sum).
template <int W>
SIVO_LANE_INLINE void zero_section(double* zeros, const double* zero,
                                   const float* speech) noexcept {
  using doubles = typename lane_group<W>::doubles;
  int n = 0;
  for (; n + W <= kSubframe; n += W) {
    doubles sum{};
    for (int j = 1; j <= kOrder; ++j) {
      sum += SIVO_SPLAT_AS(doubles, zero[j - 1]) * SIVO_LOAD_WIDENED_LANES(W, speech + n - j);
    }
    SIVO_STORE_AS(zeros + n, sum);
  }
  for (; n < kSubframe; ++n) {
    double sum = 0.0;
    for (int j = 1; j <= kOrder; ++j) sum += zero[j - 1] * speech[n - j];
    zeros[n] = sum;
  }
}

// weighting_filter with each subframe's poles run ahead. The two-lane form
// is the plain one: with two-lane groups, carrying the older products ahead
// costs more shuffles than it saves.
template <int W>
SIVO_LANE_INLINE void weighting_filter_ahead(const float* speech, float* weighted_out,
                                             std::span<const weighting_set, kSubframes> sets,
                                             encoder_state& state) noexcept {
  if constexpr (W == 2) {
    weighting_filter(speech, weighted_out, sets, state);
    return;
  }
  std::array<float, kFilterLine> line;
  for (int i = 0; i < kOrder; ++i) line[kOrder - 1 - i] = state.weighting_memory[i];
  for (int sub = 0; sub < kSubframes; ++sub) {
    const weighting_set& set = sets[sub];
    const float* const x = speech + kSubframe * sub;
    float* const y = line.data() + kOrder + kSubframe * sub;
    double zero[kOrder], pole[kOrder];
    for (int j = 0; j < kOrder; ++j) {
      zero[j] = set.zero[j];
      pole[j] = set.pole[j];
    }
    double zeros[kSubframe];
    zero_section<W>(zeros, zero, x);
    older_products<W> older;
    start_older_products(older, pole);
    double b[3];  // older products' sums of samples n, n + 1, n + 2
    for (int k = 0; k < kOrder; ++k) {
      const double sum = add_older_products(older, y[k - kOrder]);
      if (k >= kOrder - 3) b[k - (kOrder - 3)] = sum;
    }
    double y0 = y[-1], y1 = y[-2];
    double d[kSubframe];
    for (int n = 0; n < kSubframe; ++n) {
      // Never -0: x - zeros may be, but b[0], from lanes that start from
      // +0, is not.
      d[n] = (((double(x[n]) - zeros[n]) + b[0]) + pole[1] * y1) + pole[0] * y0;
      const auto out = static_cast<float>(d[n]);
      y[n] = out;
      y1 = y0;
      y0 = out;
      b[0] = b[1];
      b[1] = b[2];
      b[2] = add_older_products(older, y0);
    }
    const double bound =
        largest_magnitude<W>(x - kOrder, kOrder + kSubframe, 0.0) * (1.0 + magnitude_sum(zero)) +
        magnitude_sum(pole) * largest_magnitude<W>(y - kOrder, kOrder + kSubframe, 0.0);
    if (!fast_sums_hold<W>(d, kFastSumSlack * bound)) {
      weighting_filter(speech, weighted_out, sets, state);
      return;
    }
  }
  for (int n = 0; n < kFrame; ++n) weighted_out[n] = line[kOrder + n];
  for (int i = 0; i < kOrder; ++i) state.weighting_memory[i] = line[kFilterLine - 1 - i];
}

}  // namespace

SIVO_LANE_ENTRIES(weighting_filter, weighting_filter_ahead,
                  (const float* speech, float* weighted_out,
                   std::span<const weighting_set, kSubframes> sets, encoder_state& state),
                  (speech, weighted_out, sets, state))

}  // namespace sivo
