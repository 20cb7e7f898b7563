#include "codec/analysis/open_loop_pitch.h"

#include <array>

#include "codec/codec_types.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

constexpr int kMinLag = 18;
constexpr int kMaxLag = 142;
// A later lag closer than this to the current choice wins on any strict
// improvement; further away it must beat the best score by a third.
constexpr int kNearLags = 18;
constexpr double kFarLagWeight = 0.75;
constexpr int kLags = kMaxLag - kMinLag + 1;
constexpr int kBlock = 32;  // lags per pass over x
// Lags correlated, in whole blocks: 18..145, the last three unused.
constexpr int kBlockLags = (kLags + kBlock - 1) / kBlock * kBlock;

// corr[lag - 18] = sum over i = 0..119 of x[i] * x[i - lag], each rounded to
// float, for lags 18..145. Thirty-two lags share one pass over x, one lag per
// lane, in independent groups of W lanes.
template <int W>
SIVO_LANE_INLINE void correlate_lag_groups(std::array<float, kBlockLags>& corr,
                                           const float* x) noexcept {
  using doubles = typename lane_group<W>::doubles;
  constexpr int kGroups = kBlock / W;
  // x[-kReach .. 119] widened once (exactly): the loads below then need no
  // conversion.
  constexpr int kReach = kMinLag + kBlockLags - 1;
  std::array<double, kReach + kHalfFrame> wide;
  for (int i = -kReach; i < kHalfFrame; ++i) wide[kReach + i] = x[i];
  const double* const xd = wide.data() + kReach;
  for (int first = 0; first < kBlockLags; first += kBlock) {
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

SIVO_LANE_CLONES
void correlate_lags(std::array<float, kBlockLags>& corr, const float* x) noexcept {
  SIVO_LANE_DISPATCH(correlate_lag_groups, corr, x);
}

}  // namespace

int32_t open_loop_pitch(const float* buffer, int start) noexcept {
  const float* x = buffer + start;

  // Energy of the segment one sample before the first candidate lag.
  double energy_sum = 0.0;
  for (int i = 0; i < kHalfFrame; ++i) {
    const double s = x[i - (kMinLag - 1)];
    energy_sum += s * s;
  }
  float energy = static_cast<float>(energy_sum);

  std::array<float, kBlockLags> corr;
  correlate_lags(corr, x);

  float best = 0.0f;
  int32_t chosen = kMinLag;
  for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
    const double leaving = x[kHalfFrame - lag];
    const double entering = x[-lag];
    energy = static_cast<float>(energy - leaving * leaving + entering * entering);

    const float r = corr[lag - kMinLag];
    if (!(r > 0.0f)) continue;

    const float v = static_cast<float>(static_cast<double>(r) * r / energy);
    const bool near_and_better = v > best && lag - chosen < kNearLags;
    const bool clearly_better = kFarLagWeight * v > best;
    if (near_and_better || clearly_better) {
      best = v;
      chosen = lag;
    }
  }
  return chosen;
}

}  // namespace sivo
