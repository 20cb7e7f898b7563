/* sivoenc: 8 kHz 16-bit mono speech in, compressed frames out. */
#include <gst/audio/gstaudioencoder.h>
#include <string.h>

#include "sivo_elements.h"
#include "sivocore.h"

GST_DEBUG_CATEGORY_STATIC(sivo_enc_debug);
#define GST_CAT_DEFAULT sivo_enc_debug

#define kFrameSamples SIVO_FRAME_SAMPLES
#define kFrameBytesIn (SIVO_FRAME_SAMPLES * 2)
#define kDefaultRate 0

typedef struct {
  GstAudioEncoder parent;
  sivo_encoder *encoder;
  gint rate; /* compression rate of the next frame; read under the object lock */
} SivoEnc;

typedef struct {
  GstAudioEncoderClass parent_class;
} SivoEncClass;

enum { PROP_0, PROP_RATE };

G_DEFINE_TYPE(SivoEnc, sivo_enc, GST_TYPE_AUDIO_ENCODER)
GST_ELEMENT_REGISTER_DEFINE(sivoenc, "sivoenc", GST_RANK_SECONDARY, sivo_enc_get_type())

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS(SIVO_RAW_CAPS));
static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(SIVO_FRAMED_CAPS));

static gboolean sivo_enc_start(GstAudioEncoder *base) {
  SivoEnc *self = (SivoEnc *)base;
  if (sivo_encoder_open(&self->encoder) != SIVO_OK) {
    GST_ELEMENT_ERROR(self, RESOURCE, FAILED, ("out of memory opening the encoder"), (NULL));
    return FALSE;
  }
  return TRUE;
}

static gboolean sivo_enc_stop(GstAudioEncoder *base) {
  SivoEnc *self = (SivoEnc *)base;
  if (self->encoder) sivo_encoder_close(&self->encoder);
  self->encoder = NULL;
  return TRUE;
}

/* Every frame is 240 samples; the encoder holds one frame back before it can
 * code it, which is its whole latency. */
static gboolean sivo_enc_set_format(GstAudioEncoder *base, GstAudioInfo *info) {
  (void)info;
  gst_audio_encoder_set_frame_samples_min(base, kFrameSamples);
  gst_audio_encoder_set_frame_samples_max(base, kFrameSamples);
  gst_audio_encoder_set_frame_max(base, 1);
  const GstClockTime latency =
      gst_util_uint64_scale_int(kFrameSamples, GST_SECOND, SIVO_SAMPLE_RATE);
  gst_audio_encoder_set_latency(base, latency, latency);
  GstCaps *caps = gst_caps_from_string(SIVO_FRAMED_CAPS);
  const gboolean ok = gst_audio_encoder_set_output_format(base, caps);
  gst_caps_unref(caps);
  return ok;
}

/* [in] buffer  one frame of 240 samples, or fewer at the end of the stream
 *              (padded here with silence), or NULL when draining. */
static GstFlowReturn sivo_enc_handle_frame(GstAudioEncoder *base, GstBuffer *buffer) {
  SivoEnc *self = (SivoEnc *)base;
  if (buffer == NULL) return GST_FLOW_OK; /* nothing is held back between calls */

  int16_t samples[kFrameSamples];
  memset(samples, 0, sizeof samples);
  const gsize got = gst_buffer_extract(buffer, 0, samples, sizeof samples);
  for (gsize i = 0; i < got / 2; ++i) samples[i] = GINT16_FROM_LE(samples[i]);

  GST_OBJECT_LOCK(self);
  const gint rate = self->rate;
  GST_OBJECT_UNLOCK(self);
  sivo_encoder_set_comp_rate(self->encoder, rate);

  uint8_t frame[SIVO_MAX_FRAME_BYTES];
  int32_t type = 0;
  int32_t length = 0;
  sivo_encode_frame(self->encoder, samples, frame, &type, &length);
  if (got < kFrameBytesIn) {
    GST_DEBUG_OBJECT(self, "last frame: %" G_GSIZE_FORMAT " samples padded with silence", got / 2);
  }
  GstBuffer *out = gst_buffer_new_memdup(frame, (gsize)length);
  return gst_audio_encoder_finish_frame(base, out, (gint)(got / 2));
}

static void sivo_enc_set_property(GObject *object, guint id, const GValue *value,
                                  GParamSpec *pspec) {
  SivoEnc *self = (SivoEnc *)object;
  switch (id) {
    case PROP_RATE:
      GST_OBJECT_LOCK(self);
      self->rate = g_value_get_int(value);
      GST_OBJECT_UNLOCK(self);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

static void sivo_enc_get_property(GObject *object, guint id, GValue *value, GParamSpec *pspec) {
  SivoEnc *self = (SivoEnc *)object;
  switch (id) {
    case PROP_RATE:
      GST_OBJECT_LOCK(self);
      g_value_set_int(value, self->rate);
      GST_OBJECT_UNLOCK(self);
      break;
    default:
      G_OBJECT_WARN_INVALID_PROPERTY_ID(object, id, pspec);
  }
}

static void sivo_enc_class_init(SivoEncClass *klass) {
  GObjectClass *object_class = G_OBJECT_CLASS(klass);
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  GstAudioEncoderClass *encoder_class = GST_AUDIO_ENCODER_CLASS(klass);

  object_class->set_property = sivo_enc_set_property;
  object_class->get_property = sivo_enc_get_property;
  g_object_class_install_property(
      object_class, PROP_RATE,
      g_param_spec_int("rate", "Compression rate",
                       "Compression rate of the next frame: 0 (24-byte frames, 6400 bit/s), "
                       "1 (31 bytes, 8266.7 bit/s), 2 (19 bytes, 5066.7 bit/s), "
                       "3 (45 bytes, 12000 bit/s); may change while playing",
                       0, 3, kDefaultRate,
                       G_PARAM_READWRITE | G_PARAM_STATIC_STRINGS | GST_PARAM_MUTABLE_PLAYING));

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "sivo speech encoder", "Codec/Encoder/Audio",
                                        "Encodes 8 kHz speech into sivo frames", "sivo");

  encoder_class->start = GST_DEBUG_FUNCPTR(sivo_enc_start);
  encoder_class->stop = GST_DEBUG_FUNCPTR(sivo_enc_stop);
  encoder_class->set_format = GST_DEBUG_FUNCPTR(sivo_enc_set_format);
  encoder_class->handle_frame = GST_DEBUG_FUNCPTR(sivo_enc_handle_frame);

  GST_DEBUG_CATEGORY_INIT(sivo_enc_debug, "sivoenc", 0, "sivo speech encoder");
}

static void sivo_enc_init(SivoEnc *self) {
  self->encoder = NULL;
  self->rate = kDefaultRate;
}
