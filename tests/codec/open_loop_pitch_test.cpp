// Open-loop pitch of a half frame of weighted speech.
#include "codec/analysis/open_loop_pitch.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "codec/codec_types.h"

namespace sivo {
namespace {

constexpr int kHalf0 = kHistory;
constexpr int kHalf1 = kHistory + kHalfFrame;

// Weighted speech line of one frame: 145 history samples, then 240.
using weighted_line = std::array<float, kHistory + kFrame>;

// Sets x[offset] of the half frame starting at `start`.
void put(weighted_line& line, int start, int offset, float value) {
  line[start + offset] = value;
}

// Brute-force choice with every lagged energy summed directly in double.
int32_t reference_pitch(const weighted_line& line, int start) {
  const float* x = line.data() + start;
  double best = 0.0;
  int32_t chosen = 18;
  for (int lag = 18; lag <= 142; ++lag) {
    double r = 0.0;
    double e = 0.0;
    for (int i = 0; i < kHalfFrame; ++i) {
      r += static_cast<double>(x[i]) * x[i - lag];
      e += static_cast<double>(x[i - lag]) * x[i - lag];
    }
    if (r <= 0.0) continue;
    const double v = r * r / e;
    if ((v > best && lag - chosen < 18) || 0.75 * v > best) {
      best = v;
      chosen = lag;
    }
  }
  return chosen;
}

TEST(OpenLoopPitch, FindsThePeriodOfPulseTrains) {
  for (int period : {18, 20, 37, 57, 100, 140, 142}) {
    for (int phase : {3, 11}) {
      // Pulses at y[phase + k * period] for every k that fits in the line.
      weighted_line line{};
      for (int n = kHistory + phase; n >= 0; n -= period) line[n] = 1000.0f;
      for (int n = kHistory + phase; n < static_cast<int>(line.size()); n += period) line[n] = 1000.0f;
      EXPECT_EQ(open_loop_pitch(line.data(), kHalf0), period) << period << "/" << phase;
      EXPECT_EQ(open_loop_pitch(line.data(), kHalf1), period) << period << "/" << phase;
    }
  }
  // A decaying voiced-like signal: a damped resonance excited every 45 samples.
  weighted_line line{};
  float state1 = 0.0f;
  float state2 = 0.0f;
  for (int n = 0; n < static_cast<int>(line.size()); ++n) {
    const float drive = n % 45 == 3 ? 3000.0f : 0.0f;
    const float y = drive + 1.6f * state1 - 0.81f * state2;
    state2 = state1;
    state1 = y;
    line[n] = y;
  }
  EXPECT_EQ(open_loop_pitch(line.data(), kHalf0), 45);
  EXPECT_EQ(open_loop_pitch(line.data(), kHalf1), 45);
}

TEST(OpenLoopPitch, TiesAndAcceptanceRules) {
  // Every lag of a constant signal scores the same: the first one stays.
  weighted_line flat;
  flat.fill(1.0f);
  EXPECT_EQ(open_loop_pitch(flat.data(), kHalf0), 18);

  // Pulses at 0, 40, 80 of the half frame with x[-40] = -1 score 1/3 at lag
  // 40; x[-80] = b scores b^2/(b^2 + 2) at lag 80, which must beat 4/9 to
  // replace 40. Only lags 40, 80 and 120 correlate at all.
  for (auto [b, expected] : {std::pair{1.1f, 40}, std::pair{1.15f, 40}, std::pair{2.0f, 80}}) {
    weighted_line line{};
    for (int i : {0, 40, 80}) put(line, kHalf0, i, 1.0f);
    put(line, kHalf0, -40, -1.0f);
    put(line, kHalf0, -80, b);
    EXPECT_EQ(open_loop_pitch(line.data(), kHalf0), expected) << b;
  }

  // A lag less than 18 above the choice wins on any strict improvement:
  // x[-50] = sqrt(2) scores 0.4 at lag 50 (above 1/3, below 4/9), and lag 90
  // then scores 0.5, which is better but not by a third.
  weighted_line near{};
  for (int i : {0, 40, 80}) put(near, kHalf0, i, 1.0f);
  put(near, kHalf0, -40, -1.0f);
  put(near, kHalf0, -50, std::sqrt(2.0f));
  put(near, kHalf0, -130, -std::sqrt(2.0f));
  EXPECT_EQ(open_loop_pitch(near.data(), kHalf0), 50);
}

TEST(OpenLoopPitch, WithoutPositiveCorrelationTheLagIs18) {
  weighted_line silent{};
  EXPECT_EQ(open_loop_pitch(silent.data(), kHalf0), 18);

  // Lags 40, 80 and 120 correlate negatively, all others not at all.
  weighted_line negative{};
  for (int i : {0, 40, 80}) put(negative, kHalf0, i, 1.0f);
  put(negative, kHalf0, -40, -5.0f);
  EXPECT_EQ(open_loop_pitch(negative.data(), kHalf0), 18);
}

TEST(OpenLoopPitch, AgreesWithDirectEnergiesOnRandomSignals) {
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 1000.0f);
  std::uniform_int_distribution<int> any_period(18, 142);
  for (int trial = 0; trial < 200; ++trial) {
    // A random period buried to a random degree in noise.
    weighted_line line{};
    const int period = any_period(rng);
    const float mix = static_cast<float>(trial % 5) * 0.25f;
    std::array<float, 142> cycle{};
    for (float& v : cycle) v = noise(rng);
    for (int n = 0; n < static_cast<int>(line.size()); ++n) {
      line[n] = mix * cycle[n % period] + (1.0f - mix) * noise(rng);
    }
    EXPECT_EQ(open_loop_pitch(line.data(), kHalf0), reference_pitch(line, kHalf0)) << trial;
    EXPECT_EQ(open_loop_pitch(line.data(), kHalf1), reference_pitch(line, kHalf1)) << trial;
  }
}

}  // namespace
}  // namespace sivo
