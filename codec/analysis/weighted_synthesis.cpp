#include "codec/analysis/weighted_synthesis.h"

#include <array>

namespace sivo {
namespace {

// One sample of 1/A^(z): input + sum aj s[n-j]; s points at the new sample.
inline float synthesis_step(double input, const lpc_set& a, const float* s) noexcept {
  double sum = 0.0;
  for (int j = 1; j <= kOrder; ++j) sum += static_cast<double>(a[j - 1]) * s[-j];
  return static_cast<float>(input + sum);
}

// One sample of W(z): s[0] - sum zj s[-j] + sum pj y[-j]; s and y point at
// the current sample of the synthesised and the weighted line.
inline float weighting_step(const weighting_set& w, const float* s, const float* y) noexcept {
  double zeros = 0.0;
  for (int j = 1; j <= kOrder; ++j) zeros += static_cast<double>(w.zero[j - 1]) * s[-j];
  double poles = 0.0;
  for (int j = 1; j <= kOrder; ++j) poles += static_cast<double>(w.pole[j - 1]) * y[-j];
  return static_cast<float>((s[0] - zeros) + poles);
}

}  // namespace

void impulse_response(std::span<float, kSubframe> h_out, const lpc_set& quantised,
                      const weighting_set& set, shaping_params shaping) noexcept {
  std::array<float, kOrder + kSubframe> s_line{};
  std::array<float, kOrder + kSubframe> y_line{};
  float* s = s_line.data() + kOrder;
  float* y = y_line.data() + kOrder;
  for (int n = 0; n < kSubframe; ++n) {
    s[n] = synthesis_step(n == 0 ? 1.0 : 0.0, quantised, s + n);
    y[n] = weighting_step(set, s + n, y + n);
  }

  for (int n = 0; n < kSubframe; ++n) h_out[n] = y[n];
  // The comb 1 - g z^-L acts on y, not on its own output.
  if (shaping.lag > 0 && shaping.lag < kSubframe) {
    const double gain = shaping.gain;
    for (int n = shaping.lag; n < kSubframe; ++n) {
      h_out[n] = static_cast<float>(y[n] - gain * y[n - shaping.lag]);
    }
  }
}

void subtract_ringing(std::span<float, kSubframe> target, const lpc_set& quantised,
                      const weighting_set& set, shaping_params shaping,
                      float* synthesis_history, float* ringing_history) noexcept {
  float* s = synthesis_history + 1;
  float* y = ringing_history + 1;
  const double gain = shaping.gain;
  for (int n = 0; n < kSubframe; ++n) {
    s[n] = synthesis_step(0.0, quantised, s + n);
    y[n] = weighting_step(set, s + n, y + n);
    target[n] = static_cast<float>(target[n] - (y[n] - gain * y[n - shaping.lag]));
  }
}

void update_memories(std::span<const float, kSubframe> excitation,
                     const lpc_set& quantised, const weighting_set& set,
                     float* synthesis_history, float* ringing_history) noexcept {
  float* s = synthesis_history + 1;
  float* y = ringing_history + 1;
  for (int n = 0; n < kSubframe; ++n) {
    s[n] = synthesis_step(excitation[n], quantised, s + n);
    y[n] = weighting_step(set, s + n, y + n);
  }
}

}  // namespace sivo
