// Five-tap adaptive codebook: closed-loop lag and gain search, decoding.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/frame_params.h"
#include "codec/state.h"

namespace sivo {

inline constexpr int kFetchLength = 67;
inline constexpr int kTaps = 5;           // taps of the pitch predictor
inline constexpr int kMaxCandidates = 4;  // closed-loop lags of an odd subframe

inline constexpr int kGainColumns = 20;       // taps, half energies, cross products
inline constexpr int kSmallTableRows = 85;   // gain rows below lag 58
inline constexpr int kLargeTableRows = 170;  // gain rows from lag 58 on

// A row of a gain table: the five taps, then the terms that turn a
// candidate's correlations into its score.
using gain_row = std::array<float, kGainColumns>;
// A candidate lag's correlations: target with each filtered tap vector, half
// each vector's energy, the ten cross products of tap pairs (1,0), (2,0),
// (2,1), (3,0), (3,1), (3,2), (4,0), (4,1), (4,2), (4,3).
using gain_correlations = std::array<float, kGainColumns>;

// The five filtered tap vectors of one candidate lag: y[j][n] is the
// excitation at lag offset j - 2 (j = 0: lag + 2 samples back) filtered by
// the impulse response, zero state, 60 samples.
using tap_vectors = std::array<std::array<float, kSubframe>, kTaps>;

// past: the 145 samples of excitation before the subframe (past[144] the
// newest). out[3..66]: the 64-sample window of a five-tap predictor at lag
// (lag 1..143), the last lag samples repeated for short lags; out[0..2]:
// the three samples before it, written only for lag <= 140.
void fetch_past_excitation(std::span<float, kFetchLength> out, const float* past, int lag) noexcept;

// adaptive_out[0..59] from lag olp + acb_lag - 1 and gain row acb_gain (the
// 170-row table when olp >= 58).
void decode_adaptive_codebook(std::span<float, kSubframe> adaptive_out, const float* past,
                              int32_t olp, int32_t acb_lag, int32_t acb_gain) noexcept;

// out[n] = sum over j of row[j] f[n + 3 + j], in double, rounded to float:
// the five-tap predictor on a fetched window. The reference form of the
// predictor kernel.
void apply_taps(std::span<float, kSubframe> out, const gain_row& row,
                std::span<const float, kFetchLength> f) noexcept;

// Filtered tap vectors of the consecutive lags first_lag .. first_lag +
// out.size() - 1 (first_lag 17..140, at most 4 lags, last lag <= 143): the
// zero-state convolution of h with each tap's window, each sum in double in
// increasing m, rounded to float. The reference form of the tap filtering
// kernel.
void filter_tap_vectors(std::span<tap_vectors> out, const float* past,
                        std::span<const float, kSubframe> h, int first_lag) noexcept;

// c[k]: the correlations of candidate k's tap vectors y[k] with target, each
// a double sum in increasing n rounded to float (a half energy halved in
// double first). The reference form of the candidate correlation kernel.
void correlate_candidates(std::span<gain_correlations, kMaxCandidates> c,
                          std::span<const tap_vectors, kMaxCandidates> y,
                          std::span<const float, kSubframe> target) noexcept;

// The first of rows 0 .. rows - 1 of the 170-row table (large) or 85-row
// table with the largest score sum over m of row[m] c[m] (double, rounded to
// float) above 0, in row, and that score; 0.0 with row untouched when none is
// above 0. The reference form of the gain row search kernel.
float best_gain_row(bool large, int rows, const gain_correlations& c, int& row) noexcept;

// Returns 0..128, from which the number of searchable gain rows follows; 0
// when the tracked error of the lags' zones exceeds 2^28 or a tone is flagged.
int test_taming(int lag1, int lag2, const encoder_state& state) noexcept;

// target: 60 samples, updated in place (adaptive contribution removed);
// h: weighted impulse response; past: as for fetch_past_excitation.
// Reads and rewrites params.olp[subframe/2], writes acb_lag and acb_gain
// of params.subframes[subframe]; writes the adaptive excitation.
void find_adaptive_codebook(std::span<float, kSubframe> target, std::span<const float, kSubframe> h,
                            const float* past, frame_params& params, int subframe,
                            const encoder_state& state,
                            std::span<float, kSubframe> adaptive_out) noexcept;

}  // namespace sivo
