/* The frame walker: where each frame of a byte stream or an RTP payload
 * starts and ends, and the one text for a frame that cannot be walked. In
 * plain C, so that every route (the sivo program, Python, GStreamer, the
 * WebAssembly package, the fuzz targets) runs the same walk.
 *
 * A frame names its type in the low three bits of its first byte: types 0..3
 * are speech frames of 24, 31, 19 and 45 bytes (240 samples each), 6 and 7
 * reserved frames of 5 and 1 byte that decode to nothing, 4 and 5 invalid. */
#ifndef SIVO_FRAME_WALK_H
#define SIVO_FRAME_WALK_H

#include <stddef.h>
#include <stdint.h>

#include "sivocore.h"

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
 * [in] data       the first of `available` readable bytes (may be NULL when 0) */
sivo_walk_step sivo_walk_frame(const uint8_t *data, size_t available);

/* True for the speech types 0..3, which decode to 240 samples each. */
static inline int sivo_walk_is_speech(int type) { return type >= 0 && type <= 3; }

/* Where one frame of a buffer lies. */
typedef struct {
  size_t offset;
  size_t length;
  int type;
} sivo_frame_span;

/* What a walk over a buffer of frames found. */
typedef struct {
  size_t frames;        /* whole frames from byte 0 */
  size_t speech_frames; /* of those, speech frames */
  size_t end;           /* offset just after the last whole frame */
  sivo_walk_step stop;  /* the step at `end`: EMPTY when the frames fill the
                           buffer exactly, else INVALID or NEED_MORE */
} sivo_walk_result;

/* Walks data[0, size) frame by frame up to the first fault.
 * [out] frames  receives the spans of the first `max_frames` whole frames (may
 *               be NULL when max_frames is 0); later frames are walked and
 *               counted but not stored */
sivo_walk_result sivo_walk_buffer(const uint8_t *data, size_t size, sivo_frame_span *frames,
                                  size_t max_frames);

/* Splits an RTP payload of whole frames back to back (sivo_walk_buffer by
 * another name, with the result spread over out-parameters).
 * [out] frame_count the number of whole frames before the first fault
 * [out] fault       SIVO_WALK_FRAME when the payload ends exactly after its
 *                   last frame; otherwise the fault that stopped the walk at
 *                   byte `*fault_offset` (INVALID, or NEED_MORE for a frame
 *                   cut short by the payload's end) */
void sivo_split_payload(const uint8_t *data, size_t size, sivo_frame_span *frames,
                        size_t max_frames, size_t *frame_count, sivo_walk_status *fault,
                        size_t *fault_offset);

/* What decoding a buffer of frames gave. */
typedef struct {
  size_t samples;        /* samples written: 240 per speech frame decoded */
  size_t damaged_frames; /* speech frames the codec found damaged (concealed) */
  int32_t status;        /* SIVO_OK, or the first status other than OK and
                            SIVO_DAMAGED_FRAME, which ended the loop (SIVO_NOT_DECODABLE
                            where the bytes stop being whole frames) */
} sivo_walk_decoded;

/* Decodes the speech frames of data[0, size), which a walk found whole,
 * skipping the reserved ones.
 * [in]  lost  NULL, or one flag per frame walked (reserved frames included):
 *             a speech frame whose flag is nonzero is concealed as lost
 * [out] out   room for 240 samples per speech frame */
sivo_walk_decoded sivo_walk_decode(sivo_decoder *decoder, const uint8_t *data, size_t size,
                                   const uint8_t *lost, int16_t *out);

/* The text of a step that is not a whole frame, met `offset` bytes into the
 * stream, e.g.
 *   invalid frame type 5 at byte offset 48
 *   truncated frame at byte offset 48: type 3 needs 45 bytes, 12 bytes remain
 * (empty for FRAME and EMPTY). Writes at most `size` bytes, the terminating
 * NUL included, and returns the text's full length, as snprintf does. */
int sivo_walk_error_text(const sivo_walk_step *step, uint64_t offset, char *text, size_t size);

/* Room that any text of sivo_walk_error_text fits in. */
#define SIVO_WALK_TEXT_BYTES 128

/* The duration of `frames` 30 ms frames in nanoseconds, and the number of
 * whole 30 ms frames a duration in nanoseconds covers, rounded to nearest
 * (at least 1 for any positive duration). */
#define SIVO_FRAME_NS 30000000ull
uint64_t sivo_frames_in_duration(uint64_t duration_ns);

#ifdef __cplusplus
}
#endif

#endif
