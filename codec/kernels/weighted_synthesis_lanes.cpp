// Lane kernels of the synthesis and weighting cascade: the impulse responses
// with the four subframes side by side, and the ringing and memory update
// run ahead of their rounding.
#include "codec/analysis/weighted_synthesis.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/recursion_lanes.h"
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

// The cascade 1/A^(z) then W(z) of one subframe run ahead of its rounding
// (recursion_lanes.h): s and y point at the subframe's first sample on the
// synthesis and ringing lines (reads [-10..-1], writes [0..59]); input: its
// 60 inputs, or none for zeros. False when the check finds a sample that
// may round otherwise than in the plain form; [0..59] of the lines then
// hold no useful values.
template <int W>
SIVO_LANE_INLINE bool cascade_ahead(const float* input, const lpc_set& quantised,
                                    const weighting_set& set, float* s, float* y) noexcept {
  double a[kOrder], z[kOrder], p[kOrder];
  for (int k = 0; k < kOrder; ++k) {
    a[k] = quantised[k];
    z[k] = set.zero[k];
    p[k] = set.pole[k];
  }
  older_products<W> older_a, older_z, older_p;
  start_older_products(older_a, a);
  start_older_products(older_z, z);
  start_older_products(older_p, p);
  double ba[3], bz[3], bp[3];  // older products' sums of samples n, n + 1, n + 2
  for (int k = 0; k < kOrder; ++k) {
    const double sa = add_older_products(older_a, s[k - kOrder]);
    const double sz = add_older_products(older_z, s[k - kOrder]);
    const double sp = add_older_products(older_p, y[k - kOrder]);
    if (k >= kOrder - 3) {
      ba[k - (kOrder - 3)] = sa;
      bz[k - (kOrder - 3)] = sz;
      bp[k - (kOrder - 3)] = sp;
    }
  }
  double s0 = s[-1], s1 = s[-2], y0 = y[-1], y1 = y[-2];
  double ds[kSubframe], dy[kSubframe];
  for (int n = 0; n < kSubframe; ++n) {
    // Neither sum is ever -0: each starts from a sum carried in lanes,
    // which start from +0.
    const double in = input != nullptr ? double(input[n]) : 0.0;
    ds[n] = ((in + ba[0]) + a[1] * s1) + a[0] * s0;
    const auto sn = static_cast<float>(ds[n]);
    const double sd = sn;
    const double ry = ((bp[0] - bz[0]) - z[1] * s1) + p[1] * y1;
    dy[n] = ((ry - z[0] * s0) + sd) + p[0] * y0;
    const auto yn = static_cast<float>(dy[n]);
    s[n] = sn;
    y[n] = yn;
    s1 = s0;
    s0 = sd;
    y1 = y0;
    y0 = yn;
    ba[0] = ba[1];
    ba[1] = ba[2];
    ba[2] = add_older_products(older_a, sd);
    bz[0] = bz[1];
    bz[1] = bz[2];
    bz[2] = add_older_products(older_z, sd);
    bp[0] = bp[1];
    bp[1] = bp[2];
    bp[2] = add_older_products(older_p, y0);
  }
  const double in = input != nullptr ? largest_magnitude<W>(input, kSubframe, 0.0) : 0.0;
  const double s_top = largest_magnitude<W>(s - kOrder, kOrder + kSubframe, 0.0);
  const double y_top = largest_magnitude<W>(y - kOrder, kOrder + kSubframe, 0.0);
  return fast_sums_hold<W>(ds, kFastSumSlack * (in + magnitude_sum(a) * s_top)) &&
         fast_sums_hold<W>(
             dy, kFastSumSlack * (s_top * (1.0 + magnitude_sum(z)) + magnitude_sum(p) * y_top));
}

// subtract_ringing with the cascade run ahead (its plain form where the
// check fails), the comb and the subtraction in lanes. The two-lane form is
// the plain one: with two-lane groups, carrying the older products ahead
// costs more shuffles than it saves.
template <int W>
SIVO_LANE_INLINE void subtract_ringing_ahead(std::span<float, kSubframe> target,
                                             const lpc_set& quantised, const weighting_set& set,
                                             shaping_params shaping, float* synthesis_history,
                                             float* ringing_history) noexcept {
  float* const y = ringing_history + 1;
  if (W == 2 || !cascade_ahead<W>(nullptr, quantised, set, synthesis_history + 1, y)) {
    subtract_ringing(target, quantised, set, shaping, synthesis_history, ringing_history);
    return;
  }
  using doubles = typename lane_group<W>::doubles;
  using floats = typename lane_group<W>::floats;
  const doubles gain = SIVO_SPLAT_AS(doubles, shaping.gain);
  const float* const lagged = y - shaping.lag;
  int n = 0;
  for (; n + W <= kSubframe; n += W) {
    const doubles t =
        SIVO_LOAD_WIDENED_LANES(W, target.data() + n) -
        (SIVO_LOAD_WIDENED_LANES(W, y + n) - gain * SIVO_LOAD_WIDENED_LANES(W, lagged + n));
    SIVO_STORE_AS(target.data() + n, __builtin_convertvector(t, floats));
  }
  for (; n < kSubframe; ++n) {
    target[n] = static_cast<float>(target[n] - (y[n] - double(shaping.gain) * lagged[n]));
  }
}

// update_memories with the cascade run ahead (its plain form where the
// check fails, and in the two-lane form).
template <int W>
SIVO_LANE_INLINE void update_memories_ahead(std::span<const float, kSubframe> excitation,
                                            const lpc_set& quantised, const weighting_set& set,
                                            float* synthesis_history,
                                            float* ringing_history) noexcept {
  if (W == 2 || !cascade_ahead<W>(excitation.data(), quantised, set, synthesis_history + 1,
                                  ringing_history + 1)) {
    update_memories(excitation, quantised, set, synthesis_history, ringing_history);
  }
}

}  // namespace

SIVO_LANE_ENTRIES(cascade_responses, cascade_lanes,
                  (std::span<std::array<float, kSubframe>, kSubframes> y_out,
                   std::span<const lpc_set, kSubframes> quantised,
                   std::span<const weighting_set, kSubframes> sets),
                  (y_out, quantised, sets))

SIVO_LANE_ENTRIES(subtract_ringing, subtract_ringing_ahead,
                  (std::span<float, kSubframe> target, const lpc_set& quantised,
                   const weighting_set& set, shaping_params shaping, float* synthesis_history,
                   float* ringing_history),
                  (target, quantised, set, shaping, synthesis_history, ringing_history))

SIVO_LANE_ENTRIES(update_memories, update_memories_ahead,
                  (std::span<const float, kSubframe> excitation, const lpc_set& quantised,
                   const weighting_set& set, float* synthesis_history, float* ringing_history),
                  (excitation, quantised, set, synthesis_history, ringing_history))

}  // namespace sivo
