/* rtpsivopay: packs whole frames back to back into RTP packets of a chosen
 * duration (30 ms per frame, 8000 Hz clock, dynamic payload type). */
#include <gst/base/gstadapter.h>
#include <gst/rtp/gstrtpbasepayload.h>
#include <gst/rtp/gstrtpbuffer.h>

#include "frame_walk.h"
#include "sivo_elements.h"

GST_DEBUG_CATEGORY_STATIC(sivo_rtp_pay_debug);
#define GST_CAT_DEFAULT sivo_rtp_pay_debug

typedef struct {
  GstRTPBasePayload parent;
  GstAdapter *pending;      /* frames waiting for their packet */
  GstClockTime pending_pts; /* time of the first pending frame */
  guint pending_frames;     /* speech frames pending (30 ms each) */
} SivoRtpPay;

typedef struct {
  GstRTPBasePayloadClass parent_class;
} SivoRtpPayClass;

G_DEFINE_TYPE(SivoRtpPay, sivo_rtp_pay, GST_TYPE_RTP_BASE_PAYLOAD)
GST_ELEMENT_REGISTER_DEFINE(rtpsivopay, "rtpsivopay", GST_RANK_SECONDARY, sivo_rtp_pay_get_type())

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(SIVO_FRAMED_CAPS));
static GstStaticPadTemplate src_template = GST_STATIC_PAD_TEMPLATE(
    "src", GST_PAD_SRC, GST_PAD_ALWAYS,
    GST_STATIC_CAPS("application/x-rtp, media = (string) audio, "
                    "payload = (int) " GST_RTP_PAYLOAD_DYNAMIC_STRING ", "
                    "clock-rate = (int) 8000, encoding-name = (string) SIVO"));

static gboolean sivo_rtp_pay_set_caps(GstRTPBasePayload *base, GstCaps *caps) {
  (void)caps;
  gst_rtp_base_payload_set_options(base, "audio", TRUE, "SIVO", 8000);
  return gst_rtp_base_payload_set_outcaps(base, NULL);
}

/* Speech frames per packet: the packet time asked for downstream (a=ptime),
 * else max-ptime, else one frame; never above max-ptime nor below min-ptime,
 * in whole 30 ms frames, at least one. */
static guint frames_per_packet(SivoRtpPay *self) {
  GstRTPBasePayload *base = GST_RTP_BASE_PAYLOAD(self);
  guint64 target = SIVO_FRAME_NS;
  if (base->ptime > 0) {
    target = base->ptime;
  } else if (base->max_ptime > 0) {
    target = (guint64)base->max_ptime;
  }
  if (base->max_ptime > 0 && (guint64)base->max_ptime < target) target = (guint64)base->max_ptime;
  if (base->min_ptime > target) target = base->min_ptime;
  const guint64 frames = target / SIVO_FRAME_NS;
  return frames == 0 ? 1 : (guint)frames;
}

static GstFlowReturn push_pending(SivoRtpPay *self) {
  const gsize size = gst_adapter_available(self->pending);
  if (size == 0) return GST_FLOW_OK;
  GstRTPBasePayload *base = GST_RTP_BASE_PAYLOAD(self);
  GstBuffer *packet = gst_rtp_base_payload_allocate_output_buffer(base, 0, 0, 0);
  packet = gst_buffer_append(packet, gst_adapter_take_buffer_fast(self->pending, size));
  GST_BUFFER_PTS(packet) = self->pending_pts;
  GST_BUFFER_DURATION(packet) = (GstClockTime)self->pending_frames * SIVO_FRAME_NS;
  self->pending_frames = 0;
  self->pending_pts = GST_CLOCK_TIME_NONE;
  return gst_rtp_base_payload_push(base, packet);
}

/* Queues one frame for the pending packet, sending that packet first when
 * the frame would not fit beside it, and the packet with the frame when it
 * holds enough speech. A frame that no packet within the MTU can hold is a
 * failure: sent anyway it would be cut or dropped on the way.
 * [in] frame  a region of one whole frame of `length` bytes, stamped `pts` */
static GstFlowReturn queue_frame(SivoRtpPay *self, GstBuffer *frame, gsize length, int type,
                                 GstClockTime pts, gsize room) {
  if (length > room) {
    GST_ELEMENT_ERROR(self, STREAM, ENCODE,
                      ("a frame of type %d (%" G_GSIZE_FORMAT " bytes) at %" GST_TIME_FORMAT
                       " does not fit a packet: the MTU of %u bytes leaves %" G_GSIZE_FORMAT
                       " bytes of payload",
                       type, length, GST_TIME_ARGS(pts),
                       GST_RTP_BASE_PAYLOAD_MTU(GST_RTP_BASE_PAYLOAD(self)), room),
                      (NULL));
    gst_buffer_unref(frame);
    return GST_FLOW_ERROR;
  }
  GstFlowReturn ret = GST_FLOW_OK;
  if (gst_adapter_available(self->pending) + length > room) ret = push_pending(self);
  if (gst_adapter_available(self->pending) == 0) self->pending_pts = pts;
  gst_adapter_push(self->pending, frame);
  if (sivo_walk_is_speech(type)) self->pending_frames += 1;
  if (ret == GST_FLOW_OK && self->pending_frames >= frames_per_packet(self)) {
    ret = push_pending(self);
  }
  return ret;
}

/* [in] buffer  whole frames back to back, stamped with the first one's time;
 *              split into packets frame by frame */
static GstFlowReturn sivo_rtp_pay_handle_buffer(GstRTPBasePayload *base, GstBuffer *buffer) {
  SivoRtpPay *self = (SivoRtpPay *)base;
  GstMapInfo map;
  if (!gst_buffer_map(buffer, &map, GST_MAP_READ)) {
    gst_buffer_unref(buffer);
    return GST_FLOW_ERROR;
  }
  /* Split as the depayloader splits a packet. */
  sivo_frame_span room[SIVO_SPAN_ROOM];
  sivo_walk_result walk;
  sivo_frame_span *frames = sivo_split_frames(map.data, map.size, room, &walk);
  gst_buffer_unmap(buffer, &map);
  if (walk.stop.status != SIVO_WALK_EMPTY) {
    char text[SIVO_WALK_TEXT_BYTES];
    sivo_walk_error_text(&walk.stop, walk.end, text, sizeof text);
    GST_ELEMENT_ERROR(
        self, STREAM, FORMAT,
        ("%s, in the buffer at %" GST_TIME_FORMAT, text, GST_TIME_ARGS(GST_BUFFER_PTS(buffer))),
        (NULL));
    sivo_free_frames(frames, room);
    gst_buffer_unref(buffer);
    return GST_FLOW_ERROR;
  }

  GstFlowReturn ret = GST_FLOW_OK;
  const GstClockTime pts = GST_BUFFER_PTS(buffer);
  const gsize payload_room = gst_rtp_buffer_calc_payload_len(GST_RTP_BASE_PAYLOAD_MTU(base), 0, 0);
  /* A packet holds frames contiguous in time. */
  const gboolean contiguous =
      !GST_CLOCK_TIME_IS_VALID(self->pending_pts) || !GST_CLOCK_TIME_IS_VALID(pts) ||
      self->pending_pts + (GstClockTime)self->pending_frames * SIVO_FRAME_NS == pts;
  if (!contiguous || GST_BUFFER_IS_DISCONT(buffer)) ret = push_pending(self);
  guint64 speech_before = 0;
  for (size_t i = 0; ret == GST_FLOW_OK && i < walk.frames; ++i) {
    const GstClockTime frame_pts =
        GST_CLOCK_TIME_IS_VALID(pts) ? pts + speech_before * SIVO_FRAME_NS : GST_CLOCK_TIME_NONE;
    GstBuffer *frame =
        gst_buffer_copy_region(buffer, GST_BUFFER_COPY_MEMORY, frames[i].offset, frames[i].length);
    ret = queue_frame(self, frame, frames[i].length, frames[i].type, frame_pts, payload_room);
    if (sivo_walk_is_speech(frames[i].type)) ++speech_before;
  }
  sivo_free_frames(frames, room);
  gst_buffer_unref(buffer);
  return ret;
}

static gboolean sivo_rtp_pay_sink_event(GstRTPBasePayload *base, GstEvent *event) {
  SivoRtpPay *self = (SivoRtpPay *)base;
  switch (GST_EVENT_TYPE(event)) {
    case GST_EVENT_EOS:
      push_pending(self);
      break;
    case GST_EVENT_FLUSH_STOP:
      gst_adapter_clear(self->pending);
      self->pending_frames = 0;
      self->pending_pts = GST_CLOCK_TIME_NONE;
      break;
    default:
      break;
  }
  return GST_RTP_BASE_PAYLOAD_CLASS(sivo_rtp_pay_parent_class)->sink_event(base, event);
}

static GstStateChangeReturn sivo_rtp_pay_change_state(GstElement *element,
                                                      GstStateChange transition) {
  SivoRtpPay *self = (SivoRtpPay *)element;
  const GstStateChangeReturn ret =
      GST_ELEMENT_CLASS(sivo_rtp_pay_parent_class)->change_state(element, transition);
  if (transition == GST_STATE_CHANGE_PAUSED_TO_READY) {
    gst_adapter_clear(self->pending);
    self->pending_frames = 0;
    self->pending_pts = GST_CLOCK_TIME_NONE;
  }
  return ret;
}

static void sivo_rtp_pay_finalize(GObject *object) {
  SivoRtpPay *self = (SivoRtpPay *)object;
  g_object_unref(self->pending);
  G_OBJECT_CLASS(sivo_rtp_pay_parent_class)->finalize(object);
}

static void sivo_rtp_pay_class_init(SivoRtpPayClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  GstRTPBasePayloadClass *pay_class = GST_RTP_BASE_PAYLOAD_CLASS(klass);

  object_class->finalize = sivo_rtp_pay_finalize;
  element_class->change_state = GST_DEBUG_FUNCPTR(sivo_rtp_pay_change_state);
  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "RTP sivo payloader",
                                        "Codec/Payloader/Network/RTP",
                                        "Packs sivo frames into RTP packets (max-ptime and the "
                                        "peer's ptime in multiples of 30 ms)",
                                        "sivo");
  pay_class->set_caps = GST_DEBUG_FUNCPTR(sivo_rtp_pay_set_caps);
  pay_class->handle_buffer = GST_DEBUG_FUNCPTR(sivo_rtp_pay_handle_buffer);
  pay_class->sink_event = GST_DEBUG_FUNCPTR(sivo_rtp_pay_sink_event);

  GST_DEBUG_CATEGORY_INIT(sivo_rtp_pay_debug, "rtpsivopay", 0, "RTP sivo payloader");
}

static void sivo_rtp_pay_init(SivoRtpPay *self) {
  self->pending = gst_adapter_new();
  self->pending_frames = 0;
  self->pending_pts = GST_CLOCK_TIME_NONE;
}
