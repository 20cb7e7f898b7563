// The compressed frame: bit layout of the four rates, packing and
// validated unpacking.
#pragma once

#include <cstdint>

#include "codec/frame_params.h"
#include "codec/state.h"

namespace sivo {

// Writes frame_sizes[comp_rate] bytes; frame_type = comp_rate, byte_count =
// the length.
void pack_frame(const frame_params& params, uint8_t* frame_bytes,
                const encoder_state& state, int32_t& frame_type,
                int32_t& byte_count) noexcept;

// frame_bytes: one frame, of which no more bytes are read than its type
// declares (none for decode_mode 1 and 2, only byte 0 for types 4..7).
// Returns 0, 1 (types 4..7), 2 (damaged: bad_frame set) or 3 (bad mode).
// Sets state.comp_rate from a speech frame. frame_type is written only where
// a type is reported; byte_count always (0 when no bytes are read).
// decode_mode 2 is read as a lost frame.
int32_t unpack_frame(const uint8_t* frame_bytes, int32_t decode_mode,
                     decoder_state& state, frame_params& params,
                     int32_t& frame_type, int32_t& byte_count) noexcept;

}  // namespace sivo
