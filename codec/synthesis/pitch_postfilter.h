// Pitch post-filter: strengthens the periodicity of decoded excitation.
#pragma once

#include <cstdint>
#include <span>

#include "codec/state.h"
#include "codec/synthesis/lag_sums.h"

namespace sivo {

// The window the lag choice reads: 145 past samples, the frame as decoded,
// then zeros, so that forward candidates beyond the frame read zeros instead
// of leaving the buffer (their sums are never used).
inline constexpr int kPaddedWindow = kWindow + 96;

// Sets job to the sums the subframe's lag choice needs from decoded (padded
// as above): candidates olp - 3 .. olp + 3 (olp lowered to 142, lags below
// 1 left out), backward, and forward while a lag stays inside the frame.
void pitch_postfilter_job(lag_sum_job& job, std::span<const float, kPaddedWindow> decoded,
                          int32_t olp, int subframe) noexcept;

// The subframe's filter from the job's finished sums: the backward and the
// forward lag with the largest positive correlation (the shorter on a tie),
// of those the one with the larger normalised correlation C^2 / T (forward
// on a tie), and its gains. None when no lag correlates positively.
postfilter_params pitch_postfilter_from_sums(const lag_sum_job& job, int32_t olp, int subframe,
                                             const decoder_state& decoder) noexcept;

// pitch_postfilter_job, its sums (plain) and pitch_postfilter_from_sums in
// turn.
postfilter_params pitch_postfilter_params(std::span<const float, kPaddedWindow> decoded,
                                          int32_t olp, int subframe,
                                          const decoder_state& decoder) noexcept;

// Gain and scale of lag from the subframe's energy E, its correlation R
// with the lagged stretch and that stretch's energy T; no filtering (gain
// 0, scale 1) when R^2 <= E T / 4.
postfilter_params pitch_postfilter_gains(int32_t lag, float E, float R, float T,
                                         const decoder_state& decoder) noexcept;

// out[60 s + n] = gain * x[n + lag] + scale * x[n], n = 0..59, x the
// subframe's excitation in window (145 past samples, then the frame).
void apply_pitch_postfilter(std::span<float, kFrame> out, std::span<const float, kWindow> window,
                            const postfilter_params& params, int subframe) noexcept;

}  // namespace sivo
