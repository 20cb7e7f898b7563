// Pitch repetition, backward correlation and the zero-state filter against
// direct formulations.
#include "codec/excitation/pulse_filters.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

namespace sivo {
namespace {

using Vec = std::array<float, kSubframe>;

Vec random_vector(std::mt19937& rng, float scale) {
  std::normal_distribution<float> dist(0.0f, scale);
  Vec v;
  for (float& x : v) x = dist(rng);
  return v;
}

TEST(PulseFilters, RepeatPitchTrainGathersEveryEarlierPeriodEvenInPlace) {
  std::mt19937 rng(11);
  for (int lag = 0; lag <= 70; ++lag) {
    const Vec src = random_vector(rng, 100.0f);
    // dst[n] = src[n] + src[n - lag] + src[n - 2 lag] + ..., nearest first;
    // a lag of 0 cannot repeat and leaves the source as it is.
    Vec expected;
    for (int n = 0; n < kSubframe; ++n) {
      float sum = src[n];
      for (int back = lag; lag > 0 && back <= n; back += lag) sum += src[n - back];
      expected[n] = sum;
    }
    Vec out{};
    repeat_pitch_train(out, src, lag);
    Vec in_place = src;
    repeat_pitch_train(in_place, in_place, lag);
    ASSERT_EQ(out, expected) << "lag " << lag;
    ASSERT_EQ(in_place, expected) << "in place, lag " << lag;
  }
}

TEST(PulseFilters, FilterAndCorrelationAgreeWithDirectConvolution) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    const Vec x = random_vector(rng, 1000.0f);
    const Vec e = random_vector(rng, 50.0f);
    Vec h = random_vector(rng, 0.3f);
    h[0] = 1.0f;
    Vec target = x;
    subtract_filtered_excitation(target, e, h);
    Vec corr;
    backward_correlate(x, h, corr);
    for (int i = 0; i < kSubframe; ++i) {
      // Zero-state response of e, and of a unit pulse at i, in long double.
      long double filtered = 0.0L, want = 0.0L, magnitude = 0.0L;
      for (int m = 0; m <= i; ++m) filtered += static_cast<long double>(e[m]) * h[i - m];
      for (int n = i; n < kSubframe; ++n) {
        want += static_cast<long double>(x[n]) * h[n - i];
        magnitude += std::fabs(static_cast<long double>(x[n]) * h[n - i]);
      }
      ASSERT_NEAR(target[i], static_cast<double>(x[i] - filtered), 1e-6 * (std::fabs(x[i]) + 1e3));
      ASSERT_NEAR(corr[i], static_cast<double>(want), 1e-6 * static_cast<double>(magnitude));
    }
  }
}

}  // namespace
}  // namespace sivo
