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

// Direct zero-state convolution of x with h, in long double.
std::array<long double, kSubframe> convolve(const Vec& x, const Vec& h) {
  std::array<long double, kSubframe> y{};
  for (int n = 0; n < kSubframe; ++n)
    for (int m = 0; m <= n; ++m) y[n] += static_cast<long double>(x[m]) * h[n - m];
  return y;
}

TEST(PulseFilters, RepeatPitchTrainGathersEveryEarlierPeriod) {
  std::mt19937 rng(11);
  for (int lag = 1; lag <= 70; ++lag) {
    const Vec src = random_vector(rng, 100.0f);
    // Gathered form: dst[n] = src[n] + src[n - lag] + src[n - 2 lag] + ...,
    // added nearest period first.
    Vec expected;
    for (int n = 0; n < kSubframe; ++n) {
      float sum = src[n];
      for (int back = lag; back <= n; back += lag) sum += src[n - back];
      expected[n] = sum;
    }
    Vec out{};
    repeat_pitch_train(out, src, lag);
    Vec in_place = src;
    repeat_pitch_train(in_place, in_place, lag);
    for (int n = 0; n < kSubframe; ++n) {
      ASSERT_EQ(out[n], expected[n]) << "lag " << lag << " n " << n;
      ASSERT_EQ(in_place[n], expected[n]) << "in place, lag " << lag << " n " << n;
    }
  }
}

TEST(PulseFilters, RepeatPitchTrainKeepsSinglePulseAmplitude) {
  // One pulse reappears once per lag with its own amplitude, never doubled.
  Vec pulse{};
  pulse[3] = -7.0f;
  repeat_pitch_train(pulse, pulse, 18);
  for (int n = 0; n < kSubframe; ++n)
    EXPECT_EQ(pulse[n], (n >= 3 && (n - 3) % 18 == 0) ? -7.0f : 0.0f) << n;
  // A lag that cannot repeat leaves the vector as it was.
  Vec same = pulse;
  repeat_pitch_train(same, same, 0);
  EXPECT_EQ(same, pulse);
}

TEST(PulseFilters, FilterAndCorrelationAgreeWithDirectFormulas) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 50; ++trial) {
    const Vec x = random_vector(rng, 1000.0f);
    const Vec e = random_vector(rng, 50.0f);
    Vec h = random_vector(rng, 0.3f);
    h[0] = 1.0f;

    // target - e * h against the long-double convolution.
    Vec target = x;
    subtract_filtered_excitation(target, e, h);
    const auto filtered = convolve(e, h);
    for (int n = 0; n < kSubframe; ++n) {
      const long double want = x[n] - filtered[n];
      ASSERT_NEAR(target[n], static_cast<double>(want), 1e-5 * (std::fabs(x[n]) + 1000.0));
    }

    // out[i] is the correlation of x with the filtered unit pulse at i.
    Vec corr;
    backward_correlate(x, h, corr);
    for (int i = 0; i < kSubframe; ++i) {
      Vec unit{};
      unit[i] = 1.0f;
      const auto response = convolve(unit, h);
      long double want = 0.0L, magnitude = 0.0L;
      for (int n = 0; n < kSubframe; ++n) {
        want += x[n] * response[n];
        magnitude += std::fabs(x[n] * response[n]);
      }
      ASSERT_NEAR(corr[i], static_cast<double>(want), 1e-6 * static_cast<double>(magnitude))
          << "i " << i;
    }
  }
}

}  // namespace
}  // namespace sivo
