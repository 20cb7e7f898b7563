/* sivoparse: splits a byte stream of compressed frames (a .siv file) into
 * frames by their first byte, and stamps each with its place in time. */
#include <gst/base/gstbaseparse.h>

#include "frame_walk.h"
#include "sivo_elements.h"

GST_DEBUG_CATEGORY_STATIC(sivo_parse_debug);
#define GST_CAT_DEFAULT sivo_parse_debug

typedef struct {
  GstBaseParse parent;
  guint64 speech_frames; /* speech frames pushed: the time of the next one */
  gboolean caps_sent;
} SivoParse;

typedef struct {
  GstBaseParseClass parent_class;
} SivoParseClass;

G_DEFINE_TYPE(SivoParse, sivo_parse, GST_TYPE_BASE_PARSE)
GST_ELEMENT_REGISTER_DEFINE(sivoparse, "sivoparse", GST_RANK_PRIMARY + 1, sivo_parse_get_type())

static GstStaticPadTemplate sink_template =
    GST_STATIC_PAD_TEMPLATE("sink", GST_PAD_SINK, GST_PAD_ALWAYS, GST_STATIC_CAPS("audio/x-sivo"));
static GstStaticPadTemplate src_template =
    GST_STATIC_PAD_TEMPLATE("src", GST_PAD_SRC, GST_PAD_ALWAYS, GST_STATIC_CAPS(SIVO_FRAMED_CAPS));

static gboolean sivo_parse_start(GstBaseParse *base) {
  SivoParse *self = (SivoParse *)base;
  self->speech_frames = 0;
  self->caps_sent = FALSE;
  gst_base_parse_set_min_frame_size(base, 1);
  return TRUE;
}

static GstFlowReturn sivo_parse_handle_frame(GstBaseParse *base, GstBaseParseFrame *frame,
                                             gint *skipsize) {
  SivoParse *self = (SivoParse *)base;
  GstMapInfo map;
  if (!gst_buffer_map(frame->buffer, &map, GST_MAP_READ)) return GST_FLOW_ERROR;
  const sivo_walk_step step = sivo_walk_frame(map.data, map.size);
  gst_buffer_unmap(frame->buffer, &map);
  *skipsize = 0;
  char text[SIVO_WALK_TEXT_BYTES];

  switch (step.status) {
    case SIVO_WALK_EMPTY:
      return GST_FLOW_OK;
    case SIVO_WALK_INVALID:
      sivo_walk_error_text(&step, frame->offset, text, sizeof text);
      GST_ELEMENT_ERROR(self, STREAM, DECODE, ("%s", text), (NULL));
      return GST_FLOW_ERROR;
    case SIVO_WALK_NEED_MORE:
      if (GST_BASE_PARSE_DRAINING(base)) {
        /* The stream ends inside a frame: what came before is kept. */
        sivo_walk_error_text(&step, frame->offset, text, sizeof text);
        GST_ELEMENT_WARNING(self, STREAM, DECODE, ("%s", text), (NULL));
        *skipsize = (gint)(step.length - step.needed);
        return GST_FLOW_OK;
      }
      gst_base_parse_set_min_frame_size(base, (guint)step.length);
      return GST_FLOW_OK;
    case SIVO_WALK_FRAME:
      break;
  }
  gst_base_parse_set_min_frame_size(base, 1);
  if (!self->caps_sent) {
    GstCaps *caps = gst_caps_from_string(SIVO_FRAMED_CAPS);
    gst_pad_set_caps(GST_BASE_PARSE_SRC_PAD(base), caps);
    gst_caps_unref(caps);
    self->caps_sent = TRUE;
  }
  return gst_base_parse_finish_frame(base, frame, (gint)step.length);
}

/* A speech frame lasts 30 ms; a reserved frame decodes to nothing and takes
 * no time, so the decoder sees no gap around it. */
static GstFlowReturn sivo_parse_pre_push_frame(GstBaseParse *base, GstBaseParseFrame *frame) {
  SivoParse *self = (SivoParse *)base;
  GstBuffer **target = frame->out_buffer ? &frame->out_buffer : &frame->buffer;
  *target = gst_buffer_make_writable(*target);
  guint8 first = 0;
  gst_buffer_extract(*target, 0, &first, 1);
  const gboolean speech = sivo_walk_is_speech(first & 7);
  GST_BUFFER_PTS(*target) = self->speech_frames * SIVO_FRAME_NS;
  GST_BUFFER_DTS(*target) = GST_BUFFER_PTS(*target);
  GST_BUFFER_DURATION(*target) = speech ? SIVO_FRAME_NS : 0;
  if (speech) ++self->speech_frames;
  return GST_FLOW_OK;
}

static void sivo_parse_class_init(SivoParseClass *klass) {
  GstElementClass *element_class = GST_ELEMENT_CLASS(klass);
  GstBaseParseClass *parse_class = GST_BASE_PARSE_CLASS(klass);

  gst_element_class_add_static_pad_template(element_class, &sink_template);
  gst_element_class_add_static_pad_template(element_class, &src_template);
  gst_element_class_set_static_metadata(element_class, "sivo frame parser", "Codec/Parser/Audio",
                                        "Splits a stream of sivo frames into frames", "sivo");

  parse_class->start = GST_DEBUG_FUNCPTR(sivo_parse_start);
  parse_class->handle_frame = GST_DEBUG_FUNCPTR(sivo_parse_handle_frame);
  parse_class->pre_push_frame = GST_DEBUG_FUNCPTR(sivo_parse_pre_push_frame);

  GST_DEBUG_CATEGORY_INIT(sivo_parse_debug, "sivoparse", 0, "sivo frame parser");
}

static void sivo_parse_init(SivoParse *self) {
  self->speech_frames = 0;
  self->caps_sent = FALSE;
}
