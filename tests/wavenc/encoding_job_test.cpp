// The encoding job through its exports: frame totals, progress, output
// contents, state rules and every failure path that a file can provoke.
#include <cmath>
#include <cstring>
#include <filesystem>
#include <numbers>
#include <string>
#include <vector>

#if defined(_WIN32)
#include <windows.h>
#include <mmsystem.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <future>
#endif

#include "ratelib.h"
#include "sivocore.h"
#include "sivowav.h"
#include "tests/wavenc/wav_files.h"

namespace {

using namespace sivo_test;

constexpr int kFrameSizes[4] = {24, 31, 19, 45};

// Encodes 8000 Hz mono samples frame by frame with a fresh encoder: what the
// job must write for them.
std::string encode_directly(const std::vector<int16_t>& mono, int comp_rate) {
  sivo_encoder* enc = nullptr;
  EXPECT_EQ(sivo_encoder_open(&enc), SIVO_OK);
  EXPECT_EQ(sivo_encoder_set_comp_rate(enc, comp_rate), SIVO_OK);
  std::string out;
  for (std::size_t at = 0; at + 240 <= mono.size(); at += 240) {
    uint8_t frame[SIVO_MAX_FRAME_BYTES];
    int32_t type = 0, bytes = 0;
    EXPECT_EQ(sivo_encode_frame(enc, mono.data() + at, frame, &type, &bytes), SIVO_OK);
    out.append(reinterpret_cast<const char*>(frame), static_cast<std::size_t>(bytes));
  }
  sivo_encoder_close(&enc);
  return out;
}

// The process's open files: its handles on Windows, its descriptors
// elsewhere.
int open_descriptors() {
#if defined(_WIN32)
  DWORD handles = 0;
  EXPECT_TRUE(GetProcessHandleCount(GetCurrentProcess(), &handles));
  return static_cast<int>(handles);
#else
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++n;
  }
  return n;
#endif
}

std::vector<int16_t> speechlike(int samples, int channels, unsigned seed) {
  std::vector<int16_t> s(static_cast<std::size_t>(samples) * channels);
  uint32_t x = seed;
  for (std::size_t i = 0; i < s.size(); ++i) {
    x = x * 1664525u + 1013904223u;
    const double t = static_cast<double>(i / channels) / 8000.0;
    s[i] = static_cast<int16_t>(6000.0 * std::sin(2 * std::numbers::pi * 210.0 * t) +
                                static_cast<int>(x >> 24) - 128);
  }
  return s;
}

class EncodingJob : public TempDirTest {
 protected:
  void SetUp() override {
    TempDirTest::SetUp();
    std::memset(message_, 'm', sizeof message_);
    std::memset(title_, 't', sizeof title_);
  }
  void TearDown() override {
    SivoStop();
    TempDirTest::TearDown();
  }
  std::string wav(const std::string& name, uint32_t rate, uint16_t channels,
                  const std::vector<int16_t>& samples) {
    fmt_fields f;
    f.rate = rate;
    f.channels = channels;
    return write(name, wav_file(f, samples));
  }
  int32_t start(const std::string& in, const std::string& out, int comp_rate = 0) {
    return SivoEncode(message_, title_, in.c_str(), out.c_str(), comp_rate);
  }
  // Calls SivoCount until it stops returning progress; returns every result.
  std::vector<int32_t> run() {
    std::vector<int32_t> results;
    for (int guard = 0; guard < 100000; ++guard) {
      results.push_back(SivoCount(message_, title_));
      if (results.back() < 0 || results.back() == 100) break;
    }
    return results;
  }
  bool buffers_untouched() const {
    for (const char c : message_) if (c != 'm') return false;
    for (const char c : title_) if (c != 't') return false;
    return true;
  }

  char message_[800];
  char title_[25];
};

TEST_F(EncodingJob, FrameTotalsAndProgressAtEveryRate) {
  struct job_case {
    uint32_t rate;
    int samples;  // per channel
    int frames;
    std::vector<int32_t> progress;
  };
  const std::vector<job_case> cases = {
      {8000, 2400, 10, {100}},  // 10 frames in the first call
      {8000, 2500, 10, {100}},  // the last 100 samples are not encoded
      {8000, 4800, 20, {50, 100}},
      {8000, 240 * 35 + 239, 35, {28, 57, 85, 100}},
      {11025, 13230, 40, {100}},                 // 10 blocks of 4 frames
      {11025, 13230 * 2 + 1322, 80, {50, 100}},  // a partial block is dropped
      {22050, 1323 * 30, 60, {33, 66, 100}},     // 20 frames per call
      {16000, 480 * 25, 25, {40, 80, 100}},
      {24000, 720 * 10, 10, {100}},
      {32000, 960 * 11, 11, {90, 100}},
      {44100, 1323 * 12, 12, {83, 100}},
      {48000, 1440 * 10, 10, {100}},
  };
  for (const job_case& c : cases) {
    for (const uint16_t channels : {1, 2}) {
      const auto samples = speechlike(c.samples, channels, 3);
      const std::string out = path("out.siv");  // truncated again by each job
      ASSERT_EQ(start(wav("in.wav", c.rate, channels, samples), out, 2), 1) << message_;
      EXPECT_EQ(run(), c.progress) << c.rate << " " << channels;
      EXPECT_EQ(SivoCount(message_, title_), -2);
      const std::string bytes = read(out);
      EXPECT_EQ(bytes.size(), static_cast<std::size_t>(c.frames * kFrameSizes[2]));
      if (c.rate == 8000 && channels == 1) {
        EXPECT_EQ(bytes, encode_directly(samples, 2)) << c.samples;
      }
    }
  }
}

TEST_F(EncodingJob, OutputIsTheEncodersFramesBackToBack) {
  // At 8000 Hz mono the job equals a plain frame loop, at every rate.
  const auto samples = speechlike(240 * 23, 1, 11);
  const std::string in = wav("in.wav", 8000, 1, samples);
  for (int rate = 0; rate < 4; ++rate) {
    const std::string out = path("out" + std::to_string(rate) + ".siv");
    ASSERT_EQ(start(in, out, rate), 1) << message_;
    run();
    const std::string bytes = read(out);
    EXPECT_EQ(bytes.size(), static_cast<std::size_t>(23 * kFrameSizes[rate]));
    EXPECT_EQ(bytes, encode_directly(samples, rate)) << rate;
  }

  // Stereo at 8000 Hz is mixed to mono first: (left + right) / 2, rounded.
  const auto pairs = speechlike(240 * 12, 2, 5);
  std::vector<int16_t> mixed(240 * 12);
  for (std::size_t i = 0; i < mixed.size(); ++i) {
    mixed[i] = static_cast<int16_t>(std::floor((pairs[2 * i] + pairs[2 * i + 1]) / 2.0 + 0.5));
  }
  ASSERT_EQ(start(wav("stereo.wav", 8000, 2, pairs), path("stereo.siv"), 1), 1);
  run();
  EXPECT_EQ(read(path("stereo.siv")), encode_directly(mixed, 1));

  // Other rates: the converter's output, 240 samples per frame, encoded.
  const auto source = speechlike(1323 * 14, 2, 9);
  std::vector<int16_t> converted;
  rate_converter* c = nullptr;
  int32_t delay = 0;
  ASSERT_EQ(rate_conversion_init(&c, 1323, 44100, 8000, 2, 1, 0, &delay), -1);
  std::vector<int16_t> block(240);
  for (int b = 0; b < 14; ++b) {
    ASSERT_EQ(rate_conversion_process(c, source.data() + b * 1323 * 2, 1323, block.data()), 240);
    converted.insert(converted.end(), block.begin(), block.end());
  }
  rate_conversion_close(&c);
  ASSERT_EQ(start(wav("cd.wav", 44100, 2, source), path("cd.siv"), 3), 1);
  EXPECT_EQ(run(), (std::vector<int32_t>{71, 100}));
  EXPECT_EQ(read(path("cd.siv")), encode_directly(converted, 3));
}

#if defined(_WIN32)
// An I/O procedure that opens nothing: installed for an extension, it
// catches every open that reads "name.ext+element" as a compound-file name.
LRESULT CALLBACK refuse_every_open(LPSTR, UINT message, LPARAM, LPARAM) {
  return message == MMIOM_OPEN ? MMIOERR_CANNOTOPEN : 0;
}
#endif

TEST_F(EncodingJob, NamesWithPlusSignsAreTakenLiterally) {
  // The Windows multimedia file I/O reads "name.ext+element" as an element
  // of a compound file unless told to use the plain file procedure.
#if defined(_WIN32)
  const FOURCC song = mmioFOURCC('S', 'O', 'N', 'G');
  ASSERT_NE(mmioInstallIOProcA(song, refuse_every_open, MMIO_INSTALLPROC), nullptr);
#endif
  const auto samples = speechlike(240 * 3, 1, 5);
  std::filesystem::create_directories(dir_ / "a.b+c");
  for (const std::string name : {"take+1.wav", "my.song+mix.wav", "a.b+c/in.wav", "+.wav"}) {
    const std::string in = wav(name, 8000, 1, samples);
    EXPECT_EQ(CheckWavFormat(message_, title_, in.c_str()), 1) << name;
    const std::string out = in + "+out.siv";
    ASSERT_EQ(start(in, out, 1), 1) << name << ": " << message_;
    EXPECT_EQ(run(), std::vector<int32_t>{100}) << name;
    EXPECT_EQ(read(out), encode_directly(samples, 1)) << name;
  }
  EXPECT_TRUE(buffers_untouched());
#if defined(_WIN32)
  mmioInstallIOProcA(song, nullptr, MMIO_REMOVEPROC);
#endif
}

TEST_F(EncodingJob, StateRulesLeaveBuffersAndTheRunningJobAlone) {
  EXPECT_EQ(SivoStop(), 0);
  EXPECT_EQ(SivoCount(message_, title_), -2);
  EXPECT_TRUE(buffers_untouched());

  const auto samples = speechlike(240 * 30, 1, 21);
  const std::string in = wav("in.wav", 8000, 1, samples);
  const std::string bad = wav("bad.wav", 96000, 1, samples);
  ASSERT_EQ(start(in, path("a.siv")), 1);
  EXPECT_EQ(SivoCount(message_, title_), 33);
  // A second start is refused without a word, and changes nothing.
  EXPECT_EQ(start(in, path("b.siv")), -2);
  EXPECT_TRUE(buffers_untouched());
  EXPECT_FALSE(std::filesystem::exists(path("b.siv")));
  // Checks run on their own handle while the job is active.
  EXPECT_EQ(CheckWavFormat(message_, title_, in.c_str()), 1);
  EXPECT_EQ(CheckWavFormat(message_, title_, bad.c_str()), -1);
  EXPECT_STREQ(title_, "WAV PARSER ERROR");
  EXPECT_EQ(run(), (std::vector<int32_t>{66, 100}));
  EXPECT_EQ(read(path("a.siv")), encode_directly(samples, 0));

  // Stopping mid-job keeps the frames written; a new job may start.
  ASSERT_EQ(start(in, path("c.siv")), 1);
  EXPECT_EQ(SivoCount(message_, title_), 33);
  EXPECT_EQ(SivoStop(), 0);
  EXPECT_EQ(SivoStop(), 0);
  EXPECT_EQ(SivoCount(message_, title_), -2);
  EXPECT_EQ(read(path("c.siv")), encode_directly(samples, 0).substr(0, 10 * 24));
  ASSERT_EQ(start(in, path("d.siv")), 1);
  EXPECT_EQ(run().back(), 100);
}

TEST_F(EncodingJob, FailedStartsLeaveNothingOpen) {
  const auto samples = speechlike(2400, 1, 1);
  const std::string in = wav("in.wav", 8000, 1, samples);
  const std::string original = read(in);
  const int descriptors = open_descriptors();
  struct start_case {
    const char* what;
    std::string input, output;
    int comp_rate;
    std::string message, title;
    bool empty_output_left;
  };
  std::filesystem::create_hard_link(in, path("hard.wav"));
  // Windows (and Wine) may refuse to make symbolic links; the case is then
  // left out.
  std::error_code no_symlink;
  std::filesystem::create_symlink(in, path("link.wav"), no_symlink);
  std::vector<start_case> cases = {
      {"missing input", path("none.wav"), path("o1.siv"), 0, "Can't open input file !\n",
       "I/O ERROR", false},
      {"output in a missing folder", in, path("no/dir/o.siv"), 0, "Can't open output file !\n",
       "I/O ERROR", false},
      {"output is a folder", in, dir_.string(), 0, "Can't open output file !\n", "I/O ERROR",
       false},
      {"output is the input", in, in, 0, "Can't open output file !\n", "I/O ERROR", false},
      {"output is a hard link of the input", in, path("hard.wav"), 0,
       "Can't open output file !\n", "I/O ERROR", false},
      {"parser rejects", wav("tag.wav", 96000, 1, samples), path("o2.siv"), 0,
       "Sample rate not supported.", "WAV PARSER ERROR", true},
      {"rate 4", in, path("o3.siv"), 4, "Can't initialize the encoder", "ENCODING ERROR", true},
      {"rate -1", in, path("o4.siv"), -1, "Can't initialize the encoder", "ENCODING ERROR", true},
  };
  if (!no_symlink) {
    cases.push_back({"output links to the input", in, path("link.wav"), 0,
                     "Can't open output file !\n", "I/O ERROR", false});
  }
  for (const start_case& c : cases) {
    EXPECT_EQ(start(c.input, c.output, c.comp_rate), -1) << c.what;
    EXPECT_EQ(std::string(message_).substr(0, c.message.size()), c.message) << c.what;
    EXPECT_EQ(std::string(title_), c.title) << c.what;
    EXPECT_EQ(SivoCount(message_, title_), -2) << c.what;
    EXPECT_EQ(open_descriptors(), descriptors) << c.what;
    if (c.empty_output_left) {
      EXPECT_TRUE(std::filesystem::exists(c.output)) << c.what;
      EXPECT_EQ(std::filesystem::file_size(c.output), 0u) << c.what;
    }
  }
  EXPECT_EQ(read(in), original);
  // The same file works as input once the output is elsewhere.
  ASSERT_EQ(start(in, path("fine.siv")), 1);
  EXPECT_EQ(run(), std::vector<int32_t>{100});
  EXPECT_EQ(open_descriptors(), descriptors);
}

#if !defined(_WIN32)
// A FIFO as input or output is refused at once: opening it would wait for
// the other end, which may never come. A watchdog opens the other end of a
// call still waiting after 10 s, so that the case fails instead of hanging.
TEST_F(EncodingJob, FifosAreRefusedWithoutWaiting) {
  const std::string in = wav("in.wav", 8000, 1, speechlike(2400, 1, 1));
  const std::string fifo = path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  struct fifo_case {
    const char* what;
    std::function<int32_t()> call;
    int other_end;  // how the watchdog opens the FIFO
    std::string message;
  };
  const fifo_case cases[] = {
      {"output no one reads", [&] { return start(in, fifo); }, O_RDONLY,
       "Can't open output file !\n"},
      {"input no one writes", [&] { return start(fifo, path("o.siv")); }, O_WRONLY,
       "Can't open input file !\n"},
      {"format check of an input no one writes",
       [&] { return CheckWavFormat(message_, title_, fifo.c_str()); }, O_WRONLY,
       "Can't open WAV file !\n"},
  };
  for (const fifo_case& c : cases) {
    auto result = std::async(std::launch::async, c.call);
    int other_end = -1;
    if (result.wait_for(std::chrono::seconds(10)) != std::future_status::ready) {
      ADD_FAILURE() << c.what << ": still waiting after 10 s";
      other_end = open(fifo.c_str(), c.other_end | O_NONBLOCK);
    }
    EXPECT_EQ(result.get(), -1) << c.what;
    if (other_end >= 0) close(other_end);
    EXPECT_STREQ(message_, c.message.c_str()) << c.what;
    EXPECT_STREQ(title_, "I/O ERROR") << c.what;
    SivoStop();
  }

  // A reader that goes away during the job: the next write fails as a write
  // does, and the signal the system raises for it neither ends the process
  // nor stays pending.
  const std::string long_in = wav("long.wav", 8000, 1, speechlike(240 * 1000, 1, 3));
  const int reader = open(fifo.c_str(), O_RDONLY | O_NONBLOCK);
  ASSERT_GE(reader, 0);
  ASSERT_EQ(start(long_in, fifo), 1);
  close(reader);
  EXPECT_EQ(run().back(), -1);
  EXPECT_STREQ(message_, "Can't write compressed audio to file\n");
  sigset_t pending;
  ASSERT_EQ(sigpending(&pending), 0);
  EXPECT_FALSE(sigismember(&pending, SIGPIPE));
}
#endif

TEST_F(EncodingJob, ShortAndTruncatedDataEndTheJobCleanly) {
  // Less than one block: nothing to encode, done on the first call.
  ASSERT_EQ(start(wav("short.wav", 44100, 2, speechlike(1000, 2, 4)), path("short.siv")), 1);
  EXPECT_EQ(SivoCount(message_, title_), 100);
  EXPECT_TRUE(buffers_untouched());
  EXPECT_EQ(SivoCount(message_, title_), -2);
  EXPECT_EQ(read(path("short.siv")), "");

  // The data chunk claims 100 frames, the file holds 12 and a half: the
  // frames before the short read stay in the output.
  const auto samples = speechlike(240 * 12 + 120, 1, 8);
  fmt_fields f;
  const std::string in =
      write("cut.wav", riff("WAVE", chunk("fmt ", fmt_body(f)) +
                                        chunk("data", pcm_bytes(samples), 240 * 100 * 2)));
  ASSERT_EQ(start(in, path("cut.siv")), 1);
  EXPECT_EQ(SivoCount(message_, title_), 10);
  EXPECT_EQ(SivoCount(message_, title_), -1);
  EXPECT_STREQ(message_, "Error reading from WAV file\n");
  EXPECT_STREQ(title_, "I/O ERROR");
  EXPECT_EQ(SivoCount(message_, title_), -2);
  EXPECT_EQ(read(path("cut.siv")), encode_directly(samples, 0));
}

TEST_F(EncodingJob, LostWritesAreReportedNotHidden) {
  if (!std::filesystem::exists("/dev/full")) GTEST_SKIP() << "no /dev/full";
  const auto samples = speechlike(240 * 10, 1, 2);
  const std::string in = wav("in.wav", 8000, 1, samples);
  // Ten frames fit the stream's buffer: the loss shows at the final close.
  ASSERT_EQ(start(in, "/dev/full"), 1);
  EXPECT_EQ(SivoCount(message_, title_), -1);
  EXPECT_STREQ(message_, "Can't write compressed audio to file\n");
  EXPECT_STREQ(title_, "I/O ERROR");
  EXPECT_EQ(SivoCount(message_, title_), -2);
  // Nothing written yet: stopping closes cleanly.
  ASSERT_EQ(start(in, "/dev/full"), 1);
  EXPECT_EQ(SivoStop(), 0);
  // A long job fails at the write that overflows the buffer.
  const std::string long_in = wav("long.wav", 8000, 1, speechlike(240 * 1000, 1, 2));
  ASSERT_EQ(start(long_in, "/dev/full", 3), 1);
  std::vector<int32_t> results = run();
  EXPECT_EQ(results.back(), -1);
  EXPECT_LT(results.size(), 100u);
  EXPECT_STREQ(message_, "Can't write compressed audio to file\n");
  ASSERT_EQ(start(long_in, "/dev/full", 3), 1);
  EXPECT_EQ(SivoCount(message_, title_), 1);
  EXPECT_EQ(SivoStop(), -1);
}

}  // namespace
