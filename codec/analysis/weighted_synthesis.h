// The cascade 1/A^(z) W(z) P(z) of one subframe: impulse response, target
// (zero-input response removed) and memory update after the search.
#pragma once

#include <array>
#include <span>

#include "codec/codec_types.h"

namespace sivo {

// h_out[0..59]: impulse response of synthesis, weighting and comb, from
// zero state.
void impulse_response(std::span<float, kSubframe> h_out, const lpc_set& quantised,
                      const weighting_set& set, shaping_params shaping) noexcept;

// The four subframes' impulse responses at once, equal bit for bit to
// impulse_response of each.
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
