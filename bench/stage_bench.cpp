// The heavy encoder stages on their own, fed from real speech: adaptive
// codebook search, fixed codebook search per rate, open-loop pitch and the
// LSP conversion. Times are per call.
#include <benchmark/benchmark.h>

#include <array>
#include <vector>

#include "codec/analysis/lpc_analysis.h"
#include "codec/analysis/lpc_to_lsp.h"
#include "codec/analysis/open_loop_pitch.h"
#include "codec/analysis/perceptual_weighting.h"
#include "codec/analysis/weighted_synthesis.h"
#include "codec/excitation/adaptive_codebook.h"
#include "codec/excitation/fixed_codebook.h"
#include "codec/state.h"
#include "codec/tables/lsp_tables.h"
#include "speech.h"

namespace {

using namespace sivo;

// One subframe's inputs to the codebook searches.
struct subframe_case {
  std::array<float, kHistory + kSubframe> signal;  // past excitation, then target
  std::array<float, kSubframe> h;
  frame_params params;
  int subframe;
};

struct scenario {
  std::vector<float> speech;  // whole frames, with kHistory leading zeros
  std::vector<lpc_set> predictors;  // subframe 3 of each frame
  std::vector<subframe_case> subframes;
};

// Predictors, impulse responses, lags and targets of real speech, frame by
// frame, so that every stage sees the spread of inputs of a real run.
const scenario& speech_scenario() {
  static const scenario s = [] {
    scenario out;
    const auto raw = test::load_raw("kristoff.raw");
    const std::size_t frames = raw.size() / kFrame;
    out.speech.assign(kHistory, 0.0f);
    for (std::size_t i = 0; i < frames * kFrame; ++i) out.speech.push_back(raw[i]);

    encoder_state state{};
    reset_encoder_state(state);
    std::vector<float> window(kSpeechHistory + kFrame, 0.0f);
    for (std::size_t f = 1; f + 1 < frames; ++f) {
      const float* frame = out.speech.data() + kHistory + f * kFrame;
      for (int i = 0; i < kSpeechHistory + kFrame; ++i) window[i] = frame[i - kSpeechHistory];
      std::array<lpc_set, kSubframes> lpc;
      lpc_analysis(lpc, window.data(), state);
      std::array<weighting_set, kSubframes> weighting;
      weighting_coefficients(weighting, lpc);
      out.predictors.push_back(lpc[3]);

      frame_params params{};
      params.olp[0] = open_loop_pitch(frame - kHistory, kHistory);
      params.olp[1] = open_loop_pitch(frame - kHistory, kHistory + kHalfFrame);
      std::array<shaping_params, kSubframes> shaping;
      for (int i = 0; i < kSubframes; ++i) shaping[i] = {params.olp[i / 2], 0.2f};
      std::array<std::array<float, kSubframe>, kSubframes> h;
      impulse_responses(h, lpc, weighting, shaping);
      for (int i = 0; i < kSubframes; ++i) {
        subframe_case c{};
        const float* start = frame + kSubframe * i - kHistory;
        for (int n = 0; n < kHistory + kSubframe; ++n) c.signal[n] = 0.25f * start[n];
        c.h = h[i];
        c.params = params;
        c.subframe = i;
        out.subframes.push_back(c);
      }
    }
    return out;
  }();
  return s;
}

bool have_speech(benchmark::State& state) {
  if (!speech_scenario().subframes.empty()) return true;
  state.SkipWithError("speech recordings not installed");
  return false;
}

void BM_AdaptiveCodebookSearch(benchmark::State& state) {
  if (!have_speech(state)) return;
  const auto& cases = speech_scenario().subframes;
  encoder_state enc{};
  reset_encoder_state(enc);
  std::size_t i = 0;
  std::array<float, kSubframe> target, adaptive;
  for (auto _ : state) {
    const subframe_case& c = cases[i];
    if (++i == cases.size()) i = 0;
    frame_params params = c.params;
    std::copy_n(c.signal.begin() + kHistory, kSubframe, target.begin());
    find_adaptive_codebook(target, c.h, c.signal.data(), params, c.subframe, enc, adaptive);
    benchmark::DoNotOptimize(adaptive);
  }
}
BENCHMARK(BM_AdaptiveCodebookSearch);

void BM_FixedCodebookSearch(benchmark::State& state) {
  if (!have_speech(state)) return;
  const auto& cases = speech_scenario().subframes;
  encoder_state enc{};
  reset_encoder_state(enc);
  enc.comp_rate = static_cast<int32_t>(state.range(0));
  std::size_t i = 0;
  std::array<float, kSubframe> target;
  for (auto _ : state) {
    const subframe_case& c = cases[i];
    if (++i == cases.size()) i = 0;
    frame_params params = c.params;
    std::copy_n(c.signal.begin() + kHistory, kSubframe, target.begin());
    find_fixed_codebook(target, c.h, params, c.subframe, enc);
    benchmark::DoNotOptimize(target);
  }
}
BENCHMARK(BM_FixedCodebookSearch)->DenseRange(0, 3)->ArgName("rate");

void BM_OpenLoopPitch(benchmark::State& state) {
  if (!have_speech(state)) return;
  const auto& speech = speech_scenario().speech;
  const std::size_t halves = (speech.size() - kHistory) / kHalfFrame;
  std::size_t i = 1;
  for (auto _ : state) {
    benchmark::DoNotOptimize(open_loop_pitch(speech.data() + i * kHalfFrame, kHistory));
    if (++i == halves) i = 1;
  }
}
BENCHMARK(BM_OpenLoopPitch);

void BM_LpcToLsp(benchmark::State& state) {
  if (!have_speech(state)) return;
  const auto& predictors = speech_scenario().predictors;
  std::size_t i = 0;
  lsp_vector lsp;
  for (auto _ : state) {
    lpc_to_lsp(lsp, predictors[i], lsp_mean);
    benchmark::DoNotOptimize(lsp);
    if (++i == predictors.size()) i = 0;
  }
}
BENCHMARK(BM_LpcToLsp);

}  // namespace
