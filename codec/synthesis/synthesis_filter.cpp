// All-pole synthesis filter 1/A(z), run along a continuous output history.
#include "codec/synthesis/synthesis_filter.h"

namespace sivo {

void synthesis_filter(float* signal, const lpc_set& a, float* history) noexcept {
  // y[m] lives at history[m + 1]: history[0] is the newest past output. The
  // last ten outputs also ride along in registers (as doubles of the stored
  // floats), so that no sample waits on a store and a reload.
  float* y = history + 1;
  double c[kOrder], past[kOrder];  // past[k]: output n - 1 - k
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

}  // namespace sivo
