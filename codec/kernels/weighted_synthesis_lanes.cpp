// Lane kernel of the cascade impulse responses: the four subframes side by side.
#include "codec/analysis/weighted_synthesis.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

static_assert(kSubframes == 4, "one lane per subframe");

// cascade_responses with one subframe per lane; s[k] and y[k] hold the
// samples k + 1 back. The lane width is four throughout; W only names the
// instruction set it is built for.
template <int W>
SIVO_LANE_INLINE void cascade_lanes(std::span<std::array<float, kSubframe>, kSubframes> y_out,
                                    std::span<const lpc_set, kSubframes> quantised,
                                    std::span<const weighting_set, kSubframes> sets) noexcept {
  double4 a[kOrder], zero[kOrder], pole[kOrder];
  for (int k = 0; k < kOrder; ++k) {
    a[k] = double4{quantised[0][k], quantised[1][k], quantised[2][k], quantised[3][k]};
    zero[k] = double4{sets[0].zero[k], sets[1].zero[k], sets[2].zero[k], sets[3].zero[k]};
    pole[k] = double4{sets[0].pole[k], sets[1].pole[k], sets[2].pole[k], sets[3].pole[k]};
  }
  double4 s[kOrder] = {};
  double4 y[kOrder] = {};
  for (int n = 0; n < kSubframe; ++n) {
    double4 sum = SIVO_SPLAT(0.0);
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) sum += a[k] * s[k];
    const double4 sn = SIVO_ROUND_TO_FLOAT(SIVO_SPLAT(n == 0 ? 1.0 : 0.0) + sum);
    double4 zeros = SIVO_SPLAT(0.0);
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) zeros += zero[k] * s[k];
    double4 poles = SIVO_SPLAT(0.0);
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) poles += pole[k] * y[k];
    const double4 yn = SIVO_ROUND_TO_FLOAT((sn - zeros) + poles);
#pragma GCC unroll 10
    for (int k = kOrder - 1; k > 0; --k) {
      s[k] = s[k - 1];
      y[k] = y[k - 1];
    }
    s[0] = sn;
    y[0] = yn;
    for (int i = 0; i < kSubframes; ++i) y_out[i][n] = static_cast<float>(yn[i]);
  }
}

}  // namespace

SIVO_LANE_ENTRIES(cascade_responses, cascade_lanes,
                  (std::span<std::array<float, kSubframe>, kSubframes> y_out,
                   std::span<const lpc_set, kSubframes> quantised,
                   std::span<const weighting_set, kSubframes> sets),
                  (y_out, quantised, sets))

}  // namespace sivo
