// Walking a byte string of compressed frames in memory: where each frame
// starts, its type and length, and a message naming the byte offset of a bad
// frame.
#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>

namespace sivo {

// What stands at one offset of a frame stream.
enum class frame_check { whole, invalid_type, cut_short };

struct frame_info {
  frame_check check = frame_check::whole;
  int32_t type = 0;   // low three bits of the first byte
  int32_t bytes = 0;  // the frame's length as its type implies (0 for 4 and 5)
};

// Classifies the frame that starts at `offset` of `stream`
// (offset < stream.size()). Reads the first byte only.
frame_info frame_at(std::span<const uint8_t> stream, size_t offset) noexcept;

// "invalid frame type 5 at byte offset 48" or "truncated frame at byte
// offset 48: type 3 needs 45 bytes, 12 bytes remain" (the texts of
// `sivo decode`).
std::string describe_frame_fault(const frame_info& info, size_t offset, size_t stream_size);

// Counts of a walk over a whole stream, stopping at the first bad frame.
struct stream_census {
  size_t speech_frames = 0;    // types 0..3
  size_t reserved_frames = 0;  // types 6 and 7
  size_t end = 0;              // offset just after the last whole frame
  frame_info fault;            // check != whole when the walk stopped early
};

stream_census census(std::span<const uint8_t> stream) noexcept;

}  // namespace sivo
