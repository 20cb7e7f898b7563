// Correlations of a signal with itself at seven neighbouring lags, the
// candidates of the pitch post-filter and of the concealment voicing test.
#pragma once

#include <array>

namespace sivo {

inline constexpr int kLagCandidates = 7;

// c[i] = sum over n = 0..length-1 of x[n] * x[n + direction * (first + i)],
// i = 0..6, each a double sum in increasing n rounded to float; direction
// is -1 or +1. Reads x[0..length-1] and x[n + direction * (first..first+6)].
void correlate_lag_candidates(std::array<float, kLagCandidates>& c, const float* x, int length,
                              int first, int direction) noexcept;

}  // namespace sivo
