#include "codec/analysis/lpc_analysis.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <random>
#include <vector>

#include "codec/analysis/input_conditioning.h"
#include "codec/tables/lpc_tables.h"

namespace sivo {
namespace {

constexpr int kAnalysisSpan = kSpeechHistory + kFrame;  // samples read by lpc_analysis

// Solves the order-10 normal equations sum_j a_j r|i-j| = r_i in double by Gaussian
// elimination with partial pivoting: an independent route to the predictor.
std::array<double, kOrder> solve_normal_equations(const std::array<float, kOrder>& r, float r0) {
  std::array<std::array<double, kOrder + 1>, kOrder> m;
  auto lag = [&](int l) { return l == 0 ? static_cast<double>(r0) : r[l - 1]; };
  for (int i = 0; i < kOrder; ++i) {
    for (int j = 0; j < kOrder; ++j) m[i][j] = lag(std::abs(i - j));
    m[i][kOrder] = lag(i + 1);
  }
  for (int col = 0; col < kOrder; ++col) {
    int pivot = col;
    for (int i = col + 1; i < kOrder; ++i) {
      if (std::fabs(m[i][col]) > std::fabs(m[pivot][col])) pivot = i;
    }
    std::swap(m[col], m[pivot]);
    for (int i = col + 1; i < kOrder; ++i) {
      const double f = m[i][col] / m[col][col];
      for (int j = col; j <= kOrder; ++j) m[i][j] -= f * m[col][j];
    }
  }
  std::array<double, kOrder> a;
  for (int i = kOrder - 1; i >= 0; --i) {
    double s = m[i][kOrder];
    for (int j = i + 1; j < kOrder; ++j) s -= m[i][j] * a[j];
    a[i] = s / m[i][i];
  }
  return a;
}

// Biased autocorrelation of a random coloured signal: always positive definite.
void random_autocorrelation(std::mt19937& rng, std::array<float, kOrder>& r, float& r0) {
  std::normal_distribution<double> noise(0.0, 1000.0);
  std::uniform_real_distribution<double> pole(-0.9, 0.9);
  const double p1 = pole(rng), p2 = pole(rng);
  std::vector<double> x(240);
  double y1 = 0.0, y2 = 0.0;
  for (double& v : x) {
    v = noise(rng) + (p1 + p2) * y1 - p1 * p2 * y2;
    y2 = y1;
    y1 = v;
  }
  for (int l = 0; l <= kOrder; ++l) {
    double s = 0.0;
    for (size_t n = l; n < x.size(); ++n) s += x[n] * x[n - l];
    (l == 0 ? r0 : r[l - 1]) = static_cast<float>(s);
  }
}

TEST(LevinsonDurbin, MatchesDirectSolutionOnRandomAutocorrelations) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 300; ++trial) {
    std::array<float, kOrder> r;
    float r0 = 0.0f;
    random_autocorrelation(rng, r, r0);
    std::array<float, kOrder> a;
    float k2;
    const float error = levinson_durbin(a, r, r0, k2);
    const std::array<double, kOrder> expected = solve_normal_equations(r, r0);
    for (int j = 0; j < kOrder; ++j) ASSERT_NEAR(a[j], expected[j], 2e-3) << trial << " a" << j + 1;
    // Second reflection coefficient and final error, from their closed forms.
    const double k1 = r[0] / static_cast<double>(r0);
    EXPECT_NEAR(k2, (r[1] - k1 * r[0]) / (r0 * (1.0 - k1 * k1)), 1e-4);
    double final_error = r0;
    for (int j = 0; j < kOrder; ++j) final_error -= expected[j] * r[j];
    EXPECT_NEAR(error, final_error, 1e-3 * r0);
  }
}

TEST(LevinsonDurbin, EarlyStopKeepsLowerOrderPredictor) {
  std::array<float, kOrder> a;
  float k2 = 0.0f;
  // Stop at the first step: r1 equals r0.
  std::array<float, kOrder> r = {1.0f, 0.5f, 0.2f};
  levinson_durbin(a, r, 1.0f, k2);
  EXPECT_EQ(k2, -1.0f);
  for (float c : a) EXPECT_EQ(c, 0.0f);

  // Stop at the third step: orders 1 and 2 solve, then r3 is far too large.
  r = {0.5f, 0.1f, 5.0f, 0.0f};
  const float error = levinson_durbin(a, r, 1.0f, k2);
  EXPECT_EQ(k2, -1.0f);
  const double k1 = 0.5, e1 = 1.0 - k1 * k1, kk2 = (0.1 - k1 * 0.5) / e1;
  EXPECT_NEAR(a[0], k1 - kk2 * k1, 1e-6);
  EXPECT_NEAR(a[1], kk2, 1e-6);
  for (int j = 2; j < kOrder; ++j) EXPECT_EQ(a[j], 0.0f);
  EXPECT_NEAR(error, e1 * (1.0 - kk2 * kk2), 1e-6);

  // All-zero autocorrelations (silent windows) stop at once and count as tone.
  r.fill(0.0f);
  levinson_durbin(a, r, 0.0f, k2);
  EXPECT_EQ(k2, -1.0f);
}

// A speech line of 120 history samples followed by one new frame, advanced frame by
// frame the way the encoder keeps it.
struct analysis_line {
  std::array<float, kAnalysisSpan> samples{};
  void push(const std::array<float, kFrame>& frame) {
    std::copy(samples.begin() + kFrame, samples.end(), samples.begin());
    std::copy(frame.begin(), frame.end(), samples.begin() + kSpeechHistory);
  }
};

// Each subframe's predictor equals the direct solution of the normal equations built
// from the window formula, and the predictor of an AR(2) process comes out of it.
TEST(LpcAnalysis, MatchesDirectSolutionAndRecoversSecondOrderProcess) {
  constexpr double a1 = 1.2, a2 = -0.6;  // x[n] = a1 x[n-1] + a2 x[n-2] + e[n]
  std::mt19937 rng(5);
  std::normal_distribution<double> noise(0.0, 1000.0);
  encoder_state state{};
  reset_encoder_state(state);
  analysis_line line;
  double y1 = 0.0, y2 = 0.0;
  constexpr int kFrames = 50;
  std::array<double, kOrder> mean{};
  std::array<lpc_set, kSubframes> a;
  for (int frame_no = 0; frame_no <= kFrames; ++frame_no) {
    std::array<float, kFrame> frame;
    for (float& v : frame) {
      const double y = a1 * y1 + a2 * y2 + noise(rng);
      y2 = y1;
      y1 = y;
      v = static_cast<float>(y);
    }
    line.push(frame);
    lpc_analysis(a, line.samples.data(), state);
    if (frame_no == 0) continue;  // windows still reach into the zero history
    for (int k = 0; k < kSubframes; ++k) {
      std::array<double, 180> w;
      for (int n = 0; n < 180; ++n) {
        w[n] = line.samples[k * kSubframe + n] *
               (0.54 - 0.46 * std::cos(2 * std::numbers::pi * n / 179));
      }
      std::array<float, kOrder> r;
      float r0 = 0.0f;
      for (int l = 0; l <= kOrder; ++l) {
        double sum = 0.0;
        for (int n = l; n < 180; ++n) sum += w[n] * w[n - l];
        (l == 0 ? r0 : r[l - 1]) =
            static_cast<float>(l == 0 ? sum * 1.0009765625 : sum * lag_window[l - 1]);
      }
      const std::array<double, kOrder> expected = solve_normal_equations(r, r0);
      for (int j = 0; j < kOrder; ++j) {
        ASSERT_NEAR(a[k][j], expected[j], 1e-3) << "frame " << frame_no << " subframe " << k;
        mean[j] += a[k][j] / (kFrames * kSubframes);
      }
    }
  }
  EXPECT_NEAR(mean[0], a1, 0.05);
  EXPECT_NEAR(mean[1], a2, 0.05);
  for (int j = 2; j < kOrder; ++j) EXPECT_NEAR(mean[j], 0.0, 0.06) << "a" << j + 1;
}

TEST(LpcAnalysis, EachSubframeWindowsItsOwnSpan) {
  // Only the last 60 samples carry signal; they lie in subframe 3's window alone, so the
  // first three windows are silent, stop at once and count as tone decisions.
  encoder_state state{};
  reset_encoder_state(state);
  std::array<float, kAnalysisSpan> line{};
  for (int n = kAnalysisSpan - kSubframe; n < kAnalysisSpan; ++n) {
    line[n] = static_cast<float>(1000.0 * std::sin(0.3 * n) + 500.0 * std::sin(1.1 * n));
  }
  std::array<lpc_set, kSubframes> a;
  lpc_analysis(a, line.data(), state);
  for (int k = 0; k < 3; ++k) {
    for (float c : a[k]) EXPECT_EQ(c, 0.0f);
  }
  EXPECT_NE(a[3][0], 0.0f);
  EXPECT_EQ(state.tone_history & 0xF, 0xE);

  // Scaling the input by a power of two changes no coefficient bit.
  std::array<float, kAnalysisSpan> scaled;
  for (int n = 0; n < kAnalysisSpan; ++n) scaled[n] = line[n] * 0.25f;
  std::array<lpc_set, kSubframes> b;
  lpc_analysis(b, scaled.data(), state);
  EXPECT_EQ(a[3], b[3]);
}

// Register arithmetic: four silent subframes add four tone decisions, four noise
// subframes none; the flag stands for 14 or more of the last 15 decisions.
TEST(LpcAnalysis, ToneRegisterKeepsFifteenDecisionsAndFlag) {
  std::array<float, kAnalysisSpan> silent{};
  std::array<float, kAnalysisSpan> noise;
  std::mt19937 rng(3);
  std::uniform_real_distribution<float> u(-8000.0f, 8000.0f);
  for (float& v : noise) v = u(rng);
  struct step {
    uint16_t before;
    bool tone;
    uint16_t after;
  };
  const std::array<step, 7> steps = {{
      {0x0000, true, 0x000F},
      {0x03FF, true, 0xBFFF},  // 14 decisions: flag
      {0x01FF, true, 0x1FFF},  // 13 decisions: no flag
      {0xFFFF, true, 0xFFFF},  // old flag and oldest bits fall out
      {0xFFFF, false, 0x7FF0},
      {0x87FF, false, 0x7FF0},
      {0x8000, true, 0x000F},
  }};
  std::array<lpc_set, kSubframes> a;
  for (const step& s : steps) {
    encoder_state state{};
    reset_encoder_state(state);
    state.tone_history = s.before;
    lpc_analysis(a, s.tone ? silent.data() : noise.data(), state);
    EXPECT_EQ(state.tone_history, s.after) << std::hex << s.before;
  }
}

// A steady tone through the whole front end: the flag rises with the fourth frame after
// reset, not before, and falls again once the tone has given way to noise.
TEST(LpcAnalysis, SteadyToneRaisesFlagOnFourthFrame) {
  encoder_state state{};
  reset_encoder_state(state);
  state.filter_mode = 1;
  analysis_line line;
  std::array<lpc_set, kSubframes> a;
  std::array<int16_t, kFrame> pcm;
  std::array<float, kFrame> frame;
  int t = 0;
  for (int frame_no = 1; frame_no <= 6; ++frame_no) {
    for (int16_t& v : pcm) {
      v = static_cast<int16_t>(
          std::lround(8000.0 * std::sin(2.0 * std::numbers::pi * 700.0 / 8000.0 * t++)));
    }
    convert_input(frame.data(), kFrame, pcm.data());
    condition_input(frame, state);
    line.push(frame);
    lpc_analysis(a, line.samples.data(), state);
    EXPECT_EQ((state.tone_history & 0x8000) != 0, frame_no >= 4) << "frame " << frame_no;
  }
  std::mt19937 rng(9);
  std::uniform_int_distribution<int> u(-8000, 8000);
  bool cleared = false;
  for (int frame_no = 1; frame_no <= 2; ++frame_no) {
    for (int16_t& v : pcm) v = static_cast<int16_t>(u(rng));
    convert_input(frame.data(), kFrame, pcm.data());
    condition_input(frame, state);
    line.push(frame);
    lpc_analysis(a, line.samples.data(), state);
    cleared = (state.tone_history & 0x8000) == 0;
  }
  EXPECT_TRUE(cleared);
}

}  // namespace
}  // namespace sivo
