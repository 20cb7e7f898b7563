// Harmonic noise shaping: the lag and gain estimate and the comb filter.
#include "codec/analysis/noise_shaping.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>

namespace sivo {
namespace {

// One subframe with exactly 145 samples of history, so that a read before
// y[-145] leaves the array. value(n) gives y[n], n = -145..59.
struct subframe_line {
  std::array<float, kHistory + kSubframe> data{};
  float* x() { return data.data() + kHistory; }
  explicit subframe_line(const std::function<float(int)>& value) {
    for (int n = -kHistory; n < kSubframe; ++n) data[kHistory + n] = value(n);
  }
};

// Sine of period 81 (five cycles), `ratio` times stronger in the subframe.
std::function<float(int)> periodic(float ratio, float alternating = 0.0f) {
  return [=](int n) {
    const float s = static_cast<float>(1000.0 * std::sin(2.0 * 3.141592653589793 * 5.0 * n / 81.0));
    return n >= 0 ? ratio * s + ((n & 1) ? alternating : -alternating) : s;
  };
}

void expect_shaping(subframe_line line, int32_t olp, int32_t lag, float gain) {
  const shaping_params p = noise_shaping_estimate(line.x(), olp);
  EXPECT_EQ(p.lag, lag) << olp;
  EXPECT_NEAR(p.gain, gain, 1e-6) << olp;
}

TEST(NoiseShaping, GainRegimes) {
  // Correlation above the lagged energy: exactly the full gain.
  EXPECT_EQ(noise_shaping_estimate(subframe_line(periodic(1.2f)).x(), 80).gain, 0.3125f);
  // Below it, the gain scales with R/E.
  expect_shaping(subframe_line(periodic(0.8f)), 80, 81, 0.25f);
  // Periodicity drowned by an alternating component: no gain, best lag kept.
  expect_shaping(subframe_line(periodic(1.0f, 3000.0f)), 83, 81, 0.0f);
  // Negative correlation at every lag, and silence: the open-loop lag.
  expect_shaping(subframe_line(periodic(-1.0f)), 81, 81, 0.0f);
  expect_shaping(subframe_line([](int) { return 0.0f; }), 60, 60, 0.0f);
  // A constant scores the same everywhere: the smallest lag, R = E.
  expect_shaping(subframe_line([](int) { return 1.0f; }), 50, 47, 0.3125f);
}

TEST(NoiseShaping, LagSearchRange) {
  std::mt19937 rng(3);
  std::normal_distribution<float> noise(0.0f, 500.0f);
  std::array<float, 145> cycle{};
  // Exact repeats at the ends of the ranges of olp 18 (15..21) and 142
  // (139..145, reaching y[-145]).
  for (auto [olp, repeat] : {std::pair{18, 15}, {18, 21}, {142, 139}, {142, 145}}) {
    const int period = repeat;  // a plain variable: clang 14 lambdas cannot capture bindings
    for (float& v : cycle) v = noise(rng);
    expect_shaping(subframe_line([&](int n) { return cycle[(n + 290) % period]; }), olp, period,
                   0.3125f);
  }
}

TEST(NoiseShaping, CombFilterReadsTheWeightedLine) {
  // y[k] = k: the comb gives (1 - g)(offset + n) + g lag in its subframe only.
  std::array<float, kHistory + kFrame> y{};
  for (int k = 0; k < static_cast<int>(y.size()); ++k) y[k] = static_cast<float>(k - kHistory);
  std::array<float, kFrame> out{};
  out.fill(-1.0f);
  noise_shaping_filter(out.data(), y.data(), 120, shaping_params{100, 0.25f});
  for (int n = 0; n < kFrame; ++n) {
    EXPECT_EQ(out[n], n < 120 || n >= 180 ? -1.0f : 0.75f * n + 25.0f) << n;
  }
}

}  // namespace
}  // namespace sivo
