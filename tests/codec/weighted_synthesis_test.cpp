// Perceptual weighting filter and the synthesis-weighting-comb cascade of a
// subframe: impulse response, target and memory update, against direct
// double-precision filters written independently here.
#include "codec/analysis/weighted_synthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <vector>

#include "codec/analysis/perceptual_weighting.h"
#include "codec/state.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

using test_support::random_predictor;

double max_abs(const std::vector<double>& v) {
  double m = 0.0;
  for (double x : v) m = std::max(m, std::fabs(x));
  return m;
}

// W(z) = A(z/0.9) / A(z/0.5) applied in double to x[first..last), with x
// and y given from index 0 and y[n] for n < first already set (memory).
void direct_weighting(const lpc_set& a, const std::vector<double>& x, std::vector<double>& y,
                      int first, int last) {
  for (int n = first; n < last; ++n) {
    double acc = x[n];
    for (int j = 1; j <= kOrder; ++j) {
      acc -= a[j - 1] * std::pow(0.9, j) * x[n - j];
      acc += a[j - 1] * std::pow(0.5, j) * y[n - j];
    }
    y[n] = acc;
  }
}

// 1/A(z) in double on x[first..last), s[n] for n < first already set.
void direct_synthesis(const lpc_set& a, const std::vector<double>& x, std::vector<double>& s,
                      int first, int last) {
  for (int n = first; n < last; ++n) {
    double acc = x[n];
    for (int j = 1; j <= kOrder; ++j) acc += a[j - 1] * s[n - j];
    s[n] = acc;
  }
}

std::array<weighting_set, kSubframes> sets_for(const std::array<lpc_set, kSubframes>& a) {
  std::array<weighting_set, kSubframes> sets{};
  weighting_coefficients(sets, a);
  return sets;
}

TEST(PerceptualWeighting, MatchesDirectFilterAcrossFrames) {
  std::mt19937 rng(11);
  std::normal_distribution<float> speech_noise(0.0f, 2000.0f);
  // Two frames of speech after ten samples of history; frame 2 continues
  // from frame 1 through weighting_memory and the speech history.
  constexpr int kStart = kOrder;
  std::vector<float> speech(kStart + 2 * kFrame);
  for (float& v : speech) v = speech_noise(rng);
  std::array<std::array<lpc_set, kSubframes>, 2> predictors{};
  for (auto& frame : predictors) {
    for (lpc_set& a : frame) a = random_predictor(rng);
  }

  encoder_state state{};
  reset_encoder_state(state);
  std::vector<float> weighted(2 * kFrame);
  for (int f = 0; f < 2; ++f) {
    const auto sets = sets_for(predictors[f]);
    weighting_filter(speech.data() + kStart + f * kFrame, weighted.data() + f * kFrame, sets,
                     state);
    // The memory holds the last ten outputs, newest first.
    for (int i = 0; i < kOrder; ++i) {
      EXPECT_EQ(state.weighting_memory[i], weighted[(f + 1) * kFrame - 1 - i]);
    }
  }

  std::vector<double> x(speech.begin(), speech.end());
  std::vector<double> y(x.size(), 0.0);
  for (int f = 0; f < 2; ++f) {
    for (int sub = 0; sub < kSubframes; ++sub) {
      const int first = kStart + f * kFrame + sub * kSubframe;
      direct_weighting(predictors[f][sub], x, y, first, first + kSubframe);
    }
  }
  const std::vector<double> expected(y.begin() + kStart, y.end());
  const double tolerance = 2e-6 * max_abs(expected);
  for (int n = 0; n < 2 * kFrame; ++n) EXPECT_NEAR(weighted[n], expected[n], tolerance) << n;
}

struct cascade_case {
  lpc_set quantised;
  lpc_set unquantised;
  weighting_set set;
  shaping_params shaping;
};

cascade_case random_case(std::mt19937& rng, shaping_params shaping) {
  cascade_case c{};
  c.quantised = random_predictor(rng);
  c.unquantised = random_predictor(rng, 0.95);
  std::array<lpc_set, kSubframes> a{};
  a.fill(c.unquantised);
  c.set = sets_for(a)[0];
  c.shaping = shaping;
  return c;
}

const std::array<shaping_params, 7> kShapings = {{
    {20, 0.3125f}, {33, 0.0f}, {59, 0.2f}, {60, 0.3f}, {100, 0.25f}, {145, 0.3125f}, {15, 0.1f}}};

TEST(WeightedSynthesis, ImpulseResponseMatchesCascadeInAnotherOrder) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 40; ++trial) {
    const cascade_case c = random_case(rng, kShapings[trial % kShapings.size()]);
    std::array<float, kSubframe> h{};
    impulse_response(h, c.quantised, c.set, c.shaping);

    // Weighting first, then synthesis, then the comb: the filters commute.
    std::vector<double> delta(kOrder + kSubframe, 0.0);
    delta[kOrder] = 1.0;
    std::vector<double> w(kOrder + kSubframe, 0.0);
    direct_weighting(c.unquantised, delta, w, kOrder, kOrder + kSubframe);
    std::vector<double> s(kOrder + kSubframe, 0.0);
    direct_synthesis(c.quantised, w, s, kOrder, kOrder + kSubframe);
    std::vector<double> expected(kSubframe);
    for (int n = 0; n < kSubframe; ++n) {
      const double past = n >= c.shaping.lag ? s[kOrder + n - c.shaping.lag] : 0.0;
      expected[n] = s[kOrder + n] - c.shaping.gain * past;
    }
    const double tolerance = 1e-5 * max_abs(expected);
    for (int n = 0; n < kSubframe; ++n) {
      EXPECT_NEAR(h[n], expected[n], tolerance) << "trial " << trial << " n " << n;
    }
    EXPECT_EQ(h[0], 1.0f);
  }
}

TEST(WeightedSynthesis, TargetAndMemoryUpdateFollowTheCascade) {
  std::mt19937 rng(31);
  std::normal_distribution<float> signal(0.0f, 1000.0f);
  for (int trial = 0; trial < 70; ++trial) {
    const cascade_case c = random_case(rng, kShapings[trial % kShapings.size()]);
    const int sub = trial % kSubframes;
    const int slot_start = kHistory + kFrame * (trial % kSlots);

    // Past of both lines: random, as left by earlier subframes.
    std::array<float, kFilterLine> synthesis_line{};
    std::vector<float> ringing(kLine, 0.0f);
    for (float& v : synthesis_line) v = signal(rng);
    for (float& v : ringing) v = signal(rng);
    float* synthesis_history = synthesis_line.data() + kOrder - 1 + kSubframe * sub;
    float* ringing_history = ringing.data() + slot_start + kSubframe * sub - 1;
    const std::vector<float> ringing_before = ringing;

    std::array<float, kSubframe> shaped{};
    std::array<float, kSubframe> excitation{};
    for (float& v : shaped) v = signal(rng);
    for (float& v : excitation) v = signal(rng);

    std::array<float, kSubframe> target = shaped;
    subtract_ringing(target, c.quantised, c.set, c.shaping, synthesis_history, ringing_history);
    update_memories(excitation, c.quantised, c.set, synthesis_history, ringing_history);
    std::array<float, kSubframe> h{};
    impulse_response(h, c.quantised, c.set, c.shaping);

    // The excitation driven through the cascade from the same past.
    constexpr int kPast = kHistory;
    std::vector<double> e(kPast + kSubframe, 0.0);
    std::vector<double> s(kPast + kSubframe, 0.0);
    std::vector<double> y(kPast + kSubframe, 0.0);
    for (int n = 0; n < kOrder; ++n) s[kPast - kOrder + n] = synthesis_history[n - kOrder + 1];
    for (int n = 0; n < kPast; ++n) y[n] = ringing_before[ringing_history - ringing.data() - kPast + 1 + n];
    for (int n = 0; n < kSubframe; ++n) e[kPast + n] = excitation[n];
    direct_synthesis(c.quantised, e, s, kPast, kPast + kSubframe);
    direct_weighting(c.unquantised, s, y, kPast, kPast + kSubframe);

    const std::vector<double> y_new(y.begin() + kPast, y.end());
    const std::vector<double> s_new(s.begin() + kPast, s.end());
    const double y_tol = 2e-5 * max_abs(y_new);
    const double s_tol = 2e-5 * max_abs(s_new);
    for (int n = 0; n < kSubframe; ++n) {
      EXPECT_NEAR(synthesis_history[n + 1], s_new[n], s_tol) << "trial " << trial << " n " << n;
      EXPECT_NEAR(ringing_history[n + 1], y_new[n], y_tol) << "trial " << trial << " n " << n;
    }
    // Nothing outside the subframe moves.
    for (int k = 0; k < kLine; ++k) {
      const long offset = k - (ringing_history - ringing.data());
      if (offset < 1 || offset > kSubframe) {
        ASSERT_EQ(ringing[k], ringing_before[k]) << k;
      }
    }

    // Zero-input part plus zero-state part: what the target removed plus the
    // filtered excitation is the comb-filtered full response.
    for (int n = 0; n < kSubframe; ++n) {
      double zero_state = 0.0;
      for (int k = 0; k <= n; ++k) zero_state += static_cast<double>(h[k]) * excitation[n - k];
      const double removed = static_cast<double>(shaped[n]) - target[n];
      const double full = y[kPast + n] - c.shaping.gain * y[kPast + n - c.shaping.lag];
      EXPECT_NEAR(removed + zero_state, full, 4e-5 * max_abs(y_new)) << "trial " << trial << " n " << n;
    }
  }
}

TEST(WeightedSynthesis, ZeroMemoriesLeaveTheShapedSpeechAsTarget) {
  std::mt19937 rng(41);
  const cascade_case c = random_case(rng, {40, 0.3125f});
  std::array<float, kFilterLine> synthesis_line{};
  std::vector<float> ringing(kLine, 0.0f);
  std::array<float, kSubframe> target{};
  std::normal_distribution<float> signal(0.0f, 1000.0f);
  for (float& v : target) v = signal(rng);
  const std::array<float, kSubframe> shaped = target;
  subtract_ringing(target, c.quantised, c.set, c.shaping, synthesis_line.data() + kOrder - 1,
                   ringing.data() + kHistory - 1);
  EXPECT_EQ(target, shaped);
}

}  // namespace
}  // namespace sivo
