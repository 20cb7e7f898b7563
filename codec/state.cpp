// Opening and resetting the encoder and decoder state records.
#include "codec/state.h"

#include "codec/tables/lsp_tables.h"

namespace sivo {

void reset_encoder_state(encoder_state& state) noexcept {
  state.hp_prev_input = 0.0f;
  state.hp_prev_output = 0.0f;
  state.prev_lsp = lsp_mean;
  state.weighted_buffer.fill(0.0f);
  state.ringing_buffer.fill(0.0f);
  state.excitation_buffer.fill(0.0f);
  state.speech_buffer.fill(0.0f);
  state.weighting_memory.fill(0.0f);
  state.synthesis_memory.fill(0.0f);
  state.ring_index = 0;
  state.ring_count = 0;
  state.taming_errors.fill(1.0f);
  state.tone_history = 0;
}

void reset_decoder_state(decoder_state& state) noexcept {
  state.erasure_count = 0;
  state.erasure_gain = 0.0f;
  state.conceal_lag = 0;
  state.noise_seed = 0;
  state.tilt_memory = 0.0f;
  state.postfilter_gain = 1.0f;
  state.prev_lsp = lsp_mean;
  state.excitation_buffer.fill(0.0f);
  state.decoder_synthesis_memory.fill(0.0f);
  state.formant_fir_memory.fill(0.0f);
  state.formant_iir_memory.fill(0.0f);
  state.ring_index = 0;
  state.ring_count = 0;
}

}  // namespace sivo
