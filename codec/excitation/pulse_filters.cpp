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

constexpr int kLanes = 8;                    // lanes of one group
constexpr int kBlock = 4 * kLanes;           // outputs per pass: four groups
constexpr int kPadded = 2 * kBlock;          // 60 rounded up to whole blocks
constexpr int kGuard = kBlock;               // zeros read by lanes outside a sum
constexpr int kGroups = kPadded / kLanes;      // lane groups covering 60 outputs

// Lane masks pick the lanes whose sum includes the current term; the others
// keep their value untouched, so every lane sees exactly its own terms.
// (A macro, as no 512-bit value may cross a call; see vector_lanes.h.)
#define SIVO_ADD_WHERE(take, sum, term) ((take) ? (sum) + (term) : (sum))

SIVO_LANE_CLONES
void correlate_lanes(std::span<const float, kSubframe> x, std::span<const float, kSubframe> h,
                     std::span<float, kSubframe> out) noexcept {
  // h behind a guard of zeros, so that lanes not yet in their sum read
  // inside the array.
  std::array<float, kGuard + kSubframe> hp{};
  for (int n = 0; n < kSubframe; ++n) hp[kGuard + n] = h[n];
  const float* hz = hp.data() + kGuard;
  const double8 lane = {7.0, 6.0, 5.0, 4.0, 3.0, 2.0, 1.0, 0.0};
  for (int i0 = 0; i0 < kSubframe; i0 += kBlock) {
    // Lane k of group g is output i0 + 8g + 7 - k; it sums j = i .. 59.
    double8 s0 = SIVO_SPLAT8(0.0), s1 = s0, s2 = s0, s3 = s0;
    const int head_end = std::min(i0 + kBlock, kSubframe);
    for (int j = i0; j < head_end; ++j) {
      const double8 xj = SIVO_SPLAT8(x[j]);
      const double8 reach = SIVO_SPLAT8(j - i0);  // lanes with i <= j take the term
      const float* hj = hz + j - i0 - 7;
      s0 = SIVO_ADD_WHERE(lane <= reach, s0, xj * SIVO_LOAD_WIDENED8(hj));
      s1 = SIVO_ADD_WHERE(lane + 8.0 <= reach, s1, xj * SIVO_LOAD_WIDENED8(hj - 8));
      s2 = SIVO_ADD_WHERE(lane + 16.0 <= reach, s2, xj * SIVO_LOAD_WIDENED8(hj - 16));
      s3 = SIVO_ADD_WHERE(lane + 24.0 <= reach, s3, xj * SIVO_LOAD_WIDENED8(hj - 24));
    }
    for (int j = head_end; j < kSubframe; ++j) {
      const double8 xj = SIVO_SPLAT8(x[j]);
      const float* hj = hz + j - i0 - 7;
      s0 += xj * SIVO_LOAD_WIDENED8(hj);
      s1 += xj * SIVO_LOAD_WIDENED8(hj - 8);
      s2 += xj * SIVO_LOAD_WIDENED8(hj - 16);
      s3 += xj * SIVO_LOAD_WIDENED8(hj - 24);
    }
    const double8 sums[4] = {s0, s1, s2, s3};
    for (int g = 0; g < 4; ++g) {
      for (int k = 0; k < kLanes; ++k) {
        const int i = i0 + kLanes * g + 7 - k;
        if (i < kSubframe) out[i] = static_cast<float>(sums[g][k]);
      }
    }
  }
}

SIVO_LANE_CLONES
void convolve_lanes(std::span<double, kSubframe> out, const float* a, const float* b) noexcept {
  // a padded to whole blocks, b behind a guard of zeros (see correlate_lanes).
  std::array<float, kPadded> ap{};
  std::array<float, kGuard + kPadded> bp{};
  for (int n = 0; n < kSubframe; ++n) {
    ap[n] = a[n];
    bp[kGuard + n] = b[n];
  }
  const float* bz = bp.data() + kGuard;
  const double8 lane = {0.0, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, 7.0};
  for (int n0 = 0; n0 < kSubframe; n0 += kBlock) {
    // Lane k of group g is output n0 + 8g + k; it sums m = 0 .. n.
    double8 s0 = SIVO_SPLAT8(0.0), s1 = s0, s2 = s0, s3 = s0;
    for (int m = 0; m <= n0; ++m) {
      const double8 am = SIVO_SPLAT8(ap[m]);
      const float* bm = bz + n0 - m;
      s0 += am * SIVO_LOAD_WIDENED8(bm);
      s1 += am * SIVO_LOAD_WIDENED8(bm + 8);
      s2 += am * SIVO_LOAD_WIDENED8(bm + 16);
      s3 += am * SIVO_LOAD_WIDENED8(bm + 24);
    }
    const int tail_end = std::min(n0 + kBlock, kSubframe);
    for (int m = n0 + 1; m < tail_end; ++m) {
      const double8 am = SIVO_SPLAT8(ap[m]);
      const double8 reach = SIVO_SPLAT8(m - n0);  // lanes with n >= m take the term
      const float* bm = bz + n0 - m;
      s0 = SIVO_ADD_WHERE(lane >= reach, s0, am * SIVO_LOAD_WIDENED8(bm));
      s1 = SIVO_ADD_WHERE(lane + 8.0 >= reach, s1, am * SIVO_LOAD_WIDENED8(bm + 8));
      s2 = SIVO_ADD_WHERE(lane + 16.0 >= reach, s2, am * SIVO_LOAD_WIDENED8(bm + 16));
      s3 = SIVO_ADD_WHERE(lane + 24.0 >= reach, s3, am * SIVO_LOAD_WIDENED8(bm + 24));
    }
    const double8 sums[4] = {s0, s1, s2, s3};
    for (int g = 0; g < 4; ++g) {
      for (int k = 0; k < kLanes; ++k) {
        const int n = n0 + kLanes * g + k;
        if (n < kSubframe) out[n] = sums[g][k];
      }
    }
  }
}

// The same sums as convolve_lanes for an a with few nonzero samples: only
// the terms of nonzero a[m] are added, each to every output at once, in
// increasing m. A skipped term a[m] b[n-m] is a zero when b is finite, and
// adding a zero never changes these sums (they start at +0, and a sum that
// cancels to zero is +0 again), so the outputs are the same bit for bit.
// Lanes before m read the zeros ahead of b and likewise add only zeros.
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
      sums[g] += am * SIVO_LOAD_WIDENED8(bz + kLanes * g - m);
  }
  for (int n = 0; n < kSubframe; ++n) out[n] = sums[n / kLanes][n % kLanes];
}

// Whether the convolution with a is cheaper term by term: a has few nonzero
// samples and every b is finite (a zero times an infinity is not a zero).
bool worth_sparse(const float* a, const float* b) noexcept {
  constexpr int kMostNonzero = 32;
  int nonzero = 0;
  bool finite = true;
  for (int n = 0; n < kSubframe; ++n) {
    nonzero += a[n] != 0.0f ? 1 : 0;
    finite = finite && std::fabs(b[n]) <= std::numeric_limits<float>::max();
  }
  return finite && nonzero <= kMostNonzero;
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
