// Multipulse fixed codebook: the analysis-by-synthesis pulse search on
// precomputed correlations, the combinatorial coding of positions and
// signs, and the second pulse stage of rate 3.
#include "codec/excitation/fixed_codebook.h"

#include <array>
#include <cmath>
#include <limits>

#include "codec/excitation/pulse_filters.h"
#include "codec/tables/fcb_tables.h"
#include "codec/kernels/kernel_table.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {
namespace {

constexpr float kLargestFloat = std::numeric_limits<float>::max();
// Pitch lags below this repeat the pulse pattern; the plain search passes a
// whole subframe as its lag.
constexpr int kTrainLagLimit = 58;
constexpr int kLowestGainCentre = 2;
constexpr int kHighestGainCentre = 22;
// Codebook row of the second stage of rate 3 in the grid and pulse tables.
constexpr int kSecondStageRow = 4;

int clamp_gain_centre(int gain) noexcept {
  if (gain < kLowestGainCentre) return kLowestGainCentre;
  if (gain > kHighestGainCentre) return kHighestGainCentre;
  return gain;
}

// A valid pattern (the first free positions of grid 0, positive pulses) that
// stands until the search finds an error below the largest float; only a
// non-finite target or response leaves it in place.
pulse_candidate fallback_candidate(int pulses, int step, int gain,
                                   std::span<const int32_t, kSubframe> occupied) noexcept {
  pulse_candidate c{};
  c.error = kLargestFloat;
  c.gain = gain;
  int placed = 0;
  for (int p = 0; p < kSubframe && placed < pulses; p += step) {
    if (occupied[p] != 0) continue;
    c.positions[placed] = p;
    c.amplitudes[placed] = fcb_gain_table[gain];
    ++placed;
  }
  return c;
}

// The four gain levels tried around a centre, and what each one found.
constexpr int kGainTrials = 4;
struct gain_trial {
  bool complete;
  float error;
  std::array<int32_t, kMaxPulses> positions;
  std::array<float, kMaxPulses> amplitudes;
};

// Autocorrelation by grid distance, mirrored: element kDistanceCentre + e is
// acf[|e| * step] for |e| < 60 / step, zero elsewhere, so that the values for
// a run of grid positions against one pulse are contiguous.
constexpr int kDistanceCentre = kSubframe - 1;
constexpr int kSlotsPadded = 64;  // grid slots rounded up to whole lane groups
// Held as doubles (exact copies) so that each group is read without widening.
using distance_table = std::array<double, kDistanceCentre + kSlotsPadded>;

distance_table pulse_distances(std::span<const float, kSubframe> acf, int step) noexcept {
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

// Places the pulses of one grid for each of the four gain levels centre - 2
// .. centre + 1, starting from the pulse at first, and rates each pattern.
// Grid positions are handled compactly: slot q is position grid + step q.
// The weights are updated in double lanes of width W (see lane_group).
template <int W>
SIVO_LANE_INLINE void place_pulses(std::array<gain_trial, kGainTrials>& trials,
                                   const distance_table& acf,
                                   std::span<const float, kSubframe> corr,
                                   std::span<const float, kSubframe> imr, int first, int grid,
                                   int step, int pulses, int centre,
                                   std::span<const int32_t, kSubframe> occupied) noexcept {
  const int slots = (kSubframe - grid + step - 1) / step;
  // Filtered patterns, aligned and padded to whole lane groups, and the
  // response behind eight zeros: a pulse's response is added from the lane
  // group holding its position, the lanes before it adding a zero (which
  // leaves a value as it is, or turns -0 to +0, the same once squared: the
  // patterns only feed the energies). The padding of filtered is never read.
  alignas(32) std::array<std::array<float, kSubframe + 4>, kGainTrials> filtered;
  std::array<float, 8 + kSubframe + 8> padded_response{};
  for (int n = 0; n < kSubframe; ++n) padded_response[8 + n] = imr[n];
  const float* const response = padded_response.data() + 8;

  // Per gain level: weight[q], corr at slot q less the filtered pulses chosen
  // so far, as seen from that position (stored as float after each update;
  // slots already taken are updated too but never read again); taken[q], all
  // ones for a slot holding a pulse (or past the grid's end); the slot of the
  // last pulse placed. The four levels are independent: they advance pulse
  // by pulse together, so that their work overlaps.
  std::array<std::array<float, kSlotsPadded>, kGainTrials> weight;
  std::array<std::array<int32_t, kSlotsPadded>, kGainTrials> taken;
  std::array<int, kGainTrials> slot;
  std::array<float, kGainTrials> level;
  const int first_slot = (first - grid) / step;
  // Every level starts from the same weights, free slots and first pulse: its
  // sign follows corr at first, and the filtered pattern is that pulse's
  // response (levels scale only the error), so they are formed once.
  {
    std::array<float, kSlotsPadded>& w = weight[0];
    std::array<int32_t, kSlotsPadded>& t = taken[0];
    w.fill(0.0f);
    t.fill(-1);
    for (int q = 0; q < slots; ++q) {
      w[q] = corr[grid + step * q];
      t[q] = occupied[grid + step * q] != 0 ? -1 : 0;
    }
    t[first_slot] = -1;
    std::array<float, kSubframe + 4>& f = filtered[0];
    f.fill(0.0f);
    if (w[first_slot] < 0.0f) {
      for (int n = first; n < kSubframe; ++n) f[n] = -imr[n - first];
    } else {
      for (int n = first; n < kSubframe; ++n) f[n] = imr[n - first];
    }
  }
  // std::signbit is not used: a negative zero counts as positive.
  const bool first_negative = weight[0][first_slot] < 0.0f;
  for (int j = 0; j < kGainTrials; ++j) {
    gain_trial& trial = trials[j];
    level[j] = fcb_gain_table[centre + j - 2];
    if (j > 0) {
      weight[j] = weight[0];
      taken[j] = taken[0];
      filtered[j] = filtered[0];
    }
    trial.positions = {};
    trial.amplitudes = {};
    trial.complete = true;
    slot[j] = first_slot;
    trial.positions[0] = first;
    trial.amplitudes[0] = first_negative ? -level[j] : level[j];
  }

  for (int i = 1; i < pulses; ++i) {
    for (int j = 0; j < kGainTrials; ++j) {
      gain_trial& trial = trials[j];
      if (!trial.complete) continue;
      // Update every slot, then pick the free slot of largest |weight|, the
      // first of equal maxima; a NaN weight is never picked, as in a scan
      // that takes a slot only when it is strictly larger.
      const float amplitude = trial.amplitudes[i - 1];
      const double* distance = acf.data() + kDistanceCentre - slot[j];
      float* const w_j = weight[j].data();
      const int32_t* const taken_j = taken[j].data();
      const int chosen = update_and_pick<W>(w_j, taken_j, distance, amplitude, slots);
      if (chosen < 0) {  // only when the weights are not finite
        trial.complete = false;
        continue;
      }
      slot[j] = chosen;
      const int position = grid + step * chosen;
      trial.positions[i] = position;
      taken[j][chosen] = -1;
      const bool negative = w_j[chosen] < 0.0f;
      trial.amplitudes[i] = negative ? -level[j] : level[j];
      float* const f = filtered[j].data();
      // f - r is f + (-r): the sign bit of the response is flipped instead.
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
          SIVO_STORE_FLOAT8(f + n,
                            v + reinterpret_cast<float8>(reinterpret_cast<int32x8>(r) ^ flip));
        }
      }
    }
  }

  // Weighted squared error less the target energy:
  // level^2 * sum filtered^2 - 2 * sum amplitude * corr[position],
  // both sums in double, the whole evaluated in double and stored float.
  // The four energies run side by side, one gain level per lane.
  // Four samples of the four patterns are turned into four lane quads at a
  // time, then added in sample order.
  double4 energy = SIVO_SPLAT(0.0);
  for (int n = 0; n < kSubframe; n += 4) {
    double4 v[4];
    transpose_widened(&filtered[0][n], &filtered[1][n], &filtered[2][n], &filtered[3][n], v);
    for (const double4& quad : v) energy += quad * quad;
  }
  for (int j = 0; j < kGainTrials; ++j) {
    gain_trial& trial = trials[j];
    if (!trial.complete) continue;
    const float level = fcb_gain_table[centre + j - 2];
    double match = 0.0;
    for (int i = 0; i < pulses; ++i)
      match += static_cast<double>(trial.amplitudes[i]) * corr[trial.positions[i]];
    trial.error = static_cast<float>(static_cast<double>(level) * level * energy[j] - 2.0 * match);
  }
}

SIVO_LANE_CLONES
void try_gains(std::array<gain_trial, kGainTrials>& trials, const distance_table& acf,
               std::span<const float, kSubframe> corr, std::span<const float, kSubframe> imr,
               int first, int grid, int step, int pulses, int centre,
               std::span<const int32_t, kSubframe> occupied) noexcept {
  SIVO_LANE_DISPATCH(place_pulses, trials, acf, corr, imr, first, grid, step, pulses, centre,
                     occupied);
}

// Walks the grid columns of one combinatorial table; see pack_pulses.
template <std::size_t K, std::size_t N>
void code_positions(const std::array<std::array<int32_t, N>, K>& table,
                    std::span<const float, kSubframe> excitation, subframe_params& entry, int grid,
                    int pulses, int step, int table_row, int stage,
                    std::span<const int32_t, kSubframe> occupied, int columns) noexcept {
  uint32_t positions = 0;
  int32_t signs = 0;
  int found = 0;
  int row = table_row;
  int p = grid;
  for (int t = 0; t < columns && row < static_cast<int>(K); ++t) {
    if (stage == 1)
      while (p < kSubframe && occupied[p] != 0) p += step;
    if (p >= kSubframe) break;
    if (excitation[p] != 0.0f) {
      signs = 2 * signs + (excitation[p] < 0.0f ? 1 : 0);
      if (++found == pulses) break;
      ++row;
    } else {
      positions += static_cast<uint32_t>(table[row][t]);
    }
    p += step;
  }
  entry.positions = positions;
  entry.signs = signs;
}

}  // namespace

namespace {

// find_best_pulses, with the autocorrelation of h supplied by the caller
// (h_acf, used when the pattern is not repeated) or null.
void search_pulses(pulse_candidate& best, std::span<const float, kSubframe> target,
                   std::span<const float, kSubframe> h, const std::array<float, kSubframe>* h_acf,
                   int pulses, int lag, int step, int stage,
                   std::span<const int32_t, kSubframe> occupied, int previous_gain) noexcept {
  // Impulse response of one pulse, repeated at the pitch lag when short.
  std::array<float, kSubframe> imr;
  int train = 0;
  if (lag < kTrainLagLimit) {
    repeat_pitch_train(imr, h, lag);
    train = 1;
  } else {
    for (int n = 0; n < kSubframe; ++n) imr[n] = h[n];
  }

  // Autocorrelation of the response: acf[d] = sum over n = d..59 of
  // imr[n] imr[n - d], the backward correlation of imr with itself.
  std::array<float, kSubframe> acf;
  if (train == 0 && h_acf != nullptr) {
    acf = *h_acf;
  } else {
    kernels().backward_correlate(imr, imr, acf);
  }
  const distance_table acf_lanes = pulse_distances(acf, step);

  // corr[i]: correlation of the target with the filtered unit pulse at i.
  std::array<float, kSubframe> corr;
  kernels().backward_correlate(target, imr, corr);

  for (int grid = 0; grid < step; ++grid) {
    // First pulse: the largest |corr| among the free grid positions, the last
    // of equal maxima.
    float peak = -1.0f;
    int first = -1;
    for (int p = grid; p < kSubframe; p += step) {
      if (occupied[p] != 0) continue;
      const float magnitude = std::fabs(corr[p]);
      if (magnitude >= peak) {
        peak = magnitude;
        first = p;
      }
    }
    if (first < 0) continue;  // no free position (or a non-finite target)

    // Gain centre: the level whose single filtered pulse best matches the
    // peak correlation (distance stored as float, higher index wins ties);
    // the second stage centres on the first stage's gain.
    int centre;
    if (stage == 0) {
      float best_distance = kLargestFloat;
      centre = kHighestGainCentre;
      for (int n = kHighestGainCentre; n >= kLowestGainCentre; --n) {
        const float distance =
            static_cast<float>(std::fabs(peak - static_cast<double>(fcb_gain_table[n]) * acf[0]));
        if (distance < best_distance) {
          best_distance = distance;
          centre = n;
        }
      }
    } else {
      centre = clamp_gain_centre(previous_gain);
    }

    std::array<gain_trial, kGainTrials> trials;
    try_gains(trials, acf_lanes, corr, imr, first, grid, step, pulses, centre, occupied);
    for (int j = 0; j < kGainTrials; ++j) {
      const gain_trial& trial = trials[j];
      if (!trial.complete) continue;
      if (trial.error < best.error) {
        best.error = trial.error;
        best.grid = grid;
        best.gain = centre + j - 2;
        best.train = train;
        best.positions = trial.positions;
        best.amplitudes = trial.amplitudes;
      }
    }
  }
}

}  // namespace

void find_best_pulses(pulse_candidate& best, std::span<const float, kSubframe> target,
                      std::span<const float, kSubframe> h, int pulses, int lag, int step, int stage,
                      std::span<const int32_t, kSubframe> occupied, int previous_gain) noexcept {
  search_pulses(best, target, h, nullptr, pulses, lag, step, stage, occupied, previous_gain);
}

void pack_pulses(std::span<const float, kSubframe> excitation, subframe_params& entry,
                 const pulse_candidate& best, int pulses, int step, int table_row, int stage,
                 std::span<const int32_t, kSubframe> occupied, int first_stage_pulses) noexcept {
  const int columns = stage == 0 ? kSubframe / step : (kSubframe - first_stage_pulses) / step;
  if (stage == 1)
    code_positions(comb_table_52, excitation, entry, best.grid, pulses, step, table_row, stage,
                   occupied, columns);
  else if (step == 2)
    code_positions(comb_table_30, excitation, entry, best.grid, pulses, step, table_row, stage,
                   occupied, columns);
  else if (step == 4)
    code_positions(comb_table_15, excitation, entry, best.grid, pulses, step, table_row, stage,
                   occupied, columns);
  else
    code_positions(comb_table_60, excitation, entry, best.grid, pulses, step, table_row, stage,
                   occupied, columns);
  entry.fcb_gain = best.gain;
  entry.grid = best.grid;
  entry.train = best.train;
}

int32_t code_second_gain(int32_t second_gain, int32_t first_gain) noexcept {
  return second_gain + kLowestGainCentre - clamp_gain_centre(first_gain);
}

void find_fixed_codebook(std::span<float, kSubframe> target, std::span<const float, kSubframe> h,
                         frame_params& params, int subframe, const encoder_state& state) noexcept {
  const int rate = state.comp_rate;
  const int step = grid_step_table[rate];
  const int pulses = pulse_count_table[rate * 4 + subframe];
  const int olp = params.olp[subframe / 2];

  std::array<float, kSubframe> work;
  for (int n = 0; n < kSubframe; ++n) work[n] = target[n];
  std::array<int32_t, kSubframe> occupied{};

  // The autocorrelation of h serves every search with an unrepeated pattern.
  std::array<float, kSubframe> h_acf;
  kernels().backward_correlate(h, h, h_acf);

  pulse_candidate best = fallback_candidate(pulses, step, 0, occupied);
  search_pulses(best, work, h, &h_acf, pulses, kSubframe, step, 0, occupied, 0);
  if (olp < kTrainLagLimit) search_pulses(best, work, h, &h_acf, pulses, olp, step, 0, occupied, 0);

  std::array<float, kSubframe> excitation{};
  for (int i = 0; i < pulses; ++i) {
    excitation[best.positions[i]] = best.amplitudes[i];
    occupied[best.positions[i]] = 1;
  }
  const int rows = step == 2 ? 6 : step == 4 ? 4 : kMaxPulses;
  subframe_params& first = params.subframes[subframe];
  pack_pulses(excitation, first, best, pulses, step, rows - pulses, 0, occupied, 0);
  if (best.train == 1) repeat_pitch_train(excitation, excitation, olp);

  if (rate == 3) {
    subtract_filtered_excitation(work, excitation, h);
    const int second_pulses = pulse_count_table[kSecondStageRow * 4 + subframe];
    const int second_step = grid_step_table[kSecondStageRow];
    const int centre = clamp_gain_centre(first.fcb_gain);
    best = fallback_candidate(second_pulses, second_step, centre - kLowestGainCentre, occupied);
    search_pulses(best, work, h, &h_acf, second_pulses, kSubframe, second_step, 1, occupied,
                  first.fcb_gain);

    std::array<float, kSubframe> second{};
    for (int i = 0; i < second_pulses; ++i) second[best.positions[i]] = best.amplitudes[i];
    subframe_params& extra = params.subframes[kSecondStageRow + subframe];
    constexpr int kSecondStageRows = 5;
    pack_pulses(second, extra, best, second_pulses, second_step, kSecondStageRows - second_pulses,
                1, occupied, pulses);
    extra.fcb_gain = code_second_gain(extra.fcb_gain, first.fcb_gain);
    for (int n = 0; n < kSubframe; ++n) excitation[n] += second[n];
  }

  for (int n = 0; n < kSubframe; ++n) target[n] = excitation[n];
}

}  // namespace sivo
