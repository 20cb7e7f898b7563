// Frames a byte stream that arrives in arbitrary pieces, as sivoparse does:
// it looks at the bytes gathered so far, takes a whole frame, waits for more
// when a frame is cut short, stops at an invalid type, and at the end keeps
// a frame cut short by the end of the stream out of the output.
// Promise: however the stream is cut into pieces, the frames and the reason
// for stopping are exactly those of walking the whole stream at once.
#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame_walk.h"
#include "fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  // Byte 0 seeds the sizes of the pieces; the rest is the stream.
  if (size == 0) return 0;
  uint32_t cut = data[0] | 1u;
  const uint8_t* stream = data + 1;
  const size_t length = size - 1;

  std::vector<sivo_frame_span> whole(length);
  const sivo_walk_result walk = sivo_walk_buffer(stream, length, whole.data(), whole.size());
  const size_t whole_count = walk.frames;
  const sivo_walk_status whole_fault =
      walk.stop.status == SIVO_WALK_EMPTY ? SIVO_WALK_FRAME : walk.stop.status;

  std::vector<uint8_t> gathered;  // bytes received and not yet framed
  size_t consumed = 0;            // stream offset of gathered[0]
  size_t received = 0;
  size_t count = 0;
  sivo_walk_status stop = SIVO_WALK_FRAME;
  for (;;) {
    const sivo_walk_step step = sivo_walk_frame(gathered.data(), gathered.size());
    if (step.status == SIVO_WALK_FRAME) {
      FUZZ_CHECK(count < whole_count, "more frames than in the whole stream");
      FUZZ_CHECK(whole[count].offset == consumed && whole[count].length == step.length &&
                     whole[count].type == step.type,
                 "a frame differs from the whole walk's");
      ++count;
      consumed += step.length;
      gathered.erase(gathered.begin(), gathered.begin() + static_cast<long>(step.length));
      continue;
    }
    if (step.status == SIVO_WALK_INVALID) {
      stop = SIVO_WALK_INVALID;
      break;
    }
    if (received == length) {  // draining
      stop = step.status == SIVO_WALK_EMPTY ? SIVO_WALK_FRAME : SIVO_WALK_NEED_MORE;
      break;
    }
    // Another piece: 1 to 64 bytes, from a small generator.
    cut = cut * 1103515245u + 12345u;
    size_t piece = 1 + (cut >> 16) % 64;
    if (piece > length - received) piece = length - received;
    gathered.insert(gathered.end(), stream + received, stream + received + piece);
    received += piece;
  }
  FUZZ_CHECK(count == whole_count, "fewer frames than in the whole stream");
  FUZZ_CHECK(stop == whole_fault, "stopped for another reason");
  if (stop != SIVO_WALK_FRAME) FUZZ_CHECK(consumed == walk.end, "stopped elsewhere");
  return 0;
}
