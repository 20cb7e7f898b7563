/* rtpsivodepay: splits RTP packets of whole frames back to back into frames,
 * each stamped 30 ms after the speech frame before it. */
#include <gst/rtp/gstrtpbasedepayload.h>
#include <gst/rtp/gstrtpbuffer.h>

#include "frame_walk.h"
#include "sivo_elements.h"

GST_DEBUG_CATEGORY_STATIC(sivo_rtp_depay_debug);
#define GST_CAT_DEFAULT sivo_rtp_depay_debug

typedef struct {
  GstRTPBaseDepayload parent;
} SivoRtpDepay;

typedef struct {
  GstRTPBaseDepayloadClass parent_class;
} SivoRtpDepayClass;

G_DEFINE_TYPE(SivoRtpDepay, sivo_rtp_depay, GST_TYPE_RTP_BASE_DEPAYLOAD)
GST_ELEMENT_REGISTER_DEFINE(rtpsivodepay, "rtpsivodepay", GST_RANK_SECONDARY,
                            sivo_rtp_depay_get_type())

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("application/x-rtp, media = (string) audio, clock-rate = (int) 8000, "
                    "encoding-name = (string) SIVO"));
static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(SIVO_FRAMED_CAPS));

static gboolean sivo_rtp_depay_set_caps(GstRTPBaseDepayload *base, GstCaps *caps) {
  (void)caps;
  base->clock_rate = 8000;
  GstCaps *out = gst_caps_from_string(SIVO_FRAMED_CAPS);
  const gboolean ok = gst_pad_set_caps(GST_RTP_BASE_DEPAYLOAD_SRCPAD(base), out);
  gst_caps_unref(out);
  return ok;
}

/* Frames are pushed one by one; a payload that breaks off in a bad frame
 * keeps the frames before it, and the decoder conceals the rest as lost. */
static GstBuffer *sivo_rtp_depay_process(GstRTPBaseDepayload *base, GstRTPBuffer *rtp) {
  const guint8 *payload = gst_rtp_buffer_get_payload(rtp);
  const gsize size = gst_rtp_buffer_get_payload_len(rtp);
  const GstClockTime pts = GST_BUFFER_PTS(rtp->buffer);
  sivo_frame_span room[SIVO_SPAN_ROOM];
  sivo_walk_result walk;
  sivo_frame_span *frames = sivo_split_frames(payload, size, room, &walk);
  guint64 speech = 0;
  GstFlowReturn flow = GST_FLOW_OK;
  for (size_t i = 0; i < walk.frames && flow == GST_FLOW_OK; ++i) {
    GstBuffer *frame =
        gst_rtp_buffer_get_payload_subbuffer(rtp, (guint)frames[i].offset, (guint)frames[i].length);
    const gboolean is_speech = sivo_walk_is_speech(frames[i].type);
    if (GST_CLOCK_TIME_IS_VALID(pts)) GST_BUFFER_PTS(frame) = pts + speech * SIVO_FRAME_NS;
    GST_BUFFER_DURATION(frame) = is_speech ? SIVO_FRAME_NS : 0;
    if (is_speech) ++speech;
    flow = gst_rtp_base_depayload_push(base, frame);
  }
  sivo_free_frames(frames, room);
  if (walk.stop.status != SIVO_WALK_EMPTY && flow == GST_FLOW_OK) {
    char text[SIVO_WALK_TEXT_BYTES];
    sivo_walk_error_text(&walk.stop, walk.end, text, sizeof text);
    GST_ELEMENT_WARNING(base, STREAM, DECODE,
                        ("%s, in the payload of RTP packet %u (timestamp %u); the rest of the "
                         "packet is dropped",
                         text, gst_rtp_buffer_get_seq(rtp), gst_rtp_buffer_get_timestamp(rtp)),
                        (NULL));
  }
  return NULL;
}

static void sivo_rtp_depay_class_init(SivoRtpDepayClass *klass) {
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  GstRTPBaseDepayloadClass *depay_class = GST_RTP_BASE_DEPAYLOAD_CLASS(klass);

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "RTP sivo depayloader",
                                        "Codec/Depayloader/Network/RTP",
                                        "Splits RTP packets into sivo frames", "sivo");
  depay_class->set_caps = GST_DEBUG_FUNCPTR(sivo_rtp_depay_set_caps);
  depay_class->process_rtp_packet = GST_DEBUG_FUNCPTR(sivo_rtp_depay_process);

  GST_DEBUG_CATEGORY_INIT(sivo_rtp_depay_debug, "rtpsivodepay", 0, "RTP sivo depayloader");
}

static void sivo_rtp_depay_init(SivoRtpDepay *self) { (void)self; }
