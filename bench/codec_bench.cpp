// Encoder and decoder speed on real speech, per rate. "x_realtime" is the
// audio duration divided by the CPU time spent.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <vector>

#include "sivocore.h"
#include "speech.h"

namespace {

// About a minute of speech from several recordings, whole frames only.
const std::vector<int16_t>& speech() {
  static const std::vector<int16_t> samples = [] {
    std::vector<int16_t> all;
    for (const char* name : {"hts1a.raw", "hts2a.raw", "morig.raw", "forig.raw", "mmt1.raw",
                             "kristoff.raw", "big_dog.raw", "vk5qi.raw", "ve9qrp.raw"}) {
      const auto s = sivo::test::load_raw(name);
      all.insert(all.end(), s.begin(), s.end());
    }
    all.resize(all.size() / SIVO_FRAME_SAMPLES * SIVO_FRAME_SAMPLES);
    return all;
  }();
  return samples;
}

std::vector<uint8_t> encode_stream(int rate) {
  sivo_encoder* enc;
  sivo_encoder_open(&enc);
  sivo_encoder_set_comp_rate(enc, rate);
  std::vector<uint8_t> stream;
  std::array<uint8_t, SIVO_MAX_FRAME_BYTES> frame;
  const auto& s = speech();
  for (std::size_t i = 0; i < s.size(); i += SIVO_FRAME_SAMPLES) {
    int32_t type, bytes;
    sivo_encode_frame(enc, &s[i], frame.data(), &type, &bytes);
    stream.insert(stream.end(), frame.begin(), frame.begin() + bytes);
  }
  sivo_encoder_close(&enc);
  return stream;
}

void set_counters(benchmark::State& state, std::size_t frames) {
  const double seconds_of_audio = frames * 0.03;
  state.counters["frames_per_s"] =
      benchmark::Counter(static_cast<double>(frames), benchmark::Counter::kIsIterationInvariantRate);
  state.counters["x_realtime"] =
      benchmark::Counter(seconds_of_audio, benchmark::Counter::kIsIterationInvariantRate);
}

void BM_Encode(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const auto& s = speech();
  if (s.empty()) {
    state.SkipWithError("speech recordings not installed");
    return;
  }
  sivo_encoder* enc;
  sivo_encoder_open(&enc);
  sivo_encoder_set_comp_rate(enc, rate);
  std::array<uint8_t, SIVO_MAX_FRAME_BYTES> frame;
  for (auto _ : state) {
    sivo_encoder_reset(enc);
    for (std::size_t i = 0; i < s.size(); i += SIVO_FRAME_SAMPLES) {
      int32_t type, bytes;
      sivo_encode_frame(enc, &s[i], frame.data(), &type, &bytes);
    }
    benchmark::DoNotOptimize(frame);
  }
  sivo_encoder_close(&enc);
  set_counters(state, s.size() / SIVO_FRAME_SAMPLES);
}
BENCHMARK(BM_Encode)->DenseRange(0, 3)->Unit(benchmark::kMillisecond);

void BM_Decode(benchmark::State& state) {
  const int rate = static_cast<int>(state.range(0));
  const int filter_mode = static_cast<int>(state.range(1));
  if (speech().empty()) {
    state.SkipWithError("speech recordings not installed");
    return;
  }
  const auto stream = encode_stream(rate);
  sivo_decoder* dec;
  sivo_decoder_open(&dec);
  sivo_decoder_set_filter_mode(dec, filter_mode);
  std::array<int16_t, SIVO_FRAME_SAMPLES> out;
  std::size_t frames = 0;
  for (auto _ : state) {
    sivo_decoder_reset(dec);
    frames = 0;
    for (std::size_t at = 0; at < stream.size(); ++frames) {
      int32_t type, bytes;
      sivo_decode_frame(dec, &stream[at], out.data(), SIVO_DECODE_NORMAL, &type, &bytes);
      at += bytes;
    }
    benchmark::DoNotOptimize(out);
  }
  sivo_decoder_close(&dec);
  set_counters(state, frames);
}
BENCHMARK(BM_Decode)
    ->ArgsProduct({{0, 1, 2, 3}, {1, 0}})
    ->ArgNames({"rate", "postfilter"})
    ->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
