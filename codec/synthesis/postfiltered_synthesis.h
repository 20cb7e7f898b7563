// The decoder's post-filtered synthesis of a frame: pitch post-filter,
// synthesis filter, formant post-filter, gain control and 16-bit output.
#pragma once

#include <array>
#include <cstdint>

#include "codec/state.h"

namespace sivo {

// What the post-filtered synthesis of a frame reads.
struct synthesis_input {
  // The frame's 240 excitation samples; with decoded, the kHistory samples
  // before them are read as well (the excitation history, as limited to 16
  // bits).
  const float* excitation = nullptr;
  // A good frame: the same kHistory + 240 samples as decoded, before the
  // limit, then zeros (kPaddedWindow floats), on which the pitch
  // post-filter chooses its lags. Null for a concealed frame, which has no
  // pitch post-filter.
  const float* decoded = nullptr;
  std::array<int32_t, 2> olp{};  // open-loop pitch of subframes 0-1 and 2-3
  const std::array<lpc_set, kSubframes>* coefficients = nullptr;
};

// Runs the stages one after another on each subframe: pitch post-filter
// (good frames), synthesis filter, formant post-filter, gain control; then
// converts the frame into samples[0..239]. Filters along decoder's synthesis
// and formant memories; updates its tilt and gain. The plain form of the
// post-filtered synthesis kernel.
void postfiltered_synthesis(const synthesis_input& in, decoder_state& decoder,
                            int16_t* samples) noexcept;

}  // namespace sivo
