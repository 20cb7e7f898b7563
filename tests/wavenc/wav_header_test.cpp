// The WAV header parser and the format check on generated files.
#include "wavenc/wav_header.h"

#include <cstring>
#include <random>
#include <string>

#include "sivowav.h"
#include "tests/wavenc/wav_files.h"

namespace {

using namespace sivo_test;

// The help text written out as one literal, independent of how it is built.
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
  int32_t channels = -7;
  int32_t rate = -7;
  std::string next_bytes;  // the 4 bytes at the position the parser left
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
    r.message = std::string(message, strnlen(message, sizeof message));
    char next[4];
    const LONG got = mmioRead(f, next, 4);
    if (got > 0) r.next_bytes.assign(next, static_cast<std::size_t>(got));
    mmioClose(f, 0);
    return r;
  }
};

TEST_F(WavHeader, AcceptsEveryRateMonoAndStereoAndStopsAtTheFirstSample) {
  for (const int32_t rate : {8000, 11025, 16000, 22050, 24000, 32000, 44100, 48000}) {
    for (const uint16_t channels : {1, 2}) {
      fmt_fields f;
      f.rate = static_cast<uint32_t>(rate);
      f.channels = channels;
      std::vector<int16_t> samples(24000);
      for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i * 7 - 300);
      const parse_result r = parse(wav_file(f, samples));
      ASSERT_EQ(r.ok, 1) << rate << " " << channels << ": " << r.message;
      EXPECT_EQ(r.message, "");
      EXPECT_EQ(r.frames, 24000u / channels);
      EXPECT_EQ(r.channels, channels);
      EXPECT_EQ(r.rate, rate);
      EXPECT_EQ(r.next_bytes, pcm_bytes({samples[0], samples[1]}));
    }
  }
}

TEST_F(WavHeader, FrameCountDropsAnOddByteAndAnIncompletePair) {
  fmt_fields stereo;
  stereo.rate = 44100;
  stereo.channels = 2;
  // 10 bytes: 5 samples, 2 whole pairs.
  EXPECT_EQ(parse(riff("WAVE", chunk("fmt ", fmt_body(stereo)) + chunk("data", std::string(10, 'a'))))
                .frames,
            2u);
  // 11 bytes (an odd trailing byte, padded): still 5 samples.
  EXPECT_EQ(parse(riff("WAVE", chunk("fmt ", fmt_body(stereo)) + chunk("data", std::string(11, 'a'))))
                .frames,
            2u);
  fmt_fields mono;
  EXPECT_EQ(parse(riff("WAVE", chunk("fmt ", fmt_body(mono)) + chunk("data", std::string(48000, 'a'))))
                .frames,
            24000u);
}

TEST_F(WavHeader, OnlyTheCheckedFieldsMatter) {
  // Any bits-per-sample value, a 14-byte body and an extended body all pass.
  for (const uint32_t size : {14u, 16u, 18u, 40u}) {
    for (const uint16_t bits : {0, 8, 16, 24, 99}) {
      fmt_fields f;
      f.body_size = size;
      f.bits = bits;
      const parse_result r = parse(wav_file(f, std::vector<int16_t>(100, 5)));
      EXPECT_EQ(r.ok, 1) << size << " " << bits << ": " << r.message;
      EXPECT_EQ(r.frames, 100u);
    }
  }
}

TEST_F(WavHeader, SkipsOddSizedChunksAndFindsDataAfterThem) {
  fmt_fields f;
  f.channels = 2;
  const std::vector<int16_t> samples = {11, -12, 13, -14, 15, -16};
  const std::string list = "INFO" + chunk("INAM", "odd");  // 4 + 12 bytes
  // Odd chunks before fmt, between fmt and data, and a LIST holding one.
  const std::string body = chunk("junk", "abc") + chunk("LIST", list) + chunk("fmt ", fmt_body(f)) +
                           chunk("bext", std::string(7, 'z')) + chunk("fact", "1234") +
                           chunk("data", pcm_bytes(samples));
  const parse_result r = parse(riff("WAVE", body));
  ASSERT_EQ(r.ok, 1) << r.message;
  EXPECT_EQ(r.frames, 3u);
  EXPECT_EQ(r.next_bytes, pcm_bytes({11, -12}));

  // An fmt body of odd size is followed by its pad byte.
  f.body_size = 17;
  const parse_result odd = parse(wav_file(f, samples));
  ASSERT_EQ(odd.ok, 1) << odd.message;
  EXPECT_EQ(odd.next_bytes, pcm_bytes({11, -12}));
}

TEST_F(WavHeader, RejectsWithTheReasonAndTheHelpTextWhereItApplies) {
  struct reject_case {
    const char* what;
    std::string file;
    std::string message;
  };
  const std::vector<int16_t> some(480, 100);
  fmt_fields pcm;
  auto with = [&](auto change) {
    fmt_fields f = pcm;
    change(f);
    return wav_file(f, some);
  };
  const std::string fmt = chunk("fmt ", fmt_body(pcm));
  const std::string data = chunk("data", pcm_bytes(some));
  const std::vector<reject_case> cases = {
      {"empty file", "", "This is not a WAVE file." + kHelp},
      {"not RIFF", "RIFX" + riff("WAVE", fmt + data).substr(4), "This is not a WAVE file." + kHelp},
      {"other form", riff("AVI ", fmt + data), "This is not a WAVE file." + kHelp},
      {"no fmt", riff("WAVE", data), "WAVE file has no \"fmt\" chunk."},
      {"fmt tag 3", with([](fmt_fields& f) { f.tag = 3; }),
       "The file is not a linear PCM WAV file." + kHelp},
      {"3 channels", with([](fmt_fields& f) { f.channels = 3; }),
       "The WAV file must be mono or stereo." + kHelp},
      {"0 channels", with([](fmt_fields& f) { f.channels = 0; }),
       "The WAV file must be mono or stereo." + kHelp},
      {"96000 Hz", with([](fmt_fields& f) { f.rate = 96000; }), "Sample rate not supported." + kHelp},
      {"8 bit", with([](fmt_fields& f) { f.block_align = 1; f.bits = 8; }),
       "WAV format must have 16 bit per sample" + kHelp},
      {"24 bit", with([](fmt_fields& f) { f.block_align = 3; f.bits = 24; }),
       "WAV format must have 16 bit per sample" + kHelp},
      {"byte rate", with([](fmt_fields& f) { f.byte_rate = 16001; }),
       "Average bytes per second mismatch in WAV header"},
      {"data before fmt", riff("WAVE", data + fmt), "WAVE file has no data chunk."},
      {"no data", riff("WAVE", fmt + chunk("junk", "x")), "WAVE file has no data chunk."},
      {"empty data", riff("WAVE", fmt + chunk("data", "")), "The data chunk contains no data."},
      {"short fmt", riff("WAVE", chunk("fmt ", fmt_body(pcm).substr(0, 12)) + data),
       "Failed to read format chunk !"},
      {"empty fmt", riff("WAVE", chunk("fmt ", "") + data), "Failed to read format chunk !"},
      {"fmt beyond the file", riff("WAVE", chunk("fmt ", fmt_body(pcm), 4000)),
       "Failed to read format chunk !"},
      {"huge fmt", riff("WAVE", chunk("fmt ", fmt_body(pcm), 0xffffffffLL)),
       "Failed to read format chunk !"},
      // A data chunk past the RIFF chunk's declared end is outside the file's form.
      {"data outside RIFF", chunk("RIFF", "WAVE" + fmt, -1) + data, "WAVE file has no data chunk."},
  };
  for (const reject_case& c : cases) {
    const parse_result r = parse(c.file);
    EXPECT_EQ(r.ok, 0) << c.what;
    EXPECT_EQ(r.message, c.message) << c.what;
    EXPECT_EQ(r.frames, 0xdeadbeefu) << c.what << ": frames written on failure";
  }
}

TEST_F(WavHeader, ChannelAndRateAreReportedOnceTheirFieldsAreReached) {
  fmt_fields f;
  f.channels = 3;
  parse_result r = parse(wav_file(f, {1, 2, 3}));
  EXPECT_EQ(r.channels, 3);
  EXPECT_EQ(r.rate, -7);
  f.channels = 2;
  f.rate = 96000;
  r = parse(wav_file(f, {1, 2}));
  EXPECT_EQ(r.channels, 2);
  EXPECT_EQ(r.rate, 96000);
  f.tag = 2;
  r = parse(wav_file(f, {1, 2}));
  EXPECT_EQ(r.channels, -7);
}

TEST_F(WavHeader, StreamingSizesAndTruncationNeverReadOutsideTheFile) {
  fmt_fields f;
  f.channels = 2;
  f.rate = 16000;
  std::vector<int16_t> samples(200);
  for (std::size_t i = 0; i < samples.size(); ++i) samples[i] = static_cast<int16_t>(i);
  // Writers that stream set the sizes to their maximum; the header still parses.
  const std::string streamed =
      riff("WAVE", chunk("fmt ", fmt_body(f)) + chunk("data", pcm_bytes(samples), 0xffffffffLL),
           0xffffffffLL);
  parse_result r = parse(streamed);
  ASSERT_EQ(r.ok, 1) << r.message;
  EXPECT_EQ(r.frames, 0xffffffffu / 2 / 2);
  EXPECT_EQ(r.next_bytes, pcm_bytes({0, 1}));

  // Every truncation of a good file: accepted exactly when the data chunk's
  // header is complete, and then the data begins where it should.
  const std::string good = wav_file(f, samples);
  const std::size_t data_body = 12 + 8 + 16 + 8;
  for (std::size_t len = 0; len <= good.size(); ++len) {
    r = parse(good.substr(0, len));
    EXPECT_EQ(r.ok, len >= data_body ? 1 : 0) << len;
    if (r.ok == 1) {
      EXPECT_EQ(r.frames, 100u);
    }
  }
}

TEST_F(WavHeader, RandomlyDamagedHeadersFailWithAKnownReason) {
  const std::vector<std::string> reasons = {
      "This is not a WAVE file.", "WAVE file has no \"fmt\" chunk.",
      "Failed to read format chunk !", "The file is not a linear PCM WAV file.",
      "The WAV file must be mono or stereo.", "Sample rate not supported.",
      "WAV format must have 16 bit per sample", "Average bytes per second mismatch in WAV header",
      "WAVE file has no data chunk.", "The data chunk contains no data.", ""};
  fmt_fields f;
  const std::string good = wav_file(f, std::vector<int16_t>(64, 3));
  std::mt19937 rng(1234);
  for (int i = 0; i < 1500; ++i) {
    std::string bad = good;
    const int flips = 1 + static_cast<int>(rng() % 4);
    for (int k = 0; k < flips; ++k) {
      bad[rng() % 52] = static_cast<char>(rng());  // inside the headers
    }
    const parse_result r = parse(bad);
    bool known = false;
    for (const std::string& reason : reasons) {
      if (r.message.rfind(reason, 0) == 0 &&
          (r.message == reason || r.message == reason + kHelp)) {
        known = true;
      }
    }
    EXPECT_TRUE(known) << i << ": " << r.message;
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
    std::memset(message, 'm', sizeof message);
    EXPECT_EQ(CheckWavFormat(message, title, missing.c_str()), -1) << missing;
    EXPECT_STREQ(message, "Can't open WAV file !\n");
    EXPECT_STREQ(title, "I/O ERROR");
  }
  // The file is closed again: it can be removed and checked again at once.
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(CheckWavFormat(message, title, good.c_str()), 1);
}

}  // namespace
