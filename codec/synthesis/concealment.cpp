// Lost-frame concealment: the voicing decision taken after every good frame,
// and the excitation invented for a lost one.
#include "codec/synthesis/concealment.h"

#include <algorithm>

#include "codec/kernels/kernel_table.h"
#include "codec/synthesis/lag_sums.h"

namespace sivo {
namespace {

constexpr int kMaxConcealPitch = 142;         // olp is lowered to this
constexpr int kLagSpread = 3;                 // candidates olp - 3 .. olp + 3
constexpr int kTail = kHistory + kHalfFrame;  // 265: last 120 samples of the frame
constexpr float kConcealAttenuation = 0.75f;
constexpr double kVoicingThreshold = 0.125;
// The noise generator: seed <- 521 seed + 259 (mod 2^16), read as a signed
// 16-bit value and scaled to [-1, 1).
constexpr uint32_t kNoiseMultiplier = 521;
constexpr uint32_t kNoiseIncrement = 259;
constexpr uint32_t kSixteenBits = 0xFFFF;
constexpr float kNoiseScale = 1.0f / 32768.0f;

}  // namespace

int32_t estimate_concealment_lag(std::span<const float, kWindow> window,
                                 int32_t olp_second_half) noexcept {
  const int centre = std::min(olp_second_half, kMaxConcealPitch);
  // A lag must reach into the past: candidates below 1 are left out.
  lag_sum_job job;
  job.x = window.data() + kTail;
  job.first = std::max(centre - kLagSpread, 1);
  job.ahead = false;
  job.length = kHalfFrame;
  kernels().sum_lag_job(job);
  const lag_sums& sums = job.result;
  const int lag = pick_lag(sums.back_c, job.first, centre + kLagSpread);
  if (lag == 0) return 0;
  const double best = sums.back_c[lag - job.first];
  const double lagged_energy = sums.back_t[lag - job.first];
  const bool voiced = best * best > kVoicingThreshold * double(sums.e) * lagged_energy;
  return voiced ? lag : 0;
}

void regenerate_excitation(std::span<float, kFrame> out, std::span<float, kWindow> window,
                           int32_t conceal_lag, float erasure_gain, int32_t erasure_count,
                           int32_t& noise_seed) noexcept {
  if (erasure_count >= kMaxErasures) {
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
  const uint32_t u = static_cast<uint32_t>(noise_seed) & kSixteenBits;
  const auto next = static_cast<uint16_t>(u * kNoiseMultiplier + kNoiseIncrement);
  noise_seed = static_cast<int16_t>(next);
  return static_cast<float>(noise_seed) * kNoiseScale;
}

}  // namespace sivo
