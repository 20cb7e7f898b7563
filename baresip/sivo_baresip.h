/* The sivo codec module for baresip: the codec record's handlers and the
 * settings they read. */
#ifndef SIVO_BARESIP_H
#define SIVO_BARESIP_H

#include "baresip_abi.h"

/* Settings from baresip's config, read once when the module loads. */
struct sivo_settings {
  int32_t rate;    /* sivo_rate: compression rate 0..3 of every encoder */
  bool postfilter; /* sivo_postfilter: pitch and formant post-filters on */
};
extern struct sivo_settings sivo_module_settings;

/* 30 ms frames: packets carry 1 frame by default and up to this many when the
 * peer asks for a longer packet time (a=ptime 60, 90, 120). */
#define SIVO_MAX_PACKET_FRAMES 4u
#define SIVO_FRAME_MS 30u

/* Encoder: whole frames back to back, frames_per_packet(ptime) to a packet. */
unsigned sivo_frames_per_packet(uint32_t ptime_ms);
int sivo_encoder_update(struct auenc_state **aesp, const struct aucodec *ac,
                        struct auenc_param *prm, const char *fmtp);
int sivo_encode(struct auenc_state *aes, bool *marker, uint8_t *buf, size_t *len, int fmt,
                const void *sampv, size_t sampc);

/* Decoder: payloads split into frames by their first byte; lost packets
 * concealed by the codec's lost-frame decoding. */
int sivo_decoder_update(struct audec_state **adsp, const struct aucodec *ac, const char *fmtp);
int sivo_decode(struct audec_state *ads, int fmt, void *sampv, size_t *sampc, bool marker,
                const uint8_t *buf, size_t len);
int sivo_decode_lost(struct audec_state *ads, int fmt, void *sampv, size_t *sampc,
                     const uint8_t *buf, size_t len);

#endif
