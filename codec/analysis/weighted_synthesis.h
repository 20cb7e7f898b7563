// The cascade 1/A^(z) W(z) P(z) of one subframe: impulse response, target
// (zero-input response removed) and memory update after the search.
#pragma once

#include <array>
#include <span>

#include "codec/codec_types.h"

namespace sivo {

// y_out[i][0..59]: impulse response of 1/A^(z) then W(z) of subframe i from
// zero state (no comb), each sum in double from j = 1 to 10, each output
// rounded to float. The reference form of the cascade response kernel.
void cascade_responses(std::span<std::array<float, kSubframe>, kSubframes> y_out,
                       std::span<const lpc_set, kSubframes> quantised,
                       std::span<const weighting_set, kSubframes> sets) noexcept;

// h_out[i][0..59]: impulse response of synthesis, weighting and comb of
// subframe i, from zero state.
void impulse_responses(std::span<std::array<float, kSubframe>, kSubframes> h_out,
                       std::span<const lpc_set, kSubframes> quantised,
                       std::span<const weighting_set, kSubframes> sets,
                       std::span<const shaping_params, kSubframes> shaping) noexcept;

// target: shaped weighted speech in, target out (60 samples).
// synthesis_history: newest past output of 1/A^(z) on the synthesis line
// (reads [-9..0], writes [1..60] with the zero-input response).
// ringing_history: ringing_buffer at 60i - 1 (reads [-144..0], writes
// [1..60]).
void subtract_ringing(std::span<float, kSubframe> target, const lpc_set& quantised,
                      const weighting_set& set, shaping_params shaping,
                      float* synthesis_history, float* ringing_history) noexcept;

// Same positions as subtract_ringing: rewrites [1..60] of both lines with
// the response to the chosen excitation.
void update_memories(std::span<const float, kSubframe> excitation,
                     const lpc_set& quantised, const weighting_set& set,
                     float* synthesis_history, float* ringing_history) noexcept;

}  // namespace sivo
