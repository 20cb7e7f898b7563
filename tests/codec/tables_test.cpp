// Checks of the constant tables: quoted values, the rules each table follows, and the
// structure the stages rely on (symmetries, orderings, exact integer relations).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <random>
#include <set>
#include <span>
#include <vector>

#include "codec/tables/acb_gain_tables.h"
#include "codec/tables/fcb_tables.h"
#include "codec/tables/lpc_tables.h"
#include "codec/tables/lsp_tables.h"
#include "codec/tables/postfilter_tables.h"
#include "codec/tables/weighting_tables.h"

namespace sivo {
namespace {

constexpr double kPi = 3.14159265358979323846;

// True when x is the float nearest some decimal with `decimals` places.
bool is_rounded_decimal(float x, int decimals) {
  const double scale = std::pow(10.0, decimals);
  const double k = std::nearbyint(static_cast<double>(x) * scale);
  return static_cast<float>(k / scale) == x;
}

// choose(n, k) by Pascal's triangle in unsigned 64-bit, independent of the tables' builder.
uint64_t pascal(int n, int k) {
  if (k < 0 || n < k) return 0;
  std::vector<uint64_t> row(n + 1, 0);
  row[0] = 1;
  for (int i = 1; i <= n; ++i) {
    for (int j = i; j > 0; --j) row[j] += row[j - 1];
  }
  return row[k];
}

// Position index of a pulse pattern (flags over the grid) by walking the columns of a
// comb table from row K - P, as the pulse packer does.
template <typename Table>
uint32_t code_positions(const Table& table, const std::vector<bool>& pulse, int pulses) {
  const int rows = static_cast<int>(table.size());
  int row = rows - pulses;
  int found = 0;
  uint32_t index = 0;
  for (size_t t = 0; t < pulse.size() && found < pulses; ++t) {
    if (pulse[t]) {
      if (++found < pulses) ++row;
    } else {
      index += static_cast<uint32_t>(table[row][t]);
    }
  }
  return index;
}

// Inverse walk, as the decoder does: a pulse wherever the remaining index is below the entry.
template <typename Table>
std::vector<bool> decode_positions(const Table& table, uint32_t index, int pulses) {
  const int rows = static_cast<int>(table.size());
  std::vector<bool> pulse(table[0].size(), false);
  int row = rows - pulses;
  int placed = 0;
  for (size_t t = 0; t < pulse.size(); ++t) {
    const uint32_t entry = static_cast<uint32_t>(table[row][t]);
    if (index < entry) {
      pulse[t] = true;
      if (++placed == pulses) break;
      ++row;
    } else {
      index -= entry;
    }
  }
  return pulse;
}

// Every pattern of `pulses` among the table's columns gets a distinct index below choose(N, P),
// and decoding the index gives the pattern back.
template <typename Table>
void expect_exhaustive_ranking(const Table& table, int pulses) {
  const int n = static_cast<int>(table[0].size());
  const uint64_t count = pascal(n, pulses);
  std::vector<bool> seen(count, false);
  std::vector<int> pick(pulses);
  for (int i = 0; i < pulses; ++i) pick[i] = i;
  uint64_t patterns = 0;
  while (true) {
    std::vector<bool> pulse(n, false);
    for (int p : pick) pulse[p] = true;
    const uint32_t index = code_positions(table, pulse, pulses);
    ASSERT_LT(index, count) << "N=" << n << " P=" << pulses;
    ASSERT_FALSE(seen[index]) << "N=" << n << " P=" << pulses << " index " << index;
    seen[index] = true;
    ASSERT_EQ(decode_positions(table, index, pulses), pulse);
    ++patterns;
    int i = pulses - 1;
    while (i >= 0 && pick[i] == n - pulses + i) --i;
    if (i < 0) break;
    ++pick[i];
    for (int j = i + 1; j < pulses; ++j) pick[j] = pick[j - 1] + 1;
  }
  EXPECT_EQ(patterns, count);
}

TEST(TablesTest, AnalysisWindowQuotedValuesAndShape) {
  EXPECT_EQ(analysis_window[0], 0.08f);
  EXPECT_EQ(analysis_window[179], 0.08f);
  EXPECT_EQ(analysis_window[1], 0.080283f);
  EXPECT_EQ(analysis_window[89], 0.999929f);
  EXPECT_EQ(analysis_window[90], 0.999929f);
  EXPECT_EQ(analysis_window[51], 0.640109f);
  EXPECT_EQ(analysis_window[102], 0.956427f);
  EXPECT_EQ(analysis_window[141], 0.432027f);
  EXPECT_EQ(analysis_window[156], 0.221945f);

  const std::set<int> odd_ones = {51, 102, 141, 156, 128, 77, 38, 23};
  for (int n = 0; n < 180; ++n) {
    SCOPED_TRACE(n);
    EXPECT_TRUE(is_rounded_decimal(analysis_window[n], 6));
    const double hamming = 0.54 - 0.46 * std::cos(2.0 * kPi * n / 179.0);
    const double off = std::fabs(analysis_window[n] - hamming);
    if (odd_ones.count(n) != 0) {
      // The four exceptions sit one unit of the sixth decimal off their mirrors.
      const double units =
          std::nearbyint(analysis_window[n] * 1e6) - std::nearbyint(analysis_window[179 - n] * 1e6);
      EXPECT_EQ(std::fabs(units), 1.0);
      EXPECT_LT(off, 1.5e-6 + 1e-7);
    } else {
      EXPECT_EQ(analysis_window[n], analysis_window[179 - n]);
      EXPECT_LE(off, 5e-7 + 1e-7);
    }
  }
}

TEST(TablesTest, LagWindowAndBandwidthExpansion) {
  EXPECT_EQ(lag_window[0], 0.999443f);  // lag 1
  EXPECT_EQ(lag_window[4], 0.986178f);
  EXPECT_EQ(lag_window[9], 0.945847f);  // lag 10
  for (int j = 0; j < 10; ++j) {
    EXPECT_TRUE(is_rounded_decimal(lag_window[j], 6)) << j;
    EXPECT_LT(lag_window[j], j == 0 ? 1.0f : lag_window[j - 1]) << j;
  }

  // Repeated single-precision multiplication, not the correctly rounded power.
  volatile float step = 0.994f;
  float p = 1.0f;
  for (int j = 0; j < 10; ++j) {
    p = p * step;
    EXPECT_EQ(bandwidth_expansion[j], p) << j;
    EXPECT_NEAR(bandwidth_expansion[j], std::pow(0.994, j + 1), 1e-6) << j;
  }
  EXPECT_EQ(bandwidth_expansion[0], 0.994f);
}

TEST(TablesTest, LspCodebookQuotedRowsAndStructure) {
  using row3 = std::array<float, 3>;
  using row4 = std::array<float, 4>;
  EXPECT_EQ(lsp_codebook_band0[1], (row3{-2.10938f, -10.7188f, -8.0625f}));
  EXPECT_EQ(lsp_codebook_band0[2], (row3{-4.22656f, -12.8906f, -10.7969f}));
  EXPECT_EQ(lsp_codebook_band0[255], (row3{13.2266f, 37.4453f, 46.9688f}));
  EXPECT_EQ(lsp_codebook_band1[1], (row3{-16.5156f, -10.1719f, 0.59375f}));
  EXPECT_EQ(lsp_codebook_band1[255], (row3{31.5234f, 41.6719f, 38.375f}));
  EXPECT_EQ(lsp_codebook_band2[1], (row4{4.69531f, 4.0f, -4.23438f, 2.60938f}));
  EXPECT_EQ(lsp_codebook_band2[255], (row4{22.8359f, 27.4766f, 20.0547f, 10.2969f}));
  // -1122/128 = -8.765625 is a tie at six digits and rounds to even.
  EXPECT_EQ(lsp_codebook_band0[4][1], -8.76562f);
  EXPECT_NE(lsp_codebook_band0[4][1], -8.765625f);
  EXPECT_EQ(lsp_mean[0], 24.4609f);
  EXPECT_NE(lsp_mean[0], 3131.0f / 128.0f);

  float lo = 0.0f, hi = 0.0f;
  auto check = [&](std::span<const float> entry, int band, int e) {
    for (float v : entry) {
      if (e == 0) {
        EXPECT_EQ(v, 0.0f) << "band " << band;
      }
      // Six significant digits of a multiple of 1/128.
      const double k = std::nearbyint(v * 128.0);
      EXPECT_LE(std::fabs(v - k / 128.0), 5e-5) << "band " << band << " entry " << e;
      lo = std::min(lo, v);
      hi = std::max(hi, v);
    }
  };
  for (int e = 0; e < 256; ++e) {
    check(lsp_codebook_band0[e], 0, e);
    check(lsp_codebook_band1[e], 1, e);
    check(lsp_codebook_band2[e], 2, e);
  }
  EXPECT_NEAR(lo, -37.2, 0.1);
  EXPECT_NEAR(hi, 47.0, 0.1);
}

TEST(TablesTest, CosineTableQuotedValuesAndSymmetry) {
  EXPECT_EQ(cosine_table[0], 1.0f);
  EXPECT_EQ(cosine_table[1], 0.999939f);
  EXPECT_NE(cosine_table[1], 16383.0f / 16384.0f);
  EXPECT_EQ(cosine_table[2], 0.999695f);
  EXPECT_EQ(cosine_table[128], 0.0f);
  EXPECT_EQ(cosine_table[256], -1.0f);
  EXPECT_EQ(cosine_table[511], 0.999939f);
  for (int n = 0; n < 512; ++n) {
    SCOPED_TRACE(n);
    const double exact = std::cos(n * kPi / 256.0);
    // Grid rounding (1/32768) plus six-digit rounding.
    EXPECT_LE(std::fabs(cosine_table[n] - exact), 1.0 / 32768.0 + 5e-7);
    if (n > 0) {
      EXPECT_EQ(cosine_table[n], cosine_table[512 - n]);
    }
    if (n <= 256) {
      EXPECT_EQ(cosine_table[n], -cosine_table[256 - n]);
    }
    if (n > 0 && n <= 256) {
      EXPECT_LT(cosine_table[n], cosine_table[n - 1]);
    }
  }
}

TEST(TablesTest, WeightingPowersAndTamingGains) {
  EXPECT_EQ(weighting_zero_powers[0], 0.9f);
  EXPECT_EQ(weighting_zero_powers[1], 0.81f);
  EXPECT_EQ(weighting_zero_powers[2], 0.729f);
  EXPECT_EQ(weighting_zero_powers[9], 0.3486784401f);
  long double power = 1.0L;
  for (int j = 0; j < 10; ++j) {
    power *= 0.9L;
    EXPECT_EQ(weighting_zero_powers[j], static_cast<float>(power)) << j;
    EXPECT_EQ(weighting_pole_powers[j], std::ldexp(1.0f, -(j + 1))) << j;
  }

  EXPECT_EQ(taming_gain_85[0], 0.125f);
  EXPECT_EQ(taming_gain_85[46], 0.976563f);
  EXPECT_EQ(taming_gain_85[84], 1.862183f);
  EXPECT_EQ(taming_gain_170[0], 0.125f);
  EXPECT_EQ(taming_gain_170[162], 1.5625f);
  EXPECT_EQ(taming_gain_170[169], 2.247192f);
  EXPECT_TRUE(std::is_sorted(taming_gain_85.begin(), taming_gain_85.end()));
  EXPECT_TRUE(std::is_sorted(taming_gain_170.begin(), taming_gain_170.end()));
  for (float v : taming_gain_85) EXPECT_TRUE(is_rounded_decimal(v, 6)) << v;
  for (float v : taming_gain_170) EXPECT_TRUE(is_rounded_decimal(v, 6)) << v;
}

// Taps are k/16384 to six decimals; every derived column is the exact product of the integer
// taps, to six decimals.
template <size_t Rows>
void expect_gain_table_consistent(const std::array<std::array<float, 20>, Rows>& table) {
  constexpr int kPairs[10][2] = {{1, 0}, {2, 0}, {2, 1}, {3, 0}, {3, 1},
                                 {3, 2}, {4, 0}, {4, 1}, {4, 2}, {4, 3}};
  for (float v : table[0]) EXPECT_EQ(v, 0.0f);
  for (size_t r = 0; r < Rows; ++r) {
    SCOPED_TRACE(r);
    double k[5];
    for (int i = 0; i < 5; ++i) {
      k[i] = std::nearbyint(table[r][i] * 16384.0);
      EXPECT_LE(std::fabs(table[r][i] - k[i] / 16384.0), 5e-7 + 1e-8) << "tap " << i;
    }
    for (int c = 0; c < 20; ++c) EXPECT_TRUE(is_rounded_decimal(table[r][c], 6)) << c;
    for (int i = 0; i < 5; ++i) {
      EXPECT_NEAR(table[r][5 + i], -k[i] * k[i] / 268435456.0, 5e-7 + 1e-8) << "square " << i;
    }
    for (int p = 0; p < 10; ++p) {
      const double product = -k[kPairs[p][0]] * k[kPairs[p][1]] / 268435456.0;
      EXPECT_NEAR(table[r][10 + p], product, 5e-7 + 1e-8) << "pair " << p;
    }
  }
}

TEST(TablesTest, AdaptiveCodebookGainTables) {
  EXPECT_EQ(acb_gain_table_85[1][0], 0.048828f);  // 800/16384, a tie rounded to even
  EXPECT_EQ(acb_gain_table_85[1][1], 0.091309f);
  EXPECT_EQ(acb_gain_table_85[1][2], 0.010193f);
  EXPECT_EQ(acb_gain_table_85[1][3], -0.015625f);
  EXPECT_EQ(acb_gain_table_85[1][4], -0.020630f);
  EXPECT_EQ(acb_gain_table_85[62][2], -0.164062f);   // -2688/16384, a tie rounded to even
  EXPECT_EQ(acb_gain_table_170[169][0], 0.323303f);  // 5297/16384
  expect_gain_table_consistent(acb_gain_table_85);
  expect_gain_table_consistent(acb_gain_table_170);
}

TEST(TablesTest, FixedCodebookLevelsGridsAndLimits) {
  EXPECT_EQ(fcb_gain_table[0], 2.0f);
  EXPECT_EQ(fcb_gain_table[11], 160.0f);
  EXPECT_EQ(fcb_gain_table[23], 13246.0f);
  EXPECT_TRUE(std::is_sorted(fcb_gain_table.begin(), fcb_gain_table.end()));
  EXPECT_EQ(grid_step_table, (std::array<int16_t, 5>{2, 1, 4, 1, 1}));
  EXPECT_EQ(pulse_count_table,
            (std::array<int16_t, 20>{6, 5, 6, 5, 8, 8, 8, 7, 4, 3, 3, 3, 8, 8, 8, 8, 5, 5, 5, 4}));

  // Limits are choose(N, P) of each subframe's grid; the second stage has 52 free positions.
  for (int rate = 0; rate < 5; ++rate) {
    const int positions = rate == 4 ? 52 : 60 / grid_step_table[rate];
    for (int s = 0; s < 4; ++s) {
      const int pulses = pulse_count_table[rate * 4 + s];
      EXPECT_EQ(position_limit_table[rate * 4 + s], pascal(positions, pulses))
          << "rate " << rate << " subframe " << s;
    }
  }
  EXPECT_EQ(position_limit_table[4], 2558620845u);
}

TEST(TablesTest, CombTablesBinomialStructure) {
  EXPECT_EQ(comb_table_30[0][0], 118755);
  EXPECT_EQ(comb_table_30[0][1], 98280);
  EXPECT_EQ(comb_table_30[0][2], 80730);
  for (int32_t v : comb_table_30.back()) EXPECT_EQ(v, 1);
  for (int32_t v : comb_table_15.back()) EXPECT_EQ(v, 1);
  for (int32_t v : comb_table_60.back()) EXPECT_EQ(v, 1);
  for (int32_t v : comb_table_52.back()) EXPECT_EQ(v, 1);
  EXPECT_EQ(comb_table_60[0][0], 341149446);  // choose(59, 7)
  EXPECT_EQ(comb_table_60[0][59], 0);         // choose(0, 7)
  EXPECT_EQ(comb_table_52[0][0], 249900);     // choose(51, 4)

  auto check = [](const auto& table) {
    const int rows = static_cast<int>(table.size());
    const int n = static_cast<int>(table[0].size());
    for (int r = 0; r < rows; ++r) {
      for (int i = 0; i < n; ++i) {
        EXPECT_EQ(static_cast<uint64_t>(table[r][i]), pascal(n - 1 - i, rows - 1 - r))
            << "N=" << n << " r=" << r << " i=" << i;
      }
    }
  };
  check(comb_table_30);
  check(comb_table_15);
  check(comb_table_60);
  check(comb_table_52);
}

TEST(TablesTest, CombTablesRankEveryPatternUniquely) {
  for (int p = 1; p <= 4; ++p) expect_exhaustive_ranking(comb_table_15, p);
  expect_exhaustive_ranking(comb_table_30, 5);
  expect_exhaustive_ranking(comb_table_30, 6);
  expect_exhaustive_ranking(comb_table_52, 4);
  expect_exhaustive_ranking(comb_table_52, 5);

  // 60 positions, 8 pulses: too many to walk; extremes and random round trips.
  std::vector<bool> low(60, false), high(60, false);
  for (int i = 0; i < 8; ++i) low[i] = high[59 - i] = true;
  EXPECT_EQ(code_positions(comb_table_60, low, 8), 0u);
  EXPECT_EQ(code_positions(comb_table_60, high, 8), 2558620845u - 1u);
  std::mt19937 rng(1234);
  std::vector<int> order(60);
  for (int i = 0; i < 60; ++i) order[i] = i;
  for (int trial = 0; trial < 2000; ++trial) {
    const int pulses = 7 + trial % 2;
    std::shuffle(order.begin(), order.end(), rng);
    std::vector<bool> pulse(60, false);
    for (int i = 0; i < pulses; ++i) pulse[order[i]] = true;
    const uint32_t index = code_positions(comb_table_60, pulse, pulses);
    ASSERT_LT(index, pascal(60, pulses));
    ASSERT_EQ(decode_positions(comb_table_60, index, pulses), pulse) << trial;
  }
}

TEST(TablesTest, PostfilterWeightsAndGains) {
  EXPECT_EQ(formant_zero_weights[0], 0.65f);
  EXPECT_EQ(formant_zero_weights[1], 0.4225f);
  EXPECT_EQ(formant_zero_weights[2], 0.274625f);
  EXPECT_EQ(formant_pole_weights[0], 0.75f);
  EXPECT_EQ(formant_pole_weights[1], 0.5625f);
  EXPECT_EQ(formant_pole_weights[2], 0.421875f);
  long double zero = 1.0L;
  double pole = 1.0;
  for (int k = 0; k < 10; ++k) {
    zero *= 0.65L;
    pole *= 0.75;  // exact: 3^k / 4^k
    EXPECT_EQ(formant_zero_weights[k], static_cast<float>(zero)) << k;
    EXPECT_EQ(formant_pole_weights[k], static_cast<float>(pole)) << k;
  }
  for (float g : pitch_postfilter_gain_table) EXPECT_EQ(g, 0.1875f);
}

}  // namespace
}  // namespace sivo
