// Lane kernel of the pulse search: the four gain levels' pulse placement side by side.
#include <array>

#include "codec/excitation/fixed_codebook.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

static_assert(kGainTrials == 4, "one lane per gain level in the energies");

// Autocorrelation by grid distance, mirrored: element kDistanceCentre + e is
// acf[|e| * step] for |e| < 60 / step, zero elsewhere, so that the values for
// a run of grid positions against one pulse are contiguous.
constexpr int kDistanceCentre = kSubframe - 1;
constexpr int kSlotsPadded = 64;  // grid slots rounded up to whole lane groups
// Held as doubles (exact copies) so that each group is read without widening.
using distance_table = std::array<double, kDistanceCentre + kSlotsPadded>;

SIVO_LANE_INLINE distance_table pulse_distances(std::span<const float, kSubframe> acf,
                                                int step) noexcept {
  distance_table d{};
  for (int e = 0; e * step < kSubframe; ++e) {
    d[kDistanceCentre + e] = acf[e * step];
    d[kDistanceCentre - e] = acf[e * step];
  }
  return d;
}

// Updates one gain level's weights after a pulse of the given amplitude
// (distance: the autocorrelation by distance from that pulse, one entry per
// slot): w[q] = w[q] - amplitude * distance[q] in double, stored as float.
// Returns the free slot of largest |w|, the first of equal maxima, or -1 when
// none is finite: a NaN weight is never picked, as in a scan that takes a
// slot only when it is strictly larger. Weights are formed in double lanes
// of width W and compared eight slots at a time (four with two-lane groups,
// whose processors have no eight-float register).
template <int W>
SIVO_LANE_INLINE int update_and_pick(float* w, const int32_t* taken, const double* distance,
                                     float amplitude, int slots) noexcept {
  if constexpr (W == 2) {
    const float4 none = splat_float(-1.0f);
    const double2 a = SIVO_SPLAT_AS(double2, amplitude);
    // Per lane: the largest magnitude so far and the first slot holding it.
    float4 largest4 = none;
    int4 slot4 = {-1, -1, -1, -1};
    int4 at = {0, 1, 2, 3};
    for (int q = 0; q < slots; q += 4) {
      const double2 low =
          SIVO_LOAD_WIDENED_AS(double2, w + q) - a * SIVO_LOAD_AS(double2, distance + q);
      const double2 high =
          SIVO_LOAD_WIDENED_AS(double2, w + q + 2) - a * SIVO_LOAD_AS(double2, distance + q + 2);
      const float4 narrowed = __builtin_shufflevector(
          __builtin_convertvector(low, float2), __builtin_convertvector(high, float2), 0, 1, 2, 3);
      store_float4(w + q, narrowed);
      const float4 m = select(load_int4(taken + q), none, absolute(narrowed));
      const int4 larger = m > largest4;
      largest4 = larger ? m : largest4;
      slot4 = larger ? at : slot4;
      at += 4;
    }
    // Across lanes: the largest value, and of the lanes holding it the
    // earliest slot; both the same whatever order the lanes are met in.
    float4 top = largest4;
    top = SIVO_FOLD_LARGER(top, __builtin_shufflevector(top, top, 2, 3, 0, 1));
    top = SIVO_FOLD_LARGER(top, __builtin_shufflevector(top, top, 1, 0, 3, 2));
    int4 first = largest4 == top ? slot4 : int4{} + kSlotsPadded;
    first = SIVO_FOLD_SMALLER(first, __builtin_shufflevector(first, first, 2, 3, 0, 1));
    first = SIVO_FOLD_SMALLER(first, __builtin_shufflevector(first, first, 1, 0, 3, 2));
    return top[0] > -1.0f ? first[0] : -1;
  } else {
    const float8 none = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
    float8 largest8 = none;
    int32x8 slot8 = {-1, -1, -1, -1, -1, -1, -1, -1};
    int32x8 at = {0, 1, 2, 3, 4, 5, 6, 7};
    for (int q = 0; q < slots; q += 8) {
      float8 narrowed;
      if constexpr (W == 8) {
        const double8 d = SIVO_LOAD_WIDENED8_ELEMENTS(w + q) -
                          SIVO_SPLAT8(amplitude) * SIVO_LOAD_AS(double8, distance + q);
        narrowed = __builtin_convertvector(d, float8);
      } else {
        const double4 a = SIVO_SPLAT(amplitude);
        const double4 low = SIVO_LOAD_WIDENED(w + q) - a * SIVO_LOAD_AS(double4, distance + q);
        const double4 high =
            SIVO_LOAD_WIDENED(w + q + 4) - a * SIVO_LOAD_AS(double4, distance + q + 4);
        narrowed =
            __builtin_shufflevector(__builtin_convertvector(low, float4),
                                    __builtin_convertvector(high, float4), 0, 1, 2, 3, 4, 5, 6, 7);
      }
      SIVO_STORE_FLOAT8(w + q, narrowed);
      const float8 m = SIVO_LOAD_INT32X8(taken + q) ? none : SIVO_ABSOLUTE8(narrowed);
      const int32x8 larger = m > largest8;
      largest8 = larger ? m : largest8;
      slot8 = larger ? at : slot8;
      at += 8;
    }
    int place = -1;
    const float top = fold_first_largest(largest8, slot8, kSlotsPadded, place);
    return top > -1.0f ? place : -1;
  }
}

// The four gain levels' placements, advanced pulse by pulse together so
// that their work overlaps. Per level: weight[q], corr at slot q less the
// filtered pulses chosen so far, as seen from that position (stored as float
// after each update; slots already taken are updated too but never read
// again); taken[q], all ones for a slot holding a pulse (or past the grid's
// end); the slot of the last pulse placed; the filtered pattern, aligned and
// padded to whole lane groups (the padding is never read).
struct level_lanes {
  alignas(32) std::array<std::array<float, kSubframe + 4>, kGainTrials> filtered;
  std::array<std::array<float, kSlotsPadded>, kGainTrials> weight;
  std::array<std::array<int32_t, kSlotsPadded>, kGainTrials> taken;
  std::array<int, kGainTrials> slot;
  std::array<float, kGainTrials> level;
};

// Every level starts from the same weights, free slots and first pulse: its
// sign follows corr at first, and the filtered pattern is that pulse's
// response (levels scale only the error), so they are formed once.
SIVO_LANE_INLINE void start_levels(level_lanes& levels, std::span<gain_trial, kGainTrials> trials,
                                   const pulse_placement& at, int slots,
                                   std::span<const float, kSubframe> corr,
                                   std::span<const float, kSubframe> imr,
                                   std::span<const int32_t, kSubframe> occupied) noexcept {
  const int first_slot = (at.first - at.grid) / at.step;
  std::array<float, kSlotsPadded>& w = levels.weight[0];
  std::array<int32_t, kSlotsPadded>& t = levels.taken[0];
  w.fill(0.0f);
  t.fill(-1);
  for (int q = 0; q < slots; ++q) {
    w[q] = corr[at.grid + at.step * q];
    t[q] = occupied[at.grid + at.step * q] != 0 ? -1 : 0;
  }
  t[first_slot] = -1;
  // std::signbit is not used: a negative zero counts as positive.
  const bool first_negative = w[first_slot] < 0.0f;
  std::array<float, kSubframe + 4>& f = levels.filtered[0];
  f.fill(0.0f);
  for (int n = at.first; n < kSubframe; ++n)
    f[n] = first_negative ? -imr[n - at.first] : imr[n - at.first];
  for (int j = 0; j < kGainTrials; ++j) {
    gain_trial& trial = trials[j];
    const float level = fcb_gain_table[at.centre + j - kGainsBelowCentre];
    levels.level[j] = level;
    if (j > 0) {
      levels.weight[j] = levels.weight[0];
      levels.taken[j] = levels.taken[0];
      levels.filtered[j] = levels.filtered[0];
    }
    trial.positions = {};
    trial.amplitudes = {};
    trial.complete = true;
    levels.slot[j] = first_slot;
    trial.positions[0] = at.first;
    trial.amplitudes[0] = first_negative ? -level : level;
  }
}

// f[n] += the response of a pulse at position (negated when negative), from
// the lane group holding position on; response: the response behind eight
// zeros, so that the lanes before position add a zero (which leaves a value
// as it is, or turns -0 to +0, the same once squared: the patterns only
// feed the energies). f - r is f + (-r): the sign bit is flipped instead.
template <int W>
SIVO_LANE_INLINE void add_response(float* f, const float* response, int position,
                                   bool negative) noexcept {
  const int32_t sign = negative ? static_cast<int32_t>(0x80000000u) : 0;
  if constexpr (W == 2) {
    const int4 flip = int4{} + sign;
    for (int n = position & ~3; n < kSubframe; n += 4) {
      const float4 r = load_float4(response + n - position);
      const float4 v = load_float4(f + n);
      store_float4(f + n, v + reinterpret_cast<float4>(reinterpret_cast<int4>(r) ^ flip));
    }
  } else {
    const int32x8 flip = int32x8{} + sign;
    for (int n = position & ~7; n < kSubframe; n += 8) {
      const float8 r = SIVO_LOAD_FLOAT8(response + n - position);
      const float8 v = SIVO_LOAD_FLOAT8(f + n);
      SIVO_STORE_FLOAT8(f + n, v + reinterpret_cast<float8>(reinterpret_cast<int32x8>(r) ^ flip));
    }
  }
}

// Each complete pattern's error: level^2 * sum filtered^2 - 2 * sum
// amplitude * corr[position], both sums in double, the whole in double,
// stored as float. The four energies run side by side, one level per lane:
// four samples of the four patterns are turned into four lane quads at a
// time, then added in sample order.
SIVO_LANE_INLINE void rate_patterns(std::span<gain_trial, kGainTrials> trials,
                                    const level_lanes& levels, const pulse_placement& at,
                                    std::span<const float, kSubframe> corr) noexcept {
  const auto& filtered = levels.filtered;
  const int pulses = at.pulses, centre = at.centre;
  double4 energy = SIVO_SPLAT(0.0);
  for (int n = 0; n < kSubframe; n += 4) {
    double4 v[4];
    transpose_widened(&filtered[0][n], &filtered[1][n], &filtered[2][n], &filtered[3][n], v);
    for (const double4& quad : v) energy += quad * quad;
  }
  for (int j = 0; j < kGainTrials; ++j) {
    gain_trial& trial = trials[j];
    if (!trial.complete) continue;
    const float level = fcb_gain_table[centre + j - kGainsBelowCentre];
    double match = 0.0;
    for (int i = 0; i < pulses; ++i)
      match += static_cast<double>(trial.amplitudes[i]) * corr[trial.positions[i]];
    trial.error = static_cast<float>(static_cast<double>(level) * level * energy[j] - 2.0 * match);
  }
}

// place_pulses, the four gain levels side by side. Grid positions are
// handled compactly: slot q is position grid + step q. The weights are
// updated in double lanes of width W (see lane_group).
template <int W>
SIVO_LANE_INLINE void place_pulse_lanes(std::span<gain_trial, kGainTrials> trials,
                                        const pulse_placement& at,
                                        std::span<const float, kSubframe> acf_by_delay,
                                        std::span<const float, kSubframe> corr,
                                        std::span<const float, kSubframe> imr,
                                        std::span<const int32_t, kSubframe> occupied) noexcept {
  const distance_table acf = pulse_distances(acf_by_delay, at.step);
  const int slots = (kSubframe - at.grid + at.step - 1) / at.step;
  std::array<float, 8 + kSubframe + 8> padded_response{};
  for (int n = 0; n < kSubframe; ++n) padded_response[8 + n] = imr[n];
  level_lanes levels;
  start_levels(levels, trials, at, slots, corr, imr, occupied);
  for (int i = 1; i < at.pulses; ++i) {
    for (int j = 0; j < kGainTrials; ++j) {
      gain_trial& trial = trials[j];
      if (!trial.complete) continue;
      // Update every slot, then pick the free slot of largest |weight|.
      float* const w = levels.weight[j].data();
      const int chosen = update_and_pick<W>(w, levels.taken[j].data(),
                                            acf.data() + kDistanceCentre - levels.slot[j],
                                            trial.amplitudes[i - 1], slots);
      if (chosen < 0) {  // only when the weights are not finite
        trial.complete = false;
        continue;
      }
      levels.slot[j] = chosen;
      levels.taken[j][chosen] = -1;
      const bool negative = w[chosen] < 0.0f;
      trial.positions[i] = at.grid + at.step * chosen;
      trial.amplitudes[i] = negative ? -levels.level[j] : levels.level[j];
      add_response<W>(levels.filtered[j].data(), padded_response.data() + 8, trial.positions[i],
                      negative);
    }
  }
  rate_patterns(trials, levels, at, corr);
}

}  // namespace

SIVO_LANE_ENTRIES(place_pulses, place_pulse_lanes,
                  (std::span<gain_trial, kGainTrials> trials, const pulse_placement& at,
                   std::span<const float, kSubframe> acf, std::span<const float, kSubframe> corr,
                   std::span<const float, kSubframe> imr,
                   std::span<const int32_t, kSubframe> occupied),
                  (trials, at, acf, corr, imr, occupied))

}  // namespace sivo
