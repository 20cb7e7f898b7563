// Lane kernel of the window autocorrelation: the twelve lags side by side.
#include "codec/analysis/lpc_analysis.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

static_assert(kWindowLags == 12, "three quads of lags");

// window_correlations with lane k of quad q holding lag 4q + 3 - k; lags
// that have not started yet (n < j) skip their terms. The lane width is
// four throughout; W only names the instruction set it is built for.
template <int W>
SIVO_LANE_INLINE void correlate_window(std::span<double, kWindowLags> sums,
                                       const float* w) noexcept {
  double4 s0 = SIVO_SPLAT(0.0), s1 = s0, s2 = s0;
  const double4 lane = {3.0, 2.0, 1.0, 0.0};
  for (int n = 0; n < kWindowLags; ++n) {
    const double4 wn = SIVO_SPLAT(w[n]);
    const double4 reach = SIVO_SPLAT(n);  // lags j <= n take the term
    s0 = reach >= lane ? s0 + wn * SIVO_LOAD_WIDENED(w + n - 3) : s0;
    s1 = reach >= lane + 4.0 ? s1 + wn * SIVO_LOAD_WIDENED(w + n - 7) : s1;
    s2 = reach >= lane + 8.0 ? s2 + wn * SIVO_LOAD_WIDENED(w + n - 11) : s2;
  }
  for (int n = kWindowLags; n < kWindowLength; ++n) {
    const double4 wn = SIVO_SPLAT(w[n]);
    s0 += wn * SIVO_LOAD_WIDENED(w + n - 3);
    s1 += wn * SIVO_LOAD_WIDENED(w + n - 7);
    s2 += wn * SIVO_LOAD_WIDENED(w + n - 11);
  }
  for (int k = 0; k < 4; ++k) {
    sums[3 - k] = s0[k];
    sums[7 - k] = s1[k];
    sums[11 - k] = s2[k];
  }
}

}  // namespace

SIVO_LANE_ENTRIES(window_correlations, correlate_window,
                  (std::span<double, kWindowLags> sums, const float* w), (sums, w))

}  // namespace sivo
