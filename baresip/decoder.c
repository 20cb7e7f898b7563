/* Decoder side of the module: an RTP payload of whole frames back to back
 * becomes 240 samples per speech frame. Damaged frames are concealed by the
 * codec, reserved frames skipped, and a byte that starts no valid frame ends
 * the packet's frames with a warning; the call goes on. */
#include <errno.h>
#include <inttypes.h>

#include "frame_walk.h"
#include "sivo_baresip.h"
#include "sivocore.h"

/* Bad payloads reported one by one; later ones are only counted. */
#define kReportedFaults 5u

struct audec_state {
  sivo_decoder *decoder;
  unsigned packet_frames; /* speech frames of the last whole packet: a lost one's size */
  uint64_t decoded;       /* speech frames decoded */
  uint64_t concealed;     /* frames made up for lost packets and cut-off frames */
  uint64_t damaged;       /* frames the codec found damaged and concealed */
  uint64_t reserved;      /* reserved frames skipped */
  uint64_t faults;        /* payloads cut short by an invalid or truncated frame */
};

static void decoder_destructor(void *arg) {
  struct audec_state *st = arg;
  if (st->decoder) {
    info("sivo: decoder: %" PRIu64 " frames decoded, %" PRIu64 " concealed, %" PRIu64
         " damaged, %" PRIu64 " reserved skipped, %" PRIu64 " payloads cut short\n",
         st->decoded, st->concealed, st->damaged, st->reserved, st->faults);
    sivo_decoder_close(&st->decoder);
  }
}

int sivo_decoder_update(struct audec_state **adsp, const struct aucodec *ac, const char *fmtp) {
  (void)ac;
  (void)fmtp;
  if (!adsp) return EINVAL;
  if (*adsp) return 0; /* a stream update keeps the concealment state */
  struct audec_state *st = mem_zalloc(sizeof(*st), decoder_destructor);
  if (!st) return ENOMEM;
  if (sivo_decoder_open(&st->decoder) != SIVO_OK ||
      sivo_decoder_set_filter_mode(st->decoder, sivo_module_settings.postfilter ? 1 : 0) !=
          SIVO_OK) {
    mem_deref(st);
    return ENOMEM;
  }
  st->packet_frames = 1;
  *adsp = st;
  return 0;
}

/* Writes `count` concealed frames at `out`. */
static void conceal_frames(struct audec_state *st, int16_t *out, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    int32_t type = 0;
    int32_t length = 0;
    sivo_decode_frame(st->decoder, NULL, out + i * SIVO_FRAME_SAMPLES, SIVO_DECODE_LOST, &type,
                      &length);
  }
  st->concealed += count;
}

static void report_fault(struct audec_state *st, const sivo_walk_step *step, const uint8_t *buf,
                         size_t offset, size_t len) {
  ++st->faults;
  if (st->faults > kReportedFaults) return;
  if (step->status == SIVO_WALK_INVALID) {
    warning("sivo: invalid frame type %d (first byte 0x%02x) at byte %zu of a %zu-byte RTP "
            "payload; the rest of the packet is dropped\n",
            step->type, buf[offset], offset, len);
  } else {
    warning("sivo: truncated frame at byte %zu of a %zu-byte RTP payload: type %d needs %zu "
            "bytes, %zu remain; the rest of the packet is dropped\n",
            offset, len, step->type, step->length, len - offset);
  }
  if (st->faults == kReportedFaults) {
    warning("sivo: further bad payloads are counted, not reported\n");
  }
}

/* [in]  buf    len bytes: whole frames back to back
 * [out] sampv  *sampc samples of room; receives 240 per speech frame */
int sivo_decode(struct audec_state *ads, int fmt, void *sampv, size_t *sampc, bool marker,
                const uint8_t *buf, size_t len) {
  (void)marker;
  if (!ads || !sampv || !sampc || (!buf && len)) return EINVAL;
  if (fmt != AUFMT_S16LE) return ENOTSUP;
  int16_t *out = sampv;
  const size_t room = *sampc / SIVO_FRAME_SAMPLES;
  size_t frames = 0;
  size_t offset = 0;
  bool whole = true;
  while (offset < len) {
    const sivo_walk_step step = sivo_walk_frame(buf + offset, len - offset);
    if (step.status != SIVO_WALK_FRAME) {
      report_fault(ads, &step, buf, offset, len);
      whole = false;
      break;
    }
    if (step.type > 3) {
      ++ads->reserved;
    } else if (frames == room) {
      warning("sivo: an RTP payload of %zu bytes holds more frames than the %zu samples of "
              "room; the frames from byte %zu are dropped\n",
              len, *sampc, offset);
      whole = false;
      break;
    } else {
      int32_t type = 0;
      int32_t length = 0;
      const int32_t status = sivo_decode_frame(ads->decoder, buf + offset,
                                               out + frames * SIVO_FRAME_SAMPLES,
                                               SIVO_DECODE_NORMAL, &type, &length);
      if (status == SIVO_DAMAGED_FRAME) ++ads->damaged;
      ++frames;
    }
    offset += step.length;
  }
  ads->decoded += frames;
  if (whole) {
    if (frames > 0) ads->packet_frames = (unsigned)frames;
  } else if (frames < ads->packet_frames && frames < room) {
    /* The frames the cut-off part held are missing: conceal them as lost,
     * as many as a whole packet has. */
    size_t missing = ads->packet_frames - frames;
    if (missing > room - frames) missing = room - frames;
    conceal_frames(ads, out + frames * SIVO_FRAME_SAMPLES, missing);
    frames += missing;
  }
  *sampc = frames * SIVO_FRAME_SAMPLES;
  return 0;
}

/* baresip calls this once when packets went missing (before the payload in
 * buf, which it decodes next): one packet's worth of frames is concealed. */
int sivo_decode_lost(struct audec_state *ads, int fmt, void *sampv, size_t *sampc,
                     const uint8_t *buf, size_t len) {
  (void)buf;
  (void)len;
  if (!ads || !sampv || !sampc) return EINVAL;
  if (fmt != AUFMT_S16LE) return ENOTSUP;
  size_t frames = ads->packet_frames;
  if (frames > *sampc / SIVO_FRAME_SAMPLES) frames = *sampc / SIVO_FRAME_SAMPLES;
  conceal_frames(ads, sampv, frames);
  *sampc = frames * SIVO_FRAME_SAMPLES;
  return 0;
}
