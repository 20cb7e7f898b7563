// Lane kernels of the adaptive codebook: tap filtering, candidate correlations, gain row scores,
// the predictor.
#include <array>

#include "codec/excitation/adaptive_codebook.h"
#include "codec/kernels/kernel_table.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"
#include "codec/tables/acb_gain_tables.h"

namespace sivo {
namespace {

// Tap pairs (i, j) of the cross-product columns 10..19, in column order.
constexpr int kPairs[10][2] = {{1, 0}, {2, 0}, {2, 1}, {3, 0}, {3, 1},
                               {3, 2}, {4, 0}, {4, 1}, {4, 2}, {4, 3}};

// Unrounded partial sums of one lag's filtered tap vectors:
// s[j][kSumGuard + n] = sum over m = 0..n of h[m] * R[j + n - m], accumulated
// in m order, behind a guard of zeros read only by lanes that are not kept.
// Samples are formed in whole lane groups, up to 64 (the last four unused).
constexpr int kSumGuard = 8;
constexpr int kSumLength = 64;
struct tap_sums {
  double s[kTaps][kSumGuard + kSumLength];
};

// Fills cur for lag L whose window R starts at window[0] (R[i] = past[143 -
// L + i], read for i = 0 .. min(L + 1, 63) only). prev: the sums of lag
// L - 1, or null with direct[n] the whole tap-4 convolution; hd: h widened,
// behind kSumGuard zeros; direct and hd padded to kSumLength samples. Every
// value is the exact double partial sum of the definition:
//  - tap 4 at n <= L - 3 reads only samples also seen by lag L - 1 one tap
//    lower, so it is prev[3][n]; without prev it is direct[n];
//  - tap 4 at n >= L - 2 runs into the repeated part of the window; the
//    first n + 3 - L terms of its sum are those of tap 2 at n + 2 - L, since
//    the window repeats with period L, so the sum continues from there;
//  - taps 3..0 follow from the next higher tap one sample earlier.
// W samples are formed side by side. Tap 4 at n >= L - 2 needs tap 2 at
// n + 2 - L <= n - 16 (L >= 18), from an earlier group, and taps 3..0 need
// only the group before for the sample before their first.
template <int W>
SIVO_LANE_INLINE void sum_lag_taps(tap_sums& cur, const tap_sums* prev, const double* direct,
                                   const float* window, const double* hd, int lag) noexcept {
  using doubles = typename lane_group<W>::doubles;
  doubles weight[4];
  for (int j = 0; j < 4; ++j) weight[j] = SIVO_SPLAT_AS(doubles, window[j]);
  doubles index;
  count_lanes<W>(index, 0.0, 1.0);
  // The previous group of taps 4..1 (zeros before sample 0: the first sum
  // of each tap is 0.0 + its product).
  doubles before[kTaps] = {};
  const int continued = lag - 2;  // first n whose tap 4 continues tap 2
  for (int n0 = 0; n0 < kSubframe; n0 += W) {
    doubles upper;
    if (prev == nullptr) {
      upper = SIVO_LOAD_AS(doubles, direct + n0);
    } else {
      upper = SIVO_LOAD_AS(doubles, &prev->s[3][kSumGuard + n0]);
      // Only real samples continue tap 2 (lanes past 59 are padding; for a
      // lag above 61 none does, and its window is not read that far).
      if (continued < kSubframe && n0 + W - 1 >= continued) {
        doubles acc = SIVO_LOAD_AS(doubles, &cur.s[2][kSumGuard + n0 + 2 - lag]);
        for (int i = 0; i <= lag - 3; ++i) {
          acc += SIVO_LOAD_AS(doubles, hd + n0 + 3 - lag + i) *
                 SIVO_SPLAT_AS(doubles, window[lag + 1 - i]);
        }
        upper = index + n0 >= continued ? acc : upper;
      }
    }
    SIVO_STORE_AS(&cur.s[4][kSumGuard + n0], upper);
    const doubles hn = SIVO_LOAD_AS(doubles, hd + n0);
    for (int j = 3; j >= 0; --j) {
      doubles shifted;  // tap j + 1 one sample earlier
      if constexpr (W == 2) {
        shifted = __builtin_shufflevector(before[j + 1], upper, 1, 2);
      } else if constexpr (W == 4) {
        shifted = __builtin_shufflevector(before[j + 1], upper, 3, 4, 5, 6);
      } else {
        shifted = __builtin_shufflevector(before[j + 1], upper, 7, 8, 9, 10, 11, 12, 13, 14);
      }
      before[j + 1] = upper;
      upper = shifted + hn * weight[j];
      SIVO_STORE_AS(&cur.s[j][kSumGuard + n0], upper);
    }
  }
}

// Filtered tap vectors of the lags first_lag + d, d = 0 .. out.size() - 1,
// from the window fetch f at first_lag and direct, the tap-4 convolution of
// the first lag.
template <int W>
SIVO_LANE_INLINE void filter_lags(std::span<tap_vectors> out,
                                  std::span<const float, kFetchLength> f, const double* direct,
                                  std::span<const float, kSubframe> h, int first_lag) noexcept {
  std::array<double, kSumGuard + kSumLength> hd{};
  for (int n = 0; n < kSubframe; ++n) hd[kSumGuard + n] = h[n];
  tap_sums sums[2];
  for (tap_sums& t : sums) {
    for (auto& tap : t.s) {
      for (int n = 0; n < kSumGuard; ++n) tap[n] = 0.0;
    }
  }
  const tap_sums* prev = nullptr;
  for (size_t d = 0; d < out.size(); ++d) {
    tap_sums& cur = sums[d & 1];
    sum_lag_taps<W>(cur, prev, direct, f.data() + 3 - d, hd.data() + kSumGuard,
                    first_lag + static_cast<int>(d));
    for (int j = 0; j < kTaps; ++j) {
      for (int n = 0; n < kSubframe; ++n)
        out[d][j][n] = static_cast<float>(cur.s[j][kSumGuard + n]);
    }
    prev = &cur;
  }
}

template <int W>
SIVO_LANE_INLINE void filter_tap_lanes(std::span<tap_vectors> out, const float* past,
                                       std::span<const float, kSubframe> h,
                                       int first_lag) noexcept {
  // One fetch at the smallest lag holds every sample the larger lags need:
  // lag first_lag + d starts its window d samples earlier, in f[0..2].
  std::array<float, kFetchLength> f;
  fetch_past_excitation(f, past, first_lag);
  // Tap 4 of the first lag: h convolved with its window from R[4] on.
  std::array<double, kSumLength> direct{};
  kernels().causal_convolution(std::span<double, kSubframe>(direct.data(), kSubframe), h.data(),
                               f.data() + 3 + 4);
  filter_lags<W>(out, f, direct.data(), h, first_lag);
}

// Gain table with its columns contiguous, rows padded with zeros to whole
// blocks of 32, so that 32 rows are scored side by side.
constexpr int kRowBlock = 32;
template <std::size_t Rows>
using gain_columns =
    std::array<std::array<float, (Rows + kRowBlock - 1) / kRowBlock * kRowBlock>, kGainColumns>;

template <std::size_t Rows>
constexpr gain_columns<Rows> transpose(const std::array<gain_row, Rows>& table) {
  gain_columns<Rows> columns{};
  for (std::size_t r = 0; r < Rows; ++r) {
    for (int m = 0; m < kGainColumns; ++m) columns[m][r] = table[r][m];
  }
  return columns;
}
constexpr gain_columns<kSmallTableRows> kSmallColumns = transpose(acb_gain_table_85);
constexpr gain_columns<kLargeTableRows> kLargeColumns = transpose(acb_gain_table_170);

// score[r] = sum over m of column m, row r, times c[m], rounded to float,
// for rows 0 .. rows - 1 rounded up to a whole block; 32 rows side by side
// in groups of W lanes.
template <int W, std::size_t Padded>
SIVO_LANE_INLINE void score_rows(float* score,
                                 const std::array<std::array<float, Padded>, kGainColumns>& columns,
                                 int rows, const gain_correlations& c) noexcept {
  using doubles = typename lane_group<W>::doubles;
  constexpr int kGroups = kRowBlock / W;
  for (int r0 = 0; r0 < rows; r0 += kRowBlock) {
    doubles s[kGroups] = {};
    for (int m = 0; m < kGainColumns; ++m) {
      const doubles cm = SIVO_SPLAT_AS(doubles, c[m]);
      const float* column = columns[m].data() + r0;
#pragma GCC unroll 8
      for (int g = 0; g < kGroups; ++g) {
        if constexpr (W == 8) {
          // One widening load (GCC splits the converting form in two).
          s[g] += SIVO_LOAD_WIDENED8_ELEMENTS(column + W * g) * cm;
        } else {
          s[g] += SIVO_LOAD_WIDENED_AS(doubles, column + W * g) * cm;
        }
      }
    }
#pragma GCC unroll 8
    for (int g = 0; g < kGroups; ++g)
      SIVO_STORE_AS(score + r0 + W * g,
                    __builtin_convertvector(s[g], typename lane_group<W>::floats));
  }
}

template <int W>
SIVO_LANE_INLINE float best_row_lanes(bool large, int rows, const gain_correlations& c,
                                      int& row) noexcept {
  std::array<float, std::tuple_size_v<gain_columns<kLargeTableRows>::value_type>> score;
  if (large) {
    score_rows<W>(score.data(), kLargeColumns, rows, c);
  } else {
    score_rows<W>(score.data(), kSmallColumns, rows, c);
  }
  return first_largest_above(score.data(), rows, 0.0f, row);
}

// The filtered tap vectors of the four candidates, one candidate per lane.
using candidate_taps = std::array<std::array<double4, kSubframe>, kTaps>;

// lanes[j][n] = the four candidates' y[k][j][n], widened, one per lane:
// four samples of the four candidates at a time, transposed as a 4x4 block.
SIVO_LANE_INLINE void spread_candidates(candidate_taps& lanes,
                                        std::span<const tap_vectors, kMaxCandidates> y) noexcept {
  static_assert(kMaxCandidates == 4 && kSubframe % 4 == 0);
  for (int j = 0; j < kTaps; ++j) {
    for (int n = 0; n < kSubframe; n += 4) {
      transpose_widened(&y[0][j][n], &y[1][j][n], &y[2][j][n], &y[3][j][n], &lanes[j][n]);
    }
  }
}

// Correlations of each candidate (lane): target with each tap vector, half
// the energies, the cross products in column order.
SIVO_LANE_INLINE void correlate_spread(std::span<gain_correlations, kMaxCandidates> c,
                                       const candidate_taps& y,
                                       std::span<const float, kSubframe> target) noexcept {
  double4 cross[kTaps] = {};
  double4 energy[kTaps] = {};
  for (int n = 0; n < kSubframe; ++n) {
    const double4 t = SIVO_SPLAT(target[n]);
#pragma GCC unroll 5
    for (int j = 0; j < kTaps; ++j) {
      cross[j] += t * y[j][n];
      energy[j] += y[j][n] * y[j][n];
    }
  }
  double4 pair[10] = {};
  for (int n = 0; n < kSubframe; ++n) {
#pragma GCC unroll 10
    for (int p = 0; p < 10; ++p) pair[p] += y[kPairs[p][0]][n] * y[kPairs[p][1]][n];
  }
  for (int k = 0; k < kMaxCandidates; ++k) {
    for (int j = 0; j < kTaps; ++j) {
      c[k][j] = static_cast<float>(cross[j][k]);
      c[k][5 + j] = static_cast<float>(0.5 * energy[j][k]);
    }
    for (int p = 0; p < 10; ++p) c[k][10 + p] = static_cast<float>(pair[p][k]);
  }
}

// correlate_candidates with one candidate per lane. The lane width is four
// throughout; W only names the instruction set it is built for.
template <int W>
SIVO_LANE_INLINE void correlate_lanes(std::span<gain_correlations, kMaxCandidates> c,
                                      std::span<const tap_vectors, kMaxCandidates> y,
                                      std::span<const float, kSubframe> target) noexcept {
  candidate_taps lanes;
  spread_candidates(lanes, y);
  correlate_spread(c, lanes, target);
}

// apply_taps, W samples side by side (with eight, the last four as a quad, so that no
// load passes the end of f).
template <int W>
SIVO_LANE_INLINE void apply_taps_in(std::span<float, kSubframe> out, const gain_row& row,
                                    std::span<const float, kFetchLength> f) noexcept {
  using doubles = typename lane_group<W>::doubles;
  int n = 0;
  for (; n + W <= kSubframe; n += W) {
    doubles sum = SIVO_SPLAT_AS(doubles, 0.0);
    for (int j = 0; j < kTaps; ++j)
      sum += SIVO_SPLAT_AS(doubles, row[j]) * SIVO_LOAD_WIDENED_AS(doubles, &f[n + 3 + j]);
    SIVO_STORE_AS(&out[n], __builtin_convertvector(sum, typename lane_group<W>::floats));
  }
  for (; n < kSubframe; n += 4) {
    double4 sum = SIVO_SPLAT(0.0);
    for (int j = 0; j < kTaps; ++j) sum += SIVO_SPLAT(row[j]) * SIVO_LOAD_WIDENED(&f[n + 3 + j]);
    SIVO_STORE_NARROWED(&out[n], sum);
  }
}

}  // namespace

SIVO_LANE_ENTRIES(filter_tap_vectors, filter_tap_lanes,
                  (std::span<tap_vectors> out, const float* past,
                   std::span<const float, kSubframe> h, int first_lag),
                  (out, past, h, first_lag))

SIVO_LANE_ENTRIES(correlate_candidates, correlate_lanes,
                  (std::span<gain_correlations, kMaxCandidates> c,
                   std::span<const tap_vectors, kMaxCandidates> y,
                   std::span<const float, kSubframe> target),
                  (c, y, target))

SIVO_LANE_ENTRIES(best_gain_row, best_row_lanes,
                  (bool large, int rows, const gain_correlations& c, int& row),
                  (large, rows, c, row))

SIVO_LANE_ENTRIES(apply_taps, apply_taps_in,
                  (std::span<float, kSubframe> out, const gain_row& row,
                   std::span<const float, kFetchLength> f),
                  (out, row, f))

}  // namespace sivo
