// Harmonic noise shaping: per-subframe lag and gain estimate, and the comb filter on the weighted speech.
#include "codec/analysis/noise_shaping.h"

namespace sivo {
namespace {

constexpr int kSearchHalfWidth = 3;  // shaping lags olp - 3 .. olp + 3
constexpr double kPeriodicityFloor = 0.375;
constexpr float kMaxShapingGain = 0.3125f;

}  // namespace

shaping_params noise_shaping_estimate(const float* x, int32_t lag) noexcept {
  double ex_sum = 0.0;
  for (int n = 0; n < kSubframe; ++n) ex_sum += static_cast<double>(x[n]) * x[n];
  const float ex = static_cast<float>(ex_sum);

  const int first = lag - kSearchHalfWidth;
  const int last = lag + kSearchHalfWidth;

  double e_first = 0.0;
  for (int n = 0; n < kSubframe; ++n) {
    e_first += static_cast<double>(x[n - first]) * x[n - first];
  }
  float e_t = static_cast<float>(e_first);

  bool found = false;
  int32_t best_lag = lag;
  float e_best = 1.0f;
  float r_best = 0.0f;
  for (int t = first; t <= last; ++t) {
    if (t > first) {
      // Slide the lagged window one sample further back.
      const double entering = x[-t];
      const double leaving = x[kSubframe - t];
      e_t = static_cast<float>(e_t + entering * entering - leaving * leaving);
    }
    double r_sum = 0.0;
    for (int n = 0; n < kSubframe; ++n) r_sum += static_cast<double>(x[n]) * x[n - t];
    const float r_t = static_cast<float>(r_sum);

    if (e_t > 0.0f && r_t > 0.0f &&
        static_cast<double>(r_t) * r_t * e_best >
            static_cast<double>(r_best) * r_best * e_t) {
      found = true;
      best_lag = t;
      e_best = e_t;
      r_best = r_t;
    }
  }

  if (!found) return shaping_params{lag, 0.0f};
  if (kPeriodicityFloor * ex * e_best >= static_cast<double>(r_best) * r_best) {
    return shaping_params{best_lag, 0.0f};
  }
  if (r_best > e_best) return shaping_params{best_lag, kMaxShapingGain};
  return shaping_params{
      best_lag, static_cast<float>(static_cast<double>(kMaxShapingGain) * r_best / e_best)};
}

void noise_shaping_filter(float* destination, const float* buffer, int offset,
                          shaping_params shaping) noexcept {
  const float* y = buffer + kHistory + offset;
  float* out = destination + offset;
  const double gain = shaping.gain;
  for (int n = 0; n < kSubframe; ++n) {
    out[n] = static_cast<float>(y[n] - gain * y[n - shaping.lag]);
  }
}

}  // namespace sivo
