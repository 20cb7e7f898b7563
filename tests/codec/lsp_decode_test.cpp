// LSP decoding, repair, interpolation and conversion to predictor coefficients.
#include "codec/analysis/lsp_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cstdint>
#include <cmath>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "codec/kernels/kernel_table.h"
#include "codec/tables/lsp_tables.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

constexpr double kPi = 3.14159265358979323846;

lsp_vector decode(const lsp_vector& prev, int32_t index, int32_t bad_frame) {
  lsp_vector out{};
  lsp_decode(out, prev, index, bad_frame);
  return out;
}

// The predicted, unrepaired value m + f (prev - m) of LSP i.
float predicted(const lsp_vector& prev, int i, double factor) {
  return static_cast<float>(lsp_mean[i] + factor * (prev[i] - static_cast<double>(lsp_mean[i])));
}

bool usable(const lsp_vector& l) {
  for (int j = 0; j < 9; ++j) {
    if (!(l[j + 1] > l[j])) return false;
  }
  return l[0] > 0.0f && l[9] < 256.0f;
}

// Stability of 1/A(z) by the step-down recursion: every |k| < 1.
bool stable(const lpc_set& a) {
  std::vector<double> c = {1.0};
  for (float v : a) c.push_back(-static_cast<double>(v));
  for (int m = kOrder; m >= 1; --m) {
    const double k = c[m];
    if (!(std::fabs(k) < 1.0)) return false;
    std::vector<double> lower = c;
    for (int j = 1; j < m; ++j) lower[j] = (c[j] - k * c[m - j]) / (1.0 - k * k);
    c = lower;
  }
  return true;
}

// LSPs (units of pi/256) of A(z) as the zeros on the unit circle of the sum
// (cosine series) and difference (sine series) polynomials, by bisection.
std::vector<double> lsps_by_root_search(const std::array<double, kOrder>& a) {
  std::vector<double> c = {1.0};
  for (double v : a) c.push_back(-v);
  c.push_back(0.0);
  std::vector<double> roots;
  for (int sign : {1, -1}) {
    auto f = [&](double w) {
      double s = 0.0;
      for (int k = 0; k < 6; ++k) {
        const double coef = c[k] + sign * c[kOrder + 1 - k];
        s += coef * (sign > 0 ? std::cos((5.5 - k) * w) : std::sin((5.5 - k) * w));
      }
      return s;
    };
    constexpr int kGrid = 20000;
    for (int g = 1; g + 1 < kGrid; ++g) {
      double lo = g * kPi / kGrid;
      double hi = (g + 1) * kPi / kGrid;
      if ((f(lo) < 0.0) == (f(hi) < 0.0)) continue;
      for (int it = 0; it < 60; ++it) {
        const double mid = 0.5 * (lo + hi);
        ((f(lo) < 0.0) == (f(mid) < 0.0) ? lo : hi) = mid;
      }
      roots.push_back(lo * 256.0 / kPi);
    }
  }
  std::sort(roots.begin(), roots.end());
  return roots;
}

TEST(LspDecode, PredictionAndBadFrames) {
  EXPECT_EQ(decode(lsp_mean, 0, 0), lsp_mean);

  // A bad frame ignores the index and pulls the vector toward the mean.
  lsp_vector prev = lsp_mean;
  for (int i = 0; i < kOrder; ++i) prev[i] += (i % 2 ? 1.5f : -1.0f);
  const lsp_vector lost = decode(prev, 0xffffff, 7);
  EXPECT_EQ(decode(prev, 0, 1), lost);
  for (int i = 0; i < kOrder; ++i) EXPECT_EQ(lost[i], predicted(prev, i, 0.71875)) << i;

  // Band 0 sits in the top byte and fills LSPs 0..2, band 2 LSPs 6..9.
  const lsp_vector good = decode(lsp_mean, (5 << 16) | (17 << 8) | 200, 0);
  EXPECT_EQ(good[0], lsp_mean[0] + lsp_codebook_band0[5][0]);
  EXPECT_EQ(good[3], lsp_mean[3] + lsp_codebook_band1[17][0]);
  EXPECT_EQ(good[9], lsp_mean[9] + lsp_codebook_band2[200][3]);
}

TEST(LspDecode, RepairSpacingAndEnds) {
  // LSPs 4 and 5 predicted `gap` apart; good frames space them 2.0 around
  // their centre, bad frames 4.0.
  for (auto [gap, bad, spacing] : {std::tuple{0.5, 0, 2.0}, {1.9, 0, 2.0}, {3.0, 0, 3.0},
                                   {3.0, 1, 4.0}}) {
    const double factor = bad ? 0.71875 : 0.375;
    lsp_vector prev = lsp_mean;
    prev[4] = lsp_mean[4] + 40.0f;
    const float l4 = predicted(prev, 4, factor);
    prev[5] = static_cast<float>(lsp_mean[5] + (l4 + gap - lsp_mean[5]) / factor);
    const float l5 = predicted(prev, 5, factor);
    const lsp_vector out = decode(prev, 0, bad);
    EXPECT_NEAR(out[5] - out[4], std::max(spacing, l5 - static_cast<double>(l4)), 1e-4) << gap;
    EXPECT_NEAR(out[5] + out[4], l5 + static_cast<double>(l4), 1e-4) << gap;
  }
  lsp_vector prev = lsp_mean;
  prev[0] -= 60.0f;
  prev[9] += 100.0f;
  const lsp_vector clamped = decode(prev, 0, 0);
  EXPECT_EQ(clamped[0], 3.0f);
  EXPECT_EQ(clamped[9], 252.0f);
}

TEST(LspDecode, AnyIndexGivesAStableFilter) {
  // 0x430000 from reset walks the first LSP down; arbitrary indices with
  // lost frames mixed in must likewise keep every filter stable.
  std::mt19937 rng(1234);
  for (bool random_indices : {false, true}) {
    lsp_vector prev = lsp_mean;
    std::array<lpc_set, kSubframes> coefficients{};
    for (int frame = 0; frame < 3000; ++frame) {
      const int32_t index = random_indices ? static_cast<int32_t>(rng() & 0xffffff) : 0x430000;
      const lsp_vector l = decode(prev, index, random_indices && rng() % 8 == 0);
      ASSERT_TRUE(usable(l)) << frame;
      lsp_interpolate(coefficients, l, prev);
      ASSERT_EQ(prev, l);
      for (const lpc_set& a : coefficients) ASSERT_TRUE(stable(a)) << frame;
    }
  }
}

TEST(LspInterpolate, SubframesMixPreviousAndCurrent) {
  lsp_vector prev = lsp_mean;
  const lsp_vector old = prev;
  const lsp_vector current = decode(prev, (3 << 16) | (40 << 8) | 77, 0);
  std::array<lpc_set, kSubframes> coefficients{};
  lsp_interpolate(coefficients, current, prev);
  for (int sub = 0; sub < kSubframes; ++sub) {
    const double wp = (3 - sub) * 0.25;
    lpc_set expected{};
    for (int i = 0; i < kOrder; ++i) {
      expected[i] = static_cast<float>(old[i] * wp + current[i] * (1.0 - wp));
    }
    lsp_to_lpc(expected);
    EXPECT_EQ(coefficients[sub], expected) << sub;
  }
}

TEST(LspToLpc, InvertsTheLineSpectrumOfStableFilters) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> reflection(-0.9, 0.9);
  for (int trial = 0; trial < 50; ++trial) {
    std::array<double, kOrder> k{};
    for (double& v : k) v = reflection(rng);
    const std::array<double, kOrder> a = test_support::predictor_from_reflections(k);
    const std::vector<double> roots = lsps_by_root_search(a);
    ASSERT_EQ(roots.size(), 10u);
    lpc_set v{};
    for (int i = 0; i < kOrder; ++i) v[i] = static_cast<float>(roots[i]);
    lsp_to_lpc(v);
    for (int j = 0; j < kOrder; ++j) EXPECT_NEAR(v[j], a[j], 2e-3 * (1.0 + std::fabs(a[j])));
  }
}

TEST(LspToLpc, OutOfRangeValuesStayInsideTheTable) {
  const lpc_set base = {10.0f, 30.0f, 50.0f, 70.0f, 90.0f, 110.0f, 130.0f, 150.0f, 170.0f, 190.0f};
  for (float value : {-1.0f, -300.0f, -5000.0f, 256.0f, 511.5f, 600.0f, 5000.0f}) {
    lpc_set v = base;
    v[value < 0.0f ? 0 : 9] = value;
    lsp_to_lpc(v);
    for (float c : v) EXPECT_TRUE(std::isfinite(c)) << value;
  }
  // The table spans a whole period: 510.5 reads entries 510 and 511, the
  // mirrors of 2 and 1, so it acts exactly like 1.5.
  lpc_set mirrored = base;
  lpc_set direct = base;
  mirrored[0] = 510.5f;
  direct[0] = 1.5f;
  lsp_to_lpc(mirrored);
  lsp_to_lpc(direct);
  EXPECT_EQ(mirrored, direct);
  // NaN is looked up at entry 0 and propagates.
  lpc_set nan_vector = base;
  nan_vector[3] = std::numeric_limits<float>::quiet_NaN();
  lsp_to_lpc(nan_vector);
  EXPECT_TRUE(std::isnan(nan_vector[0]));
}

}  // namespace
// The LSP conversion kernel against one conversion at a time, for ordinary
// vectors and for values off the table's ends, subnormals and NaN.
TEST(LspInterpolate, FourSubframesSideBySideMatchOneAtATime) {
  std::mt19937 rng(98);
  std::uniform_real_distribution<float> spread(1.0f, 255.0f);
  const float odd[] = {-0.0f, 1e-41f, -700.0f, 510.9f, 9000.0f,
                       std::numeric_limits<float>::quiet_NaN()};
  for (kernel_variant variant : runnable_kernel_variants()) {
    for (int trial = 0; trial < 400; ++trial) {
      std::array<lpc_set, kSubframes> together;
      for (lpc_set& v : together) {
        for (float& x : v) x = spread(rng);
        std::sort(v.begin(), v.end());
        if (trial >= 300) v[rng() % kOrder] = odd[rng() % std::size(odd)];
      }
      const std::array<lpc_set, kSubframes> given = together;
      kernel_table_for(variant).lsp_to_lpc_subframes(together);
      for (int sub = 0; sub < kSubframes; ++sub) {
        lpc_set alone = given[sub];
        lsp_to_lpc(alone);
        for (int i = 0; i < kOrder; ++i) {
          const bool both_nan = std::isnan(together[sub][i]) && std::isnan(alone[i]);
          ASSERT_TRUE(both_nan || std::bit_cast<uint32_t>(together[sub][i]) ==
                                      std::bit_cast<uint32_t>(alone[i]))
              << "variant " << int(variant) << " trial " << trial << " subframe " << sub;
        }
      }
    }
  }
}

}  // namespace sivo
