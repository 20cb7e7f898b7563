// The encoding loop over whole buffers of samples (its decoding twin is the
// walker's sivo_walk_decode), and the walker's texts as strings.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

#include "frame_walk.h"
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

// The walker's text for a step that is not a whole frame, `offset` bytes
// into the stream.
std::string walk_error_text(const sivo_walk_step& step, uint64_t offset);

}  // namespace sivo
