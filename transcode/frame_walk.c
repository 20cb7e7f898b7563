/* Frame walking over byte streams and RTP payloads (see frame_walk.h). */
#include "frame_walk.h"

#include "sivocore.h"

sivo_walk_step sivo_walk_frame(const uint8_t *data, size_t available) {
  sivo_walk_step step = {SIVO_WALK_EMPTY, 0, 0, 0};
  if (available == 0 || data == NULL) return step;
  step.type = data[0] & 7;
  int32_t type = 0;
  int32_t length = 0;
  if (sivo_decoder_get_frame_type(data, &type, &length) != SIVO_OK) {
    step.status = SIVO_WALK_INVALID;
    return step;
  }
  step.length = (size_t)length;
  if (step.length > available) {
    step.status = SIVO_WALK_NEED_MORE;
    step.needed = step.length - available;
    return step;
  }
  step.status = SIVO_WALK_FRAME;
  return step;
}

void sivo_split_payload(const uint8_t *data, size_t size, sivo_frame_span *frames,
                        size_t max_frames, size_t *frame_count, sivo_walk_status *fault,
                        size_t *fault_offset) {
  size_t offset = 0;
  size_t count = 0;
  *fault = SIVO_WALK_FRAME;
  *fault_offset = 0;
  while (offset < size) {
    const sivo_walk_step step = sivo_walk_frame(data + offset, size - offset);
    if (step.status != SIVO_WALK_FRAME) {
      *fault = step.status;
      *fault_offset = offset;
      break;
    }
    if (count < max_frames) {
      frames[count].offset = offset;
      frames[count].length = step.length;
      frames[count].type = step.type;
    }
    ++count;
    offset += step.length;
  }
  *frame_count = count;
}

uint64_t sivo_frames_in_duration(uint64_t duration_ns) {
  if (duration_ns == 0) return 0;
  const uint64_t frames = (duration_ns + SIVO_FRAME_NS / 2) / SIVO_FRAME_NS;
  return frames == 0 ? 1 : frames;
}
