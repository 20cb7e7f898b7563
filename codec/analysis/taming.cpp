// The excitation-error tracker that bounds the adaptive-codebook gain, updated after each subframe.
#include "codec/analysis/taming.h"

#include <algorithm>

#include "codec/tables/weighting_tables.h"

namespace sivo {
namespace {

constexpr int32_t kSmallLagOlp = 58;  // below: the 85-entry gain table
constexpr int32_t kStretch = 30;      // samples covered by one error entry
// Largest lag whose stretches stay within the five entries (q <= 4).
constexpr int32_t kLargestTrackedLag = 5 * kStretch - 1;

}  // namespace

void update_taming(int32_t olp, int32_t acb_lag, int32_t acb_gain,
                   encoder_state& state) noexcept {
  auto& e = state.taming_errors;
  const double t = olp < kSmallLagOlp ? taming_gain_85[acb_gain] : taming_gain_170[acb_gain];
  // The adaptive codebook yields lags of at most 143; the bound only keeps
  // the entry indices inside the five values.
  const int32_t lag = std::min(olp + acb_lag - 1, kLargestTrackedLag);
  auto u = [&](int k) { return static_cast<float>(e[k] * t + 1.0); };

  float e0 = 0.0f;
  float e1 = 0.0f;
  if (lag <= kStretch) {
    e0 = e1 = u(0);
  } else {
    const int q = lag / kStretch;
    if (lag == kStretch * q) {
      e0 = u(q - 2);
      e1 = u(q - 1);
    } else if (q == 1) {
      e0 = e1 = std::max(u(0), u(1));
    } else {
      e0 = std::max(u(q - 2), u(q - 1));
      e1 = std::max(u(q - 1), u(q));
    }
  }

  e[4] = e[2];
  e[3] = e[1];
  e[2] = e[0];
  e[0] = e0;
  e[1] = e1;
}

}  // namespace sivo
