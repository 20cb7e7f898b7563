// The correlations and energies of a stretch at seven neighbouring lags.
#include "codec/synthesis/lag_sums.h"

namespace sivo {
namespace {

// Sum of x[n] * y[n] over n = 0..length-1, in double, rounded to float.
float dot(const float* x, const float* y, int length) noexcept {
  double sum = 0.0;
  for (int n = 0; n < length; ++n) sum += double(x[n]) * double(y[n]);
  return static_cast<float>(sum);
}

}  // namespace

void sum_lag_job(lag_sum_job& job) noexcept {
  const float* x = job.x;
  lag_sums& out = job.result;
  out = lag_sums{};
  for (int i = 0; i < kLagCandidates; ++i) {
    const int k = job.first + i;
    out.back_c[i] = dot(x, x - k, job.length);
    out.back_t[i] = dot(x - k, x - k, job.length);
    if (job.ahead) {
      out.ahead_c[i] = dot(x, x + k, job.length);
      out.ahead_t[i] = dot(x + k, x + k, job.length);
    }
  }
  out.e = dot(x, x, job.length);
}

int32_t pick_lag(const std::array<float, 8>& c, int first, int last) noexcept {
  float best = 0.0f;
  int32_t result = 0;
  for (int k = first; k <= last; ++k) {
    if (c[k - first] > best) {
      best = c[k - first];
      result = k;
    }
  }
  return result;
}

}  // namespace sivo
