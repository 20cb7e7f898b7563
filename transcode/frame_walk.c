/* The frame walker (see frame_walk.h). */
#include "frame_walk.h"

#include <inttypes.h>
#include <stdio.h>

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

sivo_walk_result sivo_walk_buffer(const uint8_t *data, size_t size, sivo_frame_span *frames,
                                  size_t max_frames) {
  sivo_walk_result result = {0, 0, 0, {SIVO_WALK_EMPTY, 0, 0, 0}};
  if (size == 0) return result;
  for (;;) {
    const sivo_walk_step step = sivo_walk_frame(data + result.end, size - result.end);
    if (step.status != SIVO_WALK_FRAME) {
      result.stop = step;
      return result;
    }
    if (result.frames < max_frames) {
      frames[result.frames].offset = result.end;
      frames[result.frames].length = step.length;
      frames[result.frames].type = step.type;
    }
    result.frames += 1;
    if (sivo_walk_is_speech(step.type)) result.speech_frames += 1;
    result.end += step.length;
  }
}

void sivo_split_payload(const uint8_t *data, size_t size, sivo_frame_span *frames,
                        size_t max_frames, size_t *frame_count, sivo_walk_status *fault,
                        size_t *fault_offset) {
  const sivo_walk_result walk = sivo_walk_buffer(data, size, frames, max_frames);
  const int clean = walk.stop.status == SIVO_WALK_EMPTY;
  *frame_count = walk.frames;
  *fault = clean ? SIVO_WALK_FRAME : walk.stop.status;
  *fault_offset = clean ? 0 : walk.end;
}

sivo_walk_decoded sivo_walk_decode(sivo_decoder *decoder, const uint8_t *data, size_t size,
                                   const uint8_t *lost, int16_t *out) {
  sivo_walk_decoded result = {0, 0, SIVO_OK};
  size_t offset = 0;
  for (size_t index = 0; offset < size; ++index) {
    const sivo_walk_step step = sivo_walk_frame(data + offset, size - offset);
    if (step.status != SIVO_WALK_FRAME) {
      result.status = SIVO_NOT_DECODABLE;
      break;
    }
    const uint8_t *frame = data + offset;
    offset += step.length;
    if (!sivo_walk_is_speech(step.type)) continue;
    const int32_t mode = lost != NULL && lost[index] ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL;
    int32_t type = 0;
    int32_t bytes = 0;
    const int32_t status =
        sivo_decode_frame(decoder, frame, out + result.samples, mode, &type, &bytes);
    if (status != SIVO_OK && status != SIVO_DAMAGED_FRAME) {
      result.status = status;
      break;
    }
    if (status == SIVO_DAMAGED_FRAME) result.damaged_frames += 1;
    result.samples += SIVO_FRAME_SAMPLES;
  }
  return result;
}

int sivo_walk_error_text(const sivo_walk_step *step, uint64_t offset, char *text, size_t size) {
  switch (step->status) {
    case SIVO_WALK_INVALID:
      return snprintf(text, size, "invalid frame type %d at byte offset %" PRIu64, step->type,
                      offset);
    case SIVO_WALK_NEED_MORE: {
      const size_t left = step->length - step->needed;
      return snprintf(
          text, size, "truncated frame at byte offset %" PRIu64 ": type %d needs %zu bytes, %zu %s",
          offset, step->type, step->length, left, left == 1 ? "byte remains" : "bytes remain");
    }
    case SIVO_WALK_FRAME:
    case SIVO_WALK_EMPTY:
      break;
  }
  return snprintf(text, size, "%s", "");
}

uint64_t sivo_frames_in_duration(uint64_t duration_ns) {
  if (duration_ns == 0) return 0;
  const uint64_t frames = (duration_ns + SIVO_FRAME_NS / 2) / SIVO_FRAME_NS;
  return frames == 0 ? 1 : frames;
}
