// Pitch repetition, backward correlation and the zero-state filter used to
// remove a pulse vector's filtered contribution from a target.
#include "codec/excitation/pulse_filters.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <limits>

#include "codec/vector_lanes.h"

namespace sivo {

void repeat_pitch_train(std::span<float, kSubframe> dst, std::span<const float, kSubframe> src,
                        int lag) noexcept {
  // The copies always add the unrepeated source, so the source is kept aside
  // before dst (which may be src) is written.
  std::array<float, kSubframe> source;
  for (int i = 0; i < kSubframe; ++i) source[i] = src[i];
  for (int i = 0; i < kSubframe; ++i) dst[i] = source[i];
  // A lag below one sample would never leave the subframe; treat it as no
  // repetition rather than looping forever.
  if (lag < 1) return;
  for (int a = lag; a < kSubframe; a += lag)
    for (int i = 0; i + a < kSubframe; ++i) dst[a + i] += source[i];
}

namespace {

constexpr int kLanes = 8;                  // lanes of one group
constexpr int kGroups = 8;                 // groups covering 60 outputs
constexpr int kPadded = kGroups * kLanes;  // 60 rounded up to whole groups

// Lane masks pick the lanes whose sum includes the current term; the others
// keep their value untouched, so every lane sees exactly its own terms.
// (A macro, as no 512-bit value may cross a call; see vector_lanes.h.)
#define SIVO_ADD_WHERE(take, sum, term) ((take) ? (sum) + (term) : (sum))

// Both kernels below hold all 60 outputs in eight groups of eight lanes
// and walk the terms once, in increasing index; each term is added only to
// the groups that hold a sum it belongs to, so the work follows the
// triangle of terms rather than whole blocks. The one group a term reaches
// in part gets a lane mask. Phases of eight terms have a fixed set of such
// groups, so the compiler sees every group index as a constant.

SIVO_LANE_CLONES
void correlate_lanes(std::span<const float, kSubframe> x, std::span<const float, kSubframe> h,
                     std::span<float, kSubframe> out) noexcept {
  // h widened once (exactly), behind a guard of zeros, so that lanes not
  // yet in their sum read inside the array.
  std::array<double, kLanes + kSubframe> hp{};
  for (int n = 0; n < kSubframe; ++n) hp[kLanes + n] = h[n];
  const double* hz = hp.data() + kLanes;
  // Lane k of group g is output 8g + 7 - k; it sums j = i .. 59, so term j
  // reaches groups 0 .. j/8, the last of them from lane 8g + 7 - j on.
  const double8 lane = {7.0, 6.0, 5.0, 4.0, 3.0, 2.0, 1.0, 0.0};
  double8 s[kGroups];
  for (double8& v : s) v = SIVO_SPLAT8(0.0);
#pragma GCC unroll 8
  for (int phase = 0; phase < kGroups; ++phase) {
    const int end = std::min(kLanes * phase + kLanes, kSubframe);
    for (int j = kLanes * phase; j < end; ++j) {
      const double8 xj = SIVO_SPLAT8(x[j]);
      const double8 reach = SIVO_SPLAT8(j - kLanes * phase);  // lanes with i <= j
#pragma GCC unroll 8
      for (int g = 0; g < kGroups; ++g) {
        if (g > phase) continue;
        const double8 term = xj * SIVO_LOAD_DOUBLE8(hz + j - kLanes * g - 7);
        s[g] = g < phase ? s[g] + term : SIVO_ADD_WHERE(lane <= reach, s[g], term);
      }
    }
  }
  for (int g = 0; g < kGroups; ++g) {
    for (int k = 0; k < kLanes; ++k) {
      const int i = kLanes * g + 7 - k;
      if (i < kSubframe) out[i] = static_cast<float>(s[g][k]);
    }
  }
}

SIVO_LANE_CLONES
void convolve_lanes(std::span<double, kSubframe> out, const float* a, const float* b) noexcept {
  // b widened once, behind a guard of zeros and padded to whole groups.
  std::array<double, kLanes + kPadded> bp{};
  for (int n = 0; n < kSubframe; ++n) bp[kLanes + n] = b[n];
  const double* bz = bp.data() + kLanes;
  // Lane k of group g is output 8g + k; it sums m = 0 .. n, so term m
  // reaches groups m/8 .. 7, the first of them from lane m - 8g on.
  const double8 lane = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};
  double8 s[kGroups];
  for (double8& v : s) v = SIVO_SPLAT8(0.0);
#pragma GCC unroll 8
  for (int phase = 0; phase < kGroups; ++phase) {
    const int end = std::min(kLanes * phase + kLanes, kSubframe);
    for (int m = kLanes * phase; m < end; ++m) {
      const double8 am = SIVO_SPLAT8(a[m]);
      const double8 reach = SIVO_SPLAT8(m - kLanes * phase);  // lanes with n >= m
#pragma GCC unroll 8
      for (int g = 0; g < kGroups; ++g) {
        if (g < phase) continue;
        const double8 term = am * SIVO_LOAD_DOUBLE8(bz + kLanes * g - m);
        s[g] = g > phase ? s[g] + term : SIVO_ADD_WHERE(lane >= reach, s[g], term);
      }
    }
  }
  for (int n = 0; n < kSubframe; ++n) out[n] = s[n / kLanes][n % kLanes];
}

// The same sums as convolve_lanes for an a with few nonzero samples: only
// the terms of nonzero a[m] are added, each to every output at once, in
// increasing m. A skipped term a[m] b[n-m] is a zero when b is finite, and
// adding a zero never changes these sums (they start at +0, and a sum that
// cancels to zero is +0 again), so the outputs are the same bit for bit.
// Lanes before m read the zeros ahead of b and, a[m] being finite, likewise
// add only zeros.
SIVO_LANE_CLONES
void convolve_sparse(std::span<double, kSubframe> out, const float* a, const float* b) noexcept {
  std::array<float, kLanes + kPadded> bp{};
  for (int n = 0; n < kSubframe; ++n) bp[kLanes + n] = b[n];
  const float* const bz = bp.data() + kLanes;
  double8 sums[kGroups];
  for (double8& s : sums) s = SIVO_SPLAT8(0.0);
  for (int m = 0; m < kSubframe; ++m) {
    if (a[m] == 0.0f) continue;
    const double8 am = SIVO_SPLAT8(a[m]);
    for (int g = m / kLanes; g < kGroups; ++g)
      sums[g] += am * SIVO_LOAD_WIDENED8_ELEMENTS(bz + kLanes * g - m);
  }
  for (int n = 0; n < kSubframe; ++n) out[n] = sums[n / kLanes][n % kLanes];
}

// Whether the convolution with a is cheaper term by term: a has few nonzero
// samples, and a and b are finite (a zero times an infinity is not a zero).
bool worth_sparse(const float* a, const float* b) noexcept {
  constexpr int kMostNonzero = 32;
  constexpr float kLargest = std::numeric_limits<float>::max();
  int nonzero = 0, infinite = 0;
  for (int n = 0; n < kSubframe; ++n) {
    nonzero += a[n] != 0.0f ? 1 : 0;
    infinite += (std::fabs(a[n]) <= kLargest ? 0 : 1) + (std::fabs(b[n]) <= kLargest ? 0 : 1);
  }
  return infinite == 0 && nonzero <= kMostNonzero;
}

}  // namespace

void backward_correlate(std::span<const float, kSubframe> x, std::span<const float, kSubframe> h,
                        std::span<float, kSubframe> out) noexcept {
  correlate_lanes(x, h, out);
}

void causal_convolution(std::span<double, kSubframe> out, const float* a,
                        const float* b) noexcept {
  if (worth_sparse(a, b))
    convolve_sparse(out, a, b);
  else
    convolve_lanes(out, a, b);
}

void subtract_filtered_excitation(std::span<float, kSubframe> target,
                                  std::span<const float, kSubframe> excitation,
                                  std::span<const float, kSubframe> h) noexcept {
  std::array<double, kSubframe> filtered;
  causal_convolution(filtered, excitation.data(), h.data());
  for (int n = 0; n < kSubframe; ++n) target[n] = static_cast<float>(target[n] - filtered[n]);
}

}  // namespace sivo
