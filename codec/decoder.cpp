// The decoder's per-frame pipeline: unpacking, LSP decoding, excitation
// (decoded or concealed), post-filters, synthesis and 16-bit output.
#include "codec/decoder.h"

#include <algorithm>
#include <array>
#include <span>

#include "codec/analysis/lsp_decode.h"
#include "codec/excitation/adaptive_codebook.h"
#include "codec/frame_format.h"
#include "codec/frame_params.h"
#include "codec/synthesis/concealment.h"
#include "codec/synthesis/fixed_codebook_decode.h"
#include "codec/synthesis/formant_postfilter.h"
#include "codec/synthesis/pcm_output.h"
#include "codec/synthesis/pitch_postfilter.h"
#include "codec/synthesis/synthesis_filter.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

using filter_line = std::array<float, kFilterLine>;

// Expands a memory (newest first) into the first ten elements of a line in
// time order.
void load_line(filter_line& line, const std::array<float, kOrder>& memory) noexcept {
  for (int i = 0; i < kOrder; ++i) line[kOrder - 1 - i] = memory[i];
}

void store_line(std::array<float, kOrder>& memory, const filter_line& line) noexcept {
  for (int i = 0; i < kOrder; ++i) memory[i] = line[kFilterLine - 1 - i];
}

// Rebuilds the excitation of a good frame in window[145..384]. Each subframe
// is clipped in the window as soon as it is formed, exactly as the encoder
// clips its history, while unclipped (240 samples) keeps the frame as decoded.
void decode_excitation(const frame_params& params, int rate, std::span<float, kWindow> window,
                       float* unclipped) noexcept {
  // The pulse vectors first, in place: the adaptive codebook reads only the
  // excitation before its subframe.
  decode_fixed_codebooks(window.subspan<kHistory, kFrame>(), params, rate);
  std::array<float, kSubframe> adaptive;
  for (int s = 0; s < kSubframes; ++s) {
    const std::span<float, kSubframe> v = window.subspan(kHistory + kSubframe * s).first<kSubframe>();
    const int32_t olp = params.olp[s / 2];
    const subframe_params& entry = params.subframes[s];
    decode_adaptive_codebook(adaptive, window.data() + kSubframe * s, olp, entry.acb_lag,
                             entry.acb_gain);
    for (int n = 0; n < kSubframe; ++n) {
      v[n] += adaptive[n];
      unclipped[kSubframe * s + n] = v[n];
      v[n] = clip_excitation(v[n]);
    }
  }
}

// The pitch post-filter of subframe s, mixed from the (clipped) window; its
// parameters from job's finished sums over the unclipped frame, or searched
// one lag at a time without a job.
pitch_mix postfilter_subframe(std::span<const float, kWindow> window,
                              std::span<const float, kPaddedWindow> unclipped,
                              const frame_params& params, int s, lag_sum_job* job,
                              const decoder_state& state) noexcept {
  pitch_mix mix;
  mix.x = window.data() + kHistory + kSubframe * s;
  if (job != nullptr) {
    mix.params = pitch_postfilter_from_sums(*job, s, state);
  } else {
    lag_sum_job own;
    if (pitch_postfilter_job(own, unclipped, params.olp[s / 2], s)) {
      sum_lag_job(own);
      mix.params = pitch_postfilter_from_sums(own, s, state);
    } else {
      mix.params = pitch_postfilter_params(unclipped.first<kWindow>(), params.olp[s / 2], s, state);
    }
  }
  return mix;
}

}  // namespace

int32_t decode_frame(decoder_state& state, const uint8_t* frame_bytes,
                     int16_t* samples, int32_t decode_mode, int32_t& frame_type,
                     int32_t& byte_count) noexcept {
  // Frame counter and history refresh, as in the encoder; it advances even
  // for calls that produce no output.
  if (state.ring_index == 0) {
    state.ring_count = 0;
    std::copy_n(state.excitation_buffer.begin() + kSlots * kFrame, kHistory,
                state.excitation_buffer.begin());
  }
  const int slot = state.ring_index;
  state.ring_count += 1;
  state.ring_index = state.ring_count % kSlots;

  frame_params params{};
  const int32_t status =
      unpack_frame(frame_bytes, decode_mode, state, params, frame_type, byte_count);
  if (status == 1 || status == 3) return status;

  state.erasure_count = params.bad_frame ? std::min(state.erasure_count + 1, 3) : 0;

  lsp_vector lsp;
  lsp_decode(lsp, state.prev_lsp, params.lsp_index, params.bad_frame);
  std::array<lpc_set, kSubframes> coefficients;
  lsp_interpolate(coefficients, lsp, state.prev_lsp);

  if (state.erasure_count == 0) {
    state.erasure_gain =
        fcb_gain_table[(params.subframes[2].fcb_gain + params.subframes[3].fcb_gain) / 2];
  } else {
    state.erasure_gain = 0.75f * state.erasure_gain;
  }

  const std::span<float, kWindow> window(state.excitation_buffer.data() + kFrame * slot,
                                         kWindow);
  std::array<float, kFrame> working;
  std::array<float, kPaddedWindow> unclipped;
  // Entries 0-3: the pitch post-filter of each subframe; 4: the voicing
  // decision. side[s]: the job formed while subframe s is filtered.
  std::array<lag_sum_job, kSubframes + 1> jobs;
  std::array<lag_sum_job*, kSubframes> side{};
  pitch_mix mix;  // the pitch post-filter of the subframe next filtered
  const bool good = state.erasure_count == 0;
  if (good) {
    // The voicing decision and the pitch post-filter's parameters look at
    // the frame as decoded, before it was limited to 16 bits.
    std::copy_n(window.begin(), kHistory, unclipped.begin());
    decode_excitation(params, state.comp_rate, window, unclipped.data() + kHistory);
    std::fill(unclipped.begin() + kWindow, unclipped.end(), 0.0f);
    // The pitch post-filter forms the synthesis input from the window; only
    // the plain synthesis filters the decoded frame in place.
    if (state.filter_mode != 1) {
      std::copy_n(unclipped.begin() + kHistory, kFrame, working.begin());
    }
    const std::span<const float, kWindow> decoded = std::span(unclipped).first<kWindow>();
    // The sums of the voicing decision and of the next subframe's pitch
    // post-filter are formed alongside the filtering of a subframe, where
    // they can, so that they fill its recursions' waits.
    if (concealment_job(jobs[kSubframes], decoded, params.olp[1])) {
      side[kSubframes - 1] = &jobs[kSubframes];
    } else {
      state.conceal_lag = estimate_concealment_lag(decoded, params.olp[1]);
    }
    if (state.filter_mode == 1) {
      for (int s = 1; s < kSubframes; ++s) {
        if (pitch_postfilter_job(jobs[s], unclipped, params.olp[s / 2], s)) side[s - 1] = &jobs[s];
      }
      mix = postfilter_subframe(window, unclipped, params, 0, nullptr, state);
    } else if (side[kSubframes - 1] != nullptr) {
      sum_lag_job(jobs[kSubframes]);
      state.conceal_lag = concealment_lag_from_sums(jobs[kSubframes]);
      side[kSubframes - 1] = nullptr;
    }
  } else {
    regenerate_excitation(working, window, state.conceal_lag, state.erasure_gain,
                          state.erasure_count, state.noise_seed);
  }

  filter_line synthesis, formant_input, formant_output;
  load_line(synthesis, state.decoder_synthesis_memory);
  load_line(formant_input, state.formant_fir_memory);
  load_line(formant_output, state.formant_iir_memory);
  // With the post-filters on, each subframe's tilt compensation and gain
  // control run alongside the filtering of the next one.
  pending_gain pending;
  for (int s = 0; s < kSubframes; ++s) {
    float* const sub = working.data() + kSubframe * s;
    float* const synthesis_history = synthesis.data() + kOrder - 1 + kSubframe * s;
    if (state.filter_mode == 1) {
      pending = synthesise_and_postfilter(
          sub, coefficients[s], synthesis_history, formant_input.data() + kOrder + kSubframe * s,
          formant_output.data() + kOrder - 1 + kSubframe * s, pending, state, side[s],
          good ? &mix : nullptr);
      // The next subframe's pitch post-filter, from the sums just formed.
      if (good && s + 1 < kSubframes) {
        mix = postfilter_subframe(window, unclipped, params, s + 1, side[s], state);
      }
    } else {
      synthesis_filter(sub, coefficients[s], synthesis_history);
    }
  }
  if (side[kSubframes - 1] != nullptr) {
    state.conceal_lag = concealment_lag_from_sums(*side[kSubframes - 1]);
  }
  store_line(state.decoder_synthesis_memory, synthesis);
  // While the formant post-filter is off its memories keep what the last
  // filtered frame left.
  if (state.filter_mode == 1) {
    store_line(state.formant_fir_memory, formant_input);
    store_line(state.formant_iir_memory, formant_output);
  }

  // The last subframe's compensation and gain control, then the 16-bit
  // output alongside the gain.
  if (pending.signal != nullptr) {
    finish_postfilter_frame(working.data(), pending, state, samples);
  } else {
    float_to_pcm16(working.data(), kFrame, samples);
  }
  return status;
}

}  // namespace sivo
