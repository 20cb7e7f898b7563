/* The elements of the sivo GStreamer plugin: their types and shared caps. */
#ifndef SIVO_GST_ELEMENTS_H
#define SIVO_GST_ELEMENTS_H

#include <gst/gst.h>

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
