// Whole encoding jobs on 60 s files: 44100 Hz stereo (through the rate
// converter) and 8000 Hz mono. The "realtime" counter is seconds of audio
// encoded per second of wall time.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>

#include "sivowav.h"

namespace {

constexpr double kSeconds = 60.0;

void put(std::ofstream& out, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out.put(static_cast<char>((v >> (8 * i)) & 0xff));
}

// A 60 s file of a gliding vowel-like tone with a little noise.
std::string make_wav(uint32_t rate, uint16_t channels) {
  const auto path = std::filesystem::temp_directory_path() /
                    ("sivo_bench_" + std::to_string(getpid()) + "_" + std::to_string(rate) + ".wav");
  const uint32_t frames = static_cast<uint32_t>(kSeconds * rate);
  const uint32_t data = frames * channels * 2;
  std::ofstream out(path, std::ios::binary);
  out.write("RIFF", 4);
  put(out, 36 + data, 4);
  out.write("WAVEfmt ", 8);
  put(out, 16, 4);
  put(out, 1, 2);
  put(out, channels, 2);
  put(out, rate, 4);
  put(out, rate * channels * 2, 4);
  put(out, channels * 2u, 2);
  put(out, 16, 2);
  out.write("data", 4);
  put(out, data, 4);
  uint32_t noise = 1;
  double phase = 0.0;
  for (uint32_t n = 0; n < frames; ++n) {
    const double t = static_cast<double>(n) / rate;
    phase += 2.0 * M_PI * (120.0 + 40.0 * std::sin(2.0 * M_PI * 0.5 * t)) / rate;
    noise = noise * 1664525u + 1013904223u;
    const double v = 6000.0 * std::sin(phase) + 2000.0 * std::sin(3.0 * phase) +
                     static_cast<double>(static_cast<int>(noise >> 20) - 2048);
    for (uint16_t c = 0; c < channels; ++c) put(out, static_cast<uint16_t>(std::lround(v)), 2);
  }
  return path.string();
}

void run_job(benchmark::State& state, uint32_t rate, uint16_t channels) {
  const std::string in = make_wav(rate, channels);
  const std::string out = in + ".siv";
  char message[800], title[25];
  for (auto _ : state) {
    if (SivoEncode(message, title, in.c_str(), out.c_str(), 1) != 1) {
      state.SkipWithError(message);
      break;
    }
    int32_t progress = 0;
    while ((progress = SivoCount(message, title)) >= 0 && progress < 100) {
    }
    if (progress != 100) {
      state.SkipWithError(message);
      break;
    }
  }
  state.counters["realtime"] =
      benchmark::Counter(kSeconds * static_cast<double>(state.iterations()),
                         benchmark::Counter::kIsRate);
  std::filesystem::remove(in);
  std::filesystem::remove(out);
}

void BM_Job44100Stereo(benchmark::State& state) { run_job(state, 44100, 2); }
void BM_Job8000Mono(benchmark::State& state) { run_job(state, 8000, 1); }

BENCHMARK(BM_Job44100Stereo)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Job8000Mono)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace
