/* Frame walking: where each frame of a byte stream or an RTP payload starts
 * and ends, in plain C, so that every route (and the fuzz targets) runs the
 * same walk. */
#ifndef SIVO_FRAME_WALK_H
#define SIVO_FRAME_WALK_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* What the bytes at a position hold. */
typedef enum {
  SIVO_WALK_FRAME = 0,     /* a whole frame: type and length are set */
  SIVO_WALK_NEED_MORE = 1, /* a frame starts here but `needed` bytes are due */
  SIVO_WALK_INVALID = 2,   /* the first byte names type 4 or 5 */
  SIVO_WALK_EMPTY = 3      /* no byte at all */
} sivo_walk_status;

typedef struct {
  sivo_walk_status status;
  int type;      /* low three bits of the first byte (0 when EMPTY) */
  size_t length; /* bytes of the frame (FRAME, NEED_MORE); 0 otherwise */
  size_t needed; /* NEED_MORE: bytes the frame needs beyond `available` */
} sivo_walk_step;

/* Classifies the frame that starts at data[0], reading data[0] only.
 * [in] data       the first of `available` readable bytes (may be NULL when 0)
 * Types 0..3 are speech frames of 24, 31, 19 and 45 bytes, 6 and 7 reserved
 * frames of 5 and 1 byte, 4 and 5 invalid. */
sivo_walk_step sivo_walk_frame(const uint8_t *data, size_t available);

/* Splits an RTP payload of whole frames back to back.
 * [out] frames      receives up to `max_frames` (offset, length, type) entries
 * [out] frame_count the number of whole frames before the first fault
 * [out] fault       SIVO_WALK_FRAME when the payload ends exactly after its
 *                   last frame; otherwise the fault that stopped the walk at
 *                   byte `*fault_offset` (INVALID, or NEED_MORE for a frame
 *                   cut short by the payload's end)
 * Frames beyond `max_frames` are walked and counted but not stored. */
typedef struct {
  size_t offset;
  size_t length;
  int type;
} sivo_frame_span;

void sivo_split_payload(const uint8_t *data, size_t size, sivo_frame_span *frames,
                        size_t max_frames, size_t *frame_count, sivo_walk_status *fault,
                        size_t *fault_offset);

/* The duration of `frames` 30 ms frames in nanoseconds, and the number of
 * whole 30 ms frames a duration in nanoseconds covers, rounded to nearest
 * (at least 1 for any positive duration). */
#define SIVO_FRAME_NS 30000000ull
uint64_t sivo_frames_in_duration(uint64_t duration_ns);

#ifdef __cplusplus
}
#endif

#endif
