// Native reference for the WebAssembly package's tests: encodes raw speech
// and decodes frame streams through the shared library, as the JavaScript
// interface promises to.
//
//   web_reference encode RATES in.raw out.bit
//       RATES is one rate (0..3) or a comma list used frame by frame in
//       turn; the last partial frame is padded with silence.
//   web_reference decode POSTFILTER LOSS_EVERY in.bit out.raw
//       POSTFILTER 0 or 1; with LOSS_EVERY k > 0, frames k-1, 2k-1, ... of
//       the stream are concealed as lost (speech frames only).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "sivocore.h"

namespace {

std::vector<uint8_t> read_all(const char* path) {
  std::vector<uint8_t> bytes;
  std::FILE* f = std::fopen(path, "rb");
  if (!f) {
    std::fprintf(stderr, "web_reference: cannot read %s\n", path);
    std::exit(1);
  }
  uint8_t chunk[65536];
  size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  return bytes;
}

void write_all(const char* path, const void* data, size_t size) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f || std::fwrite(data, 1, size, f) != size || std::fclose(f) != 0) {
    std::fprintf(stderr, "web_reference: cannot write %s\n", path);
    std::exit(1);
  }
}

int encode(const char* rates_text, const char* in, const char* out) {
  std::vector<int32_t> rates;
  for (const char* p = rates_text; *p != '\0'; ++p) {
    if (*p >= '0' && *p <= '3') rates.push_back(*p - '0');
  }
  const std::vector<uint8_t> raw = read_all(in);
  const size_t samples = raw.size() / 2;
  const size_t frames = (samples + SIVO_FRAME_SAMPLES - 1) / SIVO_FRAME_SAMPLES;
  std::vector<int16_t> pcm(frames * SIVO_FRAME_SAMPLES, 0);
  std::memcpy(pcm.data(), raw.data(), samples * 2);  // little-endian host
  std::vector<uint8_t> stream;
  sivo_encoder* enc = nullptr;
  if (rates.empty() || sivo_encoder_open(&enc) != SIVO_OK) return 2;
  for (size_t f = 0; f < frames; ++f) {
    uint8_t frame[SIVO_MAX_FRAME_BYTES];
    int32_t type = 0, bytes = 0;
    sivo_encoder_set_comp_rate(enc, rates[f % rates.size()]);
    sivo_encode_frame(enc, &pcm[f * SIVO_FRAME_SAMPLES], frame, &type, &bytes);
    stream.insert(stream.end(), frame, frame + bytes);
  }
  sivo_encoder_close(&enc);
  write_all(out, stream.data(), stream.size());
  return 0;
}

int decode(int postfilter, int loss_every, const char* in, const char* out) {
  const std::vector<uint8_t> stream = read_all(in);
  std::vector<int16_t> pcm;
  sivo_decoder* dec = nullptr;
  if (sivo_decoder_open(&dec) != SIVO_OK || sivo_decoder_set_filter_mode(dec, postfilter) != SIVO_OK)
    return 2;
  size_t at = 0;
  for (int frame = 0; at < stream.size(); ++frame) {
    int32_t type = 0, size = 0, bytes = 0;
    if (sivo_decoder_get_frame_type(&stream[at], &type, &size) != SIVO_OK ||
        at + static_cast<size_t>(size) > stream.size()) {
      std::fprintf(stderr, "web_reference: bad frame at byte %zu\n", at);
      return 1;
    }
    // Reserved frames are skipped without a call, as `sivo decode` skips
    // them (a call would advance the decoder's frame ring).
    if (type > 3) {
      at += static_cast<size_t>(size);
      continue;
    }
    const bool lost = loss_every > 0 && frame % loss_every == loss_every - 1;
    int16_t samples[SIVO_FRAME_SAMPLES];
    const int32_t status = sivo_decode_frame(dec, &stream[at], samples,
                                             lost ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL,
                                             &type, &bytes);
    if (status == SIVO_OK || status == SIVO_DAMAGED_FRAME) {
      pcm.insert(pcm.end(), samples, samples + SIVO_FRAME_SAMPLES);
    }
    at += static_cast<size_t>(size);  // a lost frame reports 0 bytes read
  }
  sivo_decoder_close(&dec);
  write_all(out, pcm.data(), pcm.size() * 2);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::strcmp(argv[1], "encode") == 0) return encode(argv[2], argv[3], argv[4]);
  if (argc == 6 && std::strcmp(argv[1], "decode") == 0)
    return decode(std::atoi(argv[2]), std::atoi(argv[3]), argv[4], argv[5]);
  std::fprintf(stderr,
               "usage: web_reference encode RATES in.raw out.bit\n"
               "       web_reference decode POSTFILTER LOSS_EVERY in.bit out.raw\n");
  return 2;
}
