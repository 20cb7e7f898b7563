// Tenth-order recursions run ahead of their rounding: a fast form of each
// sample's sum, checked afterwards against the exact form's result.
//
// Each output of the codec's recursions is y = float(x + sum of c[k] y[n-1-k]),
// the terms summed in double in a fixed order, newest sample first, so every
// sample waits for the ten roundings of the sum that follows its newest
// input. The fast form sums the same terms in another order: the older
// products are gathered ahead in lanes (below), and only the newest product
// and one addition remain between one sample and the next.
//
// Why a checked fast form gives the exact floats. The products of two
// floats are exact in double, so both forms sum the same m exact terms
// (m = 11 for the synthesis filter: the input and ten products; 21 for the
// pole section: the input, ten zero and ten pole products). Any order of
// summing m terms in double is within gamma(m-1) M of the exact sum, M the
// sum of the terms' magnitudes, gamma(j) = j u / (1 - j u), u = 2^-53; so
// the two forms' doubles differ by at most 2 gamma(20) M < 41 u M. The fast
// check takes E = 2^-47 M' = 64 u M', M' a rounded bound on M of each
// subframe (the largest input plus, for each history, the sum of the
// coefficients' magnitudes times the largest sample magnitude), and asks
// that float(d - E) and float(d + E) are the same float, bit for bit, for
// the fast double d of every sample. Rounding to float never decreases with
// its argument, and d - E <= exact double <= d + E even after the two
// roundings of d -+ E (64 - 41 leaves more than the u |d| they can cost), so
// the exact form's float is that same float. By induction over the samples
// (a sample whose inputs all matched is bounded by the same E, which covers
// the largest values of the whole subframe) a subframe that passes the check
// is exact throughout; one that does not (NaN or infinite values, or a sum
// that lands within E of a rounding boundary, about once in 10^4 subframes
// of speech) is run again in the exact form. Neither form ever gives -0 (each
// sum starts from +0 or from an addend that is never -0), so a zero passes
// only when the exact form's zero is +0 as well. All values are multiples of
// 2^-298, so no double is subnormal and E never underflows.
#pragma once

#include <cfloat>

#include "codec/codec_types.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {

static_assert(kOrder == 10, "two coefficients carried on the chain, eight in lanes");

// The older products of a recursion carried ahead: lane j holds, for the
// sample j + 3 after the newest sample added, the sum of c[k] times the
// samples added so far for k = 2..9. The sample three ahead is then complete
// and leaves lane 0; the lanes move down one.
template <int W>
struct older_products {
  static constexpr int kParts = 8 / W;
  using doubles = typename lane_group<W>::doubles;
  doubles c[kParts];    // c[2 + j] in lane j
  doubles sum[kParts];  // lane j: the sample j + 3 ahead
};

template <int W>
SIVO_LANE_INLINE void start_older_products(older_products<W>& o, const double* c) noexcept {
  for (int p = 0; p < older_products<W>::kParts; ++p) {
    for (int j = 0; j < W; ++j) o.c[p][j] = c[2 + W * p + j];
    o.sum[p] = typename lane_group<W>::doubles{};
  }
}

// Adds sample x; returns the finished sum of the sample three after it.
template <int W>
SIVO_LANE_INLINE double add_older_products(older_products<W>& o, double x) noexcept {
  using doubles = typename lane_group<W>::doubles;
  constexpr int kParts = older_products<W>::kParts;
  const doubles xs = SIVO_SPLAT_AS(doubles, x);
  for (int p = 0; p < kParts; ++p) o.sum[p] += o.c[p] * xs;
  const double done = o.sum[0][0];
  for (int p = 0; p < kParts; ++p) {
    const doubles next = p + 1 < kParts ? o.sum[p + 1] : doubles{};
    if constexpr (W == 8) {
      o.sum[p] = __builtin_shufflevector(o.sum[p], next, 1, 2, 3, 4, 5, 6, 7, 8);
    } else if constexpr (W == 4) {
      o.sum[p] = __builtin_shufflevector(o.sum[p], next, 1, 2, 3, 4);
    } else {
      o.sum[p] = __builtin_shufflevector(o.sum[p], next, 1, 2);
    }
  }
  return done;
}

// The fast and exact sums of a sample differ by at most this much per unit
// of the bound on the terms' magnitudes (see the top of the file).
inline constexpr double kFastSumSlack = 0x1p-47;

// The larger of top and the largest magnitude among count >= W values at
// x (float or double), in double; NaNs may be skipped (the check meets them
// in the sums).
template <int W, typename T>
SIVO_LANE_INLINE double largest_magnitude(const T* x, int count, double top) noexcept {
  using doubles = typename lane_group<W>::doubles;
  doubles largest = SIVO_SPLAT_AS(doubles, top);
  for (int at = 0; at < count; at += W) {
    // (The last group ends at the last value, overlapping the one before.)
    const T* const from = x + (at + W <= count ? at : count - W);
    doubles v;
    if constexpr (sizeof(T) == sizeof(float)) {
      v = SIVO_LOAD_WIDENED_LANES(W, from);
    } else {
      v = SIVO_LOAD_AS(doubles, from);
    }
    const doubles magnitude = SIVO_FOLD_LARGER(v, -v);
    largest = SIVO_FOLD_LARGER(largest, magnitude);
  }
  for (int j = 0; j < W; ++j) top = largest[j] > top ? largest[j] : top;
  return top;
}

// Sum of the magnitudes of the ten coefficients.
SIVO_LANE_INLINE double magnitude_sum(const double* c) noexcept {
  double sum = 0.0;
  for (int k = 0; k < kOrder; ++k) sum += __builtin_fabs(c[k]);
  return sum;
}

// True when every fast double d[0..59] rounds to the same float as the
// exact form's, slack being the bound on their difference (false when slack
// is not finite or any d is NaN).
template <int W>
SIVO_LANE_INLINE bool fast_sums_hold(const double* d, double slack) noexcept {
  if (!(slack <= DBL_MAX)) return false;
  using doubles = typename lane_group<W>::doubles;
  using floats = typename lane_group<W>::floats;
  using ints = typename lane_group<W>::ints;
  const doubles e = SIVO_SPLAT_AS(doubles, slack);
  ints differ{};
  for (int at = 0; at < kSubframe; at += W) {
    // (The last group ends at the last sample, overlapping the one before.)
    const doubles x = SIVO_LOAD_AS(doubles, d + (at + W <= kSubframe ? at : kSubframe - W));
    const floats low = __builtin_convertvector(x - e, floats);
    const floats high = __builtin_convertvector(x + e, floats);
    differ |= (reinterpret_cast<ints>(low) != reinterpret_cast<ints>(high)) | (low != low);
  }
  for (int j = 0; j < W; ++j) {
    if (differ[j] != 0) return false;
  }
  return true;
}

}  // namespace sivo
