// Five-tap adaptive codebook: fetching the past excitation, decoding a lag
// and gain row, and the encoder's joint closed-loop lag and gain search.
#include "codec/excitation/adaptive_codebook.h"

#include <algorithm>

#include "codec/excitation/pulse_filters.h"
#include "codec/tables/acb_gain_tables.h"
#include "codec/kernels/kernel_table.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {

namespace {

inline constexpr int kGainColumns = 20;     // taps, squares, cross products
inline constexpr int kTableSwitchLag = 58;  // 170-row table from this lag
inline constexpr int kRows85 = 85;
inline constexpr int kRows170 = 170;
inline constexpr double kTamingLimit = 268435456.0;  // 2^28
inline constexpr uint16_t kToneFlag = 0x8000;

using gain_row = std::array<float, kGainColumns>;
using correlations = std::array<float, kGainColumns>;

// Tap pairs (i, j) of the cross-product columns 10..19, in column order.
inline constexpr int kPairs[10][2] = {{1, 0}, {2, 0}, {2, 1}, {3, 0}, {3, 1},
                                      {3, 2}, {4, 0}, {4, 1}, {4, 2}, {4, 3}};

const gain_row* gain_table(bool large) noexcept {
  return large ? acb_gain_table_170.data() : acb_gain_table_85.data();
}

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
  constexpr int G = kSumGuard;
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
      upper = SIVO_LOAD_AS(doubles, &prev->s[3][G + n0]);
      // Only real samples continue tap 2 (lanes past 59 are padding; for a
      // lag above 61 none does, and its window is not read that far).
      if (continued < kSubframe && n0 + W - 1 >= continued) {
        doubles acc = SIVO_LOAD_AS(doubles, &cur.s[2][G + n0 + 2 - lag]);
        for (int i = 0; i <= lag - 3; ++i) {
          acc += SIVO_LOAD_AS(doubles, hd + n0 + 3 - lag + i) *
                 SIVO_SPLAT_AS(doubles, window[lag + 1 - i]);
        }
        upper = index + n0 >= continued ? acc : upper;
      }
    }
    SIVO_STORE_AS(&cur.s[4][G + n0], upper);
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
      SIVO_STORE_AS(&cur.s[j][G + n0], upper);
    }
  }
}

// Filtered tap vectors of the lags first_lag + d, d = 0 .. out.size() - 1,
// from the window fetch f at first_lag and direct, the tap-4 convolution of
// the first lag.
template <int W>
SIVO_LANE_INLINE void filter_lags(std::span<tap_vectors> out,
                                  const std::array<float, kFetchLength>& f, const double* direct,
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

SIVO_LANE_CLONES
void filter_lag_taps(std::span<tap_vectors> out, const std::array<float, kFetchLength>& f,
                     const double* direct, std::span<const float, kSubframe> h,
                     int first_lag) noexcept {
  SIVO_LANE_DISPATCH(filter_lags, out, f, direct, h, first_lag);
}

// Gain table with its columns contiguous, rows padded with zeros to whole
// blocks of 16, so that sixteen rows are scored side by side.
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
constexpr gain_columns<kRows85> kColumns85 = transpose(acb_gain_table_85);
constexpr gain_columns<kRows170> kColumns170 = transpose(acb_gain_table_170);

// The filtered tap vectors of up to four candidates, one candidate per lane.
using candidate_taps = std::array<std::array<double4, kSubframe>, kTaps>;

// Correlations of each candidate (lane): target with each tap vector, half
// the energies, the cross products in column order.
SIVO_LANE_CLONES
void correlate_candidates(std::array<correlations, kMaxCandidates>& c, const candidate_taps& y,
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

// score[r] = sum over m of column m, row r, times c[m], rounded to float,
// for rows 0 .. rows - 1 rounded up to a whole block; 32 rows side by side
// in groups of W lanes.
template <int W, std::size_t Padded>
SIVO_LANE_INLINE void score_rows(float* score,
                                 const std::array<std::array<float, Padded>, kGainColumns>& columns,
                                 int rows, const correlations& c) noexcept {
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

SIVO_LANE_CLONES
void score_gain_rows(float* score, bool large, int rows, const correlations& c) noexcept {
  if (large) {
    SIVO_LANE_DISPATCH(score_rows, score, kColumns170, rows, c);
  } else {
    SIVO_LANE_DISPATCH(score_rows, score, kColumns85, rows, c);
  }
}

// out[n] = sum over j of row[j] * f[n + 3 + j], the five-tap predictor, W
// samples side by side (with eight, the last four as a quad, so that no
// load passes the end of f).
template <int W>
SIVO_LANE_INLINE void apply_taps_in(std::span<float, kSubframe> out, const gain_row& row,
                                    const std::array<float, kFetchLength>& f) noexcept {
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

SIVO_LANE_CLONES
void apply_taps(std::span<float, kSubframe> out, const gain_row& row,
                const std::array<float, kFetchLength>& f) noexcept {
  SIVO_LANE_DISPATCH(apply_taps_in, out, row, f);
}

// lanes[j][n] = the four candidates' y[k][j][n], widened, one per lane:
// four samples of the four candidates at a time, transposed as a 4x4 block.
SIVO_LANE_CLONES
void spread_candidates(candidate_taps& lanes,
                       const std::array<tap_vectors, kMaxCandidates>& y) noexcept {
  static_assert(kMaxCandidates == 4 && kSubframe % 4 == 0);
  for (int j = 0; j < kTaps; ++j) {
    for (int n = 0; n < kSubframe; n += 4) {
      transpose_widened(&y[0][j][n], &y[1][j][n], &y[2][j][n], &y[3][j][n], &lanes[j][n]);
    }
  }
}

// The largest of score[0 .. rows-1] above zero and (in row) the first row
// holding it; 0.0 (row untouched) when none is above zero.
SIVO_LANE_CLONES
float largest_score(const float* score, int rows, int& row) noexcept {
  return first_largest_above(score, rows, 0.0f, row);
}

}  // namespace

void fetch_past_excitation(std::span<float, kFetchLength> out, const float* past,
                           int lag) noexcept {
  if (lag <= kHistory - 5) {
    out[0] = past[140 - lag];
    out[1] = past[141 - lag];
    out[2] = past[142 - lag];
  }
  out[3] = past[143 - lag];
  out[4] = past[144 - lag];
  const float* last = past + kHistory - lag;  // the last lag samples
  // The period repeats whole, in copies of up to lag samples.
  const int period = std::max(lag, 1);
  for (int i = 0; i < kFetchLength - 5; i += period) {
    std::copy_n(last, std::min(period, kFetchLength - 5 - i), out.data() + 5 + i);
  }
}

void decode_adaptive_codebook(std::span<float, kSubframe> adaptive_out, const float* past,
                              int32_t olp, int32_t acb_lag, int32_t acb_gain) noexcept {
  std::array<float, kFetchLength> f;
  fetch_past_excitation(f, past, olp + acb_lag - 1);
  const gain_row& row = gain_table(olp >= kTableSwitchLag)[acb_gain];
  apply_taps(adaptive_out, row, f);
}

void filter_tap_vectors(std::span<tap_vectors> out, const float* past,
                        std::span<const float, kSubframe> h, int first_lag) noexcept {
  // One fetch at the smallest lag holds every sample the larger lags need:
  // lag first_lag + d starts its window d samples earlier, in f[0..2].
  std::array<float, kFetchLength> f;
  fetch_past_excitation(f, past, first_lag);
  // Tap 4 of the first lag: h convolved with its window from R[4] on.
  std::array<double, kSumLength> direct{};
  kernels().causal_convolution(std::span<double, kSubframe>(direct.data(), kSubframe), h.data(),
                     f.data() + 3 + 4);
  filter_lag_taps(out, f, direct.data(), h, first_lag);
}

int test_taming(int lag1, int lag2, const encoder_state& state) noexcept {
  const int zone2 = (lag2 + 2) / 30;
  int i1 = lag1 - 61;
  if (i1 <= 0) i1 = 1;
  const int zone1 = i1 / 30;
  float worst = -1.0f;
  for (int z = zone2; z >= zone1; --z) {
    if (state.taming_errors[z] > worst) worst = state.taming_errors[z];
  }
  if (worst > kTamingLimit || (state.tone_history & kToneFlag) != 0) return 0;
  // worst lies in [-1, 2^28] here, so the difference fits an int.
  return static_cast<int>(kTamingLimit - static_cast<double>(worst)) >> 21;
}

void find_adaptive_codebook(std::span<float, kSubframe> target, std::span<const float, kSubframe> h,
                            const float* past, frame_params& params, int subframe,
                            const encoder_state& state,
                            std::span<float, kSubframe> adaptive_out) noexcept {
  const bool odd = (subframe & 1) != 0;
  int32_t olp = params.olp[subframe / 2];
  const int count = odd ? 4 : 3;
  if (!odd) {
    if (olp == 18) olp = 19;
    if (olp > 140) olp = 140;
  }
  const int first_lag = olp - 1;

  std::array<tap_vectors, kMaxCandidates> y;
  filter_tap_vectors(std::span<tap_vectors>(y.data(), count), past, h, first_lag);
  if (count < kMaxCandidates) y[kMaxCandidates - 1] = tap_vectors{};
  candidate_taps lanes;
  spread_candidates(lanes, y);
  std::array<correlations, kMaxCandidates> c;
  correlate_candidates(c, lanes, target);

  const int off = test_taming(first_lag, olp + count - 2, state);
  const int bound85 = std::min(51 + 4 * off, kRows85);
  const int bound170 = std::min(93 + 8 * off, kRows170);

  float best = 0.0f;
  int chosen_k = 1;
  int chosen_row = 0;
  std::array<float, std::tuple_size_v<gain_columns<kRows170>::value_type>> score;
  for (int k = 0; k < count; ++k) {
    const bool large = (odd ? olp : first_lag + k) >= kTableSwitchLag;
    const int bound = large ? bound170 : bound85;
    score_gain_rows(score.data(), large, bound, c[k]);
    int row = 0;
    const float top = largest_score(score.data(), bound, row);
    if (top > best) {
      best = top;
      chosen_k = k;
      chosen_row = row;
    }
  }

  subframe_params& entry = params.subframes[subframe];
  if (odd) {
    entry.acb_lag = chosen_k;
  } else {
    olp = first_lag + chosen_k;
    entry.acb_lag = 1;
  }
  entry.acb_gain = chosen_row;
  params.olp[subframe / 2] = olp;

  decode_adaptive_codebook(adaptive_out, past, olp, entry.acb_lag, entry.acb_gain);
  subtract_filtered_excitation(target, adaptive_out, h);
}

}  // namespace sivo
