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

// The weights after a pulse of amplitude at slot from: w[q] - amplitude *
// acf[|q - from| step] (0 when that is past the subframe) in double, stored
// as float, for every slot. Returns the free slot of largest |w|, the first
// of equal maxima, or -1 when there is none (a NaN weight is never taken).
int update_and_pick(std::span<float, kSubframe> w, std::span<const bool, kSubframe> taken,
                    int slots, std::span<const float, kSubframe> acf, int step, int from,
                    float amplitude) noexcept {
  float largest = -1.0f;
  int chosen = -1;
  for (int q = 0; q < slots; ++q) {
    const int delay = (q > from ? q - from : from - q) * step;
    const double correlation = delay < kSubframe ? acf[delay] : 0.0;
    w[q] = static_cast<float>(w[q] - static_cast<double>(amplitude) * correlation);
    if (taken[q]) continue;
    const float magnitude = std::fabs(w[q]);
    if (magnitude > largest) {
      largest = magnitude;
      chosen = q;
    }
  }
  return chosen;
}

// filtered[n] += the response of a pulse at position (imr, negated when
// negative), in float, n = position .. 59.
void add_pulse_response(std::span<float, kSubframe> filtered, std::span<const float, kSubframe> imr,
                        int position, bool negative) noexcept {
  for (int n = position; n < kSubframe; ++n) {
    filtered[n] = filtered[n] + (negative ? -imr[n - position] : imr[n - position]);
  }
}

// Error of a complete pattern less the target energy: level^2 * sum
// filtered^2 - 2 * sum amplitude * corr[position], the sums in double, the
// whole in double, stored as float.
float pattern_error(const gain_trial& trial, std::span<const float, kSubframe> filtered,
                    float level, int pulses, std::span<const float, kSubframe> corr) noexcept {
  double energy = 0.0;
  for (int n = 0; n < kSubframe; ++n) energy += static_cast<double>(filtered[n]) * filtered[n];
  double match = 0.0;
  for (int i = 0; i < pulses; ++i) {
    match += static_cast<double>(trial.amplitudes[i]) * corr[trial.positions[i]];
  }
  return static_cast<float>(static_cast<double>(level) * level * energy - 2.0 * match);
}

}  // namespace

void place_pulses(std::span<gain_trial, kGainTrials> trials, const pulse_placement& at,
                  std::span<const float, kSubframe> acf, std::span<const float, kSubframe> corr,
                  std::span<const float, kSubframe> imr,
                  std::span<const int32_t, kSubframe> occupied) noexcept {
  // Slot q of the grid is position grid + step q.
  const int slots = (kSubframe - at.grid + at.step - 1) / at.step;
  const int first_slot = (at.first - at.grid) / at.step;
  for (int j = 0; j < kGainTrials; ++j) {
    gain_trial& trial = trials[j];
    trial = gain_trial{};
    trial.complete = true;
    const float level = fcb_gain_table[at.centre + j - kGainsBelowCentre];
    // weight[q]: corr at slot q less the filtered pulses placed so far.
    std::array<float, kSubframe> weight{}, filtered{};
    std::array<bool, kSubframe> taken{};
    for (int q = 0; q < slots; ++q) {
      weight[q] = corr[at.grid + at.step * q];
      taken[q] = occupied[at.grid + at.step * q] != 0;
    }
    int slot = first_slot;
    for (int i = 0; i < at.pulses; ++i) {
      if (i > 0) {
        slot = update_and_pick(weight, taken, slots, acf, at.step, slot, trial.amplitudes[i - 1]);
        if (slot < 0) {  // only when the weights are not finite
          trial.complete = false;
          break;
        }
      }
      taken[slot] = true;
      // A negative zero counts as positive.
      const bool negative = weight[slot] < 0.0f;
      trial.positions[i] = at.grid + at.step * slot;
      trial.amplitudes[i] = negative ? -level : level;
      add_pulse_response(filtered, imr, trial.positions[i], negative);
    }
    if (trial.complete) trial.error = pattern_error(trial, filtered, level, at.pulses, corr);
  }
}

namespace {

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

// The free grid position of largest |corr| (the last of equal maxima) and
// that magnitude in peak; -1 when there is none (or the target is not finite).
int first_pulse(std::span<const float, kSubframe> corr, int grid, int step,
                std::span<const int32_t, kSubframe> occupied, float& peak) noexcept {
  peak = -1.0f;
  int first = -1;
  for (int p = grid; p < kSubframe; p += step) {
    if (occupied[p] != 0) continue;
    const float magnitude = std::fabs(corr[p]);
    if (magnitude >= peak) {
      peak = magnitude;
      first = p;
    }
  }
  return first;
}

// The gain level whose single filtered pulse best matches the peak
// correlation (distance stored as float, higher index wins ties).
int first_stage_centre(float peak, float energy) noexcept {
  float best_distance = kLargestFloat;
  int centre = kHighestGainCentre;
  for (int n = kHighestGainCentre; n >= kLowestGainCentre; --n) {
    const float distance =
        static_cast<float>(std::fabs(peak - static_cast<double>(fcb_gain_table[n]) * energy));
    if (distance < best_distance) {
      best_distance = distance;
      centre = n;
    }
  }
  return centre;
}

}  // namespace

void find_best_pulses(pulse_candidate& best, std::span<const float, kSubframe> target,
                      std::span<const float, kSubframe> h, std::span<const float, kSubframe> h_acf,
                      int pulses, int lag, int step, int stage,
                      std::span<const int32_t, kSubframe> occupied, int previous_gain) noexcept {
  // Impulse response of one pulse, repeated at the pitch lag when short, and
  // its autocorrelation acf[d] = sum over n = d..59 of imr[n] imr[n - d].
  const int train = lag < kTrainLagLimit ? 1 : 0;
  std::array<float, kSubframe> imr, acf;
  if (train == 1) {
    repeat_pitch_train(imr, h, lag);
    kernels().backward_correlate(imr, imr, acf);
  } else {
    for (int n = 0; n < kSubframe; ++n) imr[n] = h[n];
    for (int n = 0; n < kSubframe; ++n) acf[n] = h_acf[n];
  }
  // corr[i]: correlation of the target with the filtered unit pulse at i.
  std::array<float, kSubframe> corr;
  kernels().backward_correlate(target, imr, corr);

  for (int grid = 0; grid < step; ++grid) {
    float peak;
    const int first = first_pulse(corr, grid, step, occupied, peak);
    if (first < 0) continue;
    // The second stage centres on the first stage's gain.
    const int centre =
        stage == 0 ? first_stage_centre(peak, acf[0]) : clamp_gain_centre(previous_gain);
    std::array<gain_trial, kGainTrials> trials;
    kernels().place_pulses(trials, pulse_placement{first, grid, step, pulses, centre}, acf, corr,
                           imr, occupied);
    for (int j = 0; j < kGainTrials; ++j) {
      const gain_trial& trial = trials[j];
      if (!trial.complete || !(trial.error < best.error)) continue;
      best.error = trial.error;
      best.grid = grid;
      best.gain = centre + j - kGainsBelowCentre;
      best.train = train;
      best.positions = trial.positions;
      best.amplitudes = trial.amplitudes;
    }
  }
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
  find_best_pulses(best, work, h, h_acf, pulses, kSubframe, step, 0, occupied, 0);
  if (olp < kTrainLagLimit) find_best_pulses(best, work, h, h_acf, pulses, olp, step, 0, occupied, 0);

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
    find_best_pulses(best, work, h, h_acf, second_pulses, kSubframe, second_step, 1, occupied,
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
