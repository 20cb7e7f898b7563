/* The sivo GStreamer plugin: registers its five elements. */
#include "sivo_elements.h"

static gboolean plugin_init(GstPlugin *plugin) {
  gboolean ok = FALSE;
  ok |= GST_ELEMENT_REGISTER(sivoenc, plugin);
  ok |= GST_ELEMENT_REGISTER(sivodec, plugin);
  ok |= GST_ELEMENT_REGISTER(sivoparse, plugin);
  ok |= GST_ELEMENT_REGISTER(rtpsivopay, plugin);
  ok |= GST_ELEMENT_REGISTER(rtpsivodepay, plugin);
  return ok;
}

#define PACKAGE "sivo"
GST_PLUGIN_DEFINE(GST_VERSION_MAJOR, GST_VERSION_MINOR, sivo,
                  "Narrow-band speech codec: encoder, decoder, parser and RTP payload", plugin_init,
                  SIVO_PLUGIN_VERSION, "BSD", "sivo", "sivo")
