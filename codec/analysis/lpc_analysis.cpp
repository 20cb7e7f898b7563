// Linear prediction of each subframe: windowed autocorrelation, Levinson-Durbin recursion, tone detector.
#include "codec/analysis/lpc_analysis.h"

#include <array>
#include <bit>
#include <cmath>

#include "codec/tables/lpc_tables.h"
#include "codec/kernels/kernel_table.h"

namespace sivo {

namespace {

// White-noise correction of the zero-lag autocorrelation, 1 + 1/1024.
constexpr double kWhiteNoiseCorrection = 1.0009765625;
// A subframe whose second reflection coefficient lies below this is a tone decision.
constexpr float kToneReflection = -0.95f;
constexpr uint16_t kToneDecisions = 0x7FFF;  // bits 0..14: the last 15 decisions
constexpr uint16_t kToneFlag = 0x8000;
constexpr int kToneMinimum = 14;  // decisions out of 15 that raise the flag

// Windowed autocorrelations of the 180 samples at x: r[0..9] lags 1..10 after the lag
// window, r0 after the white-noise correction.
void autocorrelate(const float* x, std::span<float, kOrder> r, float& r0) noexcept {
  std::array<float, kWindowLags + kWindowLength> padded{};
  float* const w = padded.data() + kWindowLags;
  for (int n = 0; n < kWindowLength; ++n) {
    w[n] = static_cast<float>(static_cast<double>(x[n]) * analysis_window[n]);
  }
  std::array<double, kWindowLags> sums;
  kernels().window_correlations(sums, w);
  r0 = static_cast<float>(sums[0]);
  r0 = static_cast<float>(r0 * kWhiteNoiseCorrection);
  for (int j = 1; j <= kOrder; ++j) {
    const float rj = static_cast<float>(sums[j]);
    r[j - 1] = static_cast<float>(static_cast<double>(rj) * lag_window[j - 1]);
  }
}

}  // namespace

void window_correlations(std::span<double, kWindowLags> sums, const float* w) noexcept {
  for (int j = 0; j < kWindowLags; ++j) {
    double sum = 0.0;
    for (int n = j; n < kWindowLength; ++n) sum += static_cast<double>(w[n]) * w[n - j];
    sums[j] = sum;
  }
}

float levinson_durbin(std::span<float, kOrder> coefficients_out, std::span<const float, kOrder> r,
                      float r0, float& k2_out) noexcept {
  std::array<float, kOrder> c{};
  float error = r0;
  for (int i = 0; i < kOrder; ++i) {
    // t = r(i+1) - sum c[j] r(i-j); r holds lag l at index l - 1.
    double sum = 0.0;
    for (int j = 0; j < i; ++j) sum += static_cast<double>(c[j]) * r[i - 1 - j];
    const float t = static_cast<float>(r[i] - sum);
    if (!(error > std::fabs(t))) {
      // The prediction error no longer exceeds the numerator: keep the lower order.
      k2_out = -1.0f;
      break;
    }
    const float k = static_cast<float>(static_cast<double>(t) / error);
    if (i == 1) k2_out = k;
    const std::array<float, kOrder> old = c;
    c[i] = k;
    for (int j = 0; j < i; ++j) {
      c[j] = static_cast<float>(old[j] - static_cast<double>(k) * old[i - 1 - j]);
    }
    error = static_cast<float>(error * (1.0 - static_cast<double>(k) * k));
  }
  for (int j = 0; j < kOrder; ++j) coefficients_out[j] = c[j];
  return error;
}

void lpc_analysis(std::span<lpc_set, kSubframes> coefficients_out, const float* window_start,
                  encoder_state& state) noexcept {
  uint16_t history = state.tone_history;
  for (int k = 0; k < kSubframes; ++k) {
    std::array<float, kOrder> r;
    float r0;
    autocorrelate(window_start + k * kSubframe, r, r0);
    float k2;
    levinson_durbin(coefficients_out[k], r, r0, k2);
    history = static_cast<uint16_t>((history << 1) + (k2 < kToneReflection ? 1 : 0));
  }
  history &= kToneDecisions;
  if (std::popcount(history) >= kToneMinimum) history |= kToneFlag;
  state.tone_history = history;
}

}  // namespace sivo
