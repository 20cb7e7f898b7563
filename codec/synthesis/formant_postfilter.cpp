// Formant post-filter A(z/0.65) / A(z/0.75) with tilt compensation, and the
// smoothed gain control that restores the subframe's energy.
#include "codec/synthesis/formant_postfilter.h"

#include <array>
#include <cmath>

#include "codec/tables/postfilter_tables.h"

namespace sivo {
namespace {

constexpr float kSmallestNormal = 1.1754944e-38f;

// The post-filter's zero and pole coefficients for predictor a.
void formant_coefficients(std::array<float, kOrder>& zero, std::array<float, kOrder>& pole,
                          const lpc_set& a) noexcept {
  for (int k = 0; k < kOrder; ++k) {
    zero[k] = static_cast<float>(double(a[k]) * double(formant_zero_weights[k]));
    pole[k] = static_cast<float>(double(a[k]) * double(formant_pole_weights[k]));
  }
}

// The tilt of the subframe's input, folded into decoder.tilt_memory; returns
// the weight of the compensation and writes the input energy r0.
double update_tilt(const float* signal, float& r0, decoder_state& decoder) noexcept {
  double sum0 = 0.0;
  for (int n = 0; n < kSubframe; ++n) sum0 += double(signal[n]) * double(signal[n]);
  double sum1 = 0.0;
  for (int n = 0; n < kSubframe - 1; ++n) sum1 += double(signal[n]) * double(signal[n + 1]);
  r0 = static_cast<float>(sum0);
  const auto r1 = static_cast<float>(sum1);
  const float tilt = r0 > kSmallestNormal ? static_cast<float>(double(r1) / double(r0)) : 0.0f;
  decoder.tilt_memory =
      static_cast<float>(0.75 * double(decoder.tilt_memory) + 0.25 * double(tilt));
  return 0.25 * double(decoder.tilt_memory);
}

// signal[n] = v[n] - tilt_weight v[n-1] from the pole-section output v
// (v[-1] read); returns the gain target for input energy r0.
float compensate_tilt(float* signal, const float* v, double tilt_weight, float r0) noexcept {
  double energy = 0.0;
  for (int n = 0; n < kSubframe; ++n) {
    signal[n] = static_cast<float>(double(v[n]) - tilt_weight * double(v[n - 1]));
    energy += double(signal[n]) * double(signal[n]);
  }
  const auto p = static_cast<float>(energy);
  return p > kSmallestNormal ? static_cast<float>(std::sqrt(double(r0) / double(p))) : 1.0f;
}

}  // namespace

float synthesise_and_postfilter(float* signal, const lpc_set& a, float* synthesis_history,
                                float* fir_history, float* iir_history, pending_gain pending,
                                decoder_state& decoder) noexcept {
  // The gain recursion of the pending subframe, on a dummy line when none.
  std::array<float, kSubframe> unused{};
  float* const scaled = pending.signal != nullptr ? pending.signal : unused.data();
  const auto step = static_cast<float>(0.0625 * double(pending.target));
  float smoothed = decoder.postfilter_gain;

  std::array<float, kOrder> zero, pole;
  formant_coefficients(zero, pole, a);
  // The newest ten samples of each line ride along in registers (doubles of
  // the stored floats): y the synthesis output, x the post-filter input, v
  // its pole-section output; index k is k + 1 samples back.
  double ca[kOrder], cz[kOrder], cp[kOrder], y[kOrder], x[kOrder], v[kOrder];
  for (int k = 0; k < kOrder; ++k) {
    ca[k] = a[k];
    cz[k] = zero[k];
    cp[k] = pole[k];
    y[k] = synthesis_history[-k];
    x[k] = fir_history[-1 - k];
    v[k] = iir_history[-k];
  }
  float* const y_out = synthesis_history + 1;
  float* const v_out = iir_history + 1;
  for (int n = 0; n < kSubframe; ++n) {
    double sum = 0.0;
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) sum += ca[k] * y[k];
    const auto yn = static_cast<float>(double(signal[n]) + sum);
    double zeros = 0.0;
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) zeros += cz[k] * x[k];
    double poles = 0.0;
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) poles += cp[k] * v[k];
    const auto vn = static_cast<float>((double(yn) - zeros) + poles);
#pragma GCC unroll 10
    for (int k = kOrder - 1; k > 0; --k) {
      y[k] = y[k - 1];
      x[k] = x[k - 1];
      v[k] = v[k - 1];
    }
    y[0] = yn;
    x[0] = yn;
    v[0] = vn;
    y_out[n] = yn;
    fir_history[n] = yn;
    v_out[n] = vn;
    signal[n] = yn;

    smoothed = static_cast<float>(0.9375 * double(smoothed) + double(step));
    scaled[n] = static_cast<float>(1.0625 * double(smoothed) * double(scaled[n]));
  }
  if (pending.signal != nullptr) decoder.postfilter_gain = smoothed;
  float r0;
  const double tilt_weight = update_tilt(signal, r0, decoder);
  return compensate_tilt(signal, v_out, tilt_weight, r0);
}

float formant_postfilter(float* signal, const lpc_set& a, float* fir_history, float* iir_history,
                         decoder_state& decoder) noexcept {
  std::array<float, kOrder> zero, pole;
  formant_coefficients(zero, pole, a);
  // Energy and first-order correlation of the input give its spectral tilt.
  float r0;
  const double tilt_weight = update_tilt(signal, r0, decoder);

  // x[m] lives at fir_history[m]; the pole output v[m] at iir_history[m + 1].
  float* x = fir_history;
  float* v = iir_history + 1;
  for (int n = 0; n < kSubframe; ++n) {
    x[n] = signal[n];
    double zeros = 0.0;
    for (int k = 1; k <= kOrder; ++k) zeros += double(zero[k - 1]) * double(x[n - k]);
    double poles = 0.0;
    for (int k = 1; k <= kOrder; ++k) poles += double(pole[k - 1]) * double(v[n - k]);
    v[n] = static_cast<float>((double(x[n]) - zeros) + poles);
  }
  return compensate_tilt(signal, v, tilt_weight, r0);
}

void apply_postfilter_gain(float* signal, float G, decoder_state& decoder) noexcept {
  const auto a = static_cast<float>(0.0625 * double(G));
  for (int n = 0; n < kSubframe; ++n) {
    decoder.postfilter_gain =
        static_cast<float>(0.9375 * double(decoder.postfilter_gain) + double(a));
    signal[n] = static_cast<float>(1.0625 * double(decoder.postfilter_gain) * double(signal[n]));
  }
}

}  // namespace sivo
