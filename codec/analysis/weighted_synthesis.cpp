// The cascade of synthesis, weighting and comb filters: impulse responses, ringing removal, memory update.
#include "codec/analysis/weighted_synthesis.h"

#include <array>

#include "codec/kernels/kernel_table.h"

namespace sivo {
namespace {

// The cascade 1/A^(z) then W(z), one sample at a time, along lines of
// floats. Only the newest sample of each line rides along in a register (as
// the double of the stored float); the older products are formed from the
// lines, off the chain from one sample to the next.
struct cascade {
  double a[kOrder], zero[kOrder], pole[kOrder];
  double s0, y0;  // the newest synthesised and weighted samples

  // s_line, y_line point at the first new sample; reads [-10..-1] of each.
  cascade(const lpc_set& quantised, const weighting_set& set, const float* s_line,
          const float* y_line) noexcept {
    for (int k = 0; k < kOrder; ++k) {
      a[k] = quantised[k];
      zero[k] = set.zero[k];
      pole[k] = set.pole[k];
    }
    s0 = s_line[-1];
    y0 = y_line[-1];
  }

  // One sample of 1/A^(z): input + sum aj s[n-j]; then one of W(z):
  // s[n] - sum zj s[n-j] + sum pj y[n-j]. s and y point at sample n of the
  // lines (reads [-10..-2]) and receive it. The carried sums start from
  // their first product rather than from 0.0 + product, one addition fewer
  // on the chain; that changes a sum only when it is a zero (-0 for +0),
  // and such a sum meets an addend made +0 where it was +-0 (x + 0.0, off
  // the chain), which gives the same result either way.
  void step(double input, float* s, float* y) noexcept {
    double sum = a[0] * s0;
#pragma GCC unroll 9
    for (int k = 1; k < kOrder; ++k) sum += a[k] * double(s[-1 - k]);
    const float sn = static_cast<float>((input + 0.0) + sum);
    double zeros = 0.0 + zero[0] * s0;
#pragma GCC unroll 9
    for (int k = 1; k < kOrder; ++k) zeros += zero[k] * double(s[-1 - k]);
    double poles = pole[0] * y0;
#pragma GCC unroll 9
    for (int k = 1; k < kOrder; ++k) poles += pole[k] * double(y[-1 - k]);
    const float yn = static_cast<float>(((double(sn) - zeros) + 0.0) + poles);
    s0 = sn;
    y0 = yn;
    *s = sn;
    *y = yn;
  }
};

}  // namespace

void cascade_responses(std::span<std::array<float, kSubframe>, kSubframes> y_out,
                       std::span<const lpc_set, kSubframes> quantised,
                       std::span<const weighting_set, kSubframes> sets) noexcept {
  for (int i = 0; i < kSubframes; ++i) {
    // Zero state: kOrder zeros of history before each line.
    std::array<float, kOrder + kSubframe> s_line{}, y_line{};
    float* const s = s_line.data() + kOrder;
    float* const y = y_line.data() + kOrder;
    for (int n = 0; n < kSubframe; ++n) {
      const double input = n == 0 ? 1.0 : 0.0;
      double sum = 0.0;
      for (int j = 1; j <= kOrder; ++j) sum += static_cast<double>(quantised[i][j - 1]) * s[n - j];
      s[n] = static_cast<float>(input + sum);
      double zeros = 0.0;
      for (int j = 1; j <= kOrder; ++j) zeros += static_cast<double>(sets[i].zero[j - 1]) * s[n - j];
      double poles = 0.0;
      for (int j = 1; j <= kOrder; ++j) poles += static_cast<double>(sets[i].pole[j - 1]) * y[n - j];
      y[n] = static_cast<float>((static_cast<double>(s[n]) - zeros) + poles);
      y_out[i][n] = y[n];
    }
  }
}

void impulse_responses(std::span<std::array<float, kSubframe>, kSubframes> h_out,
                       std::span<const lpc_set, kSubframes> quantised,
                       std::span<const weighting_set, kSubframes> sets,
                       std::span<const shaping_params, kSubframes> shaping) noexcept {
  std::array<std::array<float, kSubframe>, kSubframes> y;
  kernels().cascade_responses(y, quantised, sets);
  for (int i = 0; i < kSubframes; ++i) {
    for (int n = 0; n < kSubframe; ++n) h_out[i][n] = y[i][n];
    // The comb 1 - g z^-L acts on y, not on its own output.
    const int lag = shaping[i].lag;
    if (lag > 0 && lag < kSubframe) {
      const double gain = shaping[i].gain;
      for (int n = lag; n < kSubframe; ++n) {
        h_out[i][n] = static_cast<float>(y[i][n] - gain * y[i][n - lag]);
      }
    }
  }
}

void subtract_ringing(std::span<float, kSubframe> target, const lpc_set& quantised,
                      const weighting_set& set, shaping_params shaping,
                      float* synthesis_history, float* ringing_history) noexcept {
  float* s = synthesis_history + 1;
  float* y = ringing_history + 1;
  const double gain = shaping.gain;
  cascade filter(quantised, set, s, y);
  for (int n = 0; n < kSubframe; ++n) {
    filter.step(0.0, s + n, y + n);
    target[n] = static_cast<float>(target[n] - (y[n] - gain * y[n - shaping.lag]));
  }
}

void update_memories(std::span<const float, kSubframe> excitation,
                     const lpc_set& quantised, const weighting_set& set,
                     float* synthesis_history, float* ringing_history) noexcept {
  float* s = synthesis_history + 1;
  float* y = ringing_history + 1;
  cascade filter(quantised, set, s, y);
  for (int n = 0; n < kSubframe; ++n) filter.step(excitation[n], s + n, y + n);
}

}  // namespace sivo
