/* The elements of the sivo GStreamer plugin: their types and shared caps. */
#ifndef SIVO_GST_ELEMENTS_H
#define SIVO_GST_ELEMENTS_H

#include <gst/gst.h>

#include "frame_walk.h"

G_BEGIN_DECLS

/* A stream of compressed frames, one or more whole frames per buffer. Each
 * frame names its own rate in its first byte, so the caps carry no rate of
 * compression; `rate` is the sample rate of the decoded speech. */
#define SIVO_FRAMED_CAPS \
  "audio/x-sivo, framed = (boolean) true, rate = (int) 8000, channels = (int) 1"
/* The decoded or to-be-encoded speech. */
#define SIVO_RAW_CAPS                                                     \
  "audio/x-raw, format = (string) S16LE, layout = (string) interleaved, " \
  "rate = (int) 8000, channels = (int) 1"

/* Splits data[0, size) into whole frames with the frame walker, as both RTP
 * elements do: the spans go to `room` (SIVO_SPAN_ROOM of them, a usual
 * packet's worth) or, for more frames, to a block of their own; free the
 * result with sivo_free_frames. */
#define SIVO_SPAN_ROOM 64
static inline sivo_frame_span *sivo_split_frames(const guint8 *data, gsize size,
                                                 sivo_frame_span *room, sivo_walk_result *walk) {
  *walk = sivo_walk_buffer(data, size, room, SIVO_SPAN_ROOM);
  if (walk->frames <= SIVO_SPAN_ROOM) return room;
  sivo_frame_span *frames = g_new(sivo_frame_span, walk->frames);
  *walk = sivo_walk_buffer(data, size, frames, walk->frames);
  return frames;
}

static inline void sivo_free_frames(sivo_frame_span *frames, sivo_frame_span *room) {
  if (frames != room) g_free(frames);
}

GType sivo_enc_get_type(void);
GType sivo_dec_get_type(void);
GType sivo_parse_get_type(void);
GType sivo_rtp_pay_get_type(void);
GType sivo_rtp_depay_get_type(void);

GST_ELEMENT_REGISTER_DECLARE(sivoenc);
GST_ELEMENT_REGISTER_DECLARE(sivodec);
GST_ELEMENT_REGISTER_DECLARE(sivoparse);
GST_ELEMENT_REGISTER_DECLARE(rtpsivopay);
GST_ELEMENT_REGISTER_DECLARE(rtpsivodepay);

G_END_DECLS

#endif
