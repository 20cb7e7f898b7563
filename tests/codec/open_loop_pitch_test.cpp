// Open-loop pitch of a half frame of weighted speech.
#include "codec/analysis/open_loop_pitch.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <random>

#include "codec/codec_types.h"

namespace sivo {
namespace {

// Weighted speech of one frame with its 145 history samples; y[0] at 145.
using weighted_line = std::array<float, kHistory + kFrame>;
constexpr int kHalf0 = kHistory;
constexpr int kHalf1 = kHistory + kHalfFrame;

// The choice with every lagged energy summed directly in double.
int32_t reference_pitch(const weighted_line& line, int start) {
  const float* x = line.data() + start;
  double best = 0.0;
  int32_t chosen = 18;
  for (int lag = 18; lag <= 142; ++lag) {
    double r = 0.0, e = 0.0;
    for (int i = 0; i < kHalfFrame; ++i) {
      r += static_cast<double>(x[i]) * x[i - lag];
      e += static_cast<double>(x[i - lag]) * x[i - lag];
    }
    if (r > 0.0 && ((r * r / e > best && lag - chosen < 18) || 0.75 * r * r / e > best)) {
      best = r * r / e;
      chosen = lag;
    }
  }
  return chosen;
}

// Pulses of height 1 at 0, 40 and 80 of half frame 0, plus history values.
weighted_line pulses(std::initializer_list<std::pair<int, float>> history) {
  weighted_line line{};
  for (int i : {0, 40, 80}) line[kHalf0 + i] = 1.0f;
  for (auto [offset, value] : history) line[kHalf0 + offset] = value;
  return line;
}

TEST(OpenLoopPitch, FindsThePeriodOfPulseTrains) {
  for (int period : {18, 20, 37, 57, 100, 140, 142}) {
    weighted_line line{};
    for (int n = kHistory + 5; n >= 0; n -= period) line[n] = 1000.0f;
    for (int n = kHistory + 5; n < static_cast<int>(line.size()); n += period) line[n] = 1000.0f;
    EXPECT_EQ(open_loop_pitch(line.data(), kHalf0), period);
    EXPECT_EQ(open_loop_pitch(line.data(), kHalf1), period);
  }
}

TEST(OpenLoopPitch, TiesAndAcceptanceRules) {
  // Every lag of a constant signal scores the same: the first one stays.
  weighted_line flat;
  flat.fill(1.0f);
  EXPECT_EQ(open_loop_pitch(flat.data(), kHalf0), 18);
  // Lag 40 scores 1/3; lag 80 scores b^2/(b^2 + 2) and must beat 4/9.
  EXPECT_EQ(open_loop_pitch(pulses({{-40, -1.0f}, {-80, 1.15f}}).data(), kHalf0), 40);
  EXPECT_EQ(open_loop_pitch(pulses({{-40, -1.0f}, {-80, 2.0f}}).data(), kHalf0), 80);
  // Lag 50 scores 0.4 and wins on being less than 18 above 40; lag 90 then
  // scores 0.5, better but not by a third.
  const float d = std::sqrt(2.0f);
  EXPECT_EQ(open_loop_pitch(pulses({{-40, -1.0f}, {-50, d}, {-130, -d}}).data(), kHalf0), 50);
  // No positive correlation at any lag.
  EXPECT_EQ(open_loop_pitch(pulses({{-40, -5.0f}}).data(), kHalf0), 18);
  EXPECT_EQ(open_loop_pitch(weighted_line{}.data(), kHalf0), 18);
}

TEST(OpenLoopPitch, RunningEnergyAgreesWithDirectSums) {
  std::mt19937 rng(7);
  std::normal_distribution<float> noise(0.0f, 1000.0f);
  for (int trial = 0; trial < 200; ++trial) {
    // A random period buried to a varying degree in noise.
    const int period = 18 + static_cast<int>(rng() % 125);
    const float mix = static_cast<float>(trial % 5) * 0.25f;
    std::array<float, 142> cycle{};
    for (float& v : cycle) v = noise(rng);
    weighted_line line{};
    for (int n = 0; n < static_cast<int>(line.size()); ++n) {
      line[n] = mix * cycle[n % period] + (1.0f - mix) * noise(rng);
    }
    EXPECT_EQ(open_loop_pitch(line.data(), kHalf0), reference_pitch(line, kHalf0)) << trial;
    EXPECT_EQ(open_loop_pitch(line.data(), kHalf1), reference_pitch(line, kHalf1)) << trial;
  }
}

}  // namespace
}  // namespace sivo
