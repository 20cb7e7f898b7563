// Lane kernel of the LSP conversion: the four subframes' vectors side by side.
#include "codec/analysis/lsp_decode.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

// lsp_to_lpc_subframes with the four vectors side by side, one per lane of
// a quad whatever the width W: every lane performs the single conversion's operations in its order,
// rounding to float where it stores a float.
template <int W>
SIVO_LANE_INLINE void lsp_to_lpc_four(std::span<lpc_set, kSubframes> vectors) noexcept {
  static_assert(kSubframes == 4);
  double4 x[kOrder];
  for (int i = 0; i < kOrder; ++i) {
    double4 lane;
    for (int s = 0; s < kSubframes; ++s) {
      lane[s] = static_cast<float>(-2.0 * interpolated_cosine(vectors[s][i]));
    }
    x[i] = lane;
  }
  constexpr int kHalf = kOrder / 2;
  double4 p[kHalf + 1], q[kHalf + 1];
  p[0] = q[0] = SIVO_SPLAT(1.0);
  p[1] = SIVO_ROUND_TO_FLOAT(x[0] + x[2]);
  p[2] = SIVO_ROUND_TO_FLOAT(x[0] * x[2] + 2.0);
  q[1] = SIVO_ROUND_TO_FLOAT(x[1] + x[3]);
  q[2] = SIVO_ROUND_TO_FLOAT(x[1] * x[3] + 2.0);
  for (int k = 2; k <= 4; ++k) {
    const double4 u = x[2 * k];
    const double4 v = x[2 * k + 1];
    p[k + 1] = SIVO_ROUND_TO_FLOAT(u * p[k] + 2.0 * p[k - 1]);
    q[k + 1] = SIVO_ROUND_TO_FLOAT(v * q[k] + 2.0 * q[k - 1]);
    for (int j = k; j >= 2; --j) {
      p[j] = SIVO_ROUND_TO_FLOAT(p[j] + u * p[j - 1] + p[j - 2]);
      q[j] = SIVO_ROUND_TO_FLOAT(q[j] + v * q[j - 1] + q[j - 2]);
    }
    p[1] = SIVO_ROUND_TO_FLOAT(p[1] + u);
    q[1] = SIVO_ROUND_TO_FLOAT(q[1] + v);
  }
  for (int i = 0; i < kHalf; ++i) {
    const double4 pp = p[i] + p[i + 1];
    const double4 low = -0.5 * (pp + q[i + 1] - q[i]);
    const double4 high = -0.5 * (pp - q[i + 1] + q[i]);
    for (int s = 0; s < kSubframes; ++s) {
      vectors[s][i] = static_cast<float>(low[s]);
      vectors[s][kOrder - 1 - i] = static_cast<float>(high[s]);
    }
  }
}

}  // namespace

SIVO_LANE_ENTRIES(lsp_to_lpc_subframes, lsp_to_lpc_four, (std::span<lpc_set, kSubframes> vectors),
                  (vectors))

}  // namespace sivo
