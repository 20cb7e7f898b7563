// Splits an arbitrary RTP payload into frames exactly as rtpsivopay and
// rtpsivodepay do (sivo_walk_buffer), and through sivo_split_payload, its
// other name. Promises: the frames follow one another from byte 0 without
// gaps, each as long as its first byte declares and inside the payload; the
// walk ends at the payload's end or at a fault that is what it says (type 4
// or 5, or a frame longer than the bytes left); a short output array only
// limits what is stored. The payload lives in a block of exactly its size,
// so a read one byte past it is caught by AddressSanitizer.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame_walk.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // The first byte sets how many frames the caller has room for.
  if (size == 0) return 0;
  const size_t room = data[0] % 8;
  const uint8_t* payload = data + 1;
  const size_t length = size - 1;

  std::vector<sivo_frame_span> frames(room + 1);
  const sivo_walk_result walk = sivo_walk_buffer(payload, length, frames.data(), room);

  // Walk again without room: the result does not depend on it.
  const sivo_walk_result again = sivo_walk_buffer(payload, length, nullptr, 0);
  FUZZ_CHECK(walk.frames == again.frames && walk.speech_frames == again.speech_frames &&
                 walk.end == again.end && walk.stop.status == again.stop.status,
             "the result depends on the room for frames");

  size_t offset = 0;
  size_t speech = 0;
  for (size_t i = 0; i < walk.frames && i < room; ++i) {
    const sivo_frame_span& f = frames[i];
    FUZZ_CHECK(f.offset == offset, "frames are not back to back");
    FUZZ_CHECK(f.length > 0 && f.offset + f.length <= length, "frame outside the payload");
    FUZZ_CHECK(f.type == (payload[f.offset] & 7), "frame type not its first byte's");
    FUZZ_CHECK(f.type != 4 && f.type != 5, "invalid type taken as a frame");
    speech += sivo_walk_is_speech(f.type) ? 1 : 0;
    offset += f.length;
  }
  FUZZ_CHECK(frames[room].offset == 0 && frames[room].length == 0, "wrote past the room given");
  if (walk.frames <= room) {
    FUZZ_CHECK(offset == walk.end && speech == walk.speech_frames, "the counts add up");
  }

  switch (walk.stop.status) {
    case SIVO_WALK_EMPTY:
      FUZZ_CHECK(walk.end == length, "payload not used up");
      break;
    case SIVO_WALK_INVALID: {
      FUZZ_CHECK(walk.end < length, "fault past the payload");
      const int type = payload[walk.end] & 7;
      FUZZ_CHECK(type == 4 || type == 5, "a valid type reported invalid");
      break;
    }
    case SIVO_WALK_NEED_MORE:
      FUZZ_CHECK(walk.end < length && walk.stop.length == walk.stop.needed + (length - walk.end),
                 "a whole frame reported cut short");
      break;
    case SIVO_WALK_FRAME:
      FUZZ_CHECK(false, "a walk stopped at a whole frame");
  }

  // sivo_split_payload says the same.
  size_t count = 0;
  size_t fault_offset = 0;
  sivo_walk_status fault = SIVO_WALK_FRAME;
  sivo_split_payload(payload, length, nullptr, 0, &count, &fault, &fault_offset);
  const bool clean = walk.stop.status == SIVO_WALK_EMPTY;
  FUZZ_CHECK(count == walk.frames && fault == (clean ? SIVO_WALK_FRAME : walk.stop.status) &&
                 fault_offset == (clean ? 0 : walk.end),
             "sivo_split_payload disagrees with the walk");
  return 0;
}
