// Invariants of the codec's handle records that hold after any sequence of
// calls with any input: every float of the carried state is finite and every
// counter stays in its range. Shared by the fuzz targets and the tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "codec/frame_format.h"
#include "codec/frame_params.h"
#include "codec/state.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {

inline bool all_finite(std::span<const float> values) noexcept {
  for (const float v : values) {
    if (!std::isfinite(v)) return false;
  }
  return true;
}

// Returns the name of the first field that breaks an invariant, or null.
inline const char* decoder_state_fault(const decoder_state& s) noexcept {
  if (s.comp_rate < 0 || s.comp_rate >= kRates) return "comp_rate";
  if (s.filter_mode != 0 && s.filter_mode != 1) return "filter_mode";
  if (s.erasure_count < 0 || s.erasure_count > 3) return "erasure_count";
  if (!std::isfinite(s.erasure_gain) || s.erasure_gain < 0.0f) return "erasure_gain";
  if (s.conceal_lag < 0 || s.conceal_lag > kHistory) return "conceal_lag";
  if (s.noise_seed < INT16_MIN || s.noise_seed > INT16_MAX) return "noise_seed";
  if (!std::isfinite(s.tilt_memory)) return "tilt_memory";
  if (!std::isfinite(s.postfilter_gain)) return "postfilter_gain";
  if (!all_finite(s.prev_lsp)) return "prev_lsp";
  if (!all_finite(s.excitation_buffer)) return "excitation_buffer";
  if (!all_finite(s.decoder_synthesis_memory)) return "decoder_synthesis_memory";
  if (!all_finite(s.formant_fir_memory)) return "formant_fir_memory";
  if (!all_finite(s.formant_iir_memory)) return "formant_iir_memory";
  if (s.ring_index < 0 || s.ring_index >= kSlots) return "ring_index";
  if (s.ring_count < 0 || s.ring_count > kSlots) return "ring_count";
  return nullptr;
}

inline const char* encoder_state_fault(const encoder_state& s) noexcept {
  if (s.comp_rate < 0 || s.comp_rate >= kRates) return "comp_rate";
  if (s.filter_mode != 0 && s.filter_mode != 1) return "filter_mode";
  if (s.vad_mode != 0) return "vad_mode";
  if (!std::isfinite(s.hp_prev_input)) return "hp_prev_input";
  if (!std::isfinite(s.hp_prev_output)) return "hp_prev_output";
  if (!all_finite(s.prev_lsp)) return "prev_lsp";
  if (!all_finite(s.weighted_buffer)) return "weighted_buffer";
  if (!all_finite(s.ringing_buffer)) return "ringing_buffer";
  if (!all_finite(s.excitation_buffer)) return "excitation_buffer";
  if (!all_finite(s.speech_buffer)) return "speech_buffer";
  if (!all_finite(s.weighting_memory)) return "weighting_memory";
  if (!all_finite(s.synthesis_memory)) return "synthesis_memory";
  if (!all_finite(s.taming_errors)) return "taming_errors";
  if (s.ring_index < 0 || s.ring_index >= kSlots) return "ring_index";
  if (s.ring_count < 0 || s.ring_count > kSlots) return "ring_count";
  return nullptr;
}

// Unpacks a frame the encoder made at `rate` and returns the name of the
// first field outside the range its coding allows, or null.
inline const char* frame_field_fault(const uint8_t* frame, int32_t rate) noexcept {
  decoder_state scratch{};
  scratch.frame_sizes = kFrameSizes;
  frame_params params{};
  int32_t type = -1, bytes = -1;
  if (unpack_frame(frame, 0, scratch, params, type, bytes) != 0) return "pitch or gain code";
  if (type != rate || bytes != kFrameSizes[rate]) return "frame type";
  if (params.bad_frame != 0) return "bad_frame";
  const int stages = rate == 3 ? 2 : 1;
  for (int stage = 0; stage < stages; ++stage) {
    const int row = stage == 0 ? rate : 4;
    for (int s = 0; s < kSubframes; ++s) {
      const subframe_params& p = params.subframes[kSubframes * stage + s];
      const int pulses = pulse_count_table[kSubframes * row + s];
      if (p.positions >= position_limit_table[kSubframes * row + s]) return "positions";
      if (p.grid < 0 || p.grid >= grid_step_table[row]) return "grid";
      if (p.signs < 0 || p.signs >= (1 << pulses)) return "signs";
      if (p.fcb_gain < 0 || p.fcb_gain >= 24) return "fcb_gain";
    }
  }
  return nullptr;
}

}  // namespace sivo
