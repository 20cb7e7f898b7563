#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <fstream>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "codec/analysis/input_conditioning.h"
#include "codec/analysis/lpc_analysis.h"
#include "codec/analysis/lpc_to_lsp.h"
#include "codec/analysis/lsp_quantise.h"
#include "codec/tables/lpc_tables.h"
#include "codec/tables/lsp_tables.h"

namespace sivo {
namespace {

using poly = std::vector<double>;

poly multiply(const poly& x, const poly& y) {
  poly out(x.size() + y.size() - 1, 0.0);
  for (size_t i = 0; i < x.size(); ++i) {
    for (size_t j = 0; j < y.size(); ++j) out[i + j] += x[i] * y[j];
  }
  return out;
}

// Predictor a1..a10 whose sum polynomial has its roots at the even LSPs and its difference
// polynomial at the odd ones, built from products of second-order sections in double.
std::array<double, kOrder> predictor_of(const std::array<float, kOrder>& lsp) {
  poly p = {1.0, 1.0};   // root at z = -1
  poly q = {1.0, -1.0};  // root at z = +1
  for (int i = 0; i < kOrder; ++i) {
    const poly section = {1.0, -2.0 * std::cos(lsp[i] * std::numbers::pi / 256.0), 1.0};
    (i % 2 == 0 ? p : q) = multiply(i % 2 == 0 ? p : q, section);
  }
  std::array<double, kOrder> a;
  for (int j = 1; j <= kOrder; ++j) a[j - 1] = -(p[j] + q[j]) / 2.0;
  return a;
}

// Undoes the bandwidth expansion that lpc_to_lsp applies first.
std::array<float, kOrder> unexpanded(const std::array<double, kOrder>& expanded) {
  std::array<float, kOrder> a;
  for (int j = 0; j < kOrder; ++j) a[j] = static_cast<float>(expanded[j] / bandwidth_expansion[j]);
  return a;
}

// Random increasing LSP vector with neighbours at least min_gap apart: the mean vector
// moved by up to spread units per LSP.
std::array<float, kOrder> random_lsp(std::mt19937& rng, float spread, float min_gap) {
  std::uniform_real_distribution<float> u(-spread, spread);
  std::array<float, kOrder> lsp;
  bool spaced;
  do {
    for (int i = 0; i < kOrder; ++i) lsp[i] = lsp_mean[i] + u(rng);
    spaced = lsp[0] >= min_gap && lsp[kOrder - 1] <= 256.0f - min_gap;
    for (int i = 1; i < kOrder; ++i) spaced = spaced && lsp[i] - lsp[i - 1] >= min_gap;
  } while (!spaced);
  return lsp;
}

void expect_valid(const std::array<float, kOrder>& lsp) {
  EXPECT_GT(lsp[0], 0.0f);
  EXPECT_LT(lsp[kOrder - 1], 256.0f);
  for (int i = 1; i < kOrder; ++i) EXPECT_GT(lsp[i], lsp[i - 1]);
}

TEST(LpcToLsp, FlatPredictorGivesEvenlySpacedLsps) {
  const std::array<float, kOrder> zero{};
  std::array<float, kOrder> lsp;
  lpc_to_lsp(lsp, zero, lsp_mean);
  for (int k = 1; k <= kOrder; ++k) EXPECT_NEAR(lsp[k - 1], k * 256.0 / 11.0, 0.01) << k;
}

TEST(LpcToLsp, RecoversLspsOfRandomPredictors) {
  std::mt19937 rng(21);
  double worst = 0.0;
  for (int trial = 0; trial < 500; ++trial) {
    const std::array<float, kOrder> lsp = random_lsp(rng, 12.0f, 3.0f);
    std::array<float, kOrder> found;
    lpc_to_lsp(found, unexpanded(predictor_of(lsp)), lsp_mean);
    expect_valid(found);
    for (int i = 0; i < kOrder; ++i)
      worst = std::max(worst, std::fabs(static_cast<double>(found[i]) - lsp[i]));
  }
  EXPECT_LT(worst, 0.03);
}

// LSPs of real speech predictors map back to the bandwidth-expanded predictor.
TEST(LpcToLsp, SpeechPredictorsSurviveRoundTrip) {
  for (const char* name : {"hts1a", "forig", "kristoff"}) {
    std::ifstream file(std::string("/usr/share/codec2/raw/") + name + ".raw", std::ios::binary);
    ASSERT_TRUE(file) << name << ": codec2-examples recordings missing";
    encoder_state state{};
    reset_encoder_state(state);
    std::array<float, kSpeechHistory + kFrame> line{};
    std::array<int16_t, kFrame> pcm;
    int frames = 0, fallbacks = 0;
    double worst = 0.0;
    while (file.read(reinterpret_cast<char*>(pcm.data()), sizeof pcm)) {
      std::copy(line.begin() + kFrame, line.end(), line.begin());
      const std::span<float, kFrame> frame(line.data() + kSpeechHistory, kFrame);
      convert_input(frame.data(), kFrame, pcm.data());
      condition_input(frame, state);
      std::array<lpc_set, kSubframes> a;
      lpc_analysis(a, line.data(), state);
      std::array<float, kOrder> lsp;
      lpc_to_lsp(lsp, a[3], lsp_mean);
      ++frames;
      if (lsp == lsp_mean) {
        ++fallbacks;
        continue;
      }
      expect_valid(lsp);
      const std::array<double, kOrder> back = predictor_of(lsp);
      for (int j = 0; j < kOrder; ++j) {
        const double expanded = a[3][j] * static_cast<double>(bandwidth_expansion[j]);
        worst = std::max(worst, std::fabs(back[j] - expanded));
      }
    }
    EXPECT_GT(frames, 50) << name;
    EXPECT_LE(fallbacks, frames / 50) << name;
    EXPECT_LT(worst, 0.01) << name;
  }
}

TEST(LpcToLsp, FallsBackToPreviousWithoutTenRoots) {
  std::array<float, kOrder> prev = {10, 30, 50, 70, 90, 110, 130, 150, 170, 190};
  std::array<float, kOrder> lsp;
  // A predictor far outside the stable region: its polynomials do not alternate.
  std::array<float, kOrder> wild;
  wild.fill(5.0f);
  lpc_to_lsp(lsp, wild, prev);
  EXPECT_EQ(lsp, prev);
  wild.fill(std::nanf(""));
  lpc_to_lsp(lsp, wild, prev);
  EXPECT_EQ(lsp, prev);
}

// Weighted squared error of one codebook entry, the quantity the search minimises.
double weighted_error(int band, int entry, const std::array<float, kOrder>& r,
                      const std::array<float, kOrder>& w) {
  const int first = band * 3;
  const int size = band == 2 ? 4 : 3;
  double error = 0.0;
  for (int i = 0; i < size; ++i) {
    const double c = band == 0   ? lsp_codebook_band0[entry][i]
                     : band == 1 ? lsp_codebook_band1[entry][i]
                                 : lsp_codebook_band2[entry][i];
    error += w[first + i] * (r[first + i] - c) * (r[first + i] - c);
  }
  return error;
}

// An exact tie: weight on one LSP only, residual halfway between two neighbouring codebook
// values. Every entry holding either value scores the same; the lowest such entry wins.
TEST(LspSplitVq, EqualScoresGoToLowerEntry) {
  std::array<float, kOrder> r{}, w{};
  w[4] = 1.0f;
  std::array<float, 256> values;
  for (int e = 0; e < 256; ++e) values[e] = lsp_codebook_band1[e][1];
  std::array<float, 256> sorted = values;
  std::sort(sorted.begin(), sorted.end());
  const float low = sorted[100];
  const float high = *std::upper_bound(sorted.begin(), sorted.end(), low);
  r[4] = (low + high) / 2.0f;
  ASSERT_EQ(r[4] - low, high - r[4]);
  int expected = 0;
  while (values[expected] != low && values[expected] != high) ++expected;
  EXPECT_EQ(lsp_split_vq(1, r, w), expected);
  // No weight at all: every score is 0 and entry 0 stays chosen.
  w.fill(0.0f);
  EXPECT_EQ(lsp_split_vq(2, r, w), 0);
}

TEST(LspQuantise, MeanVectorWithMeanPredictionGivesIndexZero) {
  EXPECT_EQ(lsp_quantise(lsp_mean, lsp_mean), 0);
}

// Random vectors against a direct search: weights from the nearest neighbour, residual
// from the damped prediction, then per band the entry of least weighted squared error.
TEST(LspQuantise, MatchesDirectSearchAndStaysWithin24Bits) {
  std::mt19937 rng(17);
  for (int trial = 0; trial < 300; ++trial) {
    const std::array<float, kOrder> lsp = random_lsp(rng, 40.0f, 0.5f);
    const std::array<float, kOrder> prev = random_lsp(rng, 40.0f, 0.5f);
    const int32_t index = lsp_quantise(lsp, prev);
    ASSERT_GE(index, 0);
    ASSERT_LE(index, 0xFFFFFF);

    std::array<float, kOrder> w, r;
    for (int i = 0; i < kOrder; ++i) {
      const double below = i > 0 ? lsp[i] - lsp[i - 1] : 1e9;
      const double above = i + 1 < kOrder ? lsp[i + 1] - lsp[i] : 1e9;
      w[i] = static_cast<float>(1.0 / std::min(below, above));
      r[i] = static_cast<float>(lsp[i] - lsp_mean[i] - 0.375 * (prev[i] - lsp_mean[i]));
    }
    for (int band = 0; band < 3; ++band) {
      const int chosen = (index >> (8 * (2 - band))) & 0xFF;
      double least = weighted_error(band, 0, r, w);
      for (int e = 1; e < 256; ++e) least = std::min(least, weighted_error(band, e, r, w));
      EXPECT_NEAR(weighted_error(band, chosen, r, w), least, 1e-4 * (1.0 + least))
          << trial << " band " << band;
    }
  }
}

}  // namespace
}  // namespace sivo
