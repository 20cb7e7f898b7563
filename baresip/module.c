/* The sivo audio codec for baresip: SIVO/8000, one channel, 30 ms frames.
 *
 * Config lines (baresip's `config` file), read when the module loads:
 *   sivo_rate        0|1|2|3   compression rate of every call (default 0)
 *   sivo_postfilter  yes|no    decoder post-filters (default yes) */
#include <errno.h>

#include "sivo_baresip.h"

struct sivo_settings sivo_module_settings = {0, true};

/* Reads the module's lines from the config; a value out of range stops the
 * module from loading, with a message naming the line. */
static int read_settings(struct sivo_settings *settings) {
  const struct conf *conf = conf_cur();
  if (!conf) return 0;
  struct pl value;
  if (conf_get(conf, "sivo_rate", &value) == 0) {
    if (value.l != 1 || value.p[0] < '0' || value.p[0] > '3') {
      warning("sivo: config line 'sivo_rate %r': the rate is 0, 1, 2 or 3\n", &value);
      return EINVAL;
    }
    settings->rate = value.p[0] - '0';
  }
  if (conf_get(conf, "sivo_postfilter", &value) == 0) {
    if (pl_strcasecmp(&value, "yes") == 0) {
      settings->postfilter = true;
    } else if (pl_strcasecmp(&value, "no") == 0) {
      settings->postfilter = false;
    } else {
      warning("sivo: config line 'sivo_postfilter %r': the value is yes or no\n", &value);
      return EINVAL;
    }
  }
  return 0;
}

static struct aucodec sivo_codec = {
    .name = "SIVO",
    .srate = 8000,
    .crate = 8000,
    .ch = 1,
    .pch = 1,
    /* baresip hands the encoder one frame per block; longer packets are
     * packed by the encoder from the negotiated packet time. */
    .ptime = SIVO_FRAME_MS,
    .encupdh = sivo_encoder_update,
    .ench = sivo_encode,
    .decupdh = sivo_decoder_update,
    .dech = sivo_decode,
    .plch = sivo_decode_lost,
};

static int module_init(void) {
  struct sivo_settings settings = {0, true};
  const int err = read_settings(&settings);
  if (err) return err;
  sivo_module_settings = settings;
  aucodec_register(baresip_aucodecl(), &sivo_codec);
  info("sivo: rate %d, post-filter %s\n", settings.rate, settings.postfilter ? "on" : "off");
  return 0;
}

static int module_close(void) {
  aucodec_unregister(&sivo_codec);
  return 0;
}

__attribute__((visibility("default"))) const struct mod_export exports = {
    "sivo",
    "audio codec",
    module_init,
    module_close,
};
