#include "codec/synthesis/lag_correlation.h"

#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

// Two lane quads cover candidates 0..3 and 3..6 (candidate 3 twice, with
// the same result), so no load reaches past the seventh lag.
SIVO_LANE_CLONES
void correlate_lanes(std::array<float, kLagCandidates>& c, const float* x, int length, int first,
                     int direction) noexcept {
  double4 low = SIVO_SPLAT(0.0), high = SIVO_SPLAT(0.0);
  if (direction < 0) {
    // Lane k: candidate 3 - k (low), 6 - k (high).
    for (int n = 0; n < length; ++n) {
      const double4 xn = SIVO_SPLAT(x[n]);
      low += xn * SIVO_LOAD_WIDENED(x + n - first - 3);
      high += xn * SIVO_LOAD_WIDENED(x + n - first - 6);
    }
    for (int k = 0; k < 4; ++k) {
      c[3 - k] = static_cast<float>(low[k]);
      c[6 - k] = static_cast<float>(high[k]);
    }
  } else {
    // Lane k: candidate k (low), 3 + k (high).
    for (int n = 0; n < length; ++n) {
      const double4 xn = SIVO_SPLAT(x[n]);
      low += xn * SIVO_LOAD_WIDENED(x + n + first);
      high += xn * SIVO_LOAD_WIDENED(x + n + first + 3);
    }
    for (int k = 0; k < 4; ++k) {
      c[k] = static_cast<float>(low[k]);
      c[3 + k] = static_cast<float>(high[k]);
    }
  }
}

}  // namespace

void correlate_lag_candidates(std::array<float, kLagCandidates>& c, const float* x, int length,
                              int first, int direction) noexcept {
  correlate_lanes(c, x, length, first, direction);
}

}  // namespace sivo
