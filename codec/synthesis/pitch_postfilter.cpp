// Pitch post-filter: mixes the best-matching stretch one pitch period back
// or ahead into each subframe, rescaled to keep the subframe's energy.
#include "codec/synthesis/pitch_postfilter.h"

#include <algorithm>
#include <cmath>

#include "codec/tables/postfilter_tables.h"

namespace sivo {
namespace {

constexpr int kMaxPostfilterPitch = 142;  // olp is lowered to this
constexpr int kLagSpread = 3;             // candidates olp - 3 .. olp + 3
constexpr float kSmallestNormal = 1.1754944e-38f;
constexpr double kWeakCorrelation = 0.25;  // R^2 <= E T / 4: no filtering

// The candidate lags' range for olp: first..last, first at least 1.
int first_candidate(int32_t olp) noexcept {
  return std::max(std::min(olp, kMaxPostfilterPitch) - kLagSpread, 1);
}
int last_candidate(int32_t olp) noexcept {
  return std::min(olp, kMaxPostfilterPitch) + kLagSpread;
}

// Samples of the frame after the subframe: the longest forward lag.
int forward_reach(int subframe) noexcept { return kSubframe * (kSubframes - 1 - subframe); }

}  // namespace

void pitch_postfilter_job(lag_sum_job& job, std::span<const float, kPaddedWindow> decoded,
                          int32_t olp, int subframe) noexcept {
  job.x = decoded.data() + kHistory + kSubframe * subframe;
  job.first = first_candidate(olp);
  job.ahead = forward_reach(subframe) >= job.first;
  job.length = kSubframe;
}

postfilter_params pitch_postfilter_from_sums(const lag_sum_job& job, int32_t olp, int subframe,
                                             const decoder_state& decoder) noexcept {
  const int first = job.first;
  const int last = last_candidate(olp);
  const lag_sums& sums = job.result;
  const int32_t back = pick_lag(sums.back_c, first, last);
  const int32_t ahead =
      job.ahead ? pick_lag(sums.ahead_c, first, std::min(last, forward_reach(subframe))) : 0;
  if (back == 0 && ahead == 0) return postfilter_params{};
  const int b = back - first, a = ahead - first;
  if (ahead == 0) {
    return pitch_postfilter_gains(-back, sums.e, sums.back_c[b], sums.back_t[b], decoder);
  }
  if (back != 0) {
    const double rb = sums.back_c[b], tb = sums.back_t[b];
    const double rf = sums.ahead_c[a], tf = sums.ahead_t[a];
    if (rb * rb * tf > rf * rf * tb) {
      return pitch_postfilter_gains(-back, sums.e, sums.back_c[b], sums.back_t[b], decoder);
    }
  }
  return pitch_postfilter_gains(ahead, sums.e, sums.ahead_c[a], sums.ahead_t[a], decoder);
}

postfilter_params pitch_postfilter_params(std::span<const float, kPaddedWindow> decoded,
                                          int32_t olp, int subframe,
                                          const decoder_state& decoder) noexcept {
  lag_sum_job job;
  pitch_postfilter_job(job, decoded, olp, subframe);
  sum_lag_job(job);
  return pitch_postfilter_from_sums(job, olp, subframe, decoder);
}

postfilter_params pitch_postfilter_gains(int32_t lag, float E, float R, float T,
                                         const decoder_state& decoder) noexcept {
  const double e = E;
  const double r = R;
  const double t = T;
  if (r * r <= kWeakCorrelation * e * t) return postfilter_params{lag, 0.0f, 1.0f};

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
  const float* x = window.data() + kHistory + kSubframe * subframe;
  float* y = out.data() + kSubframe * subframe;
  const double gain = params.gain;
  const double scale = params.scale;
  for (int n = 0; n < kSubframe; ++n) {
    y[n] = static_cast<float>(gain * double(x[n + params.lag]) + scale * double(x[n]));
  }
}

}  // namespace sivo
