// Lost-frame concealment: the voicing decision taken after every good frame,
// and the excitation invented for a lost one.
#include "codec/synthesis/concealment.h"

#include <algorithm>
#include <array>

#include "codec/synthesis/lag_correlation.h"

namespace sivo {
namespace {

constexpr int kMaxConcealPitch = 142;         // olp is lowered to this
constexpr int kTail = kHistory + kHalfFrame;  // 265: last 120 samples of the frame
constexpr float kConcealAttenuation = 0.75f;
constexpr double kVoicingThreshold = 0.125;

}  // namespace

int32_t estimate_concealment_lag(std::span<const float, kWindow> window,
                                 int32_t olp_second_half) noexcept {
  const float* x = window.data() + kTail;
  const int centre = std::min(olp_second_half, kMaxConcealPitch);
  float best = 0.0f;
  int lag = 0;
  // The seven lags are correlated side by side unless one would not reach
  // into the past.
  const int first = centre - 3;
  std::array<float, kLagCandidates> lanes;
  const bool full = first >= 1;
  if (full) correlate_lag_candidates(lanes, x, kHalfFrame, first, -1);
  for (int k = first; k <= centre + 3; ++k) {
    if (k < 1) continue;  // a lag must reach into the past
    float ck = full ? lanes[k - first] : 0.0f;
    if (!full) {
      double c = 0.0;
      for (int n = 0; n < kHalfFrame; ++n) c += double(x[n]) * double(x[n - k]);
      ck = static_cast<float>(c);
    }
    if (ck > best) {
      best = ck;
      lag = k;
    }
  }
  if (lag == 0) return 0;

  double e = 0.0;
  double t = 0.0;
  for (int n = 0; n < kHalfFrame; ++n) e += double(x[n]) * double(x[n]);
  for (int n = 0; n < kHalfFrame; ++n) t += double(x[n - lag]) * double(x[n - lag]);
  const auto energy = static_cast<float>(e);
  const auto lagged_energy = static_cast<float>(t);
  const bool voiced =
      double(best) * double(best) > kVoicingThreshold * double(energy) * double(lagged_energy);
  return voiced ? lag : 0;
}

bool concealment_job(lag_sum_job& job, std::span<const float, kWindow> window,
                     int32_t olp_second_half) noexcept {
  const int first = std::min(olp_second_half, kMaxConcealPitch) - 3;
  if (first < 1) return false;
  job.x = window.data() + kTail;
  job.first = first;
  job.ahead = false;
  job.length = kHalfFrame;
  return true;
}

int32_t concealment_lag_from_sums(const lag_sum_job& job) noexcept {
  const lag_sums& sums = job.result;
  const int lag = pick_lag(sums.back_c, job.first, job.first + kLagCandidates - 1);
  if (lag == 0) return 0;
  const float best = sums.back_c[lag - job.first];
  const float lagged_energy = sums.back_t[lag - job.first];
  const bool voiced =
      double(best) * double(best) > kVoicingThreshold * double(sums.e) * double(lagged_energy);
  return voiced ? lag : 0;
}

void regenerate_excitation(std::span<float, kFrame> out, std::span<float, kWindow> window,
                           int32_t conceal_lag, float erasure_gain, int32_t erasure_count,
                           int32_t& noise_seed) noexcept {
  if (erasure_count >= 3) {
    std::fill(out.begin(), out.end(), 0.0f);
    std::fill(window.begin(), window.end(), 0.0f);
    return;
  }
  // A lag beyond the history cannot come from estimate_concealment_lag; such
  // a state is concealed as unvoiced rather than read outside the window.
  if (conceal_lag > 0 && conceal_lag <= kHistory) {
    float* w = window.data() + kHistory;
    for (int i = 0; i < kFrame; ++i) w[i] = w[i - conceal_lag];
    for (int i = 0; i < kFrame; ++i) {
      w[i] = static_cast<float>(double(kConcealAttenuation) * double(w[i]));
      out[i] = w[i];
    }
    return;
  }
  for (int i = 0; i < kFrame; ++i) {
    const float noise = next_noise_sample(noise_seed);
    out[i] = static_cast<float>(double(erasure_gain) * double(noise));
  }
  std::fill(window.begin(), window.end(), 0.0f);
}

float next_noise_sample(int32_t& noise_seed) noexcept {
  const uint32_t u = static_cast<uint32_t>(noise_seed) & 0xFFFFu;
  const auto next = static_cast<uint16_t>(u * 521u + 259u);
  noise_seed = static_cast<int16_t>(next);
  return static_cast<float>(noise_seed) * (1.0f / 32768.0f);
}

}  // namespace sivo
