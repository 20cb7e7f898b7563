// Pulse vectors rebuilt from the received position index, signs and gain.
#pragma once

#include <cstdint>
#include <span>

#include "codec/codec_types.h"
#include "codec/frame_params.h"

namespace sivo {

// vector: the subframe's 60 samples (cleared in stage 0, added to in stage
// 1); occupied: scratch shared by the stages of a subframe, in which stage 0
// records its pulse positions (count, then the positions ascending) and
// stage 1 skips them.
// rate_index 0..3, or 4 for the second stage of rate 3. An index at or
// above its limit gives no pulses and no repetition.
void decode_fixed_codebook(std::span<float, kSubframe> vector,
                           const subframe_params& params, int32_t lag,
                           int subframe, int stage, int rate_index,
                           std::span<int32_t, kSubframe> occupied) noexcept;

// The pulse vectors of a whole frame at rate 0..3 into vectors[60 s ..] for
// subframe s, both stages at rate 3: the same as decode_fixed_codebook on
// each subframe in turn (lag params.olp[s / 2], the second stage's a whole
// subframe), with the subframes' walks run side by side.
void decode_fixed_codebooks(std::span<float, kFrame> vectors, const frame_params& params,
                            int rate) noexcept;

}  // namespace sivo
