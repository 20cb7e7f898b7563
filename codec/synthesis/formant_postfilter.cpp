// Formant post-filter A(z/0.65) / A(z/0.75) with tilt compensation, and the
// smoothed gain control that restores the subframe's energy.
#include "codec/synthesis/formant_postfilter.h"

#include <array>
#include <cmath>

#include "codec/synthesis/pcm_output.h"
#include "codec/tables/postfilter_tables.h"
#include "codec/kernels/vector_lanes.h"

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

// Folds the tilt r1 / r0 of a subframe (its energy r0 and first-order
// correlation r1) into decoder.tilt_memory; returns the compensation weight.
double fold_tilt(float r0, float r1, decoder_state& decoder) noexcept {
  const float tilt = r0 > kSmallestNormal ? static_cast<float>(double(r1) / double(r0)) : 0.0f;
  decoder.tilt_memory =
      static_cast<float>(0.75 * double(decoder.tilt_memory) + 0.25 * double(tilt));
  return 0.25 * double(decoder.tilt_memory);
}

// The tilt of the subframe's input, folded into decoder.tilt_memory; returns
// the weight of the compensation and writes the input energy r0.
double update_tilt(const float* signal, float& r0, decoder_state& decoder) noexcept {
  double sum0 = 0.0;
  for (int n = 0; n < kSubframe; ++n) sum0 += double(signal[n]) * double(signal[n]);
  double sum1 = 0.0;
  for (int n = 0; n < kSubframe - 1; ++n) sum1 += double(signal[n]) * double(signal[n + 1]);
  r0 = static_cast<float>(sum0);
  return fold_tilt(r0, static_cast<float>(sum1), decoder);
}

// signal[n] = v[n] - tilt_weight v[n-1] from the pole-section output v
// (v[-1] read); returns the gain target for input energy r0.
// sqrt(r0 / p) with p the compensated energy rounded to float; 1.0 when
// the output is silent.
float gain_target(double energy, float r0) noexcept {
  const auto p = static_cast<float>(energy);
  return p > kSmallestNormal ? static_cast<float>(std::sqrt(double(r0) / double(p))) : 1.0f;
}

float compensate_tilt(float* signal, const float* v, double tilt_weight, float r0) noexcept {
  double energy = 0.0;
  for (int n = 0; n < kSubframe; ++n) {
    signal[n] = static_cast<float>(double(v[n]) - tilt_weight * double(v[n - 1]));
    energy += double(signal[n]) * double(signal[n]);
  }
  return gain_target(energy, r0);
}

// The three recursions of one subframe. Lines of doubles (exact copies of
// the stored floats) hold each filter's past: line[k] is the sample
// kOrder - k before the subframe's first, line[kOrder + n] output n. The
// newest sample of each line is also carried in a register, so that only it
// is on the chain from one sample to the next; the older products are formed
// from the lines off the chain.
struct recursion_lines {
  double y[kOrder + kSubframe];  // synthesis output
  double x[kOrder + kSubframe];  // formant input (the same samples, its own past)
  double v[kOrder + kSubframe];  // formant pole-section output
};

struct recursion_sums {
  double energy, lagged;  // the output's energy and first-order correlation
  float smoothed;         // the gain control's state after the subframe
};

// signal: 60 excitation samples in (or, with mix, the pitch post-filter of
// mix->x), synthesis output out; v_out: the pole
// section's 60 outputs; scaled: 60 samples of the pending subframe scaled by
// the smoothed gain (from smoothed, stepping by step); side: sums formed
// alongside, or null.
// The lag sums run in lane groups of width W (see lane_group).
template <int W>
SIVO_LANE_INLINE recursion_sums recursions_in(float* signal, float* v_out, recursion_lines& line,
                                              const double (&ca)[kOrder],
                                              const double (&cz)[kOrder],
                                              const double (&cp)[kOrder],
                                              const pending_gain& pending, float smoothed,
                                              lag_sum_job* side, const pitch_mix* mix) noexcept {
  double y0 = line.y[kOrder - 1], v0 = line.v[kOrder - 1];
  double energy = 0.0, lagged = 0.0;
  // The side job's sums fill the time each sample waits on the one before.
  lag_lanes<W> lanes;
  start_lag_lanes(lanes);
  const bool with_side = side != nullptr;
  const bool twice = with_side && side->length == 2 * kSubframe;
  const float* const mixed = mix != nullptr ? mix->x : signal;
  const int mix_lag = mix != nullptr ? mix->params.lag : 0;
  const double mix_gain = mix != nullptr ? mix->params.gain : 0.0;
  const double mix_scale = mix != nullptr ? mix->params.scale : 1.0;
  // The sums that carry a sample to the next start from their first product
  // rather than from 0.0 + product, one addition fewer on the chain. That
  // changes a sum only when it is a zero (-0 instead of +0), and such a sum
  // meets an addend made +0 where it was +-0 (x + 0.0, off the chain), which
  // gives the same result either way: every sample stays bit for bit.
  const auto sample = [&](int n) __attribute__((always_inline)) {
    const double* y = line.y + n;  // y[kOrder - 1 - k]: k + 1 samples back
    const double* x = line.x + n;
    const double* v = line.v + n;
    double sum = ca[0] * y0;
#pragma GCC unroll 9
    for (int k = 1; k < kOrder; ++k) sum += ca[k] * y[kOrder - 1 - k];
    // The pitch post-filter's output is formed as the sample is needed.
    const float input =
        mix != nullptr
            ? static_cast<float>(mix_gain * double(mixed[n + mix_lag]) + mix_scale * double(mixed[n]))
            : signal[n];
    const auto yn = static_cast<float>((double(input) + 0.0) + sum);
    double zeros = 0.0;
#pragma GCC unroll 10
    for (int k = 0; k < kOrder; ++k) zeros += cz[k] * x[kOrder - 1 - k];
    double poles = cp[0] * v0;
#pragma GCC unroll 9
    for (int k = 1; k < kOrder; ++k) poles += cp[k] * v[kOrder - 1 - k];
    const double yd = yn;
    const auto vn = static_cast<float>(((yd - zeros) + 0.0) + poles);
    energy += yd * yd;
    if (n > 0) lagged += y0 * yd;
    y0 = yd;
    v0 = vn;
    line.y[kOrder + n] = yd;
    line.x[kOrder + n] = yd;
    line.v[kOrder + n] = v0;
    signal[n] = yn;
    v_out[n] = vn;

    if (with_side) {
      if (twice) {
        add_lag_sample(lanes, *side, 2 * n);
        add_lag_sample(lanes, *side, 2 * n + 1);
      } else {
        add_lag_sample(lanes, *side, n);
      }
    }
  };

  if (pending.signal == nullptr) {
    for (int n = 0; n < kSubframe; ++n) sample(n);
  } else {
    // The pending subframe's tilt compensation over the first third, three
    // samples a step; then its gain control over the rest, three samples
    // every two steps. Neither touches this subframe's chains.
    float* const out = pending.signal;
    const float* const pv = pending.v;
    const double weight = pending.tilt_weight;
    double compensated = 0.0;
    constexpr int kCompensationSteps = kSubframe / 3;
    for (int n = 0; n < kCompensationSteps; ++n) {
      sample(n);
      for (int k = 3 * n; k < 3 * n + 3; ++k) {
        out[k] = static_cast<float>(double(pv[k]) - weight * double(pv[k - 1]));
        compensated += double(out[k]) * double(out[k]);
      }
    }
    const float step = static_cast<float>(0.0625 * double(gain_target(compensated, pending.r0)));
    for (int n = kCompensationSteps; n < kSubframe; ++n) {
      sample(n);
      const int from = 3 * (n - kCompensationSteps) / 2;
      const int to = 3 * (n - kCompensationSteps + 1) / 2;
      for (int k = from; k < to; ++k) {
        smoothed = static_cast<float>(0.9375 * double(smoothed) + double(step));
        out[k] = static_cast<float>(1.0625 * double(smoothed) * double(out[k]));
      }
    }
  }
  if (with_side) finish_lag_sums(*side, lanes);
  return recursion_sums{energy, lagged, smoothed};
}

SIVO_LANE_CLONES
recursion_sums run_recursions(float* signal, float* v_out, recursion_lines& line,
                              const double (&ca)[kOrder], const double (&cz)[kOrder],
                              const double (&cp)[kOrder], const pending_gain& pending,
                              float smoothed, lag_sum_job* side, const pitch_mix* mix) noexcept {
  switch (SIVO_LANE_WIDTH()) {
    case 8:
      return recursions_in<8>(signal, v_out, line, ca, cz, cp, pending, smoothed, side, mix);
    case 4:
      return recursions_in<4>(signal, v_out, line, ca, cz, cp, pending, smoothed, side, mix);
    default:
      return recursions_in<2>(signal, v_out, line, ca, cz, cp, pending, smoothed, side, mix);
  }
}

}  // namespace

pending_gain synthesise_and_postfilter(float* signal, const lpc_set& a, float* synthesis_history,
                                       float* fir_history, float* iir_history,
                                       pending_gain pending, decoder_state& decoder,
                                       lag_sum_job* side, const pitch_mix* mix) noexcept {
  std::array<float, kOrder> zero, pole;
  formant_coefficients(zero, pole, a);
  double ca[kOrder], cz[kOrder], cp[kOrder];
  recursion_lines line;
  for (int k = 0; k < kOrder; ++k) {
    ca[k] = a[k];
    cz[k] = zero[k];
    cp[k] = pole[k];
    line.y[kOrder - 1 - k] = synthesis_history[-k];
    line.x[kOrder - 1 - k] = fir_history[-1 - k];
    line.v[kOrder - 1 - k] = iir_history[-k];
  }
  float* const v_out = iir_history + 1;
  const recursion_sums sums = run_recursions(signal, v_out, line, ca, cz, cp, pending,
                                             decoder.postfilter_gain, side, mix);
  // The next subframe reads only the last kOrder samples of either line.
  for (int n = kSubframe - kOrder; n < kSubframe; ++n) {
    synthesis_history[1 + n] = signal[n];
    fir_history[n] = signal[n];
  }
  if (pending.signal != nullptr) decoder.postfilter_gain = sums.smoothed;
  const auto r0 = static_cast<float>(sums.energy);
  const double tilt_weight = fold_tilt(r0, static_cast<float>(sums.lagged), decoder);
  return pending_gain{signal, v_out, tilt_weight, r0};
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

namespace {

// The gain recursion over last[0..59] from gain, stepping by a; earlier[0..179]
// converted to samples four at a time alongside. Returns the final gain.
SIVO_LANE_CLONES
float scale_and_convert(float* last, float gain, float a, const float* earlier,
                        int16_t* samples) noexcept {
  constexpr int kQuads = (kFrame - kSubframe) / 4;
  static_assert(kQuads <= kSubframe);
  for (int n = 0; n < kSubframe; ++n) {
    gain = static_cast<float>(0.9375 * double(gain) + double(a));
    last[n] = static_cast<float>(1.0625 * double(gain) * double(last[n]));
    if (n < kQuads) pcm16_quad(earlier + 4 * n, samples + 4 * n);
  }
  return gain;
}

}  // namespace

void finish_postfilter_frame(float* frame, pending_gain pending, decoder_state& decoder,
                             int16_t* samples) noexcept {
  float* const last = frame + kFrame - kSubframe;
  const float G = compensate_tilt(last, pending.v, pending.tilt_weight, pending.r0);
  const auto a = static_cast<float>(0.0625 * double(G));
  decoder.postfilter_gain = scale_and_convert(last, decoder.postfilter_gain, a, frame, samples);
  float_to_pcm16(last, kSubframe, samples + kFrame - kSubframe);
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
