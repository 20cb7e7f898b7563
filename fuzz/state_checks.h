// Invariants of the codec's handle records that hold after any sequence of
// calls with any input: every float of the carried state is finite and every
// counter stays in its range. Shared by the fuzz targets and the tests.
#pragma once

#include <cmath>
#include <cstdint>
#include <span>

#include "codec/state.h"

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

}  // namespace sivo
