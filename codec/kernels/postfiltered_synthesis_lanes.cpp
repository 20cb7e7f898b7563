// Lane kernel of the post-filtered synthesis: the pitch post-filter's sums
// and mixing in lanes, then the synthesis and formant recursions of each
// subframe in one pass, run ahead of their rounding (recursion_lanes.h),
// with the previous subframe's tilt compensation and gain control filling
// the recursions' waits.
#include <algorithm>

#include "codec/kernels/lag_sums_lanes.h"
#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/pcm_output_lanes.h"
#include "codec/kernels/recursion_lanes.h"
#include "codec/synthesis/formant_postfilter.h"
#include "codec/synthesis/pitch_postfilter.h"
#include "codec/synthesis/postfiltered_synthesis.h"
#include "codec/synthesis/synthesis_filter.h"

namespace sivo {
namespace {

// A subframe whose tilt compensation and gain control are still to run, the
// gain control alongside the filtering of the next one.
struct pending_gain {
  float* signal = nullptr;   // 60 samples: the compensation's output, then scaled; or none
  const float* v = nullptr;  // the pole section's 60 outputs of the subframe (v[-1] read)
  double tilt_weight = 0.0;  // the compensation's weight
  float r0 = 0.0f;           // the subframe's input energy
};

// The pitch post-filter of a subframe in lanes: out[n] = params.gain *
// x[n + params.lag] + params.scale * x[n], n = 0..59, each lane the plain
// form's arithmetic.
template <int W>
SIVO_LANE_INLINE void mix_pitch(float* out, const float* x,
                                const postfilter_params& params) noexcept {
  using doubles = typename lane_group<W>::doubles;
  using floats = typename lane_group<W>::floats;
  const doubles gain = SIVO_SPLAT_AS(doubles, params.gain);
  const doubles scale = SIVO_SPLAT_AS(doubles, params.scale);
  const float* const lagged = x + params.lag;
  int n = 0;
  for (; n + W <= kSubframe; n += W) {
    const doubles mixed = gain * SIVO_LOAD_WIDENED_LANES(W, lagged + n) +
                          scale * SIVO_LOAD_WIDENED_LANES(W, x + n);
    SIVO_STORE_AS(out + n, __builtin_convertvector(mixed, floats));
  }
  for (; n < kSubframe; ++n) {
    out[n] = static_cast<float>(double(params.gain) * double(lagged[n]) +
                                double(params.scale) * double(x[n]));
  }
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

// The fast form of the recursions (recursion_lanes.h): the two newest
// samples of each line in registers, the older products carried ahead in
// lanes, and the older products' sums of the next three samples.
template <int W>
struct fast_recursions {
  older_products<W> y, z, p;      // synthesis, zero and pole sections
  double y0, y1, x0, x1, v0, v1;  // each line's newest sample and the one before
  double by[3], bz[3], bp[3];     // older products' sums of samples n, n + 1, n + 2
};

template <int W>
SIVO_LANE_INLINE void start_fast_recursions(fast_recursions<W>& f, const recursion_lines& line,
                                            const recursion_coefficients& c) noexcept {
  start_older_products(f.y, c.synthesis);
  start_older_products(f.z, c.zero);
  start_older_products(f.p, c.pole);
  for (int k = 0; k < kOrder; ++k) {
    const double by = add_older_products(f.y, line.y[k]);
    const double bz = add_older_products(f.z, line.x[k]);
    const double bp = add_older_products(f.p, line.v[k]);
    if (k >= kOrder - 3) {
      f.by[k - (kOrder - 3)] = by;
      f.bz[k - (kOrder - 3)] = bz;
      f.bp[k - (kOrder - 3)] = bp;
    }
  }
  f.y0 = line.y[kOrder - 1];
  f.y1 = line.y[kOrder - 2];
  f.x0 = line.x[kOrder - 1];
  f.x1 = line.x[kOrder - 2];
  f.v0 = line.v[kOrder - 1];
  f.v1 = line.v[kOrder - 2];
}

// Sample n in the fast form: synthesis output signal[n] and its double
// before rounding dy, pole-section output v_out[n] and dv.
template <int W>
SIVO_LANE_INLINE void fast_sample(int n, float input, float* signal, float* v_out,
                                  fast_recursions<W>& f, const recursion_coefficients& c,
                                  double* dy, double* dv, recursion_sums& sums) noexcept {
  // Neither sum is ever -0: each starts from a sum carried in lanes, which
  // start from +0.
  const double ry = (double(input) + f.by[0]) + c.synthesis[1] * f.y1;
  const double rv = ((f.bp[0] - f.bz[0]) - c.zero[1] * f.x1) + c.pole[1] * f.v1;
  dy[n] = ry + c.synthesis[0] * f.y0;
  const auto yn = static_cast<float>(dy[n]);
  const double yd = yn;
  dv[n] = ((rv - c.zero[0] * f.x0) + yd) + c.pole[0] * f.v0;
  const auto vn = static_cast<float>(dv[n]);
  const double vd = vn;
  sums.energy += yd * yd;
  if (n > 0) sums.lagged += f.y0 * yd;
  signal[n] = yn;
  v_out[n] = vn;
  f.y1 = f.y0;
  f.y0 = yd;
  f.x1 = f.x0;
  f.x0 = yd;
  f.v1 = f.v0;
  f.v0 = vd;
  f.by[0] = f.by[1];
  f.by[1] = f.by[2];
  f.by[2] = add_older_products(f.y, yd);
  f.bz[0] = f.bz[1];
  f.bz[1] = f.bz[2];
  f.bz[2] = add_older_products(f.z, yd);
  f.bp[0] = f.bp[1];
  f.bp[1] = f.bp[2];
  f.bp[2] = add_older_products(f.p, vd);
}

// True when the fast form's doubles dy and dv round as the exact form's
// would (recursion_lanes.h): the bounds on each sample's terms from the
// largest input, synthesis output and pole-section output of the subframe.
template <int W>
SIVO_LANE_INLINE bool fast_recursions_hold(const float* input, const float* signal,
                                           const float* v_out, const recursion_lines& line,
                                           const recursion_coefficients& c, const double* dy,
                                           const double* dv) noexcept {
  const double in = largest_magnitude<W>(input, kSubframe, 0.0);
  const double y =
      largest_magnitude<W>(signal, kSubframe, largest_magnitude<W>(line.y, kOrder, 0.0));
  const double x = largest_magnitude<W>(line.x, kOrder, y);
  const double v =
      largest_magnitude<W>(v_out, kSubframe, largest_magnitude<W>(line.v, kOrder, 0.0));
  const double bound_y = in + magnitude_sum(c.synthesis) * y;
  const double bound_v = x * (1.0 + magnitude_sum(c.zero)) + magnitude_sum(c.pole) * v;
  return fast_sums_hold<W>(dy, kFastSumSlack * bound_y) &&
         fast_sums_hold<W>(dv, kFastSumSlack * bound_v);
}

// The tilt compensation of a subframe, out[n] = v[n] - weight v[n-1] for
// n = 0..59, in lanes; returns its energy.
template <int W>
SIVO_LANE_INLINE double compensate_subframe(float* out, const float* v, double weight) noexcept {
  using doubles = typename lane_group<W>::doubles;
  using floats = typename lane_group<W>::floats;
  const doubles w = SIVO_SPLAT_AS(doubles, weight);
  int n = 0;
  for (; n + W <= kSubframe; n += W) {
    const doubles d =
        SIVO_LOAD_WIDENED_LANES(W, v + n) - w * SIVO_LOAD_WIDENED_LANES(W, v + n - 1);
    SIVO_STORE_AS(out + n, __builtin_convertvector(d, floats));
  }
  for (; n < kSubframe; ++n) out[n] = compensate_sample(v[n], v[n - 1], weight);
  double energy = 0.0;
  for (n = 0; n < kSubframe; ++n) energy += double(out[n]) * double(out[n]);
  return energy;
}

// One subframe's recursions: signal holds 60 input samples (the excitation
// or its pitch post-filter) in, the synthesis output out; v_out: the pole
// section's 60 outputs. The pending subframe's compensation runs first, and
// its gain control (from smoothed) alongside. The recursions run in the fast form, and again in
// the exact form if the check finds a sample it may have rounded otherwise.
template <int W>
SIVO_LANE_INLINE recursion_sums recursions_in(float* signal, float* v_out, recursion_lines& line,
                                              const recursion_coefficients& c,
                                              const pending_gain& pending,
                                              float smoothed) noexcept {
  recursion_sums sums{0.0, 0.0, smoothed};
  fast_recursions<W> f;
  start_fast_recursions(f, line, c);
  float input[kSubframe];
  std::copy_n(signal, kSubframe, input);
  double dy[kSubframe], dv[kSubframe];
  const auto sample = [&](int n) __attribute__((always_inline)) {
    fast_sample<W>(n, input[n], signal, v_out, f, c, dy, dv, sums);
  };

  if (pending.signal == nullptr) {
    for (int n = 0; n < kSubframe; ++n) sample(n);
  } else {
    // The pending subframe's gain control, a sample a step: a chain of its
    // own beside this subframe's.
    float* const out = pending.signal;
    const float step = gain_step(
        gain_target(compensate_subframe<W>(out, pending.v, pending.tilt_weight), pending.r0));
    for (int n = 0; n < kSubframe; ++n) {
      sample(n);
      sums.smoothed = next_postfilter_gain(sums.smoothed, step);
      out[n] = scale_by_gain(out[n], sums.smoothed);
    }
  }
  if (!fast_recursions_hold<W>(input, signal, v_out, line, c, dy, dv)) {
    double y0 = line.y[kOrder - 1], v0 = line.v[kOrder - 1];
    sums.energy = sums.lagged = 0.0;
    for (int n = 0; n < kSubframe; ++n) {
      recursion_sample<W>(n, input[n], signal, v_out, line, c, y0, v0, sums);
    }
  }
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
                                              int s, pending_gain pending,
                                              decoder_state& decoder) noexcept {
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
      recursions_in<W>(signal, v_out, line, c, pending, decoder.postfilter_gain);
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
  const float step = gain_step(
      gain_target(compensate_subframe<W>(last, pending.v, pending.tilt_weight), pending.r0));
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

// postfiltered_synthesis: the pitch post-filter of every subframe first,
// its sums and mixing in lanes, then the recursions subframe by subframe.
template <int W>
SIVO_LANE_INLINE void postfiltered_synthesis_in(const synthesis_input& in, decoder_state& decoder,
                                                int16_t* samples) noexcept {
  std::array<float, kFrame> signal;
  if (in.decoded != nullptr) {
    const std::span<const float, kPaddedWindow> decoded(in.decoded, kPaddedWindow);
    for (int s = 0; s < kSubframes; ++s) {
      lag_sum_job job;
      pitch_postfilter_job(job, decoded, in.olp[s / 2], s);
      sum_lag_job_in<W>(job);
      const postfilter_params params = pitch_postfilter_from_sums(job, in.olp[s / 2], s, decoder);
      mix_pitch<W>(signal.data() + kSubframe * s, in.excitation + kSubframe * s, params);
    }
  } else {
    std::copy_n(in.excitation, kFrame, signal.begin());
  }
  frame_lines lines;
  load_line(lines.synthesis, decoder.decoder_synthesis_memory);
  load_line(lines.formant_input, decoder.formant_fir_memory);
  load_line(lines.formant_output, decoder.formant_iir_memory);
  pending_gain pending;
  for (int s = 0; s < kSubframes; ++s) {
    pending = filter_subframe<W>(signal.data() + kSubframe * s, (*in.coefficients)[s], lines, s,
                                 pending, decoder);
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
