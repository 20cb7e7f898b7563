// All-pole synthesis filter 1/A(z), run along a continuous output history.
#include "codec/synthesis/synthesis_filter.h"

namespace sivo {

void synthesis_filter(float* signal, const lpc_set& a, float* history) noexcept {
  // y[m] lives at history[m + 1]: history[0] is the newest past output.
  float* y = history + 1;
  for (int n = 0; n < kSubframe; ++n) {
    double sum = 0.0;
    for (int k = 1; k <= kOrder; ++k) sum += double(a[k - 1]) * double(y[n - k]);
    y[n] = static_cast<float>(double(signal[n]) + sum);
    signal[n] = y[n];
  }
}

}  // namespace sivo
