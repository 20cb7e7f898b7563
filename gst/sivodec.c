/* sivodec: compressed frames in, 8 kHz 16-bit mono speech out, with every
 * missing 30 ms concealed by the codec's lost-frame decoding. */
#include <gst/audio/gstaudiodecoder.h>
#include <string.h>

#include "frame_walk.h"
#include "sivo_elements.h"
#include "sivocore.h"

GST_DEBUG_CATEGORY_STATIC(sivo_dec_debug);
#define GST_CAT_DEFAULT sivo_dec_debug

#define kFrameSamples SIVO_FRAME_SAMPLES
#define kFrameBytesOut (SIVO_FRAME_SAMPLES * 2)
/* A timestamp jump of more than half a frame is a gap to conceal. */
#define kGapTolerance (SIVO_FRAME_NS / 2)
/* Longer gaps (ten seconds) are a new start, not loss: resynchronise. */
#define kMaxConcealedFrames 333u

typedef struct {
  GstAudioDecoder parent;
  sivo_decoder *decoder;
  gboolean postfilter;  /* property; read under the object lock */
  GstClockTime next_ts; /* where the next frame should start */
  guint64 concealed;    /* frames made up for missing ones */
  guint64 damaged;      /* frames the codec found damaged */
  guint64 reserved;     /* reserved frames skipped */
  gint ending;          /* atomic: the base class is ending the stream */
} SivoDec;

typedef struct {
  GstAudioDecoderClass parent_class;
} SivoDecClass;

enum { PROP_0, PROP_POSTFILTER, PROP_CONCEALED, PROP_DAMAGED, PROP_RESERVED };

G_DEFINE_TYPE(SivoDec, sivo_dec, GST_TYPE_AUDIO_DECODER)
GST_ELEMENT_REGISTER_DEFINE(sivodec, "sivodec", GST_RANK_PRIMARY, sivo_dec_get_type())

static GstStaticPadTemplate sink_template = GST_STATIC_PAD_TEMPLATE(
    "sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(SIVO_FRAMED_CAPS));
static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(SIVO_RAW_CAPS));

static gboolean sivo_dec_start(GstAudioDecoder *base) {
  SivoDec *self = (SivoDec *)base;
  if (sivo_decoder_open(&self->decoder) != SIVO_OK) {
    GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("out of memory opening the decoder"), (NULL));
    return FALSE;
  }
  self->next_ts = GST_CLOCK_TIME_NONE;
  GST_OBJECT_LOCK(self);
  self->concealed = self->damaged = self->reserved = 0;
  GST_OBJECT_UNLOCK(self);
  return TRUE;
}

static gboolean sivo_dec_stop(GstAudioDecoder *base) {
  SivoDec *self = (SivoDec *)base;
  if (self->decoder) sivo_decoder_close(&self->decoder);
  self->decoder = NULL;
  return TRUE;
}

static gboolean sivo_dec_set_format(GstAudioDecoder *base, GstCaps *caps) {
  (void)caps;
  GstAudioInfo info;
  gst_audio_info_init(&info);
  gst_audio_info_set_format(&info, GST_AUDIO_FORMAT_S16LE, SIVO_SAMPLE_RATE, 1, NULL);
  gst_audio_decoder_set_plc_aware(base, TRUE);
  return gst_audio_decoder_set_output_format(base, &info);
}

/* A seek or flush starts a new signal; a mere discontinuity keeps the state
 * that conceals across it. */
static void sivo_dec_flush(GstAudioDecoder *base, gboolean hard) {
  SivoDec *self = (SivoDec *)base;
  if (hard && self->decoder) {
    sivo_decoder_reset(self->decoder);
    self->next_ts = GST_CLOCK_TIME_NONE;
  }
}

static void apply_postfilter(SivoDec *self) {
  GST_OBJECT_LOCK(self);
  const int32_t wanted = self->postfilter ? 1 : 0;
  GST_OBJECT_UNLOCK(self);
  int32_t mode = 0;
  sivo_decoder_get_filter_mode(self->decoder, &mode);
  if (mode != wanted) sivo_decoder_set_filter_mode(self->decoder, wanted);
}

/* Writes `count` concealed frames at `out`. */
static void conceal_frames(SivoDec *self, int16_t *out, guint64 count) {
  int32_t type = 0;
  int32_t length = 0;
  for (guint64 i = 0; i < count; ++i) {
    sivo_decode_frame(self->decoder, NULL, out + i * kFrameSamples, SIVO_DECODE_LOST, &type,
                      &length);
  }
  GST_OBJECT_LOCK(self);
  self->concealed += count;
  GST_OBJECT_UNLOCK(self);
}

/* Hands `frames` frames of output (or none) to the base class and moves the
 * expected start of the next frame past them. */
static GstFlowReturn finish(SivoDec *self, GstBuffer *out, GstClockTime start, guint64 frames) {
  if (GST_CLOCK_TIME_IS_VALID(start)) self->next_ts = start + frames * SIVO_FRAME_NS;
  if (out && frames == 0) {
    gst_buffer_unref(out);
    out = NULL;
  }
  return gst_audio_decoder_finish_frame(GST_AUDIO_DECODER(self), out, 1);
}

/* An empty buffer stands for `duration` of missing input (a GAP event or a
 * lost packet): one concealed frame per 30 ms. */
static GstFlowReturn conceal_gap(SivoDec *self, GstBuffer *buffer) {
  const GstClockTime duration = GST_BUFFER_DURATION(buffer);
  guint64 frames = GST_CLOCK_TIME_IS_VALID(duration) ? sivo_frames_in_duration(duration) : 1;
  if (frames > kMaxConcealedFrames) frames = kMaxConcealedFrames;
  if (frames == 0) return finish(self, NULL, GST_BUFFER_PTS(buffer), 0);
  GST_DEBUG_OBJECT(self, "concealing %" G_GUINT64_FORMAT " frames for a gap at %" GST_TIME_FORMAT,
                   frames, GST_TIME_ARGS(GST_BUFFER_PTS(buffer)));
  GstBuffer *out = gst_buffer_new_allocate(NULL, frames * kFrameBytesOut, NULL);
  GstMapInfo map;
  gst_buffer_map(out, &map, GST_MAP_WRITE);
  conceal_frames(self, (int16_t *)map.data, frames);
  gst_buffer_unmap(out, &map);
  return finish(self, out, GST_BUFFER_PTS(buffer), frames);
}

/* Frames missing before a buffer that starts at `ts`. */
static guint64 frames_missing_before(SivoDec *self, GstClockTime ts) {
  if (!GST_CLOCK_TIME_IS_VALID(ts) || !GST_CLOCK_TIME_IS_VALID(self->next_ts)) return 0;
  if (ts <= self->next_ts + kGapTolerance) return 0;
  const guint64 missing = sivo_frames_in_duration(ts - self->next_ts);
  if (missing > kMaxConcealedFrames) {
    GST_INFO_OBJECT(self, "%" GST_TIME_FORMAT " without input: starting afresh",
                    GST_TIME_ARGS(ts - self->next_ts));
    return 0;
  }
  return missing;
}

/* Names the bad frame by its stream offset when the buffer carries one, else
 * by its offset in the buffer and the buffer's time. */
static void report_bad_bytes(SivoDec *self, GstBuffer *buffer, const sivo_walk_result *walk) {
  char text[SIVO_WALK_TEXT_BYTES];
  if (GST_BUFFER_OFFSET_IS_VALID(buffer)) {
    sivo_walk_error_text(&walk->stop, GST_BUFFER_OFFSET(buffer) + walk->end, text, sizeof text);
    GST_ELEMENT_ERROR(self, STREAM, DECODE, ("%s", text), (NULL));
  } else {
    sivo_walk_error_text(&walk->stop, walk->end, text, sizeof text);
    GST_ELEMENT_ERROR(
        self, STREAM, DECODE,
        ("%s, in the buffer at %" GST_TIME_FORMAT, text, GST_TIME_ARGS(GST_BUFFER_PTS(buffer))),
        (NULL));
  }
}

/* [in] buffer  whole frames back to back (usually one), an empty buffer for
 *              missing input, or NULL when draining (nothing is held back). */
static GstFlowReturn sivo_dec_handle_frame(GstAudioDecoder *base, GstBuffer *buffer) {
  SivoDec *self = (SivoDec *)base;
  if (buffer == NULL) return GST_FLOW_OK;
  apply_postfilter(self);
  if (gst_buffer_get_size(buffer) == 0) return conceal_gap(self, buffer);

  GstMapInfo in;
  if (!gst_buffer_map(buffer, &in, GST_MAP_READ)) {
    GST_ELEMENT_ERROR(self, RESOURCE, READ, ("cannot read an input buffer"), (NULL));
    return GST_FLOW_ERROR;
  }
  /* The framing is checked before anything is decoded. */
  const sivo_walk_result walk = sivo_walk_buffer(in.data, in.size, NULL, 0);
  if (walk.stop.status != SIVO_WALK_EMPTY) {
    report_bad_bytes(self, buffer, &walk);
    gst_buffer_unmap(buffer, &in);
    return GST_FLOW_ERROR;
  }
  const guint64 speech = walk.speech_frames;
  GST_OBJECT_LOCK(self);
  self->reserved += walk.frames - walk.speech_frames;
  GST_OBJECT_UNLOCK(self);

  GstClockTime start = GST_BUFFER_PTS(buffer);
  const guint64 missing = frames_missing_before(self, start);
  if (missing > 0) {
    GST_DEBUG_OBJECT(self, "%" G_GUINT64_FORMAT " frames missing before %" GST_TIME_FORMAT, missing,
                     GST_TIME_ARGS(start));
    /* The output starts where the missing frames began. */
    start = self->next_ts;
    if (gst_buffer_is_writable(buffer)) GST_BUFFER_PTS(buffer) = start;
  }
  const guint64 frames = missing + speech;
  GstBuffer *out = NULL;
  if (frames > 0) {
    out = gst_buffer_new_allocate(NULL, frames * kFrameBytesOut, NULL);
    GstMapInfo map;
    gst_buffer_map(out, &map, GST_MAP_WRITE);
    int16_t *samples = (int16_t *)map.data;
    conceal_frames(self, samples, missing);
    const sivo_walk_decoded decoded =
        sivo_walk_decode(self->decoder, in.data, in.size, NULL, samples + missing * kFrameSamples);
    gst_buffer_unmap(out, &map);
    GST_OBJECT_LOCK(self);
    self->damaged += decoded.damaged_frames;
    GST_OBJECT_UNLOCK(self);
  }
  gst_buffer_unmap(buffer, &in);
  return finish(self, out, start, frames);
}

/* A lost packet reported straight to the decoder (no depayloader between)
 * is a gap of the packet's duration. */
static gboolean sivo_dec_sink_event(GstAudioDecoder *base, GstEvent *event) {
  SivoDec *self = (SivoDec *)base;
  if (GST_EVENT_TYPE(event) == GST_EVENT_EOS) {
    g_atomic_int_set(&self->ending, 1);
    const gboolean handled =
        GST_AUDIO_DECODER_CLASS(sivo_dec_parent_class)->sink_event(base, event);
    g_atomic_int_set(&self->ending, 0);
    return handled;
  }
  if (GST_EVENT_TYPE(event) == GST_EVENT_CUSTOM_DOWNSTREAM &&
      gst_event_has_name(event, "GstRTPPacketLost")) {
    const GstStructure *s = gst_event_get_structure(event);
    GstClockTime timestamp = GST_CLOCK_TIME_NONE;
    GstClockTime duration = GST_CLOCK_TIME_NONE;
    gst_structure_get_clock_time(s, "timestamp", &timestamp);
    gst_structure_get_clock_time(s, "duration", &duration);
    gst_event_unref(event);
    if (!GST_CLOCK_TIME_IS_VALID(timestamp)) return TRUE;
    event = gst_event_new_gap(timestamp, duration);
  }
  return GST_AUDIO_DECODER_CLASS(sivo_dec_parent_class)->sink_event(base, event);
}

/* At the end of a stream that gave no samples, the base class reports that
 * no frame could be decoded. Every frame this decoder refuses has already
 * been reported where it stood, so a stream that reaches its end without
 * samples held reserved frames only: valid, and decoded to nothing, as
 * `sivo decode` decodes it. That report is not passed on. */
static gboolean sivo_dec_post_message(GstElement *element, GstMessage *message) {
  SivoDec *self = (SivoDec *)element;
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR && GST_MESSAGE_SRC(message) ==
      GST_OBJECT(self) && g_atomic_int_get(&self->ending)) {
    GError *error = NULL;
    gst_message_parse_error(message, &error, NULL);
    const gboolean nothing_decoded =
        g_error_matches(error, GST_STREAM_ERROR, GST_STREAM_ERROR_DECODE);
    g_clear_error(&error);
    if (nothing_decoded) {
      GST_INFO_OBJECT(self, "the stream held no speech frames");
      gst_message_unref(message);
      return TRUE;
    }
  }
  return GST_ELEMENT_CLASS(sivo_dec_parent_class)->post_message(element, message);
}

static void sivo_dec_set_property(GObject *object, guint id, const GValue *value,
                                  GParamSpec *pspec) {
  SivoDec *self = (SivoDec *)object;
  switch (id) {
    case PROP_POSTFILTER:
      GST_OBJECT_LOCK(self);
      self->postfilter = g_value_get_boolean(value);
      GST_OBJECT_UNLOCK(self);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

static void sivo_dec_get_property(GObject *object, guint id, GValue *value, GParamSpec *pspec) {
  SivoDec *self = (SivoDec *)object;
  GST_OBJECT_LOCK(self);
  switch (id) {
    case PROP_POSTFILTER:
      g_value_set_boolean(value, self->postfilter);
      break;
    case PROP_CONCEALED:
      g_value_set_uint64(value, self->concealed);
      break;
    case PROP_DAMAGED:
      g_value_set_uint64(value, self->damaged);
      break;
    case PROP_RESERVED:
      g_value_set_uint64(value, self->reserved);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
  GST_OBJECT_UNLOCK(self);
}

static void install_counter(GObjectClass *object_class, guint id, const char *name,
                            const char *blurb) {
  g_object_class_install_property(object_class, id,
                                  g_param_spec_uint64(name, name, blurb, 0, G_MAXUINT64, 0,
                                                      G_PARAM_READABLE | G_PARAM_STATIC_STRINGS));
}

static void sivo_dec_class_init(SivoDecClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  GstAudioDecoderClass *decoder_class = GST_AUDIO_DECODER_CLASS(klass);

  object_class->set_property = sivo_dec_set_property;
  object_class->get_property = sivo_dec_get_property;
  g_object_class_install_property(
      object_class, PROP_POSTFILTER,
      g_param_spec_boolean("postfilter", "Post-filter",
                           "Apply the pitch and formant post-filters (off: plain synthesis)", TRUE,
                           G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING));
  install_counter(object_class, PROP_CONCEALED, "concealed-frames",
                  "Frames concealed for missing input since the start");
  install_counter(object_class, PROP_DAMAGED, "damaged-frames",
                  "Received frames found damaged and concealed since the start");
  install_counter(object_class, PROP_RESERVED, "reserved-frames",
                  "Reserved frames (types 6 and 7) skipped since the start");

  element_class->post_message = GST_DEBUG_FUNCPTR(sivo_dec_post_message);
  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "sivo speech decoder", "Codec/Decoder/Audio",
                                        "Decodes sivo frames into 8 kHz speech, concealing "
                                        "missing frames",
                                        "sivo");

  decoder_class->start = GST_DEBUG_FUNCPTR(sivo_dec_start);
  decoder_class->stop = GST_DEBUG_FUNCPTR(sivo_dec_stop);
  decoder_class->set_format = GST_DEBUG_FUNCPTR(sivo_dec_set_format);
  decoder_class->flush = GST_DEBUG_FUNCPTR(sivo_dec_flush);
  decoder_class->handle_frame = GST_DEBUG_FUNCPTR(sivo_dec_handle_frame);
  decoder_class->sink_event = GST_DEBUG_FUNCPTR(sivo_dec_sink_event);

  GST_DEBUG_CATEGORY_INIT(sivo_dec_debug, "sivodec", 0, "sivo speech decoder");
}

static void sivo_dec_init(SivoDec *self) {
  self->decoder = NULL;
  self->postfilter = TRUE;
  self->next_ts = GST_CLOCK_TIME_NONE;
  self->ending = 0;
  gst_audio_decoder_set_plc(GST_AUDIO_DECODER(self), TRUE);
  gst_audio_decoder_set_drainable(GST_AUDIO_DECODER(self), TRUE);
  gst_audio_decoder_set_needs_format(GST_AUDIO_DECODER(self), TRUE);
}
