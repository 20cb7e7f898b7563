// Pitch post-filter: strengthens the periodicity of decoded excitation.
#pragma once

#include <cstdint>
#include <span>

#include "codec/state.h"
#include "codec/synthesis/lag_sums.h"

namespace sivo {

// window: 145 past samples then the frame; olp is lowered to 142.
// Returns 0 or minus the best backward lag.
int32_t find_backward_lag(std::span<const float, kWindow> window, int32_t olp,
                          int subframe) noexcept;
// Returns 0 or the best forward lag (never beyond the frame).
int32_t find_forward_lag(std::span<const float, kWindow> window, int32_t olp,
                         int subframe) noexcept;

postfilter_params pitch_postfilter_params(std::span<const float, kWindow> window,
                                          int32_t olp, int subframe,
                                          const decoder_state& decoder) noexcept;

postfilter_params pitch_postfilter_gains(int32_t lag, float E, float R, float T,
                                         const decoder_state& decoder) noexcept;

// The window the frame-wide search reads: 145 past samples, the frame, then
// zeros, so that forward candidates beyond the frame read zeros instead of
// leaving the buffer (their sums are never used).
inline constexpr int kPaddedWindow = kWindow + 96;

// pitch_postfilter_params of the four subframes, olp[0] for subframes 0-1
// and olp[1] for 2-3, with all sums of a subframe formed in one pass; the
// same results bit for bit. window: kWindow samples as above, then zeros.
void pitch_postfilter_frame_params(std::span<postfilter_params, kSubframes> out,
                                   std::span<const float, kPaddedWindow> window,
                                   const int32_t (&olp)[2], const decoder_state& decoder) noexcept;

// Sets job to the sums subframe's parameters need from window (padded as
// above); false when olp is below 4, whose lags are left to
// pitch_postfilter_params.
bool pitch_postfilter_job(lag_sum_job& job, std::span<const float, kPaddedWindow> window,
                         int32_t olp, int subframe) noexcept;

// pitch_postfilter_params of the subframe from the job's finished sums.
postfilter_params pitch_postfilter_from_sums(const lag_sum_job& job, int subframe,
                                             const decoder_state& decoder) noexcept;

// out[60s + n] = gain * x[n + lag] + scale * x[n], x the subframe in window.
void apply_pitch_postfilter(std::span<float, kFrame> out,
                            std::span<const float, kWindow> window,
                            const postfilter_params& params, int subframe) noexcept;

}  // namespace sivo
