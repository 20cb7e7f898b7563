// LSP decoding, repair, interpolation and conversion to predictor coefficients.
#include "codec/analysis/lsp_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <functional>
#include <limits>
#include <random>
#include <vector>

#include "codec/tables/lsp_tables.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

using test_support::predictor_from_reflections;

constexpr double kPi = 3.14159265358979323846;

lsp_vector decode(const lsp_vector& prev, int32_t index, int32_t bad_frame) {
  lsp_vector out{};
  lsp_decode(out, prev, index, bad_frame);
  return out;
}

// The predicted, unrepaired value m + f (prev - m) of one LSP.
float predicted(const lsp_vector& prev, int i, double factor) {
  const double m = lsp_mean[i];
  return static_cast<float>(m + factor * (prev[i] - m));
}

bool usable(const lsp_vector& l) {
  if (!(l[0] > 0.0f) || !(l[9] < 256.0f)) return false;
  for (int j = 0; j < 9; ++j) {
    if (!(l[j + 1] > l[j])) return false;
  }
  return true;
}

// True when 1/A(z) is stable: every reflection coefficient of the step-down
// recursion lies strictly inside (-1, 1).
bool stable(const lpc_set& a) {
  std::array<double, kOrder + 1> c{};
  c[0] = 1.0;
  for (int j = 0; j < kOrder; ++j) c[j + 1] = -static_cast<double>(a[j]);
  for (int m = kOrder; m >= 1; --m) {
    const double k = c[m];
    if (!(std::fabs(k) < 1.0)) return false;
    std::array<double, kOrder + 1> prev = c;
    for (int j = 1; j < m; ++j) prev[j] = (c[j] - k * c[m - j]) / (1.0 - k * k);
    c = prev;
  }
  return true;
}

// LSPs (units of pi/256) of A(z), found independently as the sign changes of
// the sum and difference polynomials on the unit circle, refined by bisection.
std::vector<double> lsps_by_root_search(const std::array<double, kOrder>& a) {
  std::array<double, kOrder + 2> c{};
  c[0] = 1.0;
  for (int j = 0; j < kOrder; ++j) c[j + 1] = -a[j];
  std::array<double, 6> sum{};
  std::array<double, 6> diff{};
  for (int k = 0; k < 6; ++k) {
    sum[k] = c[k] + c[kOrder + 1 - k];
    diff[k] = c[k] - c[kOrder + 1 - k];
  }
  // Real parts of the symmetric (cosine) and antisymmetric (sine) polynomials.
  auto f_sum = [&](double w) {
    double s = 0.0;
    for (int k = 0; k < 6; ++k) s += sum[k] * std::cos((5.5 - k) * w);
    return s;
  };
  auto f_diff = [&](double w) {
    double s = 0.0;
    for (int k = 0; k < 6; ++k) s += diff[k] * std::sin((5.5 - k) * w);
    return s;
  };
  std::vector<double> roots;
  for (auto f : {std::function<double(double)>(f_sum), std::function<double(double)>(f_diff)}) {
    constexpr int kGrid = 20000;
    for (int g = 0; g < kGrid; ++g) {
      double lo = (g + 0.5) * kPi / kGrid;
      double hi = (g + 1.5) * kPi / kGrid;
      if (hi >= kPi) break;
      if ((f(lo) < 0.0) == (f(hi) < 0.0)) continue;
      for (int it = 0; it < 80; ++it) {
        const double mid = 0.5 * (lo + hi);
        if ((f(lo) < 0.0) == (f(mid) < 0.0)) lo = mid; else hi = mid;
      }
      roots.push_back(0.5 * (lo + hi) * 256.0 / kPi);
    }
  }
  std::sort(roots.begin(), roots.end());
  return roots;
}

TEST(LspDecode, GoodAndBadFrameParameters) {
  // Index 0 on a good frame from the mean gives the mean itself.
  EXPECT_EQ(decode(lsp_mean, 0, 0), lsp_mean);

  // A bad frame ignores the index and pulls the previous vector toward the
  // mean by the factor 0.71875.
  lsp_vector prev = lsp_mean;
  for (int i = 0; i < kOrder; ++i) prev[i] += (i % 2 ? 1.5f : -1.0f);
  const lsp_vector lost = decode(prev, 0, 1);
  EXPECT_EQ(decode(prev, 0x123456, 1), lost);
  EXPECT_EQ(decode(prev, 0xffffff, 7), lost);
  for (int i = 0; i < kOrder; ++i) {
    EXPECT_EQ(lost[i], predicted(prev, i, 0.71875)) << i;
  }

  // A good frame adds the three bands' entries, band 0 in the top byte.
  const int32_t index = (5 << 16) | (17 << 8) | 200;
  const lsp_vector good = decode(lsp_mean, index, 0);
  std::array<float, kOrder> entries{};
  std::copy(lsp_codebook_band0[5].begin(), lsp_codebook_band0[5].end(), entries.begin());
  std::copy(lsp_codebook_band1[17].begin(), lsp_codebook_band1[17].end(), entries.begin() + 3);
  std::copy(lsp_codebook_band2[200].begin(), lsp_codebook_band2[200].end(), entries.begin() + 6);
  lsp_vector expected{};
  for (int i = 0; i < kOrder; ++i) {
    expected[i] = static_cast<float>(static_cast<double>(entries[i]) + lsp_mean[i]);
  }
  ASSERT_TRUE(usable(expected));
  bool spaced = true;
  for (int j = 0; j < 9; ++j) spaced = spaced && expected[j + 1] - expected[j] >= 2.0f;
  ASSERT_TRUE(spaced && expected[0] >= 3.0f && expected[9] <= 252.0f);
  EXPECT_EQ(good, expected);
}

TEST(LspDecode, RepairSpacingAndEnds) {
  // LSPs 4 and 5 predicted 0.5 (or 1.9) apart are pushed to 2.0 apart
  // around their centre on a good frame.
  lsp_vector prev = lsp_mean;
  for (double gap : {0.5, 1.9}) {
    prev = lsp_mean;
    prev[4] = static_cast<float>(lsp_mean[4] + 40.0);
    const float l4 = predicted(prev, 4, 0.375);
    prev[5] = static_cast<float>(lsp_mean[5] + (l4 + gap - lsp_mean[5]) / 0.375);
    const float l5 = predicted(prev, 5, 0.375);
    ASSERT_NEAR(l5 - l4, gap, 1e-4);
    const lsp_vector pushed = decode(prev, 0, 0);
    EXPECT_NEAR(pushed[5] - pushed[4], 2.0, 1e-5) << gap;
    EXPECT_NEAR(0.5 * (pushed[4] + pushed[5]), 0.5 * (l4 + l5), 1e-5) << gap;
    for (int i : {0, 1, 2, 3, 6, 7, 8, 9}) EXPECT_EQ(pushed[i], lsp_mean[i]) << i;
  }

  // The lost-frame spacing is 4.0: a gap of 3.0 survives a good frame but
  // is widened to 4.0 on a bad frame.
  prev = lsp_mean;
  prev[5] = static_cast<float>(lsp_mean[5] + (lsp_mean[4] + 3.0 - lsp_mean[5]) / 0.375);
  const lsp_vector kept = decode(prev, 0, 0);
  EXPECT_NEAR(kept[5] - kept[4], 3.0, 1e-4);
  const float lost_gap = predicted(prev, 5, 0.71875) - predicted(prev, 4, 0.71875);
  ASSERT_LT(lost_gap, 3.9f);
  const lsp_vector widened = decode(prev, 0, 1);
  EXPECT_NEAR(widened[5] - widened[4], 4.0, 1e-5);

  // The first LSP is raised to 3.0 and the last lowered to 252.0.
  prev = lsp_mean;
  prev[0] = lsp_mean[0] - 60.0f;
  prev[9] = lsp_mean[9] + 100.0f;
  ASSERT_LT(predicted(prev, 0, 0.375), 3.0f);
  ASSERT_GT(predicted(prev, 9, 0.375), 252.0f);
  const lsp_vector clamped = decode(prev, 0, 0);
  EXPECT_EQ(clamped[0], 3.0f);
  EXPECT_EQ(clamped[9], 252.0f);
}

TEST(LspDecode, EveryIndexGivesAUsableVector) {
  // 0x430000 drags the first LSP down frame after frame; the decoded vector
  // must stay increasing inside (0, 256) so that the filter stays stable.
  lsp_vector prev = lsp_mean;
  std::array<lpc_set, kSubframes> coefficients{};
  for (int frame = 0; frame < 60; ++frame) {
    const lsp_vector l = decode(prev, 0x430000, 0);
    ASSERT_TRUE(usable(l)) << "frame " << frame;
    lsp_interpolate(coefficients, l, prev);
    ASSERT_EQ(prev, l);
    for (const lpc_set& a : coefficients) ASSERT_TRUE(stable(a)) << "frame " << frame;
  }

  // Arbitrary indices and lost frames in any order: the same holds, and the
  // decoded vector is either a repaired prediction or the previous one.
  std::mt19937 rng(1234);
  std::uniform_int_distribution<int32_t> any_index(0, 0xffffff);
  prev = lsp_mean;
  int fallbacks = 0;
  for (int frame = 0; frame < 4000; ++frame) {
    const int32_t bad = (rng() % 8 == 0) ? 1 : 0;
    const lsp_vector l = decode(prev, any_index(rng), bad);
    ASSERT_TRUE(usable(l)) << "frame " << frame;
    if (l == prev) ++fallbacks;
    lsp_interpolate(coefficients, l, prev);
    for (const lpc_set& a : coefficients) {
      for (float v : a) ASSERT_TRUE(std::isfinite(v));
      ASSERT_TRUE(stable(a)) << "frame " << frame;
    }
  }
  // Most random frames decode to a fresh vector.
  EXPECT_LT(fallbacks, 2000);
}

TEST(LspInterpolate, SubframeMixesAndPrevUpdate) {
  lsp_vector prev = lsp_mean;
  const lsp_vector current = decode(prev, (3 << 16) | (40 << 8) | 77, 0);
  const lsp_vector old = prev;
  std::array<lpc_set, kSubframes> coefficients{};
  lsp_interpolate(coefficients, current, prev);
  EXPECT_EQ(prev, current);

  const std::array<double, kSubframes> previous_weight = {0.75, 0.5, 0.25, 0.0};
  for (int sub = 0; sub < kSubframes; ++sub) {
    lpc_set expected{};
    for (int i = 0; i < kOrder; ++i) {
      expected[i] = static_cast<float>(old[i] * previous_weight[sub] +
                                       current[i] * (1.0 - previous_weight[sub]));
    }
    lsp_to_lpc(expected);
    EXPECT_EQ(coefficients[sub], expected) << "subframe " << sub;
  }
  // Subframe 3 uses this frame's vector alone.
  lpc_set alone = current;
  lsp_to_lpc(alone);
  EXPECT_EQ(coefficients[3], alone);
}

TEST(LspToLpc, InvertsTheLineSpectrumOfStableFilters) {
  std::mt19937 rng(99);
  std::uniform_real_distribution<double> reflection(-0.9, 0.9);
  for (int trial = 0; trial < 50; ++trial) {
    std::array<double, kOrder> k{};
    for (double& v : k) v = reflection(rng);
    const std::array<double, kOrder> a = predictor_from_reflections(k);
    const std::vector<double> roots = lsps_by_root_search(a);
    ASSERT_EQ(roots.size(), 10u) << "trial " << trial;

    lpc_set vector{};
    for (int i = 0; i < kOrder; ++i) vector[i] = static_cast<float>(roots[i]);
    lsp_to_lpc(vector);
    // The table cosine is exact to about 2e-5; the coefficients follow closely.
    for (int j = 0; j < kOrder; ++j) {
      EXPECT_NEAR(vector[j], a[j], 2e-3 * (1.0 + std::fabs(a[j]))) << "trial " << trial << " a" << j + 1;
    }
  }

  // Evenly spread LSPs (k * 256 / 11) are those of A(z) = 1.
  lpc_set flat{};
  for (int i = 0; i < kOrder; ++i) flat[i] = static_cast<float>((i + 1) * 256.0 / 11.0);
  lsp_to_lpc(flat);
  for (float v : flat) EXPECT_NEAR(v, 0.0, 1e-3);
}

TEST(LspToLpc, OutOfRangeValuesStayInsideTheTable) {
  // Values beyond both ends extend the end intervals of the cosine and give
  // finite coefficients.
  for (float low : {-1.0f, -40.0f, -300.0f, -5000.0f}) {
    lpc_set v = {low, 20.0f, 40.0f, 60.0f, 80.0f, 100.0f, 120.0f, 140.0f, 160.0f, 180.0f};
    lsp_to_lpc(v);
    for (float c : v) EXPECT_TRUE(std::isfinite(c)) << low;
  }
  for (float high : {256.0f, 300.0f, 511.5f, 600.0f, 5000.0f}) {
    lpc_set v = {10.0f, 30.0f, 50.0f, 70.0f, 90.0f, 110.0f, 130.0f, 150.0f, 170.0f, high};
    lsp_to_lpc(v);
    for (float c : v) EXPECT_TRUE(std::isfinite(c)) << high;
  }
  // The table holds a whole period: 510.5 reads entries 510 and 511, which
  // mirror entries 2 and 1, so it acts exactly like 1.5.
  lpc_set mirrored = {510.5f, 20.0f, 40.0f, 60.0f, 80.0f, 100.0f, 120.0f, 140.0f, 160.0f, 180.0f};
  lpc_set direct = mirrored;
  direct[0] = 1.5f;
  lsp_to_lpc(mirrored);
  lsp_to_lpc(direct);
  EXPECT_EQ(mirrored, direct);

  // A NaN value is looked up at entry 0, not outside the table; the NaN
  // itself propagates into the coefficients.
  lpc_set nan_vector = {10.0f, 30.0f, 50.0f, std::numeric_limits<float>::quiet_NaN(),
                        90.0f, 110.0f, 130.0f, 150.0f, 170.0f, 190.0f};
  lsp_to_lpc(nan_vector);
  EXPECT_TRUE(std::isnan(nan_vector[0]));
}

}  // namespace
}  // namespace sivo
