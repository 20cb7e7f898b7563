// The encoder's per-frame pipeline: analysis of the new samples, then the
// adaptive and fixed codebook searches of the four subframes, then packing.
#include "codec/encoder.h"

#include <algorithm>
#include <array>
#include <span>

#include "codec/analysis/input_conditioning.h"
#include "codec/analysis/lpc_analysis.h"
#include "codec/analysis/lpc_to_lsp.h"
#include "codec/analysis/lsp_decode.h"
#include "codec/analysis/lsp_quantise.h"
#include "codec/analysis/noise_shaping.h"
#include "codec/analysis/open_loop_pitch.h"
#include "codec/analysis/perceptual_weighting.h"
#include "codec/analysis/taming.h"
#include "codec/analysis/weighted_synthesis.h"
#include "codec/excitation/adaptive_codebook.h"
#include "codec/excitation/fixed_codebook.h"
#include "codec/frame_format.h"
#include "codec/frame_params.h"
#include "codec/kernels/kernel_table.h"

namespace sivo {
namespace {

// Copies the last `history` samples of a line to its start, so that slot 0
// is preceded by the end of slot 3.
template <std::size_t N>
void refresh_history(std::array<float, N>& line, int history) noexcept {
  std::copy_n(line.begin() + kSlots * kFrame, history, line.begin());
}

// Frame counter: slots 0, 1, 2, 3, 0, ...; histories renewed at slot 0.
// Returns the slot of this frame.
int advance_ring(encoder_state& state) noexcept {
  const int slot = next_ring_slot(state.ring_index, state.ring_count);
  if (slot == 0) {
    refresh_history(state.weighted_buffer, kHistory);
    refresh_history(state.ringing_buffer, kHistory);
    refresh_history(state.excitation_buffer, kHistory);
    refresh_history(state.speech_buffer, kSpeechHistory);
  }
  return slot;
}

// LSPs of subframe 3's predictor, quantised into params and decoded and
// interpolated exactly as the decoder will do it (which moves prev_lsp on).
void quantise_spectrum(std::span<lpc_set, kSubframes> quantised, const lpc_set& last,
                       frame_params& params, encoder_state& state) noexcept {
  lsp_vector lsp;
  lpc_to_lsp(lsp, last, state.prev_lsp);
  params.lsp_index = lsp_quantise(lsp, state.prev_lsp);
  lsp_decode(lsp, state.prev_lsp, params.lsp_index, 0);
  lsp_interpolate(quantised, lsp, state.prev_lsp);
}

// The filters and impulse response of one subframe.
struct subframe_filters {
  const lpc_set& quantised;
  const weighting_set& weighting;
  shaping_params shaping;
  std::span<const float, kSubframe> impulse;
};

// Subframe i: target, both codebook searches, the excitation (into sub,
// which holds the shaped weighted speech on entry), taming and memories.
void code_subframe(int i, float* sub, const subframe_filters& filters, float* synthesis_history,
                   float* ringing_history, frame_params& params, encoder_state& state) noexcept {
  const std::span<float, kSubframe> target(sub, kSubframe);
  kernels().subtract_ringing(target, filters.quantised, filters.weighting, filters.shaping,
                             synthesis_history, ringing_history);
  std::array<float, kSubframe> adaptive;
  find_adaptive_codebook(target, filters.impulse, sub - kHistory, params, i, state, adaptive);
  find_fixed_codebook(target, filters.impulse, params, i, state);
  for (int n = 0; n < kSubframe; ++n) sub[n] += adaptive[n];

  const subframe_params& entry = params.subframes[i];
  update_taming(params.olp[i / 2], entry.acb_lag, entry.acb_gain, state);
  kernels().update_memories(target, filters.quantised, filters.weighting, synthesis_history,
                            ringing_history);
  // Later subframes and frames see the excitation limited to 16 bits; the
  // memory update above has used the unclipped values.
  for (int n = 0; n < kSubframe; ++n) sub[n] = clip_excitation(sub[n]);
}

}  // namespace

int32_t encode_frame(encoder_state& state, const int16_t* samples, uint8_t* frame_bytes,
                     int32_t& frame_type, int32_t& byte_count) noexcept {
  const int slot = advance_ring(state);

  // Where the current slot starts on each line. The coded frame is the last
  // 60 conditioned samples of the previous call and the first 180 of this one.
  float* const speech = state.speech_buffer.data() + kSpeechHistory + kFrame * slot;
  float* const weighted = state.weighted_buffer.data() + kHistory + kFrame * slot;
  float* const excitation = state.excitation_buffer.data() + kHistory + kFrame * slot;
  float* const ringing = state.ringing_buffer.data() + kHistory + kFrame * slot;

  convert_input(speech, kFrame, samples);

  // Local synthesis line: ten memory values (newest at element 9), then the
  // frame's output.
  std::array<float, kFilterLine> synthesis;
  for (int i = 0; i < kOrder; ++i) synthesis[kOrder - 1 - i] = state.synthesis_memory[i];

  condition_input(std::span<float, kFrame>(speech, kFrame), state);

  std::array<lpc_set, kSubframes> unquantised;
  lpc_analysis(unquantised, speech - kSpeechHistory, state);

  std::array<weighting_set, kSubframes> weighting;
  weighting_coefficients(weighting, unquantised);
  kernels().weighting_filter(speech - kSubframe, excitation, weighting, state);
  std::copy_n(excitation, kFrame, weighted);

  frame_params params{};
  params.bad_frame = 0;
  params.olp[0] = open_loop_pitch(weighted - kHistory, kHistory);
  params.olp[1] = open_loop_pitch(weighted - kHistory, kHistory + kHalfFrame);

  std::array<lpc_set, kSubframes> quantised;
  quantise_spectrum(quantised, unquantised[3], params, state);

  std::array<shaping_params, kSubframes> shaping;
  for (int i = 0; i < kSubframes; ++i) {
    shaping[i] = noise_shaping_estimate(weighted + kSubframe * i, params.olp[i / 2]);
  }
  for (int i = 0; i < kSubframes; ++i) {
    noise_shaping_filter(excitation, weighted - kHistory, kSubframe * i, shaping[i]);
  }

  std::array<std::array<float, kSubframe>, kSubframes> impulses;
  impulse_responses(impulses, quantised, weighting, shaping);
  for (int i = 0; i < kSubframes; ++i) {
    const subframe_filters filters{quantised[i], weighting[i], shaping[i], impulses[i]};
    code_subframe(i, excitation + kSubframe * i, filters,
                  synthesis.data() + kOrder - 1 + kSubframe * i, ringing + kSubframe * i - 1,
                  params, state);
  }

  pack_frame(params, frame_bytes, state, frame_type, byte_count);

  for (int i = 0; i < kOrder; ++i) state.synthesis_memory[i] = synthesis[kFilterLine - 1 - i];
  return 0;
}

}  // namespace sivo
