// Lane kernel of the open-loop pitch correlations: 32 lags per pass over the half frame.
#include <array>

#include "codec/codec_types.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

constexpr int kMinLag = 18;
constexpr int kBlock = 32;  // lags per pass over x
static_assert(kOpenLoopCorrelations % kBlock == 0);

// open_loop_correlations, one lag per lane, in independent groups of W lanes.
template <int W>
SIVO_LANE_INLINE void correlate_lag_groups(std::span<float, kOpenLoopCorrelations> corr,
                                           const float* x) noexcept {
  using doubles = typename lane_group<W>::doubles;
  constexpr int kGroups = kBlock / W;
  // x[-kReach .. 119] widened once (exactly): the loads below then need no
  // conversion.
  constexpr int kReach = kMinLag + kOpenLoopCorrelations - 1;
  std::array<double, kReach + kHalfFrame> wide;
  for (int i = -kReach; i < kHalfFrame; ++i) wide[kReach + i] = x[i];
  const double* const xd = wide.data() + kReach;
  for (int first = 0; first < kOpenLoopCorrelations; first += kBlock) {
    const int lag = kMinLag + first;
    // Lane k of group g holds lag + W g + W - 1 - k: each load runs
    // backwards in lag.
    const double* y = xd - lag - (W - 1);
    doubles s[kGroups] = {};
    for (int i = 0; i < kHalfFrame; ++i) {
      const doubles xi = SIVO_SPLAT_AS(doubles, x[i]);
#pragma GCC unroll 8
      for (int g = 0; g < kGroups; ++g) s[g] += xi * SIVO_LOAD_AS(doubles, y + i - W * g);
    }
    for (int g = 0; g < kGroups; ++g) {
      for (int k = 0; k < W; ++k) corr[first + W * g + W - 1 - k] = static_cast<float>(s[g][k]);
    }
  }
}

}  // namespace

SIVO_LANE_ENTRIES(open_loop_correlations, correlate_lag_groups,
                  (std::span<float, kOpenLoopCorrelations> corr, const float* x), (corr, x))

}  // namespace sivo
