// Formant post-filter A(z/0.65) / A(z/0.75) with tilt compensation, and the
// smoothed gain control that restores the subframe's energy.
#include "codec/synthesis/formant_postfilter.h"

#include <cmath>

#include "codec/tables/postfilter_tables.h"

namespace sivo {
namespace {

constexpr float kSmallestNormal = 1.1754944e-38f;

}  // namespace

float formant_postfilter(float* signal, const lpc_set& a, float* fir_history, float* iir_history,
                         decoder_state& decoder) noexcept {
  std::array<float, kOrder> zero{};
  std::array<float, kOrder> pole{};
  for (int k = 0; k < kOrder; ++k) {
    zero[k] = static_cast<float>(double(a[k]) * double(formant_zero_weights[k]));
    pole[k] = static_cast<float>(double(a[k]) * double(formant_pole_weights[k]));
  }

  // Energy and first-order correlation of the input give its spectral tilt.
  double sum0 = 0.0;
  for (int n = 0; n < kSubframe; ++n) sum0 += double(signal[n]) * double(signal[n]);
  double sum1 = 0.0;
  for (int n = 0; n < kSubframe - 1; ++n) sum1 += double(signal[n]) * double(signal[n + 1]);
  const auto r0 = static_cast<float>(sum0);
  const auto r1 = static_cast<float>(sum1);
  const float tilt = r0 > kSmallestNormal ? static_cast<float>(double(r1) / double(r0)) : 0.0f;
  decoder.tilt_memory =
      static_cast<float>(0.75 * double(decoder.tilt_memory) + 0.25 * double(tilt));
  const double tilt_weight = 0.25 * double(decoder.tilt_memory);

  // x[m] lives at fir_history[m]; the pole output v[m] at iir_history[m + 1].
  float* x = fir_history;
  float* v = iir_history + 1;
  double energy = 0.0;
  for (int n = 0; n < kSubframe; ++n) {
    x[n] = signal[n];
    double zeros = 0.0;
    for (int k = 1; k <= kOrder; ++k) zeros += double(zero[k - 1]) * double(x[n - k]);
    double poles = 0.0;
    for (int k = 1; k <= kOrder; ++k) poles += double(pole[k - 1]) * double(v[n - k]);
    v[n] = static_cast<float>((double(x[n]) - zeros) + poles);
    signal[n] = static_cast<float>(double(v[n]) - tilt_weight * double(v[n - 1]));
    energy += double(signal[n]) * double(signal[n]);
  }
  const auto p = static_cast<float>(energy);
  return p > kSmallestNormal ? static_cast<float>(std::sqrt(double(r0) / double(p))) : 1.0f;
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
