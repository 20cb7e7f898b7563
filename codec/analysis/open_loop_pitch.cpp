#include "codec/analysis/open_loop_pitch.h"

#include <array>

#include "codec/codec_types.h"
#include "codec/vector_lanes.h"

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
// lane, in four independent eight-lane groups.
SIVO_LANE_CLONES
void correlate_lags(std::array<float, kBlockLags>& corr, const float* x) noexcept {
  for (int first = 0; first < kBlockLags; first += kBlock) {
    const int lag = kMinLag + first;
    // Lane k of group g holds lag + 8g + 7 - k: each load runs backwards in lag.
    const float* y = x - lag - 7;
    double8 s0 = SIVO_SPLAT8(0.0), s1 = s0, s2 = s0, s3 = s0;
    for (int i = 0; i < kHalfFrame; ++i) {
      const double8 xi = SIVO_SPLAT8(x[i]);
      s0 += xi * SIVO_LOAD_WIDENED8(y + i);
      s1 += xi * SIVO_LOAD_WIDENED8(y + i - 8);
      s2 += xi * SIVO_LOAD_WIDENED8(y + i - 16);
      s3 += xi * SIVO_LOAD_WIDENED8(y + i - 24);
    }
    for (int k = 0; k < 8; ++k) {
      corr[first + 7 - k] = static_cast<float>(s0[k]);
      corr[first + 15 - k] = static_cast<float>(s1[k]);
      corr[first + 23 - k] = static_cast<float>(s2[k]);
      corr[first + 31 - k] = static_cast<float>(s3[k]);
    }
  }
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
