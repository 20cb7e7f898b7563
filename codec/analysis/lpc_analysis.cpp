#include "codec/analysis/lpc_analysis.h"

#include <array>
#include <bit>
#include <cmath>

#include "codec/tables/lpc_tables.h"
#include "codec/kernels/vector_lanes.h"

namespace sivo {

namespace {

constexpr int kWindowLength = 180;
// White-noise correction of the zero-lag autocorrelation, 1 + 1/1024.
constexpr double kWhiteNoiseCorrection = 1.0009765625;
// A subframe whose second reflection coefficient lies below this is a tone decision.
constexpr float kToneReflection = -0.95f;
constexpr uint16_t kToneDecisions = 0x7FFF;  // bits 0..14: the last 15 decisions
constexpr uint16_t kToneFlag = 0x8000;
constexpr int kToneMinimum = 14;  // decisions out of 15 that raise the flag

// sums[j] = sum over n = j..179 of w[n] w[n - j], j = 0..11, in double. The
// twelve lags run side by side, one per lane; w holds 12 zeros before the
// window (read only by lanes whose sum has not started).
constexpr int kLagLanes = 12;
SIVO_LANE_CLONES
void correlate_window(std::array<double, kLagLanes>& sums, const float* w) noexcept {
  // Lane k of quad q is lag 4q + 3 - k.
  double4 s0 = SIVO_SPLAT(0.0), s1 = s0, s2 = s0;
  const double4 lane = {3.0, 2.0, 1.0, 0.0};
  for (int n = 0; n < kLagLanes; ++n) {
    const double4 wn = SIVO_SPLAT(w[n]);
    const double4 reach = SIVO_SPLAT(n);  // lags j <= n take the term
    s0 = reach >= lane ? s0 + wn * SIVO_LOAD_WIDENED(w + n - 3) : s0;
    s1 = reach >= lane + 4.0 ? s1 + wn * SIVO_LOAD_WIDENED(w + n - 7) : s1;
    s2 = reach >= lane + 8.0 ? s2 + wn * SIVO_LOAD_WIDENED(w + n - 11) : s2;
  }
  for (int n = kLagLanes; n < kWindowLength; ++n) {
    const double4 wn = SIVO_SPLAT(w[n]);
    s0 += wn * SIVO_LOAD_WIDENED(w + n - 3);
    s1 += wn * SIVO_LOAD_WIDENED(w + n - 7);
    s2 += wn * SIVO_LOAD_WIDENED(w + n - 11);
  }
  for (int k = 0; k < 4; ++k) {
    sums[3 - k] = s0[k];
    sums[7 - k] = s1[k];
    sums[11 - k] = s2[k];
  }
}

// Windowed autocorrelations of the 180 samples at x: r[0..9] lags 1..10 after the lag
// window, r0 after the white-noise correction.
void autocorrelate(const float* x, std::span<float, kOrder> r, float& r0) noexcept {
  std::array<float, kLagLanes + kWindowLength> padded{};
  float* const w = padded.data() + kLagLanes;
  for (int n = 0; n < kWindowLength; ++n) {
    w[n] = static_cast<float>(static_cast<double>(x[n]) * analysis_window[n]);
  }
  std::array<double, kLagLanes> sums;
  correlate_window(sums, w);
  r0 = static_cast<float>(sums[0]);
  r0 = static_cast<float>(r0 * kWhiteNoiseCorrection);
  for (int j = 1; j <= kOrder; ++j) {
    const float rj = static_cast<float>(sums[j]);
    r[j - 1] = static_cast<float>(static_cast<double>(rj) * lag_window[j - 1]);
  }
}

}  // namespace

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
