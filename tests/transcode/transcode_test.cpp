// The file routes of the transcode layer called directly: conversions of any
// length against one-shot conversions, the same-file rule, cancels that
// commit nothing, and WAV headers written without their sizes.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <soxr.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "sivocore.h"
#include "speech.h"
#include "system_files.h"
#include "transcode.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;

bytes read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), {});
}

void write_all(const fs::path& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void put_le(bytes& b, uint32_t v, int width) {
  for (int i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A 16-bit mono PCM WAV file whose size fields say what they are given.
bytes wav_file(const std::vector<int16_t>& pcm, uint32_t rate, uint32_t riff_size,
               uint32_t data_size) {
  bytes w;
  for (char c : std::string("RIFF")) w.push_back(static_cast<uint8_t>(c));
  put_le(w, riff_size, 4);
  for (char c : std::string("WAVEfmt ")) w.push_back(static_cast<uint8_t>(c));
  put_le(w, 16, 4);
  put_le(w, 1, 2);
  put_le(w, 1, 2);
  put_le(w, rate, 4);
  put_le(w, rate * 2, 4);
  put_le(w, 2, 2);
  put_le(w, 16, 2);
  for (char c : std::string("data")) w.push_back(static_cast<uint8_t>(c));
  put_le(w, data_size, 4);
  for (int16_t s : pcm) put_le(w, static_cast<uint16_t>(s), 2);
  return w;
}

bytes wav_file(const std::vector<int16_t>& pcm, uint32_t rate) {
  const auto data = static_cast<uint32_t>(2 * pcm.size());
  return wav_file(pcm, rate, 36 + data, data);
}

std::vector<int16_t> samples_of(const bytes& raw) {
  std::vector<int16_t> s(raw.size() / 2);
  for (size_t i = 0; i < s.size(); ++i) {
    s[i] = static_cast<int16_t>(raw[2 * i] | raw[2 * i + 1] << 8);
  }
  return s;
}

// Frames of `seconds` of speech at rate 1: the recording encoded once and
// its frames repeated.
bytes speech_frames(int seconds) {
  const std::vector<int16_t> pcm = sivo::test::load_raw("hts1a.raw");  // 3 s
  sivo_encoder* encoder = nullptr;
  sivo_encoder_open(&encoder);
  sivo_encoder_set_comp_rate(encoder, 1);
  bytes once;
  for (size_t at = 0; at + SIVO_FRAME_SAMPLES <= pcm.size(); at += SIVO_FRAME_SAMPLES) {
    uint8_t frame[SIVO_MAX_FRAME_BYTES];
    int32_t type = 0, length = 0;
    sivo_encode_frame(encoder, pcm.data() + at, frame, &type, &length);
    once.insert(once.end(), frame, frame + length);
  }
  sivo_encoder_close(&encoder);
  bytes all;
  for (int s = 0; s < seconds; s += 3) all.insert(all.end(), once.begin(), once.end());
  return all;
}

// Points standard input or output at another file for as long as it lives.
class redirected {
 public:
  redirected(int fd, const fs::path& path, int flags) : fd_(fd), saved_(dup(fd)) {
    const int file = open(path.c_str(), flags, 0644);
    EXPECT_GE(file, 0) << path;
    dup2(file, fd);
    close(file);
  }
  ~redirected() {
    dup2(saved_, fd_);
    close(saved_);
  }

 private:
  int fd_;
  int saved_;
};

class Transcode : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sivo-transcode-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }
  fs::path path(const std::string& name) const { return dir_ / name; }
  std::vector<std::string> names() const {
    std::vector<std::string> found;
    for (const auto& e : fs::directory_iterator(dir_)) found.push_back(e.path().filename());
    std::sort(found.begin(), found.end());
    return found;
  }
  fs::path dir_;
};

// Five minutes of frames decoded at 44100, 48000 and 96000 Hz give exactly
// what one libsoxr converter makes of the same 8000 Hz samples, to the last
// sample: the output streams for any length, the converter fed and
// drained as the frames come.
TEST_F(Transcode, LongDecodesEqualOneShotConversions) {
  write_all(path("talk.siv"), speech_frames(300));
  sivo::decode_options at_8000;
  at_8000.format = sivo::audio_format::raw;
  sivo::transcode_result result;
  ASSERT_TRUE(sivo::decode_file(path("talk.siv"), path("talk.raw"), at_8000, result))
      << result.error;
  const std::vector<int16_t> pcm = samples_of(read_all(path("talk.raw")));
  ASSERT_EQ(pcm.size(), 300u * 8000);
  const std::vector<float> input(pcm.begin(), pcm.end());
  fs::remove(path("talk.raw"));

  for (const int rate : {44100, 48000, 96000}) {
    SCOPED_TRACE(rate);
    sivo::decode_options options;
    options.format = sivo::audio_format::raw;
    options.rate = rate;
    ASSERT_TRUE(sivo::decode_file(path("talk.siv"), path("out.raw"), options, result))
        << result.error;
    const size_t wanted = (pcm.size() * static_cast<size_t>(rate) + 4000) / 8000;
    std::vector<float> expected(wanted);
    const soxr_io_spec_t io = soxr_io_spec(SOXR_FLOAT32_I, SOXR_FLOAT32_I);
    const soxr_quality_spec_t quality = soxr_quality_spec(SOXR_HQ, 0);
    const soxr_runtime_spec_t runtime = soxr_runtime_spec(1);
    // One converter over all the samples, fed ten seconds at a time (libsoxr
    // gives the same samples however its input is cut; its one-shot call
    // grows its buffers step by step, slowly under a sanitizer).
    soxr_error_t failed = nullptr;
    const std::unique_ptr<soxr, decltype(&soxr_delete)> converter(
        soxr_create(8000, rate, 1, &failed, &io, &quality, &runtime), &soxr_delete);
    ASSERT_EQ(failed, nullptr);
    size_t made = 0;
    for (size_t at = 0; at <= input.size();) {
      const bool last = at == input.size();
      const size_t block = std::min<size_t>(80000, input.size() - at);
      size_t used = 0, done = 0;
      ASSERT_EQ(soxr_process(converter.get(), last ? nullptr : input.data() + at, block, &used,
                             expected.data() + made, wanted - made, &done),
                nullptr);
      ASSERT_TRUE(used > 0 || done > 0 || last) << "the converter stopped at input " << at;
      at += used;
      made += done;
      if (last && (done == 0 || made == wanted)) break;
    }
    ASSERT_EQ(made, wanted);
    EXPECT_EQ(fs::file_size(path("out.raw")), 2 * wanted);
    // Compared a piece at a time: the output is up to 58 MB.
    std::ifstream out(path("out.raw"), std::ios::binary);
    std::vector<int16_t> piece(1 << 20);
    size_t at = 0, differing = 0, first = wanted;
    while (out.read(reinterpret_cast<char*>(piece.data()), std::streamsize(piece.size() * 2)) ||
           out.gcount() > 0) {
      const size_t n = static_cast<size_t>(out.gcount()) / 2;
      for (size_t i = 0; i < n && at + i < wanted; ++i) {
        const double r = std::floor(static_cast<double>(expected[at + i]) + 0.5);
        const auto want = static_cast<int16_t>(std::clamp(r, -32768.0, 32767.0));
        if (piece[i] != want && differing++ == 0) first = at + i;
      }
      at += n;
    }
    EXPECT_EQ(differing, 0u) << "first at output sample " << first;
    fs::remove(path("out.raw"));
  }
}

// Inputs whose conversion to 8000 Hz releases its output in bursts that
// grow for minutes (from 1000 Hz the lag first peaks after 3.5 minutes)
// encode whole.
TEST_F(Transcode, LongInputsFromAnyRateEncodeWhole) {
  const std::vector<int16_t> speech = sivo::test::load_raw("hts1a.raw");
  std::vector<int16_t> pcm;
  for (size_t i = 0; pcm.size() < 300 * 1000; i += 8) pcm.push_back(speech[i % speech.size()]);
  write_all(path("slow.wav"), wav_file(pcm, 1000));
  sivo::encode_options options;
  sivo::transcode_result result;
  ASSERT_TRUE(sivo::encode_file(path("slow.wav"), path("slow.siv"), options, result))
      << result.error;
  EXPECT_GE(result.frames, 300 * 8000 / 240);
  EXPECT_EQ(fs::file_size(path("slow.siv")), static_cast<size_t>(result.frames) * 24);
}

// One rule, whatever leads to the file: the same name, a symbolic or hard
// link, another spelling of the folder, standard input or output.
TEST_F(Transcode, SameFileRuleSeesEveryNameOfAFile) {
  write_all(path("a.wav"), wav_file(sivo::test::load_raw("hts1a.raw"), 8000));
  write_all(path("b.wav"), read_all(path("a.wav")));
  fs::create_symlink(path("a.wav"), path("link.wav"));
  fs::create_symlink(path("link.wav"), path("link2.wav"));
  fs::create_hard_link(path("a.wav"), path("hard.wav"));
  fs::create_directory(path("sub"));
  ASSERT_EQ(mkfifo(path("fifo").c_str(), 0600), 0);
  struct rule_case {
    const char* in;
    const char* out;
    const char* stdin_file;   // standard input reads this file (when given)
    const char* stdout_file;  // standard output appends to this file
    bool same;
  };
  const rule_case cases[] = {
      {"a.wav", "a.wav", nullptr, nullptr, true},
      {"a.wav", "link.wav", nullptr, nullptr, true},
      {"link2.wav", "a.wav", nullptr, nullptr, true},
      {"a.wav", "link2.wav", nullptr, nullptr, true},
      {"a.wav", "hard.wav", nullptr, nullptr, true},
      {"a.wav", "sub/../a.wav", nullptr, nullptr, true},
      {"-", "a.wav", "a.wav", nullptr, true},
      {"-", "link.wav", "hard.wav", nullptr, true},
      {"a.wav", "-", nullptr, "a.wav", true},
      {"-", "-", "a.wav", "a.wav", true},
      {"a.wav", "b.wav", nullptr, nullptr, false},
      {"a.wav", "new.wav", nullptr, nullptr, false},
      {"-", "b.wav", "a.wav", nullptr, false},
      {"a.wav", "-", nullptr, "b.wav", false},
      {"sub", "sub", nullptr, nullptr, false},
      {"fifo", "fifo", nullptr, nullptr, false},
  };
  for (const rule_case& c : cases) {
    SCOPED_TRACE(std::string(c.in) + " -> " + c.out);
    const std::string in = c.in[0] == '-' ? "-" : path(c.in).string();
    const std::string out = c.out[0] == '-' ? "-" : path(c.out).string();
    std::unique_ptr<redirected> input, output;
    if (c.stdin_file) input = std::make_unique<redirected>(0, path(c.stdin_file), O_RDONLY);
    if (c.stdout_file) {
      output = std::make_unique<redirected>(1, path(c.stdout_file), O_WRONLY | O_APPEND);
    }
    EXPECT_EQ(sivo::same_file(in, out), c.same);
  }

  // The file loops refuse such a pair before they open anything.
  const bytes original = read_all(path("a.wav"));
  sivo::transcode_result result;
  EXPECT_FALSE(sivo::encode_file(path("a.wav"), path("link2.wav"), {}, result));
  EXPECT_NE(result.error.find("name the same file"), std::string::npos) << result.error;
  {
    redirected input(0, path("hard.wav"), O_RDONLY);
    EXPECT_FALSE(sivo::encode_file("-", path("a.wav"), {}, result));
    EXPECT_EQ(result.error, "standard input and '" + path("a.wav").string() +
                                "' name the same file: writing one would destroy the other");
  }
  write_all(path("x.siv"), speech_frames(3));
  EXPECT_FALSE(sivo::decode_file(path("x.siv"), path("x.siv"), {}, result));
  EXPECT_EQ(read_all(path("a.wav")), original);
  EXPECT_EQ(read_all(path("x.siv")), speech_frames(3));
}

// A cancel check that says stop only once, as Python's signal check does
// (it runs the handler, which raises, and then has nothing left to report),
// still ends the call with nothing committed, wherever it comes.
TEST_F(Transcode, ACancelSaidOnceCommitsNothing) {
  write_all(path("in.wav"), wav_file(sivo::test::load_raw("hts1a.raw"), 8000));
  write_all(path("in.siv"), speech_frames(30));
  struct cancel_case {
    const char* what;
    std::function<bool(const sivo::cancel_check&, const fs::path&, sivo::transcode_result&)> call;
  };
  const cancel_case calls[] = {
      {"encode",
       [&](const sivo::cancel_check& check, const fs::path& out, sivo::transcode_result& r) {
         sivo::encode_options o;
         o.cancelled = check;
         return sivo::encode_file(path("in.wav"), out, o, r);
       }},
      {"decode",
       [&](const sivo::cancel_check& check, const fs::path& out, sivo::transcode_result& r) {
         sivo::decode_options o;
         o.cancelled = check;
         return sivo::decode_file(path("in.siv"), out, o, r);
       }},
      {"decode at 44100 Hz",
       [&](const sivo::cancel_check& check, const fs::path& out, sivo::transcode_result& r) {
         sivo::decode_options o;
         o.rate = 44100;
         o.cancelled = check;
         return sivo::decode_file(path("in.siv"), out, o, r);
       }},
  };
  for (const cancel_case& c : calls) {
    // How many checks the whole call makes, and a stop at each of several.
    long calls_made = 0;
    sivo::transcode_result result;
    ASSERT_TRUE(c.call([&] { return ++calls_made < 0; }, path("whole.out"), result));
    fs::remove(path("whole.out"));
    for (const long at : {1l, 2l, calls_made / 2, calls_made - 1, calls_made}) {
      SCOPED_TRACE(std::string(c.what) + ", stop at check " + std::to_string(at) + " of " +
                   std::to_string(calls_made));
      write_all(path("out"), {'o', 'l', 'd'});
      long seen = 0;
      EXPECT_FALSE(c.call([&] { return ++seen == at; }, path("out"), result));
      EXPECT_EQ(result.outcome, sivo::transcode_outcome::cancelled) << result.error;
      EXPECT_EQ(read_all(path("out")), (bytes{'o', 'l', 'd'}));
      EXPECT_EQ(names(), (std::vector<std::string>{"in.siv", "in.wav", "out"}));
    }
  }
}

// A WAV header written before the length was known (streaming writers put 0
// or 0xFFFFFFFF in the size fields) still gives every sample that follows,
// from a file and from a pipe, and the summary says the length was read.
TEST_F(Transcode, WavHeadersWithoutSizesGiveEverySample) {
  const std::vector<int16_t> pcm = sivo::test::load_raw("hts1a.raw");  // 100 frames
  const auto data = static_cast<uint32_t>(2 * pcm.size());
  struct header_case {
    uint32_t riff_size, data_size;
    bool noted;  // the summary says the header gave no length
  };
  const header_case cases[] = {
      {36 + data, data, false}, {0, 0, true}, {36 + data, 0, true},
      {0xFFFFFFFF, 0xFFFFFFFF, false}, {0, data, false},
  };
  for (const header_case& c : cases) {
    SCOPED_TRACE(std::to_string(c.riff_size) + ", " + std::to_string(c.data_size));
    write_all(path("in.wav"), wav_file(pcm, 8000, c.riff_size, c.data_size));
    sivo::transcode_result from_file, from_pipe;
    ASSERT_TRUE(sivo::encode_file(path("in.wav"), path("file.siv"), {}, from_file))
        << from_file.error;
    EXPECT_EQ(from_file.frames, 100);
    EXPECT_EQ(from_file.input_format.find("gives no length") != std::string::npos, c.noted)
        << from_file.input_format;
    int ends[2];
    ASSERT_EQ(pipe(ends), 0);
    std::thread writer([&] {
      const bytes file = read_all(path("in.wav"));
      EXPECT_EQ(write(ends[1], file.data(), file.size()), ssize_t(file.size()));
      close(ends[1]);
    });
    {
      const int saved = dup(0);
      dup2(ends[0], 0);
      close(ends[0]);
      EXPECT_TRUE(sivo::encode_file("-", path("pipe.siv"), {}, from_pipe)) << from_pipe.error;
      dup2(saved, 0);
      close(saved);
    }
    writer.join();
    EXPECT_EQ(read_all(path("pipe.siv")), read_all(path("file.siv")));
  }
}

}  // namespace
