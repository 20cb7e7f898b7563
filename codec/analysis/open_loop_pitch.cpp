#include "codec/analysis/open_loop_pitch.h"

#include "codec/codec_types.h"

namespace sivo {
namespace {

constexpr int kMinLag = 18;
constexpr int kMaxLag = 142;
// A later lag closer than this to the current choice wins on any strict
// improvement; further away it must beat the best score by a third.
constexpr int kNearLags = 18;
constexpr double kFarLagWeight = 0.75;

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

  float best = 0.0f;
  int32_t chosen = kMinLag;
  for (int lag = kMinLag; lag <= kMaxLag; ++lag) {
    const double leaving = x[kHalfFrame - lag];
    const double entering = x[-lag];
    energy = static_cast<float>(energy - leaving * leaving + entering * entering);

    double corr = 0.0;
    for (int i = 0; i < kHalfFrame; ++i) {
      corr += static_cast<double>(x[i]) * x[i - lag];
    }
    const float r = static_cast<float>(corr);
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
