// Formant post-filter A(z/0.65) / A(z/0.75) with tilt compensation, and the
// smoothed gain control that restores the subframe's energy.
#include "codec/synthesis/formant_postfilter.h"

#include <cmath>

#include "codec/tables/postfilter_tables.h"

namespace sivo {
namespace {

constexpr float kSmallestNormal = 1.1754944e-38f;
constexpr double kTiltMemory = 0.75;   // tilt_memory <- 0.75 tilt_memory + 0.25 tilt
constexpr double kTiltUpdate = 0.25;
constexpr double kTiltWeight = 0.25;   // compensation weight: 0.25 tilt_memory

// Sum of x[n] * y[n] over the subframe, in double.
double subframe_dot(const float* x, const float* y, int length) noexcept {
  double sum = 0.0;
  for (int n = 0; n < length; ++n) sum += double(x[n]) * double(y[n]);
  return sum;
}

}  // namespace

void formant_coefficients(std::array<float, kOrder>& zero, std::array<float, kOrder>& pole,
                          const lpc_set& a) noexcept {
  for (int k = 0; k < kOrder; ++k) {
    zero[k] = static_cast<float>(double(a[k]) * double(formant_zero_weights[k]));
    pole[k] = static_cast<float>(double(a[k]) * double(formant_pole_weights[k]));
  }
}

double fold_tilt(float r0, float r1, decoder_state& decoder) noexcept {
  const float tilt = r0 > kSmallestNormal ? static_cast<float>(double(r1) / double(r0)) : 0.0f;
  decoder.tilt_memory = static_cast<float>(kTiltMemory * double(decoder.tilt_memory) +
                                           kTiltUpdate * double(tilt));
  return kTiltWeight * double(decoder.tilt_memory);
}

float gain_target(double energy, float r0) noexcept {
  const auto p = static_cast<float>(energy);
  return p > kSmallestNormal ? static_cast<float>(std::sqrt(double(r0) / double(p))) : 1.0f;
}

float formant_postfilter(float* signal, const lpc_set& a, float* fir_history, float* iir_history,
                         decoder_state& decoder) noexcept {
  std::array<float, kOrder> zero, pole;
  formant_coefficients(zero, pole, a);
  // Energy and first-order correlation of the input give its spectral tilt.
  const auto r0 = static_cast<float>(subframe_dot(signal, signal, kSubframe));
  const auto r1 = static_cast<float>(subframe_dot(signal, signal + 1, kSubframe - 1));
  const double tilt_weight = fold_tilt(r0, r1, decoder);

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
  double energy = 0.0;
  for (int n = 0; n < kSubframe; ++n) {
    signal[n] = compensate_sample(v[n], v[n - 1], tilt_weight);
    energy += double(signal[n]) * double(signal[n]);
  }
  return gain_target(energy, r0);
}

void apply_postfilter_gain(float* signal, float target, decoder_state& decoder) noexcept {
  const float step = gain_step(target);
  for (int n = 0; n < kSubframe; ++n) {
    decoder.postfilter_gain = next_postfilter_gain(decoder.postfilter_gain, step);
    signal[n] = scale_by_gain(signal[n], decoder.postfilter_gain);
  }
}

}  // namespace sivo
