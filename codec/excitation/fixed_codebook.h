// Multipulse fixed codebook of the four rates, with the second stage of
// rate 3.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/frame_params.h"
#include "codec/state.h"

namespace sivo {

// target: the target after the adaptive codebook (60 samples); on return it
// holds the fixed-codebook excitation (both stages at rate 3, pitch
// repetition applied). Reads params.olp[subframe/2] and state.comp_rate;
// writes params.subframes[subframe] (and [4+subframe] at rate 3) pulse fields.
void find_fixed_codebook(std::span<float, kSubframe> target,
                         std::span<const float, kSubframe> h, frame_params& params,
                         int subframe, const encoder_state& state) noexcept;

// Searches one pulse family (lag < 58: pattern repeated at lag) and
// replaces best when it finds a strictly smaller error. h_acf: the
// backward correlation of h with itself. stage 0 or 1; previous_gain is the
// first stage's gain index (stage 1 only).
void find_best_pulses(pulse_candidate& best, std::span<const float, kSubframe> target,
                      std::span<const float, kSubframe> h,
                      std::span<const float, kSubframe> h_acf, int pulses, int lag, int step,
                      int stage, std::span<const int32_t, kSubframe> occupied,
                      int previous_gain) noexcept;

// The gain levels tried around a centre: centre - 2 .. centre + 1.
inline constexpr int kGainTrials = 4;
inline constexpr int kGainsBelowCentre = 2;

// The pattern one gain level's placement found; error only when complete
// (a non-finite weight stops the placement).
struct gain_trial {
  bool complete;
  float error;
  std::array<int32_t, kMaxPulses> positions;
  std::array<float, kMaxPulses> amplitudes;
};

// Where one grid's placement starts: the first pulse's position, the grid
// (positions grid, grid + step, ...), the pulse count and the gain centre.
struct pulse_placement {
  int first;
  int grid;
  int step;
  int pulses;
  int centre;
};

// For each gain level j of the centre, places at.pulses pulses of that
// level on the grid from at.first on: each next pulse at the free position
// whose weight (corr less the filtered pulses so far, updated in double
// through acf and stored as float) has the largest magnitude, signed as the
// weight; then rates the pattern (level^2 energy of the filtered pattern -
// 2 sum amplitude corr, in double, stored as float). acf: the response's
// autocorrelation by delay; imr: the response. The reference form of the
// pulse placement kernel.
void place_pulses(std::span<gain_trial, kGainTrials> trials, const pulse_placement& at,
                  std::span<const float, kSubframe> acf, std::span<const float, kSubframe> corr,
                  std::span<const float, kSubframe> imr,
                  std::span<const int32_t, kSubframe> occupied) noexcept;

// Codes the pulses of excitation into entry's positions and signs, and
// copies gain, grid and train from best. table_row: first row of the
// combinatorial table in use; first_stage_pulses: pulses of stage 0 (stage
// 1 only, to skip their occupied positions).
void pack_pulses(std::span<const float, kSubframe> excitation, subframe_params& entry,
                 const pulse_candidate& best, int pulses, int step, int table_row,
                 int stage, std::span<const int32_t, kSubframe> occupied,
                 int first_stage_pulses) noexcept;

// Returns the second stage's 2-bit code of second_gain relative to first_gain.
int32_t code_second_gain(int32_t second_gain, int32_t first_gain) noexcept;

}  // namespace sivo
