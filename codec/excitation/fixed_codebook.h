// Multipulse fixed codebook of the four rates, with the second stage of
// rate 3.
#pragma once

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
// replaces best when it finds a strictly smaller error. stage 0 or 1;
// previous_gain is the first stage's gain index (stage 1 only).
void find_best_pulses(pulse_candidate& best, std::span<const float, kSubframe> target,
                      std::span<const float, kSubframe> h, int pulses, int lag,
                      int step, int stage, std::span<const int32_t, kSubframe> occupied,
                      int previous_gain) noexcept;

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
