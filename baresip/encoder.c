/* Encoder side of the module: baresip's audio, handed over in blocks of the
 * packet time, becomes RTP payloads of whole 30 ms frames back to back. A
 * block that ends inside a frame leaves the rest for the next call; nothing
 * is padded while the call lasts. */
#include <errno.h>
#include <string.h>

#include "sivo_baresip.h"
#include "sivocore.h"

/* Frames a state holds before they leave: a packet's worth less one, plus
 * the frames of baresip's largest block (60 ms at 48 kHz stereo, 5760
 * samples, 24 frames), with room to spare. */
#define kPendingFrames 32u

struct auenc_state {
  sivo_encoder *encoder;
  int16_t partial[SIVO_FRAME_SAMPLES]; /* the start of the next frame */
  size_t partial_samples;
  uint8_t pending[kPendingFrames * SIVO_MAX_FRAME_BYTES]; /* frames not yet sent */
  size_t pending_bytes;
  unsigned pending_frames;
  unsigned frames_per_packet;
  bool marker; /* baresip asked for a marker while no packet left */
};

unsigned sivo_frames_per_packet(uint32_t ptime_ms) {
  const uint32_t frames = ptime_ms / SIVO_FRAME_MS;
  if (frames < 1) return 1;
  return frames > SIVO_MAX_PACKET_FRAMES ? SIVO_MAX_PACKET_FRAMES : frames;
}

static void encoder_destructor(void *arg) {
  struct auenc_state *st = arg;
  if (st->encoder) sivo_encoder_close(&st->encoder);
}

int sivo_encoder_update(struct auenc_state **aesp, const struct aucodec *ac,
                        struct auenc_param *prm, const char *fmtp) {
  (void)fmtp;
  if (!aesp || !ac || !prm) return EINVAL;
  struct auenc_state *st = *aesp;
  if (!st) {
    st = mem_zalloc(sizeof(*st), encoder_destructor);
    if (!st) return ENOMEM;
    if (sivo_encoder_open(&st->encoder) != SIVO_OK ||
        sivo_encoder_set_comp_rate(st->encoder, sivo_module_settings.rate) != SIVO_OK) {
      mem_deref(st);
      return ENOMEM;
    }
    *aesp = st;
  }
  /* A stream update changes the packet size only: the frame in progress
   * and the frames waiting for their packet stay. baresip 1.0.0 sets the
   * packet time to the codec's own 30 ms after negotiating and hands that
   * back when it restarts the stream; it does not undo a longer packet time
   * the peer asked for. */
  const bool restated = st->frames_per_packet > 0 && prm->ptime == ac->ptime;
  const unsigned frames = sivo_frames_per_packet(prm->ptime);
  if (!restated && frames != st->frames_per_packet) {
    st->frames_per_packet = frames;
    info("sivo: encoder: rate %d, %u ms packets\n", sivo_module_settings.rate,
         frames * SIVO_FRAME_MS);
  }
  return 0;
}

/* [in] sampv  sampc samples, S16LE, 8000 Hz mono, continuing the last call's
 * [out] buf   *len bytes of room; receives whole frames when a packet's worth
 *             is ready, else nothing (*len 0) */
int sivo_encode(struct auenc_state *aes, bool *marker, uint8_t *buf, size_t *len, int fmt,
                const void *sampv, size_t sampc) {
  if (!aes || !buf || !len || (!sampv && sampc)) return EINVAL;
  if (fmt != AUFMT_S16LE) return ENOTSUP;
  const size_t new_frames = (aes->partial_samples + sampc) / SIVO_FRAME_SAMPLES;
  if (aes->pending_frames + new_frames > kPendingFrames) {
    warning("sivo: a block of %zu samples is more than the encoder holds (%u frames)\n", sampc,
            kPendingFrames);
    return ENOMEM;
  }
  const int16_t *in = sampv;
  while (sampc > 0) {
    size_t take = SIVO_FRAME_SAMPLES - aes->partial_samples;
    if (take > sampc) take = sampc;
    memcpy(aes->partial + aes->partial_samples, in, take * sizeof(int16_t));
    aes->partial_samples += take;
    in += take;
    sampc -= take;
    if (aes->partial_samples < SIVO_FRAME_SAMPLES) break;
    int32_t type = 0;
    int32_t bytes = 0;
    sivo_encode_frame(aes->encoder, aes->partial, aes->pending + aes->pending_bytes, &type, &bytes);
    aes->pending_bytes += (size_t)bytes;
    ++aes->pending_frames;
    aes->partial_samples = 0;
  }

  const bool wants_marker = marker && *marker;
  if (aes->pending_frames < aes->frames_per_packet) {
    *len = 0;
    if (wants_marker) aes->marker = true;
    return 0;
  }
  if (*len < aes->pending_bytes) {
    warning("sivo: %zu bytes of frames do not fit the packet's %zu\n", aes->pending_bytes, *len);
    return ENOMEM;
  }
  memcpy(buf, aes->pending, aes->pending_bytes);
  *len = aes->pending_bytes;
  if (marker) *marker = wants_marker || aes->marker;
  aes->marker = false;
  aes->pending_bytes = 0;
  aes->pending_frames = 0;
  return 0;
}
