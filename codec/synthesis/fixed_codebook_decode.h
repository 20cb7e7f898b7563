// Pulse vectors rebuilt from the received position index, signs and gain.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "codec/codec_types.h"
#include "codec/frame_params.h"

namespace sivo {

// The position tables a walk runs over: the 30-, 15- and 60-position grids
// (grid steps 2, 4 and 1) and the 52 positions of rate 3's second stage.
enum class position_table { grid2, grid4, grid1, second_stage };

// One walk over a position table: the index, the pulses it holds and the
// columns it may use (0: none; at most the table's columns); placed and
// taken[0..placed-1] (ascending columns) come back. taken has a spare slot.
struct pulse_walk {
  uint32_t positions;
  int pulses;
  int end;
  int placed;
  int taken[kMaxPulses + 1];
};

// The four subframes' walks over one table. A walk starts at row K - pulses
// (K the table's rows) with the index as remainder; column t takes a pulse
// when the remainder is below the current row's entry t (the walk then
// moves down a row), and otherwise has that entry taken off the remainder.
// It stops once its pulses are placed or at column end. The plain form of
// the pulse-walk kernel.
void walk_pulse_columns(position_table table, std::array<pulse_walk, kSubframes>& walks) noexcept;

// The pulse vectors of a whole frame at rate 0..3 into vectors[60 s ..] for
// subframe s, both stages at rate 3. An index at or above its limit gives no
// pulses and no repetition; a first-stage train repeats its pulses at lag
// params.olp[s / 2].
void decode_fixed_codebooks(std::span<float, kFrame> vectors, const frame_params& params,
                            int rate) noexcept;

}  // namespace sivo
