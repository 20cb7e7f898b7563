// Five-tap adaptive codebook: fetching the past excitation, decoding a lag
// and gain row, and the encoder's joint closed-loop lag and gain search.
#include "codec/excitation/adaptive_codebook.h"

#include <algorithm>

#include "codec/excitation/pulse_filters.h"
#include "codec/kernels/kernel_table.h"
#include "codec/tables/acb_gain_tables.h"

namespace sivo {

namespace {

constexpr int kTableSwitchLag = 58;  // the 170-row table from this lag on
constexpr int kWindowStart = 3;      // f[3] holds R[0], the window's first sample
constexpr int kEvenLowestLag = 19;   // open-loop lags an even subframe centres on
constexpr int kEvenHighestLag = 140;
// Rows searched: the untamed count plus a step per unit of test_taming's result.
constexpr int kSmallRowsBase = 51;
constexpr int kSmallRowsStep = 4;
constexpr int kLargeRowsBase = 93;
constexpr int kLargeRowsStep = 8;
// The error tracker: zones of 30 lags; the search reads the zones from
// (lag1 - 61) / 30 (zone 0 counted as 1 / 30) to (lag2 + 2) / 30.
constexpr int kZoneLags = 30;
constexpr int kZoneReachBack = 61;
constexpr int kZoneReachAhead = 2;
constexpr double kTamingLimit = 268435456.0;  // 2^28
constexpr int kTamingShift = 21;
constexpr uint16_t kToneFlag = 0x8000;

// Tap pairs (i, j) of the cross-product columns 10..19, in column order.
constexpr int kPairs[10][2] = {{1, 0}, {2, 0}, {2, 1}, {3, 0}, {3, 1},
                               {3, 2}, {4, 0}, {4, 1}, {4, 2}, {4, 3}};

const gain_row* gain_table(bool large) noexcept {
  return large ? acb_gain_table_170.data() : acb_gain_table_85.data();
}

}  // namespace

void fetch_past_excitation(std::span<float, kFetchLength> out, const float* past,
                           int lag) noexcept {
  // out[i] = past[140 - lag + i]: three samples before the window, then
  // its first two; the three before only while they lie in the history.
  const float* const start = past + kHistory - kTaps - lag;
  for (int i = lag <= kHistory - kTaps ? 0 : kWindowStart; i < kTaps; ++i) out[i] = start[i];
  const float* last = past + kHistory - lag;  // the last lag samples
  // The period repeats whole, in copies of up to lag samples.
  const int period = std::max(lag, 1);
  for (int i = 0; i < kFetchLength - kTaps; i += period) {
    std::copy_n(last, std::min(period, kFetchLength - kTaps - i), out.data() + kTaps + i);
  }
}

void apply_taps(std::span<float, kSubframe> out, const gain_row& row,
                std::span<const float, kFetchLength> f) noexcept {
  for (int n = 0; n < kSubframe; ++n) {
    double sum = 0.0;
    for (int j = 0; j < kTaps; ++j) sum += static_cast<double>(row[j]) * f[n + kWindowStart + j];
    out[n] = static_cast<float>(sum);
  }
}

void decode_adaptive_codebook(std::span<float, kSubframe> adaptive_out, const float* past,
                              int32_t olp, int32_t acb_lag, int32_t acb_gain) noexcept {
  std::array<float, kFetchLength> f;
  fetch_past_excitation(f, past, olp + acb_lag - 1);
  const gain_row& row = gain_table(olp >= kTableSwitchLag)[acb_gain];
  kernels().apply_taps(adaptive_out, row, f);
}

void filter_tap_vectors(std::span<tap_vectors> out, const float* past,
                        std::span<const float, kSubframe> h, int first_lag) noexcept {
  for (size_t d = 0; d < out.size(); ++d) {
    std::array<float, kFetchLength> f;
    fetch_past_excitation(f, past, first_lag + static_cast<int>(d));
    const float* const window = f.data() + kWindowStart;
    for (int j = 0; j < kTaps; ++j) {
      for (int n = 0; n < kSubframe; ++n) {
        double sum = 0.0;
        for (int m = 0; m <= n; ++m) sum += static_cast<double>(h[m]) * window[j + n - m];
        out[d][j][n] = static_cast<float>(sum);
      }
    }
  }
}

void correlate_candidates(std::span<gain_correlations, kMaxCandidates> c,
                          std::span<const tap_vectors, kMaxCandidates> y,
                          std::span<const float, kSubframe> target) noexcept {
  for (int k = 0; k < kMaxCandidates; ++k) {
    for (int j = 0; j < kTaps; ++j) {
      double cross = 0.0;
      for (int n = 0; n < kSubframe; ++n) cross += static_cast<double>(target[n]) * y[k][j][n];
      c[k][j] = static_cast<float>(cross);
    }
    for (int j = 0; j < kTaps; ++j) {
      double energy = 0.0;
      for (int n = 0; n < kSubframe; ++n) energy += static_cast<double>(y[k][j][n]) * y[k][j][n];
      c[k][kTaps + j] = static_cast<float>(0.5 * energy);
    }
    for (int p = 0; p < 10; ++p) {
      const auto& a = y[k][kPairs[p][0]];
      const auto& b = y[k][kPairs[p][1]];
      double cross = 0.0;
      for (int n = 0; n < kSubframe; ++n) cross += static_cast<double>(a[n]) * b[n];
      c[k][2 * kTaps + p] = static_cast<float>(cross);
    }
  }
}

float best_gain_row(bool large, int rows, const gain_correlations& c, int& row) noexcept {
  const gain_row* const table = gain_table(large);
  float best = 0.0f;
  for (int r = 0; r < rows; ++r) {
    double sum = 0.0;
    for (int m = 0; m < kGainColumns; ++m) sum += static_cast<double>(table[r][m]) * c[m];
    const float score = static_cast<float>(sum);
    if (score > best) {
      best = score;
      row = r;
    }
  }
  return best;
}

int test_taming(int lag1, int lag2, const encoder_state& state) noexcept {
  const int zone2 = (lag2 + kZoneReachAhead) / kZoneLags;
  const int zone1 = std::max(lag1 - kZoneReachBack, 1) / kZoneLags;
  float worst = -1.0f;
  for (int z = zone2; z >= zone1; --z) {
    if (state.taming_errors[z] > worst) worst = state.taming_errors[z];
  }
  if (worst > kTamingLimit || (state.tone_history & kToneFlag) != 0) return 0;
  // worst lies in [-1, 2^28] here, so the difference fits an int.
  return static_cast<int>(kTamingLimit - static_cast<double>(worst)) >> kTamingShift;
}

void find_adaptive_codebook(std::span<float, kSubframe> target, std::span<const float, kSubframe> h,
                            const float* past, frame_params& params, int subframe,
                            const encoder_state& state,
                            std::span<float, kSubframe> adaptive_out) noexcept {
  const bool odd = (subframe & 1) != 0;
  int32_t olp = params.olp[subframe / 2];
  const int count = odd ? 4 : 3;
  if (!odd) olp = std::clamp(olp, kEvenLowestLag, kEvenHighestLag);
  const int first_lag = olp - 1;

  std::array<tap_vectors, kMaxCandidates> y;
  kernels().filter_tap_vectors(std::span<tap_vectors>(y.data(), count), past, h, first_lag);
  if (count < kMaxCandidates) y[kMaxCandidates - 1] = tap_vectors{};
  std::array<gain_correlations, kMaxCandidates> c;
  kernels().correlate_candidates(c, y, target);

  const int off = test_taming(first_lag, olp + count - 2, state);
  const int small_rows = std::min(kSmallRowsBase + kSmallRowsStep * off, kSmallTableRows);
  const int large_rows = std::min(kLargeRowsBase + kLargeRowsStep * off, kLargeTableRows);

  float best = 0.0f;
  int chosen_k = 1;
  int chosen_row = 0;
  for (int k = 0; k < count; ++k) {
    const bool large = (odd ? olp : first_lag + k) >= kTableSwitchLag;
    int row = 0;
    const float top = kernels().best_gain_row(large, large ? large_rows : small_rows, c[k], row);
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
