// Fast form of the synthesis filter: the last ten outputs carried in
// registers, so that no sample waits on a store and a reload.
#include "codec/kernels/lane_kernels.h"
#include "codec/synthesis/synthesis_filter.h"

namespace sivo {
namespace {

// synthesis_filter with its past outputs (doubles of the stored floats) in
// registers: past[k] is output n - 1 - k. One chain of scalar sums: W only
// names the instruction set it is built for.
template <int W>
SIVO_LANE_INLINE void synthesis_filter_carried(float* signal, const lpc_set& a,
                                               float* history) noexcept {
  float* y = history + 1;
  double c[kOrder], past[kOrder];
  for (int k = 0; k < kOrder; ++k) {
    c[k] = a[k];
    past[k] = y[-1 - k];
  }
  for (int n = 0; n < kSubframe; ++n) {
    double sum = 0.0;
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) sum += c[k] * past[k];
    const auto out = static_cast<float>(double(signal[n]) + sum);
#pragma GCC unroll 10
    for (int k = kOrder - 1; k > 0; --k) past[k] = past[k - 1];
    past[0] = out;
    y[n] = out;
    signal[n] = out;
  }
}

}  // namespace

SIVO_LANE_ENTRIES(synthesis_filter, synthesis_filter_carried,
                  (float* signal, const lpc_set& a, float* history), (signal, a, history))

}  // namespace sivo
