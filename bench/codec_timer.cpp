// Plain timing program for the peer comparison: encodes a headerless 8 kHz
// 16-bit little-endian file at one rate, or decodes a stream of frames, and
// reports the CPU time spent in the codec calls alone on stderr.
//
//   sivo_codec_timer encode RATE in.raw out.bit [REPEAT]
//   sivo_codec_timer decode POSTFILTER in.bit out.raw [REPEAT]
//
// REPEAT (default 1) runs the whole file that many times from a reset
// handle; the output holds the last run. The report line is
//   cpu_seconds=<s> audio_seconds=<s> frames=<n>
// with audio_seconds summed over the repeats.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <vector>

#include "buffer_codec.h"
#include "frame_walk.h"
#include "sivocore.h"

namespace {

double cpu_seconds() {
  timespec t{};
  clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + 1e-9 * static_cast<double>(t.tv_nsec);
}

bool read_file(const char* path, std::vector<uint8_t>& bytes) {
  std::FILE* f = std::fopen(path, "rb");
  if (!f) return false;
  uint8_t chunk[65536];
  std::size_t n;
  while ((n = std::fread(chunk, 1, sizeof chunk, f)) > 0) bytes.insert(bytes.end(), chunk, chunk + n);
  std::fclose(f);
  return true;
}

bool write_file(const char* path, const uint8_t* data, std::size_t size) {
  std::FILE* f = std::fopen(path, "wb");
  if (!f) return false;
  const bool ok = std::fwrite(data, 1, size, f) == size;
  return std::fclose(f) == 0 && ok;
}

int usage() {
  std::fprintf(stderr,
               "usage: sivo_codec_timer encode RATE in.raw out.bit [REPEAT]\n"
               "       sivo_codec_timer decode POSTFILTER in.bit out.raw [REPEAT]\n");
  return 2;
}

int encode(int rate, const std::vector<uint8_t>& input, const char* out_path, int repeat) {
  const std::size_t frames = input.size() / (2 * SIVO_FRAME_SAMPLES);
  std::vector<int16_t> samples(frames * SIVO_FRAME_SAMPLES);
  for (std::size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(input[2 * i] | (input[2 * i + 1] << 8));
  }
  std::vector<uint8_t> stream(frames * SIVO_MAX_FRAME_BYTES);
  std::size_t size = 0;
  sivo_encoder* enc = nullptr;
  if (sivo_encoder_open(&enc) != SIVO_OK || sivo_encoder_set_comp_rate(enc, rate) != SIVO_OK) {
    std::fprintf(stderr, "cannot open an encoder at rate %d\n", rate);
    return 1;
  }
  const double start = cpu_seconds();
  for (int r = 0; r < repeat; ++r) {
    sivo_encoder_reset(enc);
    size = sivo::encode_samples(enc, samples, false, stream.data());
  }
  const double spent = cpu_seconds() - start;
  sivo_encoder_close(&enc);
  if (!write_file(out_path, stream.data(), size)) {
    std::fprintf(stderr, "cannot write %s\n", out_path);
    return 1;
  }
  std::fprintf(stderr, "cpu_seconds=%.6f audio_seconds=%.3f frames=%zu\n", spent,
               0.03 * static_cast<double>(frames) * repeat, frames * repeat);
  return 0;
}

int decode(int postfilter, const std::vector<uint8_t>& stream, const char* out_path, int repeat) {
  // The output is allocated and touched before the clock starts, so that
  // the time is the frame calls' alone, not the growth of this buffer.
  // A frame the walker cannot take ends the stream.
  const sivo_walk_result walk = sivo_walk_buffer(stream.data(), stream.size(), nullptr, 0);
  std::vector<int16_t> samples(walk.speech_frames * SIVO_FRAME_SAMPLES);
  std::size_t produced = 0;
  sivo_decoder* dec = nullptr;
  if (sivo_decoder_open(&dec) != SIVO_OK ||
      sivo_decoder_set_filter_mode(dec, postfilter) != SIVO_OK) {
    std::fprintf(stderr, "cannot open a decoder with post-filter %d\n", postfilter);
    return 1;
  }
  std::size_t frames = 0;
  const double start = cpu_seconds();
  for (int r = 0; r < repeat; ++r) {
    sivo_decoder_reset(dec);
    produced = sivo_walk_decode(dec, stream.data(), walk.end, nullptr, samples.data()).samples;
    frames += produced / SIVO_FRAME_SAMPLES;
  }
  const double spent = cpu_seconds() - start;
  sivo_decoder_close(&dec);
  std::vector<uint8_t> bytes(2 * produced);
  for (std::size_t i = 0; i < produced; ++i) {
    const auto u = static_cast<uint16_t>(samples[i]);
    bytes[2 * i] = static_cast<uint8_t>(u & 0xff);
    bytes[2 * i + 1] = static_cast<uint8_t>(u >> 8);
  }
  if (!write_file(out_path, bytes.data(), bytes.size())) {
    std::fprintf(stderr, "cannot write %s\n", out_path);
    return 1;
  }
  std::fprintf(stderr, "cpu_seconds=%.6f audio_seconds=%.3f frames=%zu\n", spent,
               0.03 * static_cast<double>(frames), frames);
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5 || argc > 6) return usage();
  const bool encoding = std::strcmp(argv[1], "encode") == 0;
  if (!encoding && std::strcmp(argv[1], "decode") != 0) return usage();
  const int option = std::atoi(argv[2]);
  const int repeat = argc == 6 ? std::atoi(argv[5]) : 1;
  if (repeat < 1) return usage();
  std::vector<uint8_t> input;
  if (!read_file(argv[3], input)) {
    std::fprintf(stderr, "cannot read %s\n", argv[3]);
    return 1;
  }
  return encoding ? encode(option, input, argv[4], repeat) : decode(option, input, argv[4], repeat);
}
