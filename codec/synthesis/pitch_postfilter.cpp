// Pitch post-filter: mixes the best-matching stretch one pitch period back
// or ahead into each subframe, rescaled to keep the subframe's energy.
#include "codec/synthesis/pitch_postfilter.h"

#include <algorithm>
#include <array>
#include <cmath>

#include "codec/synthesis/lag_correlation.h"
#include "codec/tables/postfilter_tables.h"

namespace sivo {
namespace {

constexpr int kMaxPostfilterPitch = 142;  // olp is lowered to this
constexpr float kSmallestNormal = 1.1754944e-38f;

// The subframe's first sample inside the window.
const float* subframe_start(std::span<const float, kWindow> window, int subframe) noexcept {
  return window.data() + kHistory + kSubframe * subframe;
}

// Sum of x[n] * y[n] over the subframe, rounded to float.
float correlate(const float* x, const float* y) noexcept {
  double sum = 0.0;
  for (int n = 0; n < kSubframe; ++n) sum += double(x[n]) * double(y[n]);
  return static_cast<float>(sum);
}

// Picks the candidate with the largest positive correlation x[n] * x[n + sign k]
// over k = first..last; the earliest wins a tie. Returns sign * k or 0.
int32_t best_lag(const float* x, int first, int last, int sign) noexcept {
  // A full set of seven lags is correlated side by side.
  std::array<float, kLagCandidates> lanes;
  const bool full = first >= 1 && last == first + kLagCandidates - 1;
  if (full) correlate_lag_candidates(lanes, x, kSubframe, first, sign);
  float best = 0.0f;
  int32_t result = 0;
  for (int k = std::max(first, 1); k <= last; ++k) {
    const float c = full ? lanes[k - first] : correlate(x, x + sign * k);
    if (c > best) {
      best = c;
      result = sign * k;
    }
  }
  return result;
}

// Of two lags found, the one with the larger normalised correlation R^2/T;
// a tie goes ahead.
postfilter_params choose_direction(int32_t back, int32_t ahead, float e, float rb, float tb,
                                   float rf, float tf, const decoder_state& decoder) noexcept {
  if (double(rb) * double(rb) * double(tf) > double(rf) * double(rf) * double(tb)) {
    return pitch_postfilter_gains(back, e, rb, tb, decoder);
  }
  return pitch_postfilter_gains(ahead, e, rf, tf, decoder);
}

}  // namespace

int32_t find_backward_lag(std::span<const float, kWindow> window, int32_t olp,
                          int subframe) noexcept {
  const int centre = std::min(olp, kMaxPostfilterPitch);
  return best_lag(subframe_start(window, subframe), centre - 3, centre + 3, -1);
}

int32_t find_forward_lag(std::span<const float, kWindow> window, int32_t olp,
                         int subframe) noexcept {
  const int centre = std::min(olp, kMaxPostfilterPitch);
  // Samples left in the frame after the subframe's start, less the subframe.
  const int reach = kSubframe * (kSubframes - 1 - subframe);
  return best_lag(subframe_start(window, subframe), centre - 3, std::min(centre + 3, reach), 1);
}

postfilter_params pitch_postfilter_params(std::span<const float, kWindow> window, int32_t olp,
                                          int subframe, const decoder_state& decoder) noexcept {
  const int32_t back = find_backward_lag(window, olp, subframe);
  const int32_t ahead = find_forward_lag(window, olp, subframe);
  if (back == 0 && ahead == 0) return postfilter_params{};

  const float* x = subframe_start(window, subframe);
  const float e = correlate(x, x);
  if (ahead == 0) {
    return pitch_postfilter_gains(back, e, correlate(x, x + back), correlate(x + back, x + back),
                                  decoder);
  }
  const float rf = correlate(x, x + ahead);
  const float tf = correlate(x + ahead, x + ahead);
  if (back == 0) return pitch_postfilter_gains(ahead, e, rf, tf, decoder);
  return choose_direction(back, ahead, e, correlate(x, x + back), correlate(x + back, x + back),
                          rf, tf, decoder);
}

bool pitch_postfilter_job(lag_sum_job& job, std::span<const float, kPaddedWindow> window,
                         int32_t olp, int subframe) noexcept {
  const int first = std::min(olp, kMaxPostfilterPitch) - 3;
  if (first < 1) return false;
  job.x = window.data() + kHistory + kSubframe * subframe;
  job.first = first;
  job.ahead = kSubframe * (kSubframes - 1 - subframe) >= first;
  job.length = kSubframe;
  return true;
}

postfilter_params pitch_postfilter_from_sums(const lag_sum_job& job, int subframe,
                                             const decoder_state& decoder) noexcept {
  const int first = job.first;
  const int ahead_last =
      std::min(first + kLagCandidates - 1, kSubframe * (kSubframes - 1 - subframe));
  const lag_sums& sums = job.result;
  const int32_t back = pick_lag(sums.back_c, first, first + kLagCandidates - 1);
  const int32_t ahead = job.ahead ? pick_lag(sums.ahead_c, first, ahead_last) : 0;
  const int b = back - first, a = ahead - first;
  if (back == 0 && ahead == 0) return postfilter_params{};
  if (ahead == 0) return pitch_postfilter_gains(-back, sums.e, sums.back_c[b], sums.back_t[b], decoder);
  if (back == 0) {
    return pitch_postfilter_gains(ahead, sums.e, sums.ahead_c[a], sums.ahead_t[a], decoder);
  }
  return choose_direction(-back, ahead, sums.e, sums.back_c[b], sums.back_t[b], sums.ahead_c[a],
                          sums.ahead_t[a], decoder);
}

void pitch_postfilter_frame_params(std::span<postfilter_params, kSubframes> out,
                                   std::span<const float, kPaddedWindow> window,
                                   const int32_t (&olp)[2], const decoder_state& decoder) noexcept {
  for (int s = 0; s < kSubframes; ++s) {
    lag_sum_job job;
    if (!pitch_postfilter_job(job, window, olp[s / 2], s)) {
      out[s] = pitch_postfilter_params(window.first<kWindow>(), olp[s / 2], s, decoder);
      continue;
    }
    sum_lag_job(job);
    out[s] = pitch_postfilter_from_sums(job, s, decoder);
  }
}

postfilter_params pitch_postfilter_gains(int32_t lag, float E, float R, float T,
                                         const decoder_state& decoder) noexcept {
  const double e = E;
  const double r = R;
  const double t = T;
  if (r * r <= 0.25 * e * t) return postfilter_params{lag, 0.0f, 1.0f};

  const float g0 = pitch_postfilter_gain_table[decoder.comp_rate & (kRates - 1)];
  const float gain = R >= T ? g0 : static_cast<float>(double(g0) / t * r);
  const double g = gain;
  const auto d = static_cast<float>(e + g * (g * t + 2.0 * r));
  const float scale =
      std::fabs(d) >= kSmallestNormal ? static_cast<float>(std::sqrt(e / double(d))) : 0.0f;
  return postfilter_params{lag, static_cast<float>(g * double(scale)), scale};
}

void apply_pitch_postfilter(std::span<float, kFrame> out, std::span<const float, kWindow> window,
                            const postfilter_params& params, int subframe) noexcept {
  const float* x = subframe_start(window, subframe);
  float* y = out.data() + kSubframe * subframe;
  const double gain = params.gain;
  const double scale = params.scale;
  for (int n = 0; n < kSubframe; ++n) {
    y[n] = static_cast<float>(gain * double(x[n + params.lag]) + scale * double(x[n]));
  }
}

}  // namespace sivo
