// The encoding job called from several threads at once: starts, counts and
// stops released together, many times over.
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <string>
#include <thread>
#include <vector>

#if !defined(_WIN32)
#include <unistd.h>
#endif

#include "sivowav.h"
#include "start_gate.h"
#include "tests/wavenc/wav_files.h"

namespace {

using namespace sivo_test;

constexpr int kFrameBytes = 24;  // rate 0

int open_descriptors() {
#if defined(_WIN32)
  return 0;  // handles are counted by the single-threaded job tests
#else
  int n = 0;
  for (const auto& entry : std::filesystem::directory_iterator("/proc/self/fd")) {
    (void)entry;
    ++n;
  }
  return n;
#endif
}

bool untouched(const char* buffer, std::size_t size, char fill) {
  for (std::size_t i = 0; i < size; ++i) {
    if (buffer[i] != fill) return false;
  }
  return true;
}

class JobConcurrency : public TempDirTest {
 protected:
  void TearDown() override {
    SivoStop();
    TempDirTest::TearDown();
  }
  // The output of the job run alone, start to end.
  std::string run_alone(const std::string& input) {
    char message[800], title[25];
    const std::string out = path("alone.bit");
    EXPECT_EQ(SivoEncode(message, title, input.c_str(), out.c_str(), 0), 1);
    int32_t progress = 0;
    while (progress >= 0 && progress < 100) progress = SivoCount(message, title);
    EXPECT_EQ(progress, 100);
    return read(out);
  }
};

// Every call keeps its contract whatever the others do at the same moment:
// a refused start opens nothing (no output file, no descriptor) and writes
// no text, a count or stop never fails, and every output is the job's own
// single-threaded output or, after a stop, a whole-frame prefix of it.
// Without stops, frames counted by racing threads and then to the end must
// give exactly the single-threaded output: none lost, none written twice.
TEST_F(JobConcurrency, StartsCountsAndStopsAtOnceKeepEveryPromise) {
  struct scenario {
    const char* what;
    uint32_t rate;
    bool running;  // a job already runs when the threads are released
    int starters, counters, stoppers;
    int frames;  // of the input; 80 outlast the counters' six calls
  };
  const scenario cases[] = {
      {"two starts", 8000, false, 2, 0, 0, 20},
      {"starts, counts and a stop", 8000, false, 2, 2, 1, 20},
      {"counts and stops on a running job", 16000, true, 0, 2, 2, 20},
      {"starts and counts on a running job", 16000, true, 2, 2, 0, 80},
  };
  constexpr int kRounds = 50;
  const int descriptors_before = open_descriptors();
  int tries = 0, starts = 0, refusals = 0;

  for (const scenario& c : cases) {
    fmt_fields f;
    f.rate = c.rate;
    const int samples = c.frames * 240 * static_cast<int>(c.rate / 8000);
    const std::string input =
        write("in.wav", wav_file(f, tone(samples, 1, c.rate, 330.0, 8000.0)));
    const std::string alone = run_alone(input);
    ASSERT_EQ(alone.size(), static_cast<std::size_t>(c.frames * kFrameBytes)) << c.what;

    for (int round = 0; round < kRounds; ++round) {
      const std::string running_out = path("running.bit");
      std::vector<std::string> outs;
      for (int i = 0; i < c.starters; ++i) {
        outs.push_back(path("out" + std::to_string(i) + ".bit"));
        std::filesystem::remove(outs.back());
      }
      char message[800], title[25];
      if (c.running) {
        ASSERT_EQ(SivoEncode(message, title, input.c_str(), running_out.c_str(), 0), 1);
      }
      const int threads = c.starters + c.counters + c.stoppers;
      sivo::test::start_gate go(threads);
      std::vector<int32_t> start_result(c.starters), stop_result(c.stoppers);
      std::vector<std::vector<int32_t>> counts(c.counters);
      std::vector<char> clean_texts(threads, 1);  // not vector<bool>: one flag per thread
      std::vector<std::thread> pool;
      for (int i = 0; i < c.starters; ++i) {
        pool.emplace_back([&, i] {
          char m[800], t[25];
          std::memset(m, 'm', sizeof m);
          std::memset(t, 't', sizeof t);
          go.arrive_and_wait();
          start_result[i] = SivoEncode(m, t, input.c_str(), outs[i].c_str(), 0);
          if (start_result[i] != 1) clean_texts[i] = untouched(m, 800, 'm') && untouched(t, 25, 't');
        });
      }
      for (int i = 0; i < c.counters; ++i) {
        pool.emplace_back([&, i] {
          char m[800], t[25];
          std::memset(m, 'm', sizeof m);
          std::memset(t, 't', sizeof t);
          go.arrive_and_wait();
          for (int k = 0; k < 3; ++k) counts[i].push_back(SivoCount(m, t));
          clean_texts[c.starters + i] = untouched(m, 800, 'm') && untouched(t, 25, 't');
        });
      }
      for (int i = 0; i < c.stoppers; ++i) {
        pool.emplace_back([&, i] {
          go.arrive_and_wait();
          stop_result[i] = SivoStop();
        });
      }
      for (std::thread& t : pool) t.join();

      // Whatever still runs is finished alone (no stops) or stopped.
      int32_t last = 0;
      if (c.stoppers == 0) {
        while ((last = SivoCount(message, title)) >= 0 && last < 100) {
        }
        EXPECT_NE(last, -1) << c.what << ": " << message;
      } else {
        EXPECT_EQ(SivoStop(), 0) << c.what;
      }

      const std::string at = std::string(c.what) + ", round " + std::to_string(round);
      int started = 0;
      std::vector<std::string> written;
      if (c.running) written.push_back(read(running_out));
      for (int i = 0; i < c.starters; ++i) {
        ++tries;
        if (start_result[i] == 1) {
          ++started;
          written.push_back(read(outs[i]));
        } else {
          ++refusals;
          EXPECT_EQ(start_result[i], -2) << at;
          EXPECT_FALSE(std::filesystem::exists(outs[i])) << at;
        }
      }
      starts += started;
      if (c.stoppers == 0) {
        EXPECT_EQ(started, c.running ? 0 : 1) << at;
      }
      for (int i = 0; i < threads; ++i) EXPECT_TRUE(clean_texts[i]) << at << ", thread " << i;
      for (const auto& results : counts) {
        for (const int32_t r : results) EXPECT_TRUE(r == -2 || (r >= 0 && r <= 100)) << at << ": " << r;
      }
      for (const int32_t r : stop_result) EXPECT_EQ(r, 0) << at;
      for (const std::string& out : written) {
        if (c.stoppers == 0) {
          EXPECT_EQ(out, alone) << at;
        } else {
          EXPECT_EQ(out.size() % kFrameBytes, 0u) << at;
          EXPECT_EQ(out, alone.substr(0, out.size())) << at;
        }
      }
    }
  }
  EXPECT_EQ(open_descriptors(), descriptors_before);
  std::printf("concurrent starts: %d tries, %d started, %d refused\n", tries, starts, refusals);
}

}  // namespace
