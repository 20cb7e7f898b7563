// A decoder fed a stream of frames in chunks of any size, as the streaming
// decoders of the Python and JavaScript packages are.
//
// A frame cut by the end of a chunk waits for the rest. An invalid frame
// type ends its chunk: the frames before it are decoded and handed out, the
// bytes from it to the end of the chunk are skipped (no frame start can be
// found after it), and the next chunk starts afresh. Offsets count every byte
// given since the decoder was opened or reset.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <span>

#include "frame_walk.h"
#include "sivocore.h"

namespace sivo {

struct chunk_decoder {
  sivo_decoder* handle = nullptr;
  std::array<uint8_t, SIVO_MAX_FRAME_BYTES> pending{};  // a frame not yet whole
  size_t pending_size = 0;
  uint64_t consumed = 0;        // bytes given before pending[0]
  uint64_t damaged_frames = 0;  // speech frames the codec found damaged
};

// Opens the codec's decoder with the post-filters on or off; false when it
// cannot be allocated.
bool chunk_decoder_open(chunk_decoder& d, bool postfilter) noexcept;
void chunk_decoder_close(chunk_decoder& d) noexcept;

// Starts a new stream: the codec's state, the waiting bytes, the offsets and
// the count of damaged frames all start again.
void chunk_decoder_reset(chunk_decoder& d) noexcept;

// What a chunk completes: the speech frames decoding it gives, and the fault
// that ends it (stop.status INVALID at byte `stop_offset` of the stream;
// EMPTY or NEED_MORE otherwise). Changes nothing.
struct chunk_walk {
  size_t speech_frames = 0;
  sivo_walk_step stop{};
  uint64_t stop_offset = 0;
};
chunk_walk chunk_survey(const chunk_decoder& d, std::span<const uint8_t> chunk) noexcept;

struct chunk_outcome {
  size_t samples = 0;         // samples written
  sivo_walk_step fault{};     // INVALID or NEED_MORE when the call met a bad frame
  uint64_t fault_offset = 0;  // that frame's byte offset in the stream
  int32_t status = SIVO_OK;   // the first codec status other than OK and DAMAGED_FRAME
  bool failed() const {
    return fault.status == SIVO_WALK_INVALID || fault.status == SIVO_WALK_NEED_MORE ||
           status != SIVO_OK;
  }
};

// Decodes the frames that `chunk` completes into `out`, which has room for
// 240 samples per speech frame that chunk_survey counts.
chunk_outcome chunk_decode(chunk_decoder& d, std::span<const uint8_t> chunk, int16_t* out) noexcept;

// Ends the stream: a frame still cut short is refused (fault NEED_MORE at
// its offset) and dropped.
chunk_outcome chunk_finish(chunk_decoder& d) noexcept;

}  // namespace sivo
