/* The part of baresip's module interface that the sivo codec module uses,
 * declared as baresip 1.0.0 (Debian 12's baresip-core) defines it in its
 * include/baresip.h, which Debian does not ship. Every record and function
 * here must keep that release's layout and signature: the call tests load
 * the module into the real program and place calls through it.
 * libre's and librem's types (struct le, struct list, struct conf,
 * struct mod_export, enum aufmt) come from libre-dev and librem-dev. */
#ifndef SIVO_BARESIP_ABI_H
#define SIVO_BARESIP_ABI_H

#include <stdbool.h>
#include <stddef.h>
#include <stdint.h>

#include <re.h>
#include <rem_au.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Encoder parameters handed to auenc_update_h. */
struct auenc_param {
  uint32_t ptime;   /* packet time in ms (the peer's a=ptime, else the account's) */
  uint32_t bitrate; /* wanted bit rate in bit/s; 0 for automatic */
};

/* Codec states, defined by each codec module and allocated with mem_zalloc:
 * baresip releases them with mem_deref. */
struct auenc_state;
struct audec_state;
struct aucodec;

/* (Re)creates the encoder state; *aesp is NULL the first time, the existing
 * state when the stream is updated. */
typedef int(auenc_update_h)(struct auenc_state **aesp, const struct aucodec *ac,
                            struct auenc_param *prm, const char *fmtp);
/* Encodes `sampc` samples of format `fmt` (enum aufmt) into buf; *len holds
 * the room on entry and the payload length on return (0: send nothing). */
typedef int(auenc_encode_h)(struct auenc_state *aes, bool *marker, uint8_t *buf, size_t *len,
                            int fmt, const void *sampv, size_t sampc);
typedef int(audec_update_h)(struct audec_state **adsp, const struct aucodec *ac,
                            const char *fmtp);
/* Decodes one RTP payload; *sampc holds the room in samples on entry and the
 * samples written on return. */
typedef int(audec_decode_h)(struct audec_state *ads, int fmt, void *sampv, size_t *sampc,
                            bool marker, const uint8_t *buf, size_t len);
/* Called once when packets went missing before the payload in buf (which is
 * decoded by a dech call right after); *sampc as for dech. */
typedef int(audec_plc_h)(struct audec_state *ads, int fmt, void *sampv, size_t *sampc,
                         const uint8_t *buf, size_t len);

struct aucodec {
  struct le le;
  const char *pt;   /* static payload type, NULL for a dynamic one */
  const char *name; /* encoding name in the SDP */
  uint32_t srate;   /* audio sample rate */
  uint32_t crate;   /* RTP clock rate */
  uint8_t ch;       /* audio channels */
  uint8_t pch;      /* RTP channels */
  uint32_t ptime;   /* packet time in ms that the sender's audio is cut in (0: the account's) */
  const char *fmtp;
  auenc_update_h *encupdh;
  auenc_encode_h *ench;
  audec_update_h *decupdh;
  audec_decode_h *dech;
  audec_plc_h *plch;
  sdp_fmtp_enc_h *fmtp_ench;
  sdp_fmtp_cmp_h *fmtp_cmph;
};

void aucodec_register(struct list *aucodecl, struct aucodec *ac);
void aucodec_unregister(struct aucodec *ac);
struct list *baresip_aucodecl(void);

/* The configuration baresip was started with (the `config` file). */
struct conf *conf_cur(void);

/* baresip's log, with libre's format (%r prints a struct pl *, %m an errno). */
void debug(const char *fmt, ...);
void info(const char *fmt, ...);
void warning(const char *fmt, ...);

#ifdef __cplusplus
}
#endif

#endif
