// The sums behind a choice among seven neighbouring pitch lags: for each
// candidate k the correlation C_k of a stretch x with x one lag back (and
// one lag ahead), the lagged energy T_k, and the stretch's own energy. Both
// the pitch post-filter (one subframe, both ways) and the concealment
// voicing test (the last 120 samples, backward) choose from them.
#pragma once

#include <array>

#include "codec/codec_types.h"
#include "codec/kernels/vector_lanes.h"

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
// The eight lanes of each sum are 8 / W groups of W (see lane_group).
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
    const doubles wb = SIVO_LOAD_WIDENED_AS(doubles, x + n - job.first - 6 + W * p);
    s.bc[p] += xs * wb;
    s.bt[p] += wb * wb;
  }
  if (job.ahead) {
    for (int p = 0; p < lag_lanes<W>::kParts; ++p) {
      const doubles wa = SIVO_LOAD_WIDENED_AS(doubles, x + n + job.first + W * p);
      s.ac[p] += xs * wa;
      s.at[p] += wa * wa;
    }
  }
  s.e += xn * xn;
}

// Rounds the finished sums to float into job.result.
template <int W>
SIVO_LANE_INLINE void finish_lag_sums(lag_sum_job& job, const lag_lanes<W>& s) noexcept {
  for (int j = 0; j < 7; ++j) {
    job.result.back_c[6 - j] = static_cast<float>(s.bc[j / W][j % W]);
    job.result.back_t[6 - j] = static_cast<float>(s.bt[j / W][j % W]);
    job.result.ahead_c[j] = static_cast<float>(s.ac[j / W][j % W]);
    job.result.ahead_t[j] = static_cast<float>(s.at[j / W][j % W]);
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
