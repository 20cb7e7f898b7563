// Writes the fuzz targets' seed corpora from real speech: frame streams of
// every rate for the decoder target, sample records for the encoder target
// and WAV files of every accepted rate (plus malformed variants) for the WAV
// target. Deterministic, so the committed seeds can be made again:
//
//   sivo_make_corpus <speech.raw> <corpus folder>
//
// The speech is 8000 Hz 16-bit little-endian without a header.
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "sivocore.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::string;

constexpr int kFrame = SIVO_FRAME_SAMPLES;
constexpr int kAcceptedRates[] = {8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000};
constexpr int kBlockLength[] = {240, 1323, 480, 1323, 720, 960, 1323, 1440};

void put16(bytes& s, uint16_t v) {
  s.push_back(static_cast<char>(v & 0xff));
  s.push_back(static_cast<char>(v >> 8));
}

void put32(bytes& s, uint32_t v) {
  for (int i = 0; i < 4; ++i) s.push_back(static_cast<char>((v >> (8 * i)) & 0xff));
}

void write(const fs::path& path, const bytes& content) {
  std::ofstream(path, std::ios::binary) << content;
}

std::vector<int16_t> read_speech(const char* path) {
  std::ifstream in(path, std::ios::binary);
  const bytes raw{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
  std::vector<int16_t> s(raw.size() / 2);
  for (size_t i = 0; i < s.size(); ++i) {
    s[i] = static_cast<int16_t>(static_cast<uint8_t>(raw[2 * i]) |
                                (static_cast<uint8_t>(raw[2 * i + 1]) << 8));
  }
  return s;
}

// Encodes `frames` frames of speech from `first` with the rate sequence
// `rates` (cycled), returning the frames.
std::vector<bytes> encode(const std::vector<int16_t>& speech, size_t first, int frames,
                          const std::vector<int>& rates) {
  sivo_encoder* enc = nullptr;
  sivo_encoder_open(&enc);
  std::vector<bytes> out;
  for (int f = 0; f < frames; ++f) {
    sivo_encoder_set_comp_rate(enc, rates[f % rates.size()]);
    uint8_t frame[SIVO_MAX_FRAME_BYTES];
    int32_t type = 0, count = 0;
    sivo_encode_frame(enc, speech.data() + first + static_cast<size_t>(f) * kFrame, frame,
                      &type, &count);
    out.emplace_back(reinterpret_cast<const char*>(frame), static_cast<size_t>(count));
  }
  sivo_encoder_close(&enc);
  return out;
}

// Decoder target input: filter byte, then records of control byte + frame.
void decoder_seeds(const std::vector<int16_t>& speech, const fs::path& dir) {
  for (int rate = 0; rate < 4; ++rate) {
    bytes s(1, '\1');
    for (const bytes& f : encode(speech, 2400, 12, {rate})) s += '\0' + f;
    write(dir / ("rate" + std::to_string(rate)), s);
  }
  // Mixed rates, without post-filters.
  {
    bytes s(1, '\0');
    for (const bytes& f : encode(speech, 4800, 12, {0, 1, 2, 3, 3, 1})) s += '\0' + f;
    write(dir / "mixed_rates", s);
  }
  // Losses, missing frames, refused modes, filter switches and reserved types
  // between good frames.
  {
    const std::vector<bytes> frames = encode(speech, 7200, 10, {1, 3});
    bytes s(1, '\1');
    // Lost, missing, refused, lost with filter off, lost with filter on.
    const char controls[] = {'\1', '\2', '\3', '\x15', '\x35'};
    for (size_t i = 0; i < frames.size(); ++i) {
      s += '\0' + frames[i];
      s += controls[i % 5];
    }
    s += '\0';
    s += bytes("\x06\x11\x22\x33\x44", 5);  // type 6, 5 bytes
    s += '\0';
    s += '\x07';  // type 7
    s += '\0';
    s += '\x0c';  // type 4
    s += '\xf9';  // reset, then a lost frame
    write(dir / "losses_and_modes", s);
  }
}

// Encoder target input: records of control byte + 480 sample bytes.
void encoder_seeds(const std::vector<int16_t>& speech, const fs::path& dir) {
  auto record = [&](uint8_t control, size_t first) {
    bytes s(1, static_cast<char>(control));
    for (int n = 0; n < kFrame; ++n) put16(s, static_cast<uint16_t>(speech[first + n]));
    return s;
  };
  for (int rate = 0; rate < 4; ++rate) {
    bytes s;
    for (int f = 0; f < 4; ++f) s += record(static_cast<uint8_t>(rate | 4), 3000 + 240 * f);
    write(dir / ("speech_rate" + std::to_string(rate)), s);
  }
  // Shapes: extremes, DC at the negative limit, square wave at full scale,
  // silence; each at a different rate, filter off for two of them.
  bytes shapes;
  shapes += record(0x08 | 3, 9000);                       // extremes from speech bits
  bytes dc(1, static_cast<char>(0x10 | 1));
  dc += bytes("\x00\x80", 2) + bytes(2 * kFrame - 2, '\0');  // -32768
  shapes += dc;
  bytes square(1, static_cast<char>(0x18 | 4 | 2));
  square += bytes("\x13\xff\x7f\x00\x80", 5) + bytes(2 * kFrame - 5, '\0');
  shapes += square;
  shapes += bytes(1, '\x04') + bytes(2 * kFrame, '\0');   // silence
  write(dir / "shapes", shapes);
}

bytes chunk(const char* id, const bytes& body, int64_t declared = -1) {
  bytes s(id, 4);
  put32(s, declared < 0 ? static_cast<uint32_t>(body.size()) : static_cast<uint32_t>(declared));
  s += body;
  if (body.size() % 2 != 0) s.push_back('\0');
  return s;
}

bytes fmt_body(uint16_t tag, uint16_t channels, uint32_t rate, uint16_t bits_field,
               size_t body_size = 16) {
  bytes s;
  put16(s, tag);
  put16(s, channels);
  put32(s, rate);
  put32(s, rate * channels * 2u);
  put16(s, static_cast<uint16_t>(channels * 2));
  put16(s, bits_field);
  s.resize(body_size, '\0');
  return s;
}

// Speech brought to `rate` by linear interpolation, `channels` interleaved
// (the second channel at half level).
bytes pcm(const std::vector<int16_t>& speech, int rate, int channels, int frames) {
  bytes s;
  for (int n = 0; n < frames; ++n) {
    const double t = 8000.0 * n / rate;
    const size_t i = static_cast<size_t>(t);
    const double a = t - static_cast<double>(i);
    const double v = (1.0 - a) * speech[10000 + i] + a * speech[10001 + i];
    put16(s, static_cast<uint16_t>(static_cast<int16_t>(v)));
    if (channels == 2) put16(s, static_cast<uint16_t>(static_cast<int16_t>(v / 2)));
  }
  return s;
}

bytes riff(const bytes& chunks) { return chunk("RIFF", "WAVE" + chunks); }

void wav_seeds(const std::vector<int16_t>& speech, const fs::path& dir) {
  // Byte 34 (bits per sample, not read) selects the job's rate: 16 + rate.
  for (size_t r = 0; r < std::size(kAcceptedRates); ++r) {
    for (int channels = 1; channels <= 2; ++channels) {
      const int frames = kBlockLength[r] + 17;  // one block and a bit
      const uint16_t bits = static_cast<uint16_t>(16 + (r + channels) % 4);
      write(dir / ("rate" + std::to_string(kAcceptedRates[r]) + "_ch" + std::to_string(channels)),
            riff(chunk("fmt ", fmt_body(1, static_cast<uint16_t>(channels),
                                        static_cast<uint32_t>(kAcceptedRates[r]), bits)) +
                 chunk("data", pcm(speech, kAcceptedRates[r], channels, frames))));
    }
  }
  const bytes fmt8k = chunk("fmt ", fmt_body(1, 1, 8000, 16));
  const bytes data8k = chunk("data", pcm(speech, 8000, 1, 480));
  // Eleven blocks: more than one progress call; the variant stops early.
  write(dir / "long_8000", riff(fmt8k + chunk("data", pcm(speech, 8000, 1, 240 * 11))));
  write(dir / "long_8000_stop",
        riff(chunk("fmt ", fmt_body(1, 1, 8000, 16 | 4)) +
             chunk("data", pcm(speech, 8000, 1, 240 * 11))));
  // Chunk layouts the reader must walk.
  write(dir / "list_before_fmt", riff(chunk("LIST", "INFOISFT" + bytes("\x05\0\0\0sivo\0", 9)) +
                                      fmt8k + data8k));
  write(dir / "odd_chunk_between", riff(fmt8k + chunk("junk", "abc") + data8k));
  write(dir / "fmt_18_bytes", riff(chunk("fmt ", fmt_body(1, 1, 8000, 16, 18)) + data8k));
  write(dir / "fmt_odd_size", riff(chunk("fmt ", fmt_body(1, 1, 16000, 16, 17)) +
                                   chunk("data", pcm(speech, 16000, 1, 960))));
  // Malformed and refused files.
  write(dir / "data_before_fmt", riff(data8k + fmt8k));
  write(dir / "no_data", riff(fmt8k));
  write(dir / "empty_data", riff(fmt8k + chunk("data", "")));
  write(dir / "fmt_14_bytes", riff(chunk("fmt ", fmt_body(1, 1, 8000, 16, 14)) + data8k));
  write(dir / "fmt_short", riff(chunk("fmt ", fmt_body(1, 1, 8000, 16, 8)) + data8k));
  write(dir / "float_tag", riff(chunk("fmt ", fmt_body(3, 1, 8000, 32)) + data8k));
  write(dir / "extensible_tag", riff(chunk("fmt ", fmt_body(0xFFFE, 2, 48000, 16, 40)) + data8k));
  write(dir / "three_channels", riff(chunk("fmt ", fmt_body(1, 3, 8000, 16)) + data8k));
  write(dir / "rate_96000", riff(chunk("fmt ", fmt_body(1, 1, 96000, 16)) + data8k));
  write(dir / "data_truncated", riff(fmt8k + chunk("data", pcm(speech, 8000, 1, 700), 20000)));
  write(dir / "fmt_size_huge", riff(chunk("fmt ", fmt_body(1, 1, 8000, 16), 0x7ffffff0) + data8k));
  write(dir / "riff_size_short", chunk("RIFF", "WAVE" + fmt8k + data8k, 30));
  write(dir / "not_riff", "RIFX" + riff(fmt8k + data8k).substr(4));
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s <speech.raw> <corpus folder>\n", argv[0]);
    return 2;
  }
  const std::vector<int16_t> speech = read_speech(argv[1]);
  if (speech.size() < 24000) {
    std::fprintf(stderr, "%s: need at least 3 s of speech\n", argv[1]);
    return 1;
  }
  const fs::path root = argv[2];
  for (const char* target : {"decoder", "encoder", "wav"}) {
    fs::remove_all(root / target);
    fs::create_directories(root / target);
  }
  decoder_seeds(speech, root / "decoder");
  encoder_seeds(speech, root / "encoder");
  wav_seeds(speech, root / "wav");
  return 0;
}
