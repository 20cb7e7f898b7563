// Buffer loops: whole frames of samples into frame bytes and a walked frame
// stream into samples, one C call per frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>

#include "sivocore.h"

namespace sivo {

inline constexpr size_t kFrameSamples = SIVO_FRAME_SAMPLES;

// Encodes samples.size() / 240 whole frames, then, when `pad_tail` is set
// and samples remain, one more frame of those samples followed by silence.
// `out` has room for every frame at the encoder's current rate.
// Returns the bytes written.
size_t encode_samples(sivo_encoder* encoder, std::span<const int16_t> samples, bool pad_tail,
                      uint8_t* out) noexcept;

// Frames `encode_samples` writes for `count` samples.
inline size_t frames_for(size_t count, bool pad_tail) noexcept {
  return count / kFrameSamples + (pad_tail && count % kFrameSamples != 0 ? 1 : 0);
}

struct decode_outcome {
  size_t samples = 0;         // samples written to `out`
  size_t damaged_frames = 0;  // concealed as lost by the decoder
  int32_t status = SIVO_OK;   // the first status other than OK or DAMAGED_FRAME
};

// Decodes the speech frames of `stream`, which holds whole frames only (a
// census found no fault), skipping the reserved types 6 and 7. `out` has
// room for 240 samples per speech frame.
decode_outcome decode_frames(sivo_decoder* decoder, std::span<const uint8_t> stream,
                             int16_t* out) noexcept;

}  // namespace sivo
