// The decoder's per-frame pipeline: unpacking, LSP decoding, excitation
// (decoded or frame_excitation), post-filters, synthesis and 16-bit output.
#include "codec/decoder.h"

#include <algorithm>
#include <array>
#include <span>

#include "codec/analysis/lsp_decode.h"
#include "codec/excitation/adaptive_codebook.h"
#include "codec/frame_format.h"
#include "codec/frame_params.h"
#include "codec/kernels/kernel_table.h"
#include "codec/synthesis/concealment.h"
#include "codec/synthesis/fixed_codebook_decode.h"
#include "codec/synthesis/pitch_postfilter.h"
#include "codec/synthesis/postfiltered_synthesis.h"
#include "codec/synthesis/synthesis_filter.h"
#include "codec/tables/fcb_tables.h"
#include "sivocore.h"

namespace sivo {
namespace {

constexpr float kErasureGainDecay = 0.75f;  // per frame_excitation frame
constexpr int32_t kPostfiltersOn = 1;       // decoder_state::filter_mode

// Rebuilds the excitation of a good frame in window[145..384]. Each subframe
// is clipped in the window as soon as it is formed, exactly as the encoder
// clips its history, while decoded (145 + 240 samples, then zeros) keeps the
// history and the frame as decoded.
void decode_excitation(const frame_params& params, int rate, std::span<float, kWindow> window,
                       std::span<float, kPaddedWindow> decoded) noexcept {
  std::copy_n(window.begin(), kHistory, decoded.begin());
  std::fill(decoded.begin() + kWindow, decoded.end(), 0.0f);
  // The pulse vectors first, in place: the adaptive codebook reads only the
  // excitation before its subframe.
  decode_fixed_codebooks(window.subspan<kHistory, kFrame>(), params, rate);
  std::array<float, kSubframe> adaptive;
  for (int s = 0; s < kSubframes; ++s) {
    float* const v = window.data() + kHistory + kSubframe * s;
    float* const unclipped = decoded.data() + kHistory + kSubframe * s;
    const subframe_params& entry = params.subframes[s];
    decode_adaptive_codebook(adaptive, window.data() + kSubframe * s, params.olp[s / 2],
                             entry.acb_lag, entry.acb_gain);
    for (int n = 0; n < kSubframe; ++n) {
      v[n] += adaptive[n];
      unclipped[n] = v[n];
      v[n] = clip_excitation(v[n]);
    }
  }
}

// The noise gain of concealment: the mean fixed-codebook gain of the last
// two subframes of a good frame, decaying over frame_excitation ones.
void update_erasure_gain(decoder_state& state, const frame_params& params) noexcept {
  if (state.erasure_count == 0) {
    state.erasure_gain =
        fcb_gain_table[(params.subframes[2].fcb_gain + params.subframes[3].fcb_gain) / 2];
  } else {
    state.erasure_gain = kErasureGainDecay * state.erasure_gain;
  }
}

// Synthesis without the post-filters: 1/A(z) on each subframe, then output.
void plain_synthesis(std::span<float, kFrame> excitation,
                     const std::array<lpc_set, kSubframes>& coefficients, decoder_state& state,
                     int16_t* samples) noexcept {
  filter_line synthesis;
  load_line(synthesis, state.decoder_synthesis_memory);
  for (int s = 0; s < kSubframes; ++s) {
    kernels().synthesis_filter(excitation.data() + kSubframe * s, coefficients[s],
                     synthesis.data() + kOrder - 1 + kSubframe * s);
  }
  store_line(state.decoder_synthesis_memory, synthesis);
  kernels().float_to_pcm16(excitation.data(), kFrame, samples);
}

}  // namespace

int32_t decode_frame(decoder_state& state, const uint8_t* frame_bytes,
                     int16_t* samples, int32_t decode_mode, int32_t& frame_type,
                     int32_t& byte_count) noexcept {
  // The frame ring advances even for calls that produce no output.
  const int slot = next_ring_slot(state.ring_index, state.ring_count);
  if (slot == 0) {
    std::copy_n(state.excitation_buffer.begin() + kSlots * kFrame, kHistory,
                state.excitation_buffer.begin());
  }

  frame_params params{};
  const int32_t status =
      unpack_frame(frame_bytes, decode_mode, state, params, frame_type, byte_count);
  if (status == SIVO_NOT_DECODABLE || status == SIVO_INVALID_ARGUMENT) return status;
  state.erasure_count = params.bad_frame ? std::min(state.erasure_count + 1, kMaxErasures) : 0;

  lsp_vector lsp;
  lsp_decode(lsp, state.prev_lsp, params.lsp_index, params.bad_frame);
  std::array<lpc_set, kSubframes> coefficients;
  lsp_interpolate(coefficients, lsp, state.prev_lsp);
  update_erasure_gain(state, params);

  // The excitation: decoded, with the voicing decision a later loss will
  // conceal from, or regenerated.
  const std::span<float, kWindow> window(state.excitation_buffer.data() + kFrame * slot, kWindow);
  std::array<float, kPaddedWindow> decoded;
  std::array<float, kFrame> frame_excitation;
  const bool good = state.erasure_count == 0;
  if (good) {
    decode_excitation(params, state.comp_rate, window, decoded);
    state.conceal_lag = estimate_concealment_lag(std::span(decoded).first<kWindow>(), params.olp[1]);
  } else {
    regenerate_excitation(frame_excitation, window, state.conceal_lag, state.erasure_gain,
                          state.erasure_count, state.noise_seed);
  }

  // Post-filters (pitch, formant, gain) around the synthesis, or the
  // synthesis alone; then the 16-bit output.
  if (state.filter_mode == kPostfiltersOn) {
    synthesis_input in;
    in.excitation = good ? window.data() + kHistory : frame_excitation.data();
    in.decoded = good ? decoded.data() : nullptr;
    in.olp = {params.olp[0], params.olp[1]};
    in.coefficients = &coefficients;
    kernels().postfiltered_synthesis(in, state, samples);
  } else {
    if (good) std::copy_n(decoded.begin() + kHistory, kFrame, frame_excitation.begin());
    plain_synthesis(frame_excitation, coefficients, state, samples);
  }
  return status;
}

}  // namespace sivo
