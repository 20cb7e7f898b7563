#include "codec/synthesis/lag_sums.h"

namespace sivo {
namespace {

template <int W>
SIVO_LANE_INLINE void sum_job(lag_sum_job& job) noexcept {
  lag_lanes<W> s;
  start_lag_lanes(s);
  if (job.ahead) {
    for (int n = 0; n < job.length; ++n) add_lag_sample(s, job, n);
  } else {
    for (int n = 0; n < job.length; ++n) add_lag_sample(s, job, n);
  }
  finish_lag_sums(job, s);
}

SIVO_LANE_CLONES
void sum_lanes(lag_sum_job& job) noexcept { SIVO_LANE_DISPATCH(sum_job, job); }

}  // namespace

void sum_lag_job(lag_sum_job& job) noexcept { sum_lanes(job); }

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
