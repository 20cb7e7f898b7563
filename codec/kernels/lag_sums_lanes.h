// Lane accumulators of the seven-lag sums, shared by the lag-sum kernel and
// the post-filtered synthesis kernel (which forms them inside its filter
// recursions).
#pragma once

#include "codec/kernels/vector_lanes.h"
#include "codec/synthesis/lag_sums.h"

namespace sivo {

// Running sums: each lane is its own double accumulator over n in
// increasing order, exactly as a single sum of x[n] * x[n -+ k] would be.
// Backward lane j holds lag first + 6 - j; forward lane j lag first + j.
// The eight lanes of each sum are 8 / W groups of W (see lane_group); lane
// 7 is a spare whose sums are dropped.
template <int W>
struct lag_lanes {
  static constexpr int kParts = 8 / W;
  using doubles = typename lane_group<W>::doubles;
  doubles bc[kParts], bt[kParts], ac[kParts], at[kParts];
  double e;
};

template <int W>
SIVO_LANE_INLINE void start_lag_lanes(lag_lanes<W>& s) noexcept {
  using doubles = typename lane_group<W>::doubles;
  for (int p = 0; p < lag_lanes<W>::kParts; ++p) {
    s.bc[p] = s.bt[p] = s.ac[p] = s.at[p] = SIVO_SPLAT_AS(doubles, 0.0);
  }
  s.e = 0.0;
}

// Adds sample n of the job's stretch.
template <int W>
SIVO_LANE_INLINE void add_lag_sample(lag_lanes<W>& s, const lag_sum_job& job, int n) noexcept {
  using doubles = typename lane_group<W>::doubles;
  const float* x = job.x;
  const double xn = x[n];
  const doubles xs = SIVO_SPLAT_AS(doubles, xn);
  for (int p = 0; p < lag_lanes<W>::kParts; ++p) {
    const doubles wb = SIVO_LOAD_WIDENED_LANES(W, x + n - job.first - 6 + W * p);
    s.bc[p] += xs * wb;
    s.bt[p] += wb * wb;
  }
  if (job.ahead) {
    for (int p = 0; p < lag_lanes<W>::kParts; ++p) {
      const doubles wa = SIVO_LOAD_WIDENED_LANES(W, x + n + job.first + W * p);
      s.ac[p] += xs * wa;
      s.at[p] += wa * wa;
    }
  }
  s.e += xn * xn;
}

// Rounds the finished sums to float into job.result.
template <int W>
SIVO_LANE_INLINE void finish_lag_sums(lag_sum_job& job, const lag_lanes<W>& s) noexcept {
  for (int j = 0; j < kLagCandidates; ++j) {
    job.result.back_c[6 - j] = static_cast<float>(s.bc[j / W][j % W]);
    job.result.back_t[6 - j] = static_cast<float>(s.bt[j / W][j % W]);
    job.result.ahead_c[j] = static_cast<float>(s.ac[j / W][j % W]);
    job.result.ahead_t[j] = static_cast<float>(s.at[j / W][j % W]);
  }
  job.result.back_c[7] = job.result.back_t[7] = 0.0f;
  job.result.ahead_c[7] = job.result.ahead_t[7] = 0.0f;
  job.result.e = static_cast<float>(s.e);
}

// sum_lag_job in W-lane groups.
template <int W>
SIVO_LANE_INLINE void sum_lag_job_in(lag_sum_job& job) noexcept {
  lag_lanes<W> s;
  start_lag_lanes(s);
  // One loop for each direction, so that neither tests job.ahead per sample.
  if (job.ahead) {
    for (int n = 0; n < job.length; ++n) add_lag_sample(s, job, n);
  } else {
    for (int n = 0; n < job.length; ++n) add_lag_sample(s, job, n);
  }
  finish_lag_sums(job, s);
}

}  // namespace sivo
