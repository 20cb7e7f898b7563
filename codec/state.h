// The state records behind the encoder and decoder handles.
#pragma once

#include <array>
#include <cstdint>

#include "codec/codec_types.h"

namespace sivo {

inline constexpr std::array<int32_t, kRates> kFrameSizes = {24, 31, 19, 45};

struct encoder_state {
  int32_t filter_mode;  // 1: high-pass filter on the input
  int32_t comp_rate;    // 0..3
  int32_t vad_mode;     // always 0
  float hp_prev_input;
  float hp_prev_output;
  lsp_vector prev_lsp;
  // Signal lines: a history followed by four 240-sample frame slots.
  std::array<float, kLine> weighted_buffer;
  std::array<float, kLine> ringing_buffer;
  std::array<float, kLine> excitation_buffer;
  std::array<float, kSpeechLine> speech_buffer;
  std::array<float, kOrder> weighting_memory;   // newest first
  std::array<float, kOrder> synthesis_memory;   // newest first
  std::array<int32_t, kRates> frame_sizes;
  int32_t ring_index;  // slot of the next call
  int32_t ring_count;  // calls since the last history refresh
  std::array<float, 5> taming_errors;
  uint16_t tone_history;  // bits 0..14: tone decisions, bit 15: tone flag
};

struct decoder_state {
  int32_t comp_rate;    // rate of the last speech frame unpacked
  int32_t filter_mode;  // 1: post-filters on
  int32_t erasure_count;  // consecutive concealed frames, 0..3
  float erasure_gain;
  int32_t conceal_lag;
  int32_t noise_seed;   // holds a signed 16-bit value
  float tilt_memory;
  float postfilter_gain;
  lsp_vector prev_lsp;
  std::array<float, kLine> excitation_buffer;
  std::array<float, kOrder> decoder_synthesis_memory;  // newest first
  std::array<float, kOrder> formant_fir_memory;        // newest first
  std::array<float, kOrder> formant_iir_memory;        // newest first
  std::array<int32_t, kRates> frame_sizes;
  int32_t ring_index;
  int32_t ring_count;
};

// The frame ring of a pipeline's signal lines: returns the slot of this
// call (0, 1, 2, 3, 0, ...) and advances the counters. At slot 0 the lines'
// histories are renewed from the end of the last slot.
inline int next_ring_slot(int32_t& ring_index, int32_t& ring_count) noexcept {
  if (ring_index == 0) ring_count = 0;
  const int slot = ring_index;
  ring_count += 1;
  ring_index = ring_count % kSlots;
  return slot;
}

// Returns every field that has a reset value to it; options stay.
void reset_encoder_state(encoder_state& state) noexcept;
void reset_decoder_state(decoder_state& state) noexcept;

}  // namespace sivo
