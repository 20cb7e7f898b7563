// Fast form of the synthesis filter: run ahead of its rounding
// (recursion_lanes.h), and again in the exact form, the last ten outputs
// carried in registers, if the check finds a sample it may have rounded
// otherwise.
#include <algorithm>

#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/recursion_lanes.h"
#include "codec/synthesis/synthesis_filter.h"

namespace sivo {
namespace {

// synthesis_filter with its past outputs (doubles of the stored floats) in
// registers: past[k] is output n - 1 - k; input: the subframe's 60 inputs.
SIVO_LANE_INLINE void synthesis_filter_carried(float* signal, const float* input, const double* c,
                                               float* y) noexcept {
  double past[kOrder];
  for (int k = 0; k < kOrder; ++k) past[k] = y[-1 - k];
  for (int n = 0; n < kSubframe; ++n) {
    double sum = 0.0;
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) sum += c[k] * past[k];
    const auto out = static_cast<float>(double(input[n]) + sum);
#pragma GCC unroll 10
    for (int k = kOrder - 1; k > 0; --k) past[k] = past[k - 1];
    past[0] = out;
    y[n] = out;
    signal[n] = out;
  }
}

// synthesis_filter run ahead: the two newest outputs in registers, the
// older products carried ahead in lanes.
template <int W>
SIVO_LANE_INLINE void synthesis_filter_ahead(float* signal, const lpc_set& a,
                                             float* history) noexcept {
  float* const y = history + 1;  // y[-10..-1]: the past outputs
  double c[kOrder];
  for (int k = 0; k < kOrder; ++k) c[k] = a[k];
  older_products<W> older;
  start_older_products(older, c);
  double b[3];  // the older products' sums of samples n, n + 1, n + 2
  for (int k = 0; k < kOrder; ++k) {
    const double sum = add_older_products(older, y[k - kOrder]);
    if (k >= kOrder - 3) b[k - (kOrder - 3)] = sum;
  }
  float input[kSubframe];
  std::copy_n(signal, kSubframe, input);
  double d[kSubframe];
  double y0 = y[-1], y1 = y[-2];
  for (int n = 0; n < kSubframe; ++n) {
    // Never -0: the sum starts from one carried in lanes, which start from +0.
    d[n] = ((double(input[n]) + b[0]) + c[1] * y1) + c[0] * y0;
    const auto out = static_cast<float>(d[n]);
    y[n] = out;
    signal[n] = out;
    y1 = y0;
    y0 = out;
    b[0] = b[1];
    b[1] = b[2];
    b[2] = add_older_products(older, y0);
  }
  const double bound = largest_magnitude<W>(input, kSubframe, 0.0) +
                       magnitude_sum(c) * largest_magnitude<W>(y - kOrder, kOrder + kSubframe, 0.0);
  if (!fast_sums_hold<W>(d, kFastSumSlack * bound)) synthesis_filter_carried(signal, input, c, y);
}

}  // namespace

SIVO_LANE_ENTRIES(synthesis_filter, synthesis_filter_ahead,
                  (float* signal, const lpc_set& a, float* history), (signal, a, history))

}  // namespace sivo
