// Runs the built sivo program as a user would and checks what it leaves
// behind: files, exit codes and messages.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

constexpr int kFrameBytes[4] = {24, 31, 19, 45};
constexpr size_t kFrameSamples = 240;
const std::string kSpeech = "/usr/share/codec2/raw/hts1a.raw";  // 3 s: 100 frames

using bytes = std::vector<uint8_t>;

bytes read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), {});
}

void write_all(const fs::path& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

std::string text_of(const fs::path& path) {
  const bytes data = read_all(path);
  return std::string(data.begin(), data.end());
}

uint32_t le(const bytes& b, size_t at, int width) {
  uint32_t v = 0;
  for (int i = width - 1; i >= 0; --i) v = (v << 8) | b.at(at + i);
  return v;
}

void put_le(bytes& b, uint32_t v, int width) {
  for (int i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// A canonical PCM WAV file, written here independently of the program.
bytes make_wav(const bytes& pcm, uint32_t rate, uint16_t channels) {
  bytes w;
  for (char c : std::string("RIFF")) w.push_back(c);
  put_le(w, static_cast<uint32_t>(36 + pcm.size()), 4);
  for (char c : std::string("WAVEfmt ")) w.push_back(c);
  put_le(w, 16, 4);
  put_le(w, 1, 2);
  put_le(w, channels, 2);
  put_le(w, rate, 4);
  put_le(w, rate * channels * 2, 4);
  put_le(w, channels * 2, 2);
  put_le(w, 16, 2);
  for (char c : std::string("data")) w.push_back(c);
  put_le(w, static_cast<uint32_t>(pcm.size()), 4);
  w.insert(w.end(), pcm.begin(), pcm.end());
  return w;
}

// Checks that `path` is an 8000 Hz mono 16-bit WAV file and returns its samples.
std::vector<int16_t> read_decoded_wav(const fs::path& path) {
  const bytes w = read_all(path);
  EXPECT_GE(w.size(), 44u);
  if (w.size() < 44) return {};
  EXPECT_EQ(std::string(w.begin(), w.begin() + 4), "RIFF");
  EXPECT_EQ(le(w, 4, 4), w.size() - 8);
  EXPECT_EQ(std::string(w.begin() + 8, w.begin() + 16), "WAVEfmt ");
  EXPECT_EQ(le(w, 16, 4), 16u);
  EXPECT_EQ(le(w, 20, 2), 1u);      // linear PCM
  EXPECT_EQ(le(w, 22, 2), 1u);      // mono
  EXPECT_EQ(le(w, 24, 4), 8000u);   // sample rate
  EXPECT_EQ(le(w, 28, 4), 16000u);  // bytes per second
  EXPECT_EQ(le(w, 32, 2), 2u);      // block alignment
  EXPECT_EQ(le(w, 34, 2), 16u);     // bits per sample
  EXPECT_EQ(std::string(w.begin() + 36, w.begin() + 40), "data");
  EXPECT_EQ(le(w, 40, 4), w.size() - 44);
  std::vector<int16_t> samples((w.size() - 44) / 2);
  for (size_t i = 0; i < samples.size(); ++i) {
    samples[i] = static_cast<int16_t>(le(w, 44 + 2 * i, 2));
  }
  return samples;
}

struct run_result {
  int code = -1;
  std::string out, err;
};

class Cli : public ::testing::Test {
 protected:
  void SetUp() override {
    char pattern[] = "/tmp/sivo-cli-XXXXXX";
    ASSERT_NE(mkdtemp(pattern), nullptr);
    dir_ = pattern;
    speech_wav_ = dir_ / "speech.wav";
    write_all(speech_wav_, make_wav(read_all(kSpeech), 8000, 1));
  }
  void TearDown() override { fs::remove_all(dir_); }

  fs::path path(const std::string& name) const { return dir_ / name; }

  // Starts sivo with `args`; its stdout and stderr go to files.
  pid_t start(const std::vector<std::string>& args) {
    std::vector<std::string> all;
    // Under a cross build's emulator, the program runs under it as well.
    std::istringstream runner(SIVO_RUNNER);
    for (std::string word; runner >> word;) all.push_back(word);
    all.push_back(SIVO_PATH);
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : all) argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, path("stdout.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_addopen(&actions, 2, path("stderr.txt").c_str(),
                                     O_WRONLY | O_CREAT | O_TRUNC, 0644);
    pid_t pid = -1;
    const int rc = posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    EXPECT_EQ(rc, 0);
    return pid;
  }

  run_result finish(pid_t pid) {
    run_result r;
    int status = 0;
    waitpid(pid, &status, 0);
    r.code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    r.out = text_of(path("stdout.txt"));
    r.err = text_of(path("stderr.txt"));
    return r;
  }

  run_result run(const std::vector<std::string>& args) { return finish(start(args)); }

  fs::path encode(int rate, const std::string& name) {
    const run_result r = run({"encode", "-q", "-r", std::to_string(rate), speech_wav_, path(name)});
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_EQ(r.err, "");  // quiet means quiet
    return path(name);
  }

  fs::path dir_;
  fs::path speech_wav_;
};

// ---- The round trip a user makes ----------------------------------------

TEST_F(Cli, EncodeInfoDecodeAtEveryRate) {
  // Segmental SNR floors (post-filter off) on this recording, about 2 dB
  // below what the codec reaches; more bits must buy a better waveform.
  constexpr double kMinSegmentalSnr[4] = {7.5, 9.0, 5.5, 12.0};
  double snr_of_rate[4] = {};
  for (int rate = 0; rate < 4; ++rate) {
    SCOPED_TRACE("rate " + std::to_string(rate));
    const fs::path siv = encode(rate, "speech.siv");
    ASSERT_EQ(fs::file_size(siv), 100u * kFrameBytes[rate]);

    const run_result info = run({"info", siv});
    EXPECT_EQ(info.code, 0) << info.err;
    EXPECT_NE(info.out.find("speech frames:    100\n"), std::string::npos) << info.out;
    const std::string count_line = "rate " + std::to_string(rate) + " (";
    const size_t line = info.out.find(count_line);
    ASSERT_NE(line, std::string::npos);
    EXPECT_EQ(info.out.substr(info.out.find(": ", line), 6), ": 100\n");
    EXPECT_NE(info.out.find("duration:         3.00 s"), std::string::npos);
    EXPECT_NE(info.out.find("damaged frames:   0\n"), std::string::npos);
    const double bit_rate = kFrameBytes[rate] * 8 * 8000.0 / 240;
    char expected_rate[64];
    std::snprintf(expected_rate, sizeof expected_rate, "average bit rate: %.1f bit/s", bit_rate);
    EXPECT_NE(info.out.find(expected_rate), std::string::npos) << info.out;

    for (const char* filter : {"", "--no-postfilter"}) {
      std::vector<std::string> args = {"decode", "-q", siv, path("out.wav")};
      if (*filter) args.insert(args.begin() + 1, filter);
      const run_result dec = run(args);
      EXPECT_EQ(dec.code, 0) << dec.err;
      const std::vector<int16_t> out = read_decoded_wav(path("out.wav"));
      EXPECT_EQ(out.size(), 100 * kFrameSamples);
    }
    // Decoded speech resembles the input once the look-ahead is allowed for.
    const run_result cmp = run({"compare", speech_wav_, path("out.wav")});
    EXPECT_EQ(cmp.code, 0) << cmp.err;
    double segmental = -100;
    std::sscanf(cmp.out.c_str(), "segmental SNR: %lf", &segmental);
    EXPECT_GT(segmental, kMinSegmentalSnr[rate]) << cmp.out;
    snr_of_rate[rate] = segmental;
  }
  EXPECT_LT(snr_of_rate[2], snr_of_rate[0]);  // 5066.7 < 6400 bit/s
  EXPECT_LT(snr_of_rate[0], snr_of_rate[1]);  // 6400 < 8266.7 bit/s
  EXPECT_LT(snr_of_rate[1], snr_of_rate[3]);  // 8266.7 < 12000 bit/s
}

TEST_F(Cli, MixedRatesAndReservedFramesInOneStream) {
  const bytes a = read_all(encode(0, "a.siv"));
  const bytes b = read_all(encode(3, "b.siv"));
  // Rate 0 frames, a reserved type-6 frame, a type-7 byte, then rate 3.
  bytes mixed = a;
  const bytes type6 = {0x06, 0xAA, 0xBB, 0xCC, 0xDD};
  mixed.insert(mixed.end(), type6.begin(), type6.end());
  mixed.push_back(0xFF);  // low bits 7
  mixed.insert(mixed.end(), b.begin(), b.end());
  write_all(path("mixed.siv"), mixed);

  const run_result info = run({"info", path("mixed.siv")});
  EXPECT_EQ(info.code, 0) << info.err;
  EXPECT_NE(info.out.find("speech frames:    200\n"), std::string::npos) << info.out;
  EXPECT_NE(info.out.find("reserved frames:  2 (type 6: 1, type 7: 1)"), std::string::npos);
  EXPECT_NE(info.out.find("duration:         6.00 s"), std::string::npos);

  const run_result dec = run({"decode", path("mixed.siv"), path("mixed.wav")});
  EXPECT_EQ(dec.code, 0) << dec.err;
  EXPECT_NE(dec.err.find("2 reserved skipped"), std::string::npos) << dec.err;
  EXPECT_EQ(read_decoded_wav(path("mixed.wav")).size(), 200 * kFrameSamples);
}

// A 16 kHz stereo file is converted to 8000 Hz mono on the way in: the same
// 3 s give the same 100 frames.
TEST_F(Cli, EncodeTakesOtherRatesAndStereo) {
  const bytes raw = read_all(kSpeech);
  bytes stereo16k;
  for (size_t i = 0; i + 1 < raw.size(); i += 2) {
    for (int copy = 0; copy < 4; ++copy) stereo16k.insert(stereo16k.end(), {raw[i], raw[i + 1]});
  }
  write_all(path("stereo16k.wav"), make_wav(stereo16k, 16000, 2));
  const run_result r = run({"encode", "-q", "-r", "2", path("stereo16k.wav"), path("s.siv")});
  EXPECT_EQ(r.code, 0) << r.err;
  EXPECT_EQ(fs::file_size(path("s.siv")), 100u * kFrameBytes[2]);
}

TEST_F(Cli, Raw2wavKeepsEverySample) {
  const run_result r = run({"raw2wav", kSpeech, path("copy.wav")});
  ASSERT_EQ(r.code, 0) << r.err;
  const bytes raw = read_all(kSpeech);
  const std::vector<int16_t> samples = read_decoded_wav(path("copy.wav"));
  ASSERT_EQ(samples.size() * 2, raw.size());
  EXPECT_EQ(std::memcmp(samples.data(), raw.data(), raw.size()), 0);
}

// The decoder's output lags the input by 60 samples; compare must line
// them up, or the demo's SNR column would measure the wrong thing.
TEST_F(Cli, CompareAlignsTheLookahead) {
  bytes raw = read_all(kSpeech);
  bytes delayed(2 * 60, 0);
  delayed.insert(delayed.end(), raw.begin(), raw.end());
  write_all(path("delayed.wav"), make_wav(delayed, 8000, 1));
  const run_result aligned = run({"compare", speech_wav_, path("delayed.wav")});
  EXPECT_EQ(aligned.code, 0) << aligned.err;
  EXPECT_EQ(aligned.out.rfind("segmental SNR: 35.00 dB", 0), 0u) << aligned.out;
  const run_result unaligned = run({"compare", "--delay", "0", speech_wav_, path("delayed.wav")});
  double segmental = 100;
  std::sscanf(unaligned.out.c_str(), "segmental SNR: %lf", &segmental);
  EXPECT_LT(segmental, 10.0) << unaligned.out;
}

// ---- Frame loss ------------------------------------------------------------

TEST_F(Cli, LossDropsFramesReproducibly) {
  const fs::path siv = encode(1, "speech.siv");
  ASSERT_EQ(run({"decode", "-q", "--loss", "100", siv, path("all.wav")}).code, 0);
  const std::vector<int16_t> all = read_decoded_wav(path("all.wav"));
  ASSERT_EQ(all.size(), 100 * kFrameSamples);
  for (size_t n = 3 * kFrameSamples; n < all.size(); ++n) ASSERT_EQ(all[n], 0) << "sample " << n;

  ASSERT_EQ(run({"decode", "-q", siv, path("none.wav")}).code, 0);
  ASSERT_EQ(run({"decode", "-q", "--loss=0", siv, path("zero.wav")}).code, 0);
  EXPECT_EQ(read_all(path("none.wav")), read_all(path("zero.wav")));

  const run_result first = run({"decode", "--loss", "30", "--seed", "7", siv, path("s7a.wav")});
  const run_result again = run({"decode", "--loss", "30", "--seed=7", siv, path("s7b.wav")});
  const run_result other = run({"decode", "--loss", "30", "--seed", "8", siv, path("s8.wav")});
  EXPECT_EQ(first.code, 0);
  EXPECT_EQ(again.code, 0);
  EXPECT_EQ(other.code, 0);
  EXPECT_EQ(read_all(path("s7a.wav")), read_all(path("s7b.wav")));
  EXPECT_NE(read_all(path("s7a.wav")), read_all(path("s8.wav")));
  EXPECT_NE(read_all(path("s7a.wav")), read_all(path("none.wav")));
  int dropped = -1;
  std::sscanf(first.err.c_str() + first.err.find("3.00 s, "), "3.00 s, %d dropped", &dropped);
  EXPECT_GT(dropped, 15);  // 30 of 100 expected
  EXPECT_LT(dropped, 45);
}

// ---- Damaged streams -------------------------------------------------------

TEST_F(Cli, TruncatedStreamStopsAtTheCutAndKeepsTheRest) {
  bytes s = read_all(encode(0, "speech.siv"));
  s.resize(s.size() - 5);  // the last frame lacks 5 bytes
  write_all(path("cut.siv"), s);
  const run_result dec = run({"decode", path("cut.siv"), path("cut.wav")});
  EXPECT_EQ(dec.code, 1);
  EXPECT_NE(dec.err.find("truncated frame at byte offset 2376: type 0 needs 24 bytes, 19 bytes "
                         "remain"),
            std::string::npos)
      << dec.err;
  EXPECT_EQ(read_decoded_wav(path("cut.wav")).size(), 99 * kFrameSamples);

  const run_result info = run({"info", path("cut.siv")});
  EXPECT_EQ(info.code, 1);
  EXPECT_NE(info.out.find("speech frames:    99\n"), std::string::npos);
  EXPECT_NE(info.err.find("byte offset 2376"), std::string::npos);
}

TEST_F(Cli, InvalidFrameTypeStopsWithItsOffset) {
  for (uint8_t bad : {0x04, 0x05, 0xFC}) {
    bytes s = read_all(encode(2, "speech.siv"));
    s[10 * 19] = bad;  // frame 10 claims type 4 or 5
    write_all(path("bad.siv"), s);
    const run_result dec = run({"decode", path("bad.siv"), path("bad.wav")});
    EXPECT_EQ(dec.code, 1);
    const std::string expected =
        "invalid frame type " + std::to_string(bad & 7) + " at byte offset 190";
    EXPECT_NE(dec.err.find(expected), std::string::npos) << dec.err;
    EXPECT_EQ(read_decoded_wav(path("bad.wav")).size(), 10 * kFrameSamples);
    EXPECT_EQ(run({"info", path("bad.siv")}).code, 1);
  }
}

TEST_F(Cli, EmptyStreamDecodesToAnEmptyWav) {
  write_all(path("empty.siv"), {});
  EXPECT_EQ(run({"decode", path("empty.siv"), path("empty.wav")}).code, 0);
  EXPECT_EQ(read_decoded_wav(path("empty.wav")).size(), 0u);
  EXPECT_EQ(run({"info", path("empty.siv")}).code, 0);
}

// ---- Encoder failures ----------------------------------------------------

TEST_F(Cli, EncodeRejectsBadInputWithoutTouchingTheOutput) {
  struct bad_input {
    std::string name;
    bytes content;
    std::string title, message;
  };
  const bytes pcm(4800, 0);
  const std::vector<bad_input> cases = {
      {"missing.wav", {}, "I/O ERROR", "Can't open WAV file !"},
      {"text.wav", bytes{'h', 'e', 'l', 'l', 'o'}, "WAV PARSER ERROR", "This is not a WAVE file."},
      {"fast.wav", make_wav(pcm, 96000, 1), "WAV PARSER ERROR", "Sample rate not supported."},
      {"nodata.wav", make_wav({}, 8000, 1), "WAV PARSER ERROR", "The data chunk contains no data."},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    if (c.name != "missing.wav") write_all(path(c.name), c.content);
    // A new output is not created; an old one keeps its content.
    for (bool existing : {false, true}) {
      fs::remove(path("out.siv"));
      if (existing) write_all(path("out.siv"), {1, 2, 3});
      const run_result r = run({"encode", path(c.name), path("out.siv")});
      EXPECT_EQ(r.code, 1);
      EXPECT_EQ(r.err.rfind("sivo encode: " + c.title + ": " + c.message, 0), 0u) << r.err;
      EXPECT_EQ(fs::exists(path("out.siv")), existing);
      if (existing) {
        EXPECT_EQ(read_all(path("out.siv")), (bytes{1, 2, 3}));
      }
    }
  }
}

TEST_F(Cli, EncodeReportsAnUnwritableOutput) {
  const run_result r = run({"encode", speech_wav_, path("no/such/dir/out.siv")});
  EXPECT_EQ(r.code, 1);
  EXPECT_EQ(r.err.rfind("sivo encode: I/O ERROR: Can't open output file !", 0), 0u) << r.err;
  const run_result d = run({"decode", encode(0, "ok.siv"), path("no/such/dir/out.wav")});
  EXPECT_EQ(d.code, 1);
  EXPECT_NE(d.err.find("cannot create"), std::string::npos) << d.err;
  EXPECT_FALSE(fs::exists(path("no")));
}

TEST_F(Cli, SummaryNamesFramesBytesAndRate) {
  const run_result r = run({"encode", "-r", "3", speech_wav_, path("s.siv")});
  EXPECT_EQ(r.code, 0);
  EXPECT_NE(r.err.find("3.00 s, 100 frames, 4500 bytes, rate 3 (12000.0 bit/s)"), std::string::npos)
      << r.err;
}

// Ctrl-C stops the job between two steps: the output holds whole frames.
TEST_F(Cli, InterruptStopsCleanly) {
  bytes raw = read_all(kSpeech), pcm;
  for (int i = 0; i < 400; ++i) pcm.insert(pcm.end(), raw.begin(), raw.end());  // 20 min
  write_all(path("long.wav"), make_wav(pcm, 8000, 1));
  const pid_t pid = start({"encode", "-r", "1", path("long.wav"), path("long.siv")});
  // Interrupt once the job has written frames, however slowly the program
  // starts (under an emulator it takes far longer than natively).
  std::error_code ec;
  for (int waited = 0; waited < 60000; waited += 10) {
    if (fs::exists(path("long.siv"), ec) && fs::file_size(path("long.siv"), ec) > 0) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  kill(pid, SIGINT);
  const run_result r = finish(pid);
  if (r.code == 0) GTEST_SKIP() << "the job finished before the interrupt";
  EXPECT_EQ(r.code, 130) << r.err;
  EXPECT_NE(r.err.find("interrupted"), std::string::npos) << r.err;
  const auto size = fs::file_size(path("long.siv"));
  EXPECT_EQ(size % 31, 0u);
  EXPECT_LT(size, 400u * 100 * 31);
  EXPECT_EQ(run({"info", path("long.siv")}).code, 0);
}

// ---- Command line ----------------------------------------------------------

TEST_F(Cli, UsageErrorsExitWithTwo) {
  const std::vector<std::vector<std::string>> bad = {
      {},
      {"transcode"},
      {"encode", speech_wav_},
      {"encode", "-r", "4", speech_wav_, path("x")},
      {"encode", "-r", "-1", speech_wav_, path("x")},
      {"encode", "-r", "1x", speech_wav_, path("x")},
      {"encode", "-r"},
      {"encode", "--bogus", speech_wav_, path("x")},
      {"decode", "--loss", "101", "a", path("x")},
      {"decode", "--loss", "ten", "a", path("x")},
      {"decode", "--loss"},
      {"decode", "--seed", "-3", "a", path("x")},
      {"info"},
      {"info", "a", "b"},
      {"compare", "--delay", "x", "a", "b"},
  };
  for (const auto& args : bad) {
    std::string joined;
    for (const auto& a : args) joined += a + " ";
    const run_result r = run(args);
    EXPECT_EQ(r.code, 2) << joined << "\n" << r.err;
    EXPECT_FALSE(r.err.empty()) << joined;
    EXPECT_FALSE(fs::exists(path("x"))) << joined;
  }
}

TEST_F(Cli, SameFileForInputAndOutputIsRefused) {
  const bytes before = read_all(speech_wav_);
  EXPECT_EQ(run({"encode", speech_wav_, speech_wav_}).code, 2);
  const fs::path siv = encode(0, "s.siv");
  const bytes stream = read_all(siv);
  EXPECT_EQ(run({"decode", siv, siv}).code, 2);
  EXPECT_EQ(read_all(speech_wav_), before);
  EXPECT_EQ(read_all(siv), stream);
}

TEST_F(Cli, HelpAndVersion) {
  for (const char* command : {"encode", "decode", "info", "compare", "raw2wav"}) {
    const run_result r = run({command, "--help"});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.out.rfind(std::string("Usage: sivo ") + command, 0), 0u) << r.out;
    EXPECT_EQ(run({"help", command}).out, r.out);
  }
  EXPECT_EQ(run({"--help"}).code, 0);
  const run_result v = run({"--version"});
  EXPECT_EQ(v.code, 0);
  EXPECT_NE(v.out.find("siv.encoder.2.0"), std::string::npos);
  EXPECT_NE(v.out.find("siv.decoder.2.0"), std::string::npos);
}

}  // namespace
