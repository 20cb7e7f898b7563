// Open-loop pitch: the lag whose normalised correlation with the half frame is largest.
#include "codec/analysis/open_loop_pitch.h"

#include <array>

#include "codec/codec_types.h"
#include "codec/kernels/kernel_table.h"

namespace sivo {
namespace {

constexpr int kMinLag = 18;
constexpr int kMaxLag = 142;
// A later lag closer than this to the current choice wins on any strict
// improvement; further away it must beat the best score by a third.
constexpr int kNearLags = 18;
constexpr double kFarLagWeight = 0.75;

}  // namespace

void open_loop_correlations(std::span<float, kOpenLoopCorrelations> corr,
                            const float* x) noexcept {
  for (int j = 0; j < kOpenLoopCorrelations; ++j) {
    const int lag = kMinLag + j;
    double sum = 0.0;
    for (int i = 0; i < kHalfFrame; ++i) sum += static_cast<double>(x[i]) * x[i - lag];
    corr[j] = static_cast<float>(sum);
  }
}

int32_t open_loop_pitch(const float* buffer, int start) noexcept {
  const float* x = buffer + start;

  // Energy of the segment one sample before the first candidate lag.
  double energy_sum = 0.0;
  for (int i = 0; i < kHalfFrame; ++i) {
    const double s = x[i - (kMinLag - 1)];
    energy_sum += s * s;
  }
  float energy = static_cast<float>(energy_sum);

  std::array<float, kOpenLoopCorrelations> corr;
  kernels().open_loop_correlations(corr, x);

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
