// Windowed autocorrelation, Levinson-Durbin recursion and the tone detector.
#pragma once

#include <span>

#include "codec/state.h"

namespace sivo {

inline constexpr int kWindowLength = 180;  // samples of one analysis window
// Lags correlated, 0..11 (11 unused: the lane kernel takes three groups of four).
inline constexpr int kWindowLags = 12;

// sums[j] = sum over n = j..179 of w[n] w[n - j] in double, j = 0..11; w
// is the windowed signal with 12 zeros before it (read only by the lane
// kernel). The reference form of the window correlation kernel.
void window_correlations(std::span<double, kWindowLags> sums, const float* w) noexcept;

// r: autocorrelations of lags 1..10; r0: lag 0. Writes a1..a10 (zeros above
// the order reached when the recursion stops early) and the second
// reflection coefficient (-1.0 on an early stop). Returns the final error.
float levinson_durbin(std::span<float, kOrder> coefficients_out,
                      std::span<const float, kOrder> r, float r0,
                      float& k2_out) noexcept;

// window_start: 120 samples before the newest input frame in speech_buffer;
// reads window_start[0..359]. Writes 4 x 10 predictor coefficients
// (subframe 0 first) and updates state.tone_history.
void lpc_analysis(std::span<lpc_set, kSubframes> coefficients_out,
                  const float* window_start, encoder_state& state) noexcept;

}  // namespace sivo
