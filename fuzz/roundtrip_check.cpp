// One pass over every path that allocates or releases something: encoder and
// decoder handles at every rate with losses and resets, and WAV jobs that
// finish, stop early, fail at the start and fail half-way. Run under a leak
// checker; it exits non-zero when a call answers other than expected.
//
//   sivo_roundtrip_check <speech.raw> <scratch folder>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sivocore.h"
#include "sivowav.h"

namespace {

namespace fs = std::filesystem;

int failures = 0;

void expect(bool ok, const char* what) {
  if (!ok) {
    std::fprintf(stderr, "unexpected: %s\n", what);
    ++failures;
  }
}

void put16(std::string& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xff));
  s.push_back(static_cast<char>(v >> 8));
}

void put32(std::string& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

// A WAV file of `speech` repeated to `rate` by sample-and-hold, `channels`
// interleaved; `declared_extra` bytes are claimed beyond the data written.
std::string wav_file(const std::vector<int16_t>& speech, uint32_t rate, uint16_t channels,
                     size_t frames, uint32_t declared_extra = 0) {
  std::string data;
  for (size_t n = 0; n < frames; ++n) {
    const int16_t v = speech[(n * 8000 / rate) % speech.size()];
    for (int c = 0; c < channels; ++c) put16(data, static_cast<uint16_t>(v));
  }
  std::string fmt;
  put16(fmt, 1);
  put16(fmt, channels);
  put32(fmt, rate);
  put32(fmt, rate * channels * 2);
  put16(fmt, static_cast<uint16_t>(channels * 2));
  put16(fmt, 16);
  std::string body = "WAVEfmt ";
  put32(body, static_cast<uint32_t>(fmt.size()));
  body += fmt + "data";
  put32(body, static_cast<uint32_t>(data.size()) + declared_extra);
  body += data;
  std::string file = "RIFF";
  put32(file, static_cast<uint32_t>(body.size()));
  return file + body;
}

void codec_round_trip(const std::vector<int16_t>& speech) {
  for (int32_t rate = 0; rate < 4; ++rate) {
    sivo_encoder* enc = nullptr;
    sivo_decoder* dec = nullptr;
    expect(sivo_encoder_open(&enc) == SIVO_OK, "encoder open");
    expect(sivo_decoder_open(&dec) == SIVO_OK, "decoder open");
    expect(sivo_encoder_set_comp_rate(enc, rate) == SIVO_OK, "set rate");
    const size_t frames = speech.size() / SIVO_FRAME_SAMPLES;
    for (size_t f = 0; f < frames && f < 60; ++f) {
      uint8_t frame[SIVO_MAX_FRAME_BYTES];
      int16_t out[SIVO_FRAME_SAMPLES];
      int32_t type = 0, count = 0;
      expect(sivo_encode_frame(enc, speech.data() + f * SIVO_FRAME_SAMPLES, frame, &type,
                               &count) == SIVO_OK, "encode");
      const int32_t mode = f % 7 == 3 ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL;
      expect(sivo_decode_frame(dec, frame, out, mode, &type, &count) == SIVO_OK, "decode");
      if (f == 30) {
        expect(sivo_encoder_reset(enc) == SIVO_OK, "encoder reset");
        expect(sivo_decoder_reset(dec) == SIVO_OK, "decoder reset");
        expect(sivo_decoder_set_filter_mode(dec, 0) == SIVO_OK, "filter off");
      }
    }
    expect(sivo_encoder_close(&enc) == SIVO_OK, "encoder close");
    expect(sivo_decoder_close(&dec) == SIVO_OK, "decoder close");
  }
}

// Runs a job to its end and returns the last SivoCount result.
int32_t run_job(const std::string& in, const std::string& out, int32_t rate) {
  char message[800], title[25];
  if (SivoEncode(message, title, in.c_str(), out.c_str(), rate) != 1) return -100;
  for (int calls = 0; calls < 10000; ++calls) {
    const int32_t progress = SivoCount(message, title);
    if (progress < 0 || progress == 100) return progress;
  }
  return -200;
}

void wav_jobs(const std::vector<int16_t>& speech, const fs::path& dir) {
  auto write = [&](const char* name, const std::string& content) {
    const std::string path = (dir / name).string();
    std::ofstream(path, std::ios::binary) << content;
    return path;
  };
  const std::string out = (dir / "out.siv").string();
  char message[800], title[25];

  const std::string mono = write("mono8k.wav", wav_file(speech, 8000, 1, 240 * 25));
  expect(CheckWavFormat(message, title, mono.c_str()) == 1, "check mono");
  expect(run_job(mono, out, 1) == 100, "8000 Hz mono job");
  const std::string stereo = write("stereo44k.wav", wav_file(speech, 44100, 2, 1323 * 12));
  expect(run_job(stereo, out, 3) == 100, "44100 Hz stereo job");

  // Stopped half-way: the converter and the files are released by the stop.
  const std::string wide = write("stereo11k.wav", wav_file(speech, 11025, 2, 1323 * 15));
  expect(SivoEncode(message, title, wide.c_str(), out.c_str(), 2) == 1, "start 11025");
  expect(SivoCount(message, title) >= 0, "first block");
  expect(SivoStop() == 0, "stop");

  // Fails half-way: the data chunk claims more than the file holds.
  const std::string cut = write("cut16k.wav", wav_file(speech, 16000, 1, 480 * 12, 480 * 40));
  expect(run_job(cut, out, 0) == -1, "short read ends the job");

  // Fails at the start.
  const std::string bad = write("bad.wav", "RIFF\x04\0\0\0WAVE");
  expect(CheckWavFormat(message, title, bad.c_str()) == -1, "check refuses");
  expect(SivoEncode(message, title, bad.c_str(), out.c_str(), 0) == -1, "job refuses");
  expect(SivoEncode(message, title, (dir / "missing.wav").c_str(), out.c_str(), 0) == -1,
         "missing input");
  expect(SivoCount(message, title) == -2, "idle at the end");
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <speech.raw> <scratch folder>\n", argv[0]);
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  const std::string raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<int16_t> speech(raw.size() / 2);
  for (size_t i = 0; i < speech.size(); ++i) {
    speech[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) |
                                     (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
  }
  if (speech.size() < 8000) {
    std::fprintf(stderr, "%s: need at least 1 s of speech\n", argv[1]);
    return 2;
  }
  fs::create_directories(argv[2]);
  codec_round_trip(speech);
  wav_jobs(speech, argv[2]);
  std::printf("round trip: %s\n", failures == 0 ? "all calls answered as expected"
                                                  : "unexpected answers");
  return failures == 0 ? 0 : 1;
}
