// Formant post-filter with tilt compensation, and its gain control.
#pragma once

#include <array>

#include "codec/state.h"

namespace sivo {

// The gain control's smoothing: g <- 0.9375 g + 0.0625 target each sample,
// each sample scaled by 1.0625 g.
inline constexpr double kGainMemory = 0.9375;
inline constexpr double kGainUpdate = 0.0625;
inline constexpr double kGainBoost = 1.0625;

// The post-filter's zero (a_k 0.65^k) and pole (a_k 0.75^k) coefficients for
// predictor a, each rounded to float.
void formant_coefficients(std::array<float, kOrder>& zero, std::array<float, kOrder>& pole,
                          const lpc_set& a) noexcept;

// Folds the tilt r1 / r0 of a subframe's input (its energy r0 and
// first-order correlation r1) into decoder.tilt_memory; returns the weight
// of the subframe's tilt compensation.
double fold_tilt(float r0, float r1, decoder_state& decoder) noexcept;

// The tilt compensation of one sample: v[n] - weight v[n-1], rounded.
inline float compensate_sample(float v, float v_before, double weight) noexcept {
  return static_cast<float>(double(v) - weight * double(v_before));
}

// The gain control's target sqrt(r0 / p), r0 the subframe's input energy
// and p its compensated output's energy (a double sum, rounded to float);
// 1.0 when the output is silent.
float gain_target(double energy, float r0) noexcept;

// The gain control's per-sample step for a target: 0.0625 target, rounded.
inline float gain_step(float target) noexcept {
  return static_cast<float>(kGainUpdate * double(target));
}

// The smoothed gain after one more sample, from the gain before and step.
inline float next_postfilter_gain(float gain, float step) noexcept {
  return static_cast<float>(kGainMemory * double(gain) + double(step));
}

// A sample scaled by the smoothed gain.
inline float scale_by_gain(float x, float gain) noexcept {
  return static_cast<float>(kGainBoost * double(gain) * double(x));
}

// A(z/0.65) / A(z/0.75) and the tilt compensation of one subframe.
// signal: 60 samples filtered in place. fir_history: the subframe's first
// input position on the formant input line (reads [-10..-1], writes
// [0..59]); iir_history: the newest pole-section output before the subframe
// (reads [-9..0], writes [1..60]). Updates decoder.tilt_memory; returns the
// gain target of the subframe.
float formant_postfilter(float* signal, const lpc_set& a, float* fir_history,
                         float* iir_history, decoder_state& decoder) noexcept;

// The gain control: scales the 60 samples by the gain smoothed towards
// target; updates decoder.postfilter_gain.
void apply_postfilter_gain(float* signal, float target, decoder_state& decoder) noexcept;

}  // namespace sivo
