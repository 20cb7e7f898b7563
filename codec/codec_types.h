// Sizes and small value types shared by the codec's stages.
#pragma once

#include <array>
#include <cstdint>

namespace sivo {

inline constexpr int kFrame = 240;          // samples per frame (30 ms)
inline constexpr int kSubframe = 60;        // samples per subframe
inline constexpr int kSubframes = 4;
inline constexpr int kHalfFrame = 120;
inline constexpr int kOrder = 10;           // linear-prediction order
inline constexpr int kHistory = 145;        // history of the excitation lines
inline constexpr int kSpeechHistory = 120;  // history of the input speech line
inline constexpr int kSlots = 4;            // frame slots of each signal line
inline constexpr int kLine = kHistory + kSlots * kFrame;        // 1105
inline constexpr int kSpeechLine = kSpeechHistory + kSlots * kFrame;  // 1080
inline constexpr int kWindow = kHistory + kFrame;  // decoder excitation window, 385
inline constexpr int kFilterLine = kOrder + kFrame;  // memory + frame, 250
inline constexpr int kRates = 4;
inline constexpr int kMaxFrameBytes = 45;
inline constexpr int kMaxPulses = 8;

// Predictor coefficients a1..a10 of A(z) = 1 - sum aj z^-j.
using lpc_set = std::array<float, kOrder>;
// LSP vector in units of pi/256 rad, increasing.
using lsp_vector = std::array<float, kOrder>;

// Formant weighting filter W(z) = A(z/0.9) / A(z/0.5) of one subframe.
struct weighting_set {
  std::array<float, kOrder> zero;  // zj = aj * 0.9^j
  std::array<float, kOrder> pole;  // pj = aj * 0.5^j
};

// Harmonic noise shaping comb 1 - gain * z^-lag of one subframe.
struct shaping_params {
  int32_t lag = 0;
  float gain = 0.0f;
};

// Pitch post-filter of one subframe: lag < 0 backward, > 0 forward, 0 none.
struct postfilter_params {
  int32_t lag = 0;
  float gain = 0.0f;
  float scale = 1.0f;
};

// Best-so-far record of the pulse search.
struct pulse_candidate {
  float error;
  int32_t grid;
  int32_t gain;
  int32_t train;
  std::array<int32_t, kMaxPulses> positions;
  std::array<float, kMaxPulses> amplitudes;
};

// Limits the excitation history to the 16-bit range.
inline float clip_excitation(float x) noexcept {
  if (x < -32767.5f) return -32768.0f;
  if (x > 32766.5f) return 32767.0f;
  return x;
}

}  // namespace sivo
