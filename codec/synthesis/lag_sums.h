// The sums behind a choice among seven neighbouring pitch lags: for each
// candidate k the correlation C_k of a stretch x with x one lag back (and
// one lag ahead), the lagged energy T_k, and the stretch's own energy. Both
// the pitch post-filter (one subframe, both ways) and the concealment
// voicing test (the last 120 samples, backward) choose from them.
#pragma once

#include <array>
#include <cstdint>

#include "codec/codec_types.h"

namespace sivo {

inline constexpr int kLagCandidates = 7;

// Indexed by lag - first; entry 7 is a spare and always 0.
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

// Forms all of job's sums: for each candidate k = first + i
//   back_c[i]  = sum x[n] x[n - k],   back_t[i]  = sum x[n - k]^2,
//   ahead_c[i] = sum x[n] x[n + k],   ahead_t[i] = sum x[n + k]^2,
// and e = sum x[n]^2, n = 0..length-1, each a double sum in increasing n
// rounded to float. The plain form of the lag-sum kernel.
void sum_lag_job(lag_sum_job& job) noexcept;

// The candidate first..last (last may be below first: none) with the
// largest positive correlation c[k - first], the earliest on a tie; 0 when
// none.
int32_t pick_lag(const std::array<float, 8>& c, int first, int last) noexcept;

}  // namespace sivo
