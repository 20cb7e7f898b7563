// The decoder's per-frame pipeline.
#pragma once

#include <cstdint>

#include "codec/state.h"

namespace sivo {

// Decodes (decode_mode 0) or conceals (1, 2) one frame into 240 samples.
// Returns 0, 1, 2 or 3; samples are written for 0 and 2 only.
int32_t decode_frame(decoder_state& state, const uint8_t* frame_bytes,
                     int16_t* samples, int32_t decode_mode, int32_t& frame_type,
                     int32_t& byte_count) noexcept;

}  // namespace sivo
