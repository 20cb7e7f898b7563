// The streaming decoder over chunks (see chunk_decoder.h).
#include "chunk_decoder.h"

#include <algorithm>

namespace sivo {
namespace {

// Where a chunk's frames lie: first the bytes that complete the waiting
// frame, then whole frames walked in place.
struct chunk_plan {
  bool pending_grows = false;  // the whole chunk joins the waiting frame, still cut
  size_t missing = 0;          // chunk bytes that complete the waiting frame
  int waiting_type = 0;        // that frame's type
  sivo_walk_result walk{};     // the chunk's frames after those bytes
};

chunk_plan plan(const chunk_decoder& d, std::span<const uint8_t> chunk) noexcept {
  chunk_plan p;
  if (d.pending_size > 0) {
    const sivo_walk_step waiting = sivo_walk_frame(d.pending.data(), d.pending_size);
    if (chunk.size() < waiting.needed) {
      p.pending_grows = true;
      return p;
    }
    p.missing = waiting.needed;
    p.waiting_type = waiting.type;
  }
  p.walk = sivo_walk_buffer(chunk.data() + p.missing, chunk.size() - p.missing, nullptr, 0);
  return p;
}

}  // namespace

bool chunk_decoder_open(chunk_decoder& d, bool postfilter) noexcept {
  d = chunk_decoder{};
  if (sivo_decoder_open(&d.handle) != SIVO_OK) return false;
  sivo_decoder_set_filter_mode(d.handle, postfilter ? 1 : 0);
  return true;
}

void chunk_decoder_close(chunk_decoder& d) noexcept {
  if (d.handle != nullptr) sivo_decoder_close(&d.handle);
  d.handle = nullptr;
}

void chunk_decoder_reset(chunk_decoder& d) noexcept {
  sivo_decoder_reset(d.handle);
  d.pending_size = 0;
  d.consumed = 0;
  d.damaged_frames = 0;
}

chunk_walk chunk_survey(const chunk_decoder& d, std::span<const uint8_t> chunk) noexcept {
  const chunk_plan p = plan(d, chunk);
  chunk_walk walk;
  if (p.pending_grows) {
    walk.stop = sivo_walk_frame(d.pending.data(), d.pending_size);
    walk.stop_offset = d.consumed;
    return walk;
  }
  const bool completed = d.pending_size > 0 && sivo_walk_is_speech(p.waiting_type);
  walk.speech_frames = p.walk.speech_frames + (completed ? 1 : 0);
  walk.stop = p.walk.stop;
  walk.stop_offset = d.consumed + d.pending_size + p.missing + p.walk.end;
  return walk;
}

chunk_outcome chunk_decode(chunk_decoder& d, std::span<const uint8_t> chunk,
                           int16_t* out) noexcept {
  chunk_outcome outcome;
  const uint64_t given = d.consumed + d.pending_size + chunk.size();
  const chunk_plan p = plan(d, chunk);
  if (p.pending_grows) {
    std::copy(chunk.begin(), chunk.end(),
              d.pending.begin() + static_cast<ptrdiff_t>(d.pending_size));
    d.pending_size += chunk.size();
    return outcome;
  }
  sivo_walk_decoded decoded{0, 0, SIVO_OK};
  if (d.pending_size > 0) {
    std::copy_n(chunk.begin(), p.missing,
                d.pending.begin() + static_cast<ptrdiff_t>(d.pending_size));
    decoded =
        sivo_walk_decode(d.handle, d.pending.data(), d.pending_size + p.missing, nullptr, out);
  }
  if (decoded.status == SIVO_OK) {
    const sivo_walk_decoded rest = sivo_walk_decode(d.handle, chunk.data() + p.missing, p.walk.end,
                                                    nullptr, out + decoded.samples);
    decoded.samples += rest.samples;
    decoded.damaged_frames += rest.damaged_frames;
    decoded.status = rest.status;
  }
  outcome.samples = decoded.samples;
  outcome.status = decoded.status;
  d.damaged_frames += decoded.damaged_frames;
  if (p.walk.stop.status == SIVO_WALK_INVALID) {
    // No frame start can be found after an invalid type: the rest of the
    // chunk is skipped.
    outcome.fault = p.walk.stop;
    outcome.fault_offset = d.consumed + d.pending_size + p.missing + p.walk.end;
    d.pending_size = 0;
  } else {
    // A frame cut by the chunk's end waits; nothing waits after EMPTY.
    const std::span<const uint8_t> tail = chunk.subspan(p.missing + p.walk.end);
    std::copy(tail.begin(), tail.end(), d.pending.begin());
    d.pending_size = tail.size();
  }
  d.consumed = given - d.pending_size;
  return outcome;
}

chunk_outcome chunk_finish(chunk_decoder& d) noexcept {
  chunk_outcome outcome;
  if (d.pending_size == 0) return outcome;
  outcome.fault = sivo_walk_frame(d.pending.data(), d.pending_size);
  outcome.fault_offset = d.consumed;
  d.consumed += d.pending_size;
  d.pending_size = 0;
  return outcome;
}

}  // namespace sivo
