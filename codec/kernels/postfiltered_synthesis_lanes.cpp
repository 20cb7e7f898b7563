// Lane kernel of the post-filtered synthesis: the synthesis and formant
// recursions of a subframe in one pass, with the pitch post-filter formed as
// the synthesis reads it, the next subframe's lag sums and the previous
// subframe's tilt compensation and gain control filling the recursions'
// waits.
#include <algorithm>

#include "codec/kernels/lag_sums_lanes.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/pcm_output_lanes.h"
#include "codec/synthesis/formant_postfilter.h"
#include "codec/synthesis/pitch_postfilter.h"
#include "codec/synthesis/postfiltered_synthesis.h"
#include "codec/synthesis/synthesis_filter.h"

namespace sivo {
namespace {

// A subframe whose tilt compensation and gain control are still to run, to
// be run alongside the filtering of the next one.
struct pending_gain {
  float* signal = nullptr;   // 60 samples: the compensation's output, then scaled; or none
  const float* v = nullptr;  // the pole section's 60 outputs of the subframe (v[-1] read)
  double tilt_weight = 0.0;  // the compensation's weight
  float r0 = 0.0f;           // the subframe's input energy
};

// The pitch post-filter of a subframe, formed as the synthesis reads its
// input: input[n] = params.gain * x[n + params.lag] + params.scale * x[n].
struct pitch_mix {
  const float* x = nullptr;  // the subframe's excitation; x[lag..59 + lag] read
  postfilter_params params;
};

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

// The coefficients of the three recursions, in double.
struct recursion_coefficients {
  double synthesis[kOrder], zero[kOrder], pole[kOrder];
};

struct recursion_sums {
  double energy, lagged;  // the output's energy and first-order correlation
  float smoothed;         // the gain control's state after the subframe
};

// The recursions of sample n: synthesis output signal[n] (from input, the
// excitation or its pitch post-filter), pole-section output v_out[n].
template <int W>
SIVO_LANE_INLINE void recursion_sample(int n, float input, float* signal, float* v_out,
                                       recursion_lines& line, const recursion_coefficients& c,
                                       double& y0, double& v0, recursion_sums& sums) noexcept {
  const double* y = line.y + n;  // y[kOrder - 1 - k]: k + 1 samples back
  const double* x = line.x + n;
  const double* v = line.v + n;
  // The sums that carry a sample to the next start from their first product
  // rather than from 0.0 + product, one addition fewer on the chain. That
  // changes a sum only when it is a zero (-0 instead of +0), and such a sum
  // meets an addend made +0 where it was +-0 (x + 0.0, off the chain), which
  // gives the same result either way: every sample stays bit for bit.
  double sum = c.synthesis[0] * y0;
#pragma GCC unroll 9
  for (int k = 1; k < kOrder; ++k) sum += c.synthesis[k] * y[kOrder - 1 - k];
  const auto yn = static_cast<float>((double(input) + 0.0) + sum);
  double zeros = 0.0;
#pragma GCC unroll 10
  for (int k = 0; k < kOrder; ++k) zeros += c.zero[k] * x[kOrder - 1 - k];
  double poles = c.pole[0] * v0;
#pragma GCC unroll 9
  for (int k = 1; k < kOrder; ++k) poles += c.pole[k] * v[kOrder - 1 - k];
  const double yd = yn;
  const auto vn = static_cast<float>(((yd - zeros) + 0.0) + poles);
  sums.energy += yd * yd;
  if (n > 0) sums.lagged += y0 * yd;
  y0 = yd;
  v0 = vn;
  line.y[kOrder + n] = yd;
  line.x[kOrder + n] = yd;
  line.v[kOrder + n] = v0;
  signal[n] = yn;
  v_out[n] = vn;
}

// One subframe's recursions: signal holds 60 excitation samples in (or,
// with mix, is only written), the synthesis output out; v_out: the pole
// section's 60 outputs. The pending subframe's compensation and gain (from
// smoothed) and side's sums run alongside.
template <int W>
SIVO_LANE_INLINE recursion_sums recursions_in(float* signal, float* v_out, recursion_lines& line,
                                              const recursion_coefficients& c,
                                              const pending_gain& pending, float smoothed,
                                              lag_sum_job* side, const pitch_mix* mix) noexcept {
  double y0 = line.y[kOrder - 1], v0 = line.v[kOrder - 1];
  recursion_sums sums{0.0, 0.0, smoothed};
  lag_lanes<W> lanes;
  start_lag_lanes(lanes);
  const float* const mixed = mix != nullptr ? mix->x : signal;
  const int mix_lag = mix != nullptr ? mix->params.lag : 0;
  const double mix_gain = mix != nullptr ? mix->params.gain : 0.0;
  const double mix_scale = mix != nullptr ? mix->params.scale : 1.0;
  const auto sample = [&](int n) __attribute__((always_inline)) {
    const float input = mix != nullptr ? static_cast<float>(mix_gain * double(mixed[n + mix_lag]) +
                                                            mix_scale * double(mixed[n]))
                                       : signal[n];
    recursion_sample<W>(n, input, signal, v_out, line, c, y0, v0, sums);
    if (side != nullptr) add_lag_sample(lanes, *side, n);
  };

  if (pending.signal == nullptr) {
    for (int n = 0; n < kSubframe; ++n) sample(n);
  } else {
    // The pending subframe's tilt compensation over the first third, three
    // samples a step; then its gain control over the rest, three samples
    // every two steps. Neither touches this subframe's chains.
    float* const out = pending.signal;
    const float* const pv = pending.v;
    double compensated = 0.0;
    constexpr int kCompensationSteps = kSubframe / 3;
    for (int n = 0; n < kCompensationSteps; ++n) {
      sample(n);
      for (int k = 3 * n; k < 3 * n + 3; ++k) {
        out[k] = compensate_sample(pv[k], pv[k - 1], pending.tilt_weight);
        compensated += double(out[k]) * double(out[k]);
      }
    }
    const float step = gain_step(gain_target(compensated, pending.r0));
    for (int n = kCompensationSteps; n < kSubframe; ++n) {
      sample(n);
      const int from = 3 * (n - kCompensationSteps) / 2;
      const int to = 3 * (n - kCompensationSteps + 1) / 2;
      for (int k = from; k < to; ++k) {
        sums.smoothed = next_postfilter_gain(sums.smoothed, step);
        out[k] = scale_by_gain(out[k], sums.smoothed);
      }
    }
  }
  if (side != nullptr) finish_lag_sums(*side, lanes);
  return sums;
}

// The three filter lines of a frame.
struct frame_lines {
  filter_line synthesis, formant_input, formant_output;
};

// Synthesis and formant post-filter of subframe s of signal, with the
// pending subframe's compensation and gain; returns this subframe pending.
template <int W>
SIVO_LANE_INLINE pending_gain filter_subframe(float* signal, const lpc_set& a, frame_lines& lines,
                                              int s, pending_gain pending, decoder_state& decoder,
                                              lag_sum_job* side, const pitch_mix* mix) noexcept {
  const int at = kSubframe * s;
  float* const synthesis_history = lines.synthesis.data() + kOrder - 1 + at;
  float* const fir_history = lines.formant_input.data() + kOrder + at;
  float* const iir_history = lines.formant_output.data() + kOrder - 1 + at;
  std::array<float, kOrder> zero, pole;
  formant_coefficients(zero, pole, a);
  recursion_coefficients c;
  recursion_lines line;
  for (int k = 0; k < kOrder; ++k) {
    c.synthesis[k] = a[k];
    c.zero[k] = zero[k];
    c.pole[k] = pole[k];
    line.y[kOrder - 1 - k] = synthesis_history[-k];
    line.x[kOrder - 1 - k] = fir_history[-1 - k];
    line.v[kOrder - 1 - k] = iir_history[-k];
  }
  float* const v_out = iir_history + 1;
  const recursion_sums sums =
      recursions_in<W>(signal, v_out, line, c, pending, decoder.postfilter_gain, side, mix);
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

// The last subframe's compensation and gain control, and the 16-bit output
// of the frame, the earlier subframes converted while the gain recursion
// runs.
template <int W>
SIVO_LANE_INLINE void finish_frame(float* frame, const pending_gain& pending,
                                   decoder_state& decoder, int16_t* samples) noexcept {
  float* const last = frame + kFrame - kSubframe;
  double energy = 0.0;
  for (int n = 0; n < kSubframe; ++n) {
    last[n] = compensate_sample(pending.v[n], pending.v[n - 1], pending.tilt_weight);
    energy += double(last[n]) * double(last[n]);
  }
  const float step = gain_step(gain_target(energy, pending.r0));
  constexpr int kQuads = (kFrame - kSubframe) / 4;
  static_assert(kQuads <= kSubframe);
  float gain = decoder.postfilter_gain;
  for (int n = 0; n < kSubframe; ++n) {
    gain = next_postfilter_gain(gain, step);
    last[n] = scale_by_gain(last[n], gain);
    if (n < kQuads) pcm16_quad(frame + 4 * n, samples + 4 * n);
  }
  decoder.postfilter_gain = gain;
  for (int n = 0; n < kSubframe; n += 4) pcm16_quad(last + n, samples + kFrame - kSubframe + n);
}

// postfiltered_synthesis: each subframe's pitch post-filter taken from sums
// formed while the subframe before it is filtered.
template <int W>
SIVO_LANE_INLINE void postfiltered_synthesis_in(const synthesis_input& in, decoder_state& decoder,
                                                int16_t* samples) noexcept {
  std::array<float, kFrame> signal;
  const bool pitch = in.decoded != nullptr;
  std::array<lag_sum_job, kSubframes> jobs;
  pitch_mix mix;
  if (pitch) {
    const std::span<const float, kPaddedWindow> decoded(in.decoded, kPaddedWindow);
    for (int s = 0; s < kSubframes; ++s) pitch_postfilter_job(jobs[s], decoded, in.olp[s / 2], s);
    sum_lag_job_in<W>(jobs[0]);
    mix.x = in.excitation;
    mix.params = pitch_postfilter_from_sums(jobs[0], in.olp[0], 0, decoder);
  } else {
    std::copy_n(in.excitation, kFrame, signal.begin());
  }
  frame_lines lines;
  load_line(lines.synthesis, decoder.decoder_synthesis_memory);
  load_line(lines.formant_input, decoder.formant_fir_memory);
  load_line(lines.formant_output, decoder.formant_iir_memory);
  pending_gain pending;
  for (int s = 0; s < kSubframes; ++s) {
    lag_sum_job* const side = pitch && s + 1 < kSubframes ? &jobs[s + 1] : nullptr;
    pending = filter_subframe<W>(signal.data() + kSubframe * s, (*in.coefficients)[s], lines, s,
                                 pending, decoder, side, pitch ? &mix : nullptr);
    if (side != nullptr) {
      mix.x = in.excitation + kSubframe * (s + 1);
      mix.params = pitch_postfilter_from_sums(*side, in.olp[(s + 1) / 2], s + 1, decoder);
    }
  }
  store_line(decoder.decoder_synthesis_memory, lines.synthesis);
  store_line(decoder.formant_fir_memory, lines.formant_input);
  store_line(decoder.formant_iir_memory, lines.formant_output);
  finish_frame<W>(signal.data(), pending, decoder, samples);
}

}  // namespace

SIVO_LANE_ENTRIES(postfiltered_synthesis, postfiltered_synthesis_in,
                  (const synthesis_input& in, decoder_state& decoder, int16_t* samples),
                  (in, decoder, samples))

}  // namespace sivo
