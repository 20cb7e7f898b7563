// The WAV header parser and the format check on generated files.
#include "wavenc/wav_header.h"

#include <algorithm>
#include <cstring>
#include <random>
#include <string>

#include "sivowav.h"
#include "tests/wavenc/wav_files.h"

namespace {

using namespace sivo_test;

// The help text as one literal, independent of how the parser builds it.
const std::string kHelp =
    "\n\nWe currently support only mono/stereo linear PCM WAV\n"
    "audio, sampled at 16 bit per sample (signed), in one\n"
    "of the following eight sampling rates: 8000, 11025,\n"
    "16000, 22050, 24000, 32000, 44100 or 48000 Hz\n"
    "\nPlease use an external audio editing tool to convert\n"
    "your file format to one of the above";

struct parse_result {
  int ok = -1;
  std::string message;
  uint32_t frames = 0xdeadbeef;
  int32_t channels = -7, rate = -7;
  std::string next_bytes;  // what the file holds where the parser left it
};

class WavHeader : public TempDirTest {
 protected:
  parse_result parse(const std::string& bytes) {
    const std::string p = write("in.wav", bytes);
    HMMIO f = mmioOpenA(const_cast<char*>(p.c_str()), nullptr, MMIO_READ | MMIO_ALLOCBUF);
    EXPECT_NE(f, nullptr);
    parse_result r;
    char message[800];
    std::memset(message, 'x', sizeof message);
    r.ok = sivo::parse_wav_header(f, message, &r.frames, &r.channels, &r.rate);
    r.message.assign(message, strnlen(message, sizeof message));
    char next[4];
    const LONG got = mmioRead(f, next, 4);
    if (got > 0) r.next_bytes.assign(next, static_cast<std::size_t>(got));
    mmioClose(f, 0);
    return r;
  }
};

TEST_F(WavHeader, AcceptsEveryLayoutAndStopsAtTheFirstSample) {
  const std::vector<int16_t> samples = {11, -12, 13, -14, 15, -16, 17, -18, 19, -20};
  for (const uint32_t rate : {8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000}) {
    for (const uint16_t channels : {1, 2}) {
      fmt_fields f;
      f.rate = rate;
      f.channels = channels;
      const parse_result r = parse(wav_file(f, samples));
      ASSERT_EQ(r.ok, 1) << rate << " " << channels << ": " << r.message;
      EXPECT_EQ(r.message, "");
      EXPECT_EQ(r.frames, 10u / channels);
      EXPECT_EQ(r.channels, channels);
      EXPECT_EQ(r.rate, static_cast<int32_t>(rate));
      EXPECT_EQ(r.next_bytes, pcm_bytes({11, -12}));
    }
  }
  fmt_fields f;
  f.channels = 2;
  const std::string fmt = chunk("fmt ", fmt_body(f));
  struct good_case {
    const char* what;
    std::string file;
    uint32_t frames;
  };
  fmt_fields odd = f, short_fmt = f, ext = f;
  odd.body_size = 17;  // followed by a pad byte
  short_fmt.body_size = 14;
  short_fmt.bits = 99;  // never read
  ext.body_size = 40;
  ext.bits = 8;
  const std::string data = chunk("data", pcm_bytes(samples));
  const std::vector<good_case> cases = {
      {"10 bytes stereo", riff("WAVE", fmt + chunk("data", std::string(10, 'a'))), 2},
      {"11 bytes stereo", riff("WAVE", fmt + chunk("data", std::string(11, 'a'))), 2},
      {"48000 bytes mono",
       riff("WAVE", chunk("fmt ", fmt_body(fmt_fields{})) + chunk("data", std::string(48000, 'a'))),
       24000},
      {"odd fmt", riff("WAVE", chunk("fmt ", fmt_body(odd)) + data), 5},
      {"14-byte fmt", riff("WAVE", chunk("fmt ", fmt_body(short_fmt)) + data), 5},
      {"40-byte fmt", riff("WAVE", chunk("fmt ", fmt_body(ext)) + data), 5},
      {"odd chunks around fmt",
       riff("WAVE", chunk("junk", "abc") + chunk("LIST", "INFO" + chunk("INAM", "odd")) + fmt +
                        chunk("bext", std::string(7, 'z')) + chunk("fact", "1234") + data),
       5},
      {"streaming sizes", riff("WAVE", fmt + chunk("data", pcm_bytes(samples), 0xffffffffLL),
                               0xffffffffLL),
       0xffffffffu / 4},
  };
  for (const good_case& c : cases) {
    const parse_result r = parse(c.file);
    EXPECT_EQ(r.ok, 1) << c.what << ": " << r.message;
    EXPECT_EQ(r.frames, c.frames) << c.what;
    if (c.frames == 5) {
      EXPECT_EQ(r.next_bytes, pcm_bytes({11, -12})) << c.what;
    }
  }
}

TEST_F(WavHeader, RejectsWithTheReasonAndTheHelpTextWhereItApplies) {
  const std::vector<int16_t> some(480, 100);
  const fmt_fields pcm;
  auto with = [&](auto change) {
    fmt_fields f = pcm;
    change(f);
    return wav_file(f, some);
  };
  const std::string fmt = chunk("fmt ", fmt_body(pcm));
  const std::string data = chunk("data", pcm_bytes(some));
  struct reject_case {
    const char* what;
    std::string file;
    std::string message;
    int32_t channels = -7, rate = -7;  // as reported on the way
  };
  const std::vector<reject_case> cases = {
      {"empty file", "", "This is not a WAVE file." + kHelp},
      {"not RIFF", "RIFX" + riff("WAVE", fmt + data).substr(4), "This is not a WAVE file." + kHelp},
      {"other form", riff("AVI ", fmt + data), "This is not a WAVE file." + kHelp},
      {"no fmt", riff("WAVE", data), "WAVE file has no \"fmt\" chunk."},
      {"tag 3", with([](fmt_fields& f) { f.tag = 3; }),
       "The file is not a linear PCM WAV file." + kHelp},
      {"3 channels", with([](fmt_fields& f) { f.channels = 3; }),
       "The WAV file must be mono or stereo." + kHelp, 3},
      {"96000 Hz", with([](fmt_fields& f) { f.rate = 96000; }),
       "Sample rate not supported." + kHelp, 1, 96000},
      {"8 bit", with([](fmt_fields& f) { f.block_align = 1; f.bits = 8; }),
       "WAV format must have 16 bit per sample" + kHelp, 1, 8000},
      {"byte rate", with([](fmt_fields& f) { f.byte_rate = 16001; }),
       "Average bytes per second mismatch in WAV header", 1, 8000},
      {"data before fmt", riff("WAVE", data + fmt), "WAVE file has no data chunk.", 1, 8000},
      {"data after the RIFF chunk", riff("WAVE", fmt) + data, "WAVE file has no data chunk.", 1,
       8000},
      {"empty data", riff("WAVE", fmt + chunk("data", "")), "The data chunk contains no data.", 1,
       8000},
      {"12-byte fmt", riff("WAVE", chunk("fmt ", fmt_body(pcm).substr(0, 12)) + data),
       "Failed to read format chunk !"},
      {"fmt beyond the file", riff("WAVE", chunk("fmt ", fmt_body(pcm), 4000)),
       "Failed to read format chunk !"},
      {"4 GB fmt", riff("WAVE", chunk("fmt ", fmt_body(pcm), 0xffffffffLL)),
       "Failed to read format chunk !"},
      {"fmt over 64 KiB, all of it in the file",
       with([](fmt_fields& f) { f.body_size = 64 * 1024 + 2; }),
       "Failed to read format chunk !"},
  };
  for (const reject_case& c : cases) {
    const parse_result r = parse(c.file);
    EXPECT_EQ(r.ok, 0) << c.what;
    EXPECT_EQ(r.message, c.message) << c.what;
    EXPECT_EQ(r.channels, c.channels) << c.what;
    EXPECT_EQ(r.rate, c.rate) << c.what;
    EXPECT_EQ(r.frames, 0xdeadbeefu) << c.what;
  }
}

TEST_F(WavHeader, TruncatedAndDamagedFilesFailWithAKnownReason) {
  fmt_fields f;
  f.channels = 2;
  const std::string good = wav_file(f, std::vector<int16_t>(200, 3));
  // Accepted exactly when the data chunk's header is complete.
  for (std::size_t len = 0; len <= good.size(); ++len) {
    EXPECT_EQ(parse(good.substr(0, len)).ok, len >= 44 ? 1 : 0) << len;
  }
  const std::vector<std::string> reasons = {
      "This is not a WAVE file." + kHelp, "WAVE file has no \"fmt\" chunk.",
      "Failed to read format chunk !", "The file is not a linear PCM WAV file." + kHelp,
      "The WAV file must be mono or stereo." + kHelp, "Sample rate not supported." + kHelp,
      "WAV format must have 16 bit per sample" + kHelp,
      "Average bytes per second mismatch in WAV header", "WAVE file has no data chunk.",
      "The data chunk contains no data.", ""};
  std::mt19937 rng(1234);
  for (int i = 0; i < 600; ++i) {
    std::string bad = good;
    for (int k = 1 + static_cast<int>(rng() % 4); k > 0; --k) {
      bad[rng() % 44] = static_cast<char>(rng());
    }
    const parse_result r = parse(bad);
    EXPECT_NE(std::find(reasons.begin(), reasons.end(), r.message), reasons.end()) << r.message;
    EXPECT_EQ(r.ok == 1, r.message.empty()) << i;
  }
}

TEST_F(WavHeader, CheckWavFormatReportsThroughTheCallersBuffers) {
  EXPECT_EQ(GetMaxErrorMessageLen(), 800);
  EXPECT_EQ(GetMaxErrorTitleLen(), 25);
  char message[800], title[25];
  std::memset(message, 'm', sizeof message);
  std::memset(title, 't', sizeof title);
  fmt_fields f;
  const std::string good = write("good.wav", wav_file(f, std::vector<int16_t>(24000, 1)));
  EXPECT_EQ(CheckWavFormat(message, title, good.c_str()), 1);
  EXPECT_EQ(message[0], 'm');
  EXPECT_EQ(title[24], 't');

  f.tag = 3;
  const std::string bad = write("bad.wav", wav_file(f, std::vector<int16_t>(10, 1)));
  EXPECT_EQ(CheckWavFormat(message, title, bad.c_str()), -1);
  EXPECT_EQ(std::string(message), "The file is not a linear PCM WAV file." + kHelp);
  EXPECT_STREQ(title, "WAV PARSER ERROR");

  for (const std::string& missing : {path("nothing.wav"), dir_.string(), std::string()}) {
    EXPECT_EQ(CheckWavFormat(message, title, missing.c_str()), -1) << missing;
    EXPECT_STREQ(message, "Can't open WAV file !\n");
    EXPECT_STREQ(title, "I/O ERROR");
  }
  // Every check closes its file: thousands in a row never run out of handles.
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(CheckWavFormat(message, title, good.c_str()), 1);
}

}  // namespace
