// Harmonic noise shaping: the lag and gain estimate and the comb filter.
#include "codec/analysis/noise_shaping.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <functional>
#include <random>

#include "codec/codec_types.h"

namespace sivo {
namespace {

constexpr double kPi = 3.14159265358979323846;

// One subframe of weighted speech with exactly 145 samples of history
// before it, so that every read beyond y[-145] leaves the array.
struct subframe_line {
  std::array<float, kHistory + kSubframe> data{};
  float* x() { return data.data() + kHistory; }
  // value(n) for n = -145..59
  void fill(const std::function<float(int)>& value) {
    for (int n = -kHistory; n < kSubframe; ++n) data[kHistory + n] = value(n);
  }
};

// Brute-force best lag: largest R^2/E over olp-3..olp+3 with direct sums,
// the smallest lag on ties; olp when no lag correlates positively.
int32_t reference_lag(subframe_line& line, int32_t olp) {
  const float* x = line.x();
  int32_t best = olp;
  double best_score = 0.0;
  for (int t = olp - 3; t <= olp + 3; ++t) {
    double r = 0.0;
    double e = 0.0;
    for (int n = 0; n < kSubframe; ++n) {
      r += static_cast<double>(x[n]) * x[n - t];
      e += static_cast<double>(x[n - t]) * x[n - t];
    }
    if (r > 0.0 && e > 0.0 && r * r / e > best_score) {
      best_score = r * r / e;
      best = t;
    }
  }
  return best;
}

TEST(NoiseShaping, GainRegimes) {
  // Sine of period 81 whose current part is `ratio` times its history: the
  // lagged correlation over the lagged energy is the ratio itself.
  auto periodic = [](float ratio) {
    return [ratio](int n) {
      const float s = static_cast<float>(1000.0 * std::sin(2.0 * kPi * 5.0 * n / 81.0));
      return n >= 0 ? ratio * s : s;
    };
  };
  subframe_line line;

  // Correlation above the lagged energy: the full gain, exactly.
  line.fill(periodic(1.2f));
  shaping_params p = noise_shaping_estimate(line.x(), 80);
  EXPECT_EQ(p.lag, 81);
  EXPECT_EQ(p.gain, 0.3125f);

  // Below it: the gain scales with the ratio.
  line.fill(periodic(0.8f));
  p = noise_shaping_estimate(line.x(), 80);
  EXPECT_EQ(p.lag, 81);
  EXPECT_NEAR(p.gain, 0.25, 1e-6);
  EXPECT_LT(p.gain, 0.3125f);

  // Weak periodicity under a strong alternating component: no gain, but the
  // best lag is still reported.
  line.fill([](int n) {
    const float s = static_cast<float>(1000.0 * std::sin(2.0 * kPi * 5.0 * n / 81.0));
    return n >= 0 ? s + ((n & 1) ? 3000.0f : -3000.0f) : s;
  });
  p = noise_shaping_estimate(line.x(), 83);
  EXPECT_EQ(p.lag, 81);
  EXPECT_EQ(p.gain, 0.0f);

  // Negative correlation at every lag: the open-loop lag and no gain.
  line.fill([](int n) {
    const float s = static_cast<float>(1000.0 * std::sin(2.0 * kPi * n / 100.0));
    return n >= 0 ? -s : s;
  });
  p = noise_shaping_estimate(line.x(), 100);
  EXPECT_EQ(p.lag, 100);
  EXPECT_EQ(p.gain, 0.0f);

  // Silence: nothing qualifies.
  line.fill([](int) { return 0.0f; });
  p = noise_shaping_estimate(line.x(), 60);
  EXPECT_EQ(p.lag, 60);
  EXPECT_EQ(p.gain, 0.0f);
}

TEST(NoiseShaping, LagSearchRangeAndTies) {
  subframe_line line;
  // A constant signal scores equally at every lag: the smallest wins, and
  // the correlation equals the energy, giving 0.3125 * R / E.
  line.fill([](int) { return 1.0f; });
  shaping_params p = noise_shaping_estimate(line.x(), 50);
  EXPECT_EQ(p.lag, 47);
  EXPECT_EQ(p.gain, 0.3125f);

  // Random signals repeating with period 15 and 145: the search for olp 18
  // reaches down to 15, for olp 142 up to 145 (the oldest history sample).
  std::mt19937 rng(3);
  std::normal_distribution<float> noise(0.0f, 500.0f);
  for (auto [olp, period] : {std::pair{18, 15}, std::pair{142, 145}, std::pair{18, 21},
                             std::pair{142, 139}}) {
    std::array<float, 145> cycle{};
    for (float& v : cycle) v = noise(rng);
    line.fill([&, period](int n) { return cycle[(n + 290) % period]; });
    p = noise_shaping_estimate(line.x(), olp);
    EXPECT_EQ(p.lag, period) << olp;
    EXPECT_NEAR(p.gain, 0.3125, 1e-6) << olp;  // R equals E for an exact repeat
  }

  // On random signals the running lagged energy picks the same lag as
  // directly summed energies.
  std::uniform_int_distribution<int> any_olp(18, 142);
  for (int trial = 0; trial < 300; ++trial) {
    const int olp = any_olp(rng);
    const int period = olp - 3 + trial % 7;
    const float mix = static_cast<float>(trial % 4) * 0.3f;
    std::array<float, 145> cycle{};
    for (float& v : cycle) v = noise(rng);
    line.fill([&](int n) { return mix * cycle[(n + 290) % period] + noise(rng); });
    EXPECT_EQ(noise_shaping_estimate(line.x(), olp).lag, reference_lag(line, olp)) << trial;
  }
}

TEST(NoiseShaping, CombFilterReadsTheWeightedLine) {
  // Weighted line with y[k] = k: the comb output is (1 - g)(offset + n) + g lag.
  std::array<float, kHistory + kFrame> y{};
  for (int k = 0; k < static_cast<int>(y.size()); ++k) y[k] = static_cast<float>(k - kHistory);
  std::array<float, kFrame> out{};
  out.fill(-1.0f);
  noise_shaping_filter(out.data(), y.data(), 120, shaping_params{100, 0.25f});
  for (int n = 0; n < kFrame; ++n) {
    if (n < 120 || n >= 180) {
      EXPECT_EQ(out[n], -1.0f) << n;  // other subframes untouched
    } else {
      EXPECT_EQ(out[n], 0.75f * n + 25.0f) << n;
    }
  }
  // No gain: the weighted speech is copied unchanged.
  noise_shaping_filter(out.data(), y.data(), 0, shaping_params{142, 0.0f});
  for (int n = 0; n < kSubframe; ++n) EXPECT_EQ(out[n], static_cast<float>(n));
}

}  // namespace
}  // namespace sivo
