// Splits an arbitrary RTP payload into frames exactly as rtpsivodepay does.
// Promises: the frames follow one another from byte 0 without gaps, each as
// long as its first byte declares and inside the payload; the walk ends at
// the payload's end or at a fault that is what it says (type 4 or 5, or a
// frame longer than the bytes left); a short output array only limits what
// is stored. The payload lives in a block of exactly its size, so a read one
// byte past it is caught by AddressSanitizer.
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
  size_t count = 0;
  size_t fault_offset = 0;
  sivo_walk_status fault = SIVO_WALK_FRAME;
  sivo_split_payload(payload, length, frames.data(), room, &count, &fault, &fault_offset);

  // Walk again without room: the count and the fault do not depend on it.
  size_t count_again = 0;
  size_t fault_offset_again = 0;
  sivo_walk_status fault_again = SIVO_WALK_FRAME;
  sivo_split_payload(payload, length, nullptr, 0, &count_again, &fault_again, &fault_offset_again);
  FUZZ_CHECK(count == count_again && fault == fault_again && fault_offset == fault_offset_again,
             "the result depends on the room for frames");

  size_t offset = 0;
  for (size_t i = 0; i < count && i < room; ++i) {
    const sivo_frame_span& f = frames[i];
    FUZZ_CHECK(f.offset == offset, "frames are not back to back");
    FUZZ_CHECK(f.length > 0 && f.offset + f.length <= length, "frame outside the payload");
    FUZZ_CHECK(f.type == (payload[f.offset] & 7), "frame type not its first byte's");
    FUZZ_CHECK(f.type != 4 && f.type != 5, "invalid type taken as a frame");
    offset += f.length;
  }
  FUZZ_CHECK(frames[room].offset == 0 && frames[room].length == 0, "wrote past the room given");

  switch (fault) {
    case SIVO_WALK_FRAME:
      FUZZ_CHECK(fault_offset == 0, "fault offset without a fault");
      if (count <= room) FUZZ_CHECK(offset == length, "payload not used up");
      break;
    case SIVO_WALK_INVALID: {
      FUZZ_CHECK(fault_offset < length, "fault past the payload");
      const int type = payload[fault_offset] & 7;
      FUZZ_CHECK(type == 4 || type == 5, "a valid type reported invalid");
      break;
    }
    case SIVO_WALK_NEED_MORE: {
      FUZZ_CHECK(fault_offset < length, "fault past the payload");
      const sivo_walk_step step = sivo_walk_frame(payload + fault_offset, length - fault_offset);
      FUZZ_CHECK(step.status == SIVO_WALK_NEED_MORE &&
                     step.length == step.needed + (length - fault_offset),
                 "a whole frame reported cut short");
      break;
    }
    case SIVO_WALK_EMPTY:
      FUZZ_CHECK(false, "an empty walk reported as a fault");
  }
  if (fault != SIVO_WALK_FRAME && count <= room) {
    FUZZ_CHECK(offset == fault_offset, "fault not where the frames end");
  }
  return 0;
}
