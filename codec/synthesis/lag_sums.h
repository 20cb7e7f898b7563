// The sums behind a choice among seven neighbouring pitch lags: for each
// candidate k the correlation C_k of a stretch x with x one lag back (and
// one lag ahead), the lagged energy T_k, and the stretch's own energy. Both
// the pitch post-filter (one subframe, both ways) and the concealment
// voicing test (the last 120 samples, backward) choose from them.
#pragma once

#include <array>

#include "codec/codec_types.h"
#include "codec/vector_lanes.h"

namespace sivo {

// Indexed by lag - first; entry 7 is a spare lane and never used.
struct lag_sums {
  std::array<float, 8> back_c, back_t, ahead_c, ahead_t;
  float e;
};

// A stretch whose sums are to be formed: x[0..length-1], candidates
// first..first+6 (first >= 1) backward, and forward with ahead. Reads
// x[-first-6 .. length-first] and, with ahead, x[first .. length-1+first+7].
struct lag_sum_job {
  const float* x = nullptr;
  int first = 1;
  bool ahead = false;
  int length = kSubframe;  // kSubframe or kHalfFrame
  lag_sums result;         // written once the sums are complete
};

// Running sums: each lane is its own double accumulator over n in
// increasing order, exactly as a single sum of x[n] * x[n -+ k] would be.
// Backward lane j holds lag first + 6 - j; forward lane j lag first + j.
struct lag_lanes {
  double8 bc, bt, ac, at;
  double e;
};

SIVO_LANE_INLINE lag_lanes start_lag_lanes() noexcept {
  return lag_lanes{SIVO_SPLAT8(0.0), SIVO_SPLAT8(0.0), SIVO_SPLAT8(0.0), SIVO_SPLAT8(0.0), 0.0};
}

// Adds sample n of the job's stretch.
SIVO_LANE_INLINE void add_lag_sample(lag_lanes& s, const lag_sum_job& job, int n) noexcept {
  const float* x = job.x;
  const double xn = x[n];
  const double8 xs = SIVO_SPLAT8(xn);
  const double8 wb = SIVO_LOAD_WIDENED8(x + n - job.first - 6);
  s.bc += xs * wb;
  s.bt += wb * wb;
  if (job.ahead) {
    const double8 wa = SIVO_LOAD_WIDENED8(x + n + job.first);
    s.ac += xs * wa;
    s.at += wa * wa;
  }
  s.e += xn * xn;
}

// Rounds the finished sums to float into job.result.
SIVO_LANE_INLINE void finish_lag_sums(lag_sum_job& job, const lag_lanes& s) noexcept {
  for (int j = 0; j < 7; ++j) {
    job.result.back_c[6 - j] = static_cast<float>(s.bc[j]);
    job.result.back_t[6 - j] = static_cast<float>(s.bt[j]);
    job.result.ahead_c[j] = static_cast<float>(s.ac[j]);
    job.result.ahead_t[j] = static_cast<float>(s.at[j]);
  }
  job.result.back_c[7] = job.result.back_t[7] = 0.0f;
  job.result.ahead_c[7] = job.result.ahead_t[7] = 0.0f;
  job.result.e = static_cast<float>(s.e);
}

// Forms all of job's sums in one pass.
void sum_lag_job(lag_sum_job& job) noexcept;

// The candidate first..last (last may be below first: none) with the
// largest positive correlation c[k - first], the earliest on a tie; 0 when
// none.
int32_t pick_lag(const std::array<float, 8>& c, int first, int last) noexcept;

}  // namespace sivo
