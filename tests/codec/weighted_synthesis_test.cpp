// Weighting filter and the synthesis-weighting-comb cascade of a subframe
// (impulse response, target, memory update) against direct double filters.
#include "codec/analysis/weighted_synthesis.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cmath>
#include <random>
#include <vector>

#include "codec/analysis/perceptual_weighting.h"
#include "codec/state.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

using test_support::random_predictor;

double max_abs(const std::vector<double>& v, size_t from = 0) {
  double m = 0.0;
  for (size_t i = from; i < v.size(); ++i) m = std::max(m, std::fabs(v[i]));
  return m;
}

// y = W(x) or y = x / A on [first, last), with W(z) = A(z/0.9) / A(z/0.5)
// and the past of x and y before `first` taken as given.
void direct_filter(bool weighting, const lpc_set& a, const std::vector<double>& x,
                   std::vector<double>& y, int first, int last) {
  for (int n = first; n < last; ++n) {
    double acc = x[n];
    for (int j = 1; j <= kOrder; ++j) {
      if (weighting) acc += a[j - 1] * (std::pow(0.5, j) * y[n - j] - std::pow(0.9, j) * x[n - j]);
      else acc += a[j - 1] * y[n - j];
    }
    y[n] = acc;
  }
}

weighting_set set_for(const lpc_set& a) {
  std::array<lpc_set, kSubframes> all{};
  all.fill(a);
  std::array<weighting_set, kSubframes> sets{};
  weighting_coefficients(sets, all);
  return sets[0];
}

TEST(PerceptualWeighting, MatchesDirectFilterAcrossFrames) {
  // Two frames after ten samples of history, one predictor per subframe;
  // the second frame continues through the speech history and the memory.
  std::mt19937 rng(11);
  std::normal_distribution<float> noise(0.0f, 2000.0f);
  std::vector<float> speech(kOrder + 2 * kFrame);
  for (float& v : speech) v = noise(rng);
  std::array<lpc_set, 2 * kSubframes> a{};
  for (lpc_set& p : a) p = random_predictor(rng);

  encoder_state state{};
  reset_encoder_state(state);
  std::vector<float> weighted(2 * kFrame);
  for (int f = 0; f < 2; ++f) {
    std::array<weighting_set, kSubframes> sets{};
    weighting_coefficients(sets, std::span<const lpc_set, kSubframes>(&a[f * kSubframes], 4));
    weighting_filter(&speech[kOrder + f * kFrame], &weighted[f * kFrame], sets, state);
    for (int i = 0; i < kOrder; ++i) EXPECT_EQ(state.weighting_memory[i], weighted[(f + 1) * kFrame - 1 - i]);
  }
  std::vector<double> x(speech.begin(), speech.end()), y(x.size(), 0.0);
  for (int sub = 0; sub < 2 * kSubframes; ++sub) {
    direct_filter(true, a[sub], x, y, kOrder + sub * kSubframe, kOrder + (sub + 1) * kSubframe);
  }
  for (int n = 0; n < 2 * kFrame; ++n) EXPECT_NEAR(weighted[n], y[kOrder + n], 2e-6 * max_abs(y)) << n;
}

const std::array<shaping_params, 7> kShapings = {
    {{20, 0.3125f}, {33, 0.0f}, {59, 0.2f}, {60, 0.3f}, {100, 0.25f}, {145, 0.3125f}, {15, 0.1f}}};

// The impulse response of one subframe's cascade (all four subframes the same).
std::array<float, kSubframe> impulse_of(const lpc_set& quantised, const weighting_set& set,
                                        shaping_params shaping) {
  const std::array<lpc_set, kSubframes> q = {quantised, quantised, quantised, quantised};
  const std::array<weighting_set, kSubframes> sets = {set, set, set, set};
  const std::array<shaping_params, kSubframes> shapings = {shaping, shaping, shaping, shaping};
  std::array<std::array<float, kSubframe>, kSubframes> h;
  impulse_responses(h, q, sets, shapings);
  return h[0];
}

TEST(WeightedSynthesis, ImpulseResponseMatchesCascadeInAnotherOrder) {
  std::mt19937 rng(21);
  for (int trial = 0; trial < 35; ++trial) {
    const lpc_set quantised = random_predictor(rng), unquantised = random_predictor(rng, 0.95);
    const shaping_params shaping = kShapings[trial % kShapings.size()];
    const std::array<float, kSubframe> h = impulse_of(quantised, set_for(unquantised), shaping);

    // Weighting first, then synthesis, then the comb: the filters commute.
    std::vector<double> delta(kOrder + kSubframe, 0.0), w(delta), s(delta);
    delta[kOrder] = 1.0;
    direct_filter(true, unquantised, delta, w, kOrder, kOrder + kSubframe);
    direct_filter(false, quantised, w, s, kOrder, kOrder + kSubframe);
    for (int n = 0; n < kSubframe; ++n) {
      const double past = n >= shaping.lag ? s[kOrder + n - shaping.lag] : 0.0;
      EXPECT_NEAR(h[n], s[kOrder + n] - shaping.gain * past, 1e-5 * max_abs(s)) << trial << " " << n;
    }
  }
}

TEST(WeightedSynthesis, TargetAndMemoryUpdateFollowTheCascade) {
  std::mt19937 rng(31);
  std::normal_distribution<float> noise(0.0f, 1000.0f);
  for (int trial = 0; trial < 70; ++trial) {
    const lpc_set quantised = random_predictor(rng), unquantised = random_predictor(rng, 0.95);
    const weighting_set set = set_for(unquantised);
    const shaping_params shaping = kShapings[trial % kShapings.size()];
    const int sub = trial % kSubframes;

    // Random past on both lines, as earlier subframes leave it.
    std::vector<float> synthesis_line(kFilterLine), ringing(kLine), shaped(kSubframe), excitation(kSubframe);
    for (auto* v : {&synthesis_line, &ringing, &shaped, &excitation}) {
      for (float& s : *v) s = noise(rng);
    }
    float* synthesis_history = &synthesis_line[kOrder - 1 + kSubframe * sub];
    float* ringing_history = &ringing[kHistory + kFrame * (trial % kSlots) + kSubframe * sub - 1];
    const std::vector<float> ringing_before = ringing;
    const size_t first = ringing_history + 1 - ringing.data();

    std::vector<float> target = shaped;
    subtract_ringing(std::span<float, kSubframe>(target), quantised, set, shaping, synthesis_history, ringing_history);
    update_memories(std::span<const float, kSubframe>(excitation), quantised, set, synthesis_history, ringing_history);
    const std::array<float, kSubframe> h = impulse_of(quantised, set, shaping);

    // The excitation through the cascade from the same past, in double.
    std::vector<double> e(kHistory + kSubframe, 0.0), s(e), y(e);
    for (int n = 0; n < kHistory; ++n) y[n] = ringing_before[first - kHistory + n];
    for (int n = 0; n < kOrder; ++n) s[kHistory - kOrder + n] = synthesis_history[n - kOrder + 1];
    std::copy(excitation.begin(), excitation.end(), e.begin() + kHistory);
    direct_filter(false, quantised, e, s, kHistory, kHistory + kSubframe);
    direct_filter(true, unquantised, s, y, kHistory, kHistory + kSubframe);

    const double tol = 4e-5 * max_abs(y, kHistory);
    for (int n = 0; n < kSubframe; ++n) {
      EXPECT_NEAR(synthesis_history[n + 1], s[kHistory + n], 2e-5 * max_abs(s, kHistory)) << trial;
      EXPECT_NEAR(ringing_history[n + 1], y[kHistory + n], tol) << trial << " " << n;
      // Zero-input part (removed from the target) plus zero-state part (h * e)
      // is the comb-filtered full response.
      double zero_state = 0.0;
      for (int k = 0; k <= n; ++k) zero_state += static_cast<double>(h[k]) * excitation[n - k];
      const double full = y[kHistory + n] - shaping.gain * y[kHistory + n - shaping.lag];
      EXPECT_NEAR(shaped[n] - static_cast<double>(target[n]) + zero_state, full, tol) << trial << " " << n;
    }
    int moved_outside = 0;
    for (size_t k = 0; k < ringing.size(); ++k) {
      moved_outside += (k < first || k >= first + kSubframe) && ringing[k] != ringing_before[k];
    }
    EXPECT_EQ(moved_outside, 0) << trial;
  }
}

// The literal one-rounding cascade on float lines (every sum from 0.0, in
// index order), for bit-exact comparison: s[n] = e[n] + sum a_j s[n-j],
// y[n] = (s[n] - sum z_j s[n-j]) + sum p_j y[n-j].
void plain_cascade(const float* e, const lpc_set& a, const weighting_set& set, float* s,
                   float* y, bool synthesise) {
  for (int n = 0; n < kSubframe; ++n) {
    if (synthesise) {
      double sum = 0.0;
      for (int j = 1; j <= kOrder; ++j) sum += double(a[j - 1]) * s[n - j];
      s[n] = static_cast<float>(e[n] + sum);
    }
    double zeros = 0.0, poles = 0.0;
    for (int j = 1; j <= kOrder; ++j) zeros += double(set.zero[j - 1]) * s[n - j];
    for (int j = 1; j <= kOrder; ++j) poles += double(set.pole[j - 1]) * y[n - j];
    y[n] = static_cast<float>((s[n] - zeros) + poles);
  }
}

bool same_bits(float a, float b) { return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b); }

// The encoder's filters carry only their newest sample and start their
// carried sums from the first product; the bits must be the literal
// cascade's, with ordinary signals and with zeros of either sign and
// subnormals in the input and the memories.
TEST(WeightedSynthesis, FiltersKeepTheLiteralCascadeBits) {
  std::mt19937 rng(33);
  std::normal_distribution<float> noise(0.0f, 1000.0f);
  const float tiny[] = {0.0f, -0.0f, 1e-45f, -1e-45f, 1e-41f, -1e-41f};
  for (int trial = 0; trial < 120; ++trial) {
    // Trials 0 mod 3: all -0; 1 mod 3: tiny values; else speech-like.
    auto draw = [&] {
      return trial % 3 == 0 ? -0.0f : trial % 3 == 1 ? tiny[rng() % std::size(tiny)] : noise(rng);
    };
    const lpc_set a = trial % 2 ? random_predictor(rng) : lpc_set{};
    const weighting_set set = set_for(random_predictor(rng, 0.95));
    std::array<float, kOrder + kSubframe> s_line, y_line, e;
    for (auto* v : {&s_line, &y_line, &e}) {
      for (float& x : *v) x = draw();
    }
    auto s_ref = s_line, y_ref = y_line;
    update_memories(std::span<const float, kSubframe>(e.data(), kSubframe), a, set,
                    s_line.data() + kOrder - 1, y_line.data() + kOrder - 1);
    plain_cascade(e.data(), a, set, s_ref.data() + kOrder, y_ref.data() + kOrder, true);
    for (int n = 0; n < kOrder + kSubframe; ++n) {
      ASSERT_TRUE(same_bits(s_line[n], s_ref[n]) && same_bits(y_line[n], y_ref[n]))
          << "trial " << trial << " sample " << n;
    }

    // The weighting filter alone over a frame: speech through W(z).
    std::array<weighting_set, kSubframes> sets;
    sets.fill(set);
    std::vector<float> speech(kOrder + kFrame);
    for (float& x : speech) x = draw();
    encoder_state state{};
    reset_encoder_state(state);
    for (float& m : state.weighting_memory) m = draw();
    std::vector<float> y(kOrder + kFrame);
    for (int i = 0; i < kOrder; ++i) y[kOrder - 1 - i] = state.weighting_memory[i];
    std::vector<float> weighted(kFrame);
    weighting_filter(speech.data() + kOrder, weighted.data(), sets, state);
    for (int sub = 0; sub < kSubframes; ++sub) {
      const int at = kOrder + kSubframe * sub;
      plain_cascade(nullptr, a, set, speech.data() + at, y.data() + at, false);
    }
    for (int n = 0; n < kFrame; ++n) {
      ASSERT_TRUE(same_bits(weighted[n], y[kOrder + n])) << "trial " << trial << " sample " << n;
    }
  }
}

}  // namespace
}  // namespace sivo
