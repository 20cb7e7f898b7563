// Lane kernels of the backward correlation and the causal convolution: many outputs side by side.
#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "codec/excitation/pulse_filters.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

constexpr int kGroups = 8;   // lane groups held at once
constexpr int kPadded = 64;  // 60 outputs rounded up to whole halves of either width
constexpr int kGuard = 8;    // zeros ahead of a response, for lanes before their first term

// Lane masks pick the lanes whose sum includes the current term; the others
// keep their value untouched, so every lane sees exactly its own terms.
// (A macro, as no wide value may cross a call; see vector_lanes.h.)
#define SIVO_ADD_WHERE(take, sum, term) ((take) ? (sum) + (term) : (sum))

// Both kernels below hold 8W outputs at a time (one pass of 64 with eight
// lanes, two halves of 32 with four) in eight groups of W lanes and walk
// their terms once, in increasing index; each term is added only to the
// groups that hold a sum it belongs to, so the work follows the triangle of
// terms rather than whole blocks. The one group a term reaches in part gets
// a lane mask. Phases of W terms have a fixed set of such groups, so the
// compiler sees every group index as a constant.

// out[i] = sum over j = i..59 of x[j] h[j-i]; hz: h widened, behind kGuard zeros.
template <int W>
SIVO_LANE_INLINE void correlate_groups(std::span<const float, kSubframe> x, const double* hz,
                                       std::span<float, kSubframe> out) noexcept {
  using doubles = typename lane_group<W>::doubles;
  constexpr int kHalf = kGroups * W;
  // Lane k of group g is output i = i0 + W g + W - 1 - k; it sums j = i ..
  // 59, so term j >= i0 reaches groups 0 .. (j - i0)/W, the last of them
  // from lane i0 + W g + W - 1 - j on; terms past the half reach every group.
  doubles lane;  // W - 1 .. 0
  count_lanes<W>(lane, W - 1, -1.0);
  for (int i0 = 0; i0 < kSubframe; i0 += kHalf) {
    doubles s[kGroups] = {};
#pragma GCC unroll 8
    for (int phase = 0; phase < kGroups; ++phase) {
      const int begin = i0 + W * phase;
      const int end = std::min(begin + W, kSubframe);
      for (int j = begin; j < end; ++j) {
        const doubles xj = SIVO_SPLAT_AS(doubles, x[j]);
        const doubles reach = SIVO_SPLAT_AS(doubles, j - begin);  // lanes with i <= j
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
          if (g > phase) continue;
          const doubles term = xj * SIVO_LOAD_AS(doubles, hz + j - i0 - W * g - (W - 1));
          s[g] = g < phase ? s[g] + term : SIVO_ADD_WHERE(lane <= reach, s[g], term);
        }
      }
    }
    for (int j = i0 + kHalf; j < kSubframe; ++j) {
      const doubles xj = SIVO_SPLAT_AS(doubles, x[j]);
#pragma GCC unroll 8
      for (int g = 0; g < kGroups; ++g)
        s[g] += xj * SIVO_LOAD_AS(doubles, hz + j - i0 - W * g - (W - 1));
    }
    for (int g = 0; g < kGroups; ++g) {
      for (int k = 0; k < W; ++k) {
        const int i = i0 + W * g + W - 1 - k;
        if (i < kSubframe) out[i] = static_cast<float>(s[g][k]);
      }
    }
  }
}

template <int W>
SIVO_LANE_INLINE void correlate_lanes(std::span<const float, kSubframe> x,
                                      std::span<const float, kSubframe> h,
                                      std::span<float, kSubframe> out) noexcept {
  // h widened once (exactly), behind a guard of zeros, so that lanes not
  // yet in their sum read inside the array.
  std::array<double, kGuard + kSubframe> hp{};
  for (int n = 0; n < kSubframe; ++n) hp[kGuard + n] = h[n];
  correlate_groups<W>(x, hp.data() + kGuard, out);
}

// out[n] = sum over m = 0..n of a[m] b[n-m]; bz: b widened, behind kGuard
// zeros and padded with zeros to kPadded.
template <int W>
SIVO_LANE_INLINE void convolve_groups(std::span<double, kSubframe> out, const float* a,
                                      const double* bz) noexcept {
  using doubles = typename lane_group<W>::doubles;
  constexpr int kHalf = kGroups * W;
  // Lane k of group g is output n = n0 + W g + k; it sums m = 0 .. n, so
  // terms before the half reach every group, and term m >= n0 reaches
  // groups (m - n0)/W .. 7, the first of them from lane m - n0 - W g on.
  doubles lane;  // 0 .. W - 1
  count_lanes<W>(lane, 0.0, 1.0);
  for (int n0 = 0; n0 < kSubframe; n0 += kHalf) {
    doubles s[kGroups] = {};
    for (int m = 0; m < n0; ++m) {
      const doubles am = SIVO_SPLAT_AS(doubles, a[m]);
#pragma GCC unroll 8
      for (int g = 0; g < kGroups; ++g) s[g] += am * SIVO_LOAD_AS(doubles, bz + n0 + W * g - m);
    }
#pragma GCC unroll 8
    for (int phase = 0; phase < kGroups; ++phase) {
      const int begin = n0 + W * phase;
      const int end = std::min(begin + W, kSubframe);
      for (int m = begin; m < end; ++m) {
        const doubles am = SIVO_SPLAT_AS(doubles, a[m]);
        const doubles reach = SIVO_SPLAT_AS(doubles, m - begin);  // lanes with n >= m
#pragma GCC unroll 8
        for (int g = 0; g < kGroups; ++g) {
          if (g < phase) continue;
          const doubles term = am * SIVO_LOAD_AS(doubles, bz + n0 + W * g - m);
          s[g] = g > phase ? s[g] + term : SIVO_ADD_WHERE(lane >= reach, s[g], term);
        }
      }
    }
    for (int g = 0; g < kGroups; ++g) {
      for (int k = 0; k < W; ++k) {
        const int n = n0 + W * g + k;
        if (n < kSubframe) out[n] = s[g][k];
      }
    }
  }
}

// The same sums as convolve_groups for an a with few nonzero samples: only
// the terms of nonzero a[m] are added, each to every output at once, in
// increasing m. A skipped term a[m] b[n-m] is a zero when b is finite, and
// adding a zero never changes these sums (they start at +0, and a sum that
// cancels to zero is +0 again), so the outputs are the same bit for bit.
// Lanes before m read the zeros ahead of b and, a[m] being finite, likewise
// add only zeros.
template <int W>
SIVO_LANE_INLINE void convolve_pulses(std::span<double, kSubframe> out, const float* a,
                                      const double* bz) noexcept {
  using doubles = typename lane_group<W>::doubles;
  std::array<double, kPadded> sums{};
  for (int m = 0; m < kSubframe; ++m) {
    if (a[m] == 0.0f) continue;
    const doubles am = SIVO_SPLAT_AS(doubles, a[m]);
    for (int n = m / W * W; n < kSubframe; n += W) {
      SIVO_STORE_AS(&sums[n],
                    SIVO_LOAD_AS(doubles, &sums[n]) + am * SIVO_LOAD_AS(doubles, bz + n - m));
    }
  }
  for (int n = 0; n < kSubframe; ++n) out[n] = sums[n];
}

// Whether the convolution with a is cheaper term by term: a has few nonzero
// samples, and a and b are finite (a zero times an infinity is not a zero).
SIVO_LANE_INLINE bool worth_sparse(const float* a, const float* b) noexcept {
  constexpr int kMostNonzero = 32;
  constexpr float kLargest = std::numeric_limits<float>::max();
  int nonzero = 0, infinite = 0;
  for (int n = 0; n < kSubframe; ++n) {
    nonzero += a[n] != 0.0f ? 1 : 0;
    infinite += (std::fabs(a[n]) <= kLargest ? 0 : 1) + (std::fabs(b[n]) <= kLargest ? 0 : 1);
  }
  return infinite == 0 && nonzero <= kMostNonzero;
}

// causal_convolution, term by term when a holds few pulses.
template <int W>
SIVO_LANE_INLINE void convolve_lanes(std::span<double, kSubframe> out, const float* a,
                                     const float* b) noexcept {
  // b widened once, behind a guard of zeros and padded to whole groups.
  std::array<double, kGuard + kPadded> bp{};
  for (int n = 0; n < kSubframe; ++n) bp[kGuard + n] = b[n];
  if (worth_sparse(a, b)) {
    convolve_pulses<W>(out, a, bp.data() + kGuard);
  } else {
    convolve_groups<W>(out, a, bp.data() + kGuard);
  }
}

}  // namespace

SIVO_LANE_ENTRIES(backward_correlate, correlate_lanes,
                  (std::span<const float, kSubframe> x, std::span<const float, kSubframe> h,
                   std::span<float, kSubframe> out),
                  (x, h, out))

SIVO_LANE_ENTRIES(causal_convolution, convolve_lanes,
                  (std::span<double, kSubframe> out, const float* a, const float* b), (out, a, b))

}  // namespace sivo
