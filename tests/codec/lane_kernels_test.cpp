// The fast paths that run independent sums side by side, or fuse filters
// into one pass, against plain one-sum-at-a-time formulations: the results
// must be the same bits, for ordinary signals and for zeros of either sign,
// subnormals, huge values and non-finite values.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "codec/analysis/perceptual_weighting.h"
#include "codec/analysis/weighted_synthesis.h"
#include "codec/excitation/pulse_filters.h"
#include "codec/state.h"
#include "codec/synthesis/formant_postfilter.h"
#include "codec/synthesis/lag_correlation.h"
#include "codec/synthesis/pcm_output.h"
#include "codec/synthesis/synthesis_filter.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

using test_support::random_predictor;
using Vec = std::array<float, kSubframe>;

// Same bits, or both NaN (a NaN's payload may travel either operand).
template <typename T>
bool same(T a, T b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  if constexpr (sizeof(T) == 4) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
  } else {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
  }
}

// Random samples; from trial 40 on some are replaced by awkward values.
void fill(std::mt19937& rng, float* x, int count, float scale, int trial) {
  std::uniform_real_distribution<float> u(-scale, scale);
  const float specials[] = {0.0f,
                            -0.0f,
                            1e-41f,
                            -1e-41f,
                            3e38f,
                            -3e38f,
                            std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
  const int kinds = trial < 60 ? 6 : 8;  // non-finite values in the last trials only
  for (int i = 0; i < count; ++i) {
    x[i] = u(rng);
    if (trial >= 40 && rng() % 8 == 0) x[i] = specials[rng() % kinds];
  }
}

TEST(LaneKernels, ConvolutionAndCorrelationMatchSingleSums) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 80; ++trial) {
    Vec a, b;
    fill(rng, a.data(), kSubframe, 3000.0f, trial);
    fill(rng, b.data(), kSubframe, 1.5f, trial);
    std::array<double, kSubframe> conv;
    causal_convolution(conv, a.data(), b.data());
    Vec corr;
    backward_correlate(a, b, corr);
    for (int n = 0; n < kSubframe; ++n) {
      double want = 0.0;
      for (int m = 0; m <= n; ++m) want += static_cast<double>(a[m]) * b[n - m];
      ASSERT_TRUE(same(conv[n], want)) << "trial " << trial << " n " << n;
      double back = 0.0;
      for (int j = n; j < kSubframe; ++j) back += static_cast<double>(a[j]) * b[j - n];
      ASSERT_TRUE(same(corr[n], static_cast<float>(back))) << "trial " << trial << " i " << n;
    }
    // The target update built on the convolution.
    Vec target = b;
    subtract_filtered_excitation(target, a, b);
    for (int n = 0; n < kSubframe; ++n) {
      ASSERT_TRUE(same(target[n], static_cast<float>(b[n] - conv[n])));
    }
  }
}

TEST(LaneKernels, SevenLagCandidatesMatchSingleSums) {
  std::mt19937 rng(12);
  constexpr int kSpan = 400;
  constexpr int kMiddle = 200;
  for (int trial = 0; trial < 80; ++trial) {
    std::array<float, kSpan> line;
    fill(rng, line.data(), kSpan, 20000.0f, trial);
    const float* x = line.data() + kMiddle;
    const int length = trial % 2 ? kHalfFrame : kSubframe;
    const int first = 1 + static_cast<int>(rng() % 70);
    for (int direction : {-1, 1}) {
      std::array<float, kLagCandidates> c;
      correlate_lag_candidates(c, x, length, first, direction);
      for (int i = 0; i < kLagCandidates; ++i) {
        double want = 0.0;
        for (int n = 0; n < length; ++n) {
          want += static_cast<double>(x[n]) * x[n + direction * (first + i)];
        }
        ASSERT_TRUE(same(c[i], static_cast<float>(want)))
            << "trial " << trial << " direction " << direction << " lag " << first + i;
      }
    }
  }
}

TEST(LaneKernels, FourImpulseResponsesMatchOneAtATime) {
  std::mt19937 rng(13);
  for (int trial = 0; trial < 50; ++trial) {
    std::array<lpc_set, kSubframes> quantised, unquantised;
    std::array<shaping_params, kSubframes> shaping;
    for (int i = 0; i < kSubframes; ++i) {
      quantised[i] = random_predictor(rng, trial < 25 ? 0.9 : 0.99);
      unquantised[i] = random_predictor(rng, 0.95);
      // Lags inside and outside the subframe, gains of either sign.
      shaping[i] = {static_cast<int32_t>(rng() % 150), static_cast<float>(rng() % 200) / 400.0f};
    }
    std::array<weighting_set, kSubframes> sets;
    weighting_coefficients(sets, unquantised);
    std::array<std::array<float, kSubframe>, kSubframes> together;
    impulse_responses(together, quantised, sets, shaping);
    for (int i = 0; i < kSubframes; ++i) {
      std::array<float, kSubframe> alone;
      impulse_response(alone, quantised[i], sets[i], shaping[i]);
      for (int n = 0; n < kSubframe; ++n) {
        ASSERT_TRUE(same(together[i][n], alone[n])) << "trial " << trial << " subframe " << i;
      }
    }
  }
}

TEST(LaneKernels, FusedSynthesisAndPostFilterMatchSeparateFilters) {
  // Several frames through both forms, carrying all state: synthesis line,
  // formant lines, tilt and gain memories.
  std::mt19937 rng(14);
  std::normal_distribution<float> excitation(0.0f, 2000.0f);
  decoder_state fused{}, separate{};
  reset_decoder_state(fused);
  reset_decoder_state(separate);
  constexpr int kLine = kOrder + kFrame;
  std::array<float, kLine> syn_a{}, fir_a{}, iir_a{}, syn_b{}, fir_b{}, iir_b{};
  for (int frame = 0; frame < 12; ++frame) {
    std::array<float, kFrame> a_out, b_out;
    for (float& v : a_out) v = frame == 5 ? 0.0f : excitation(rng);  // one silent frame
    b_out = a_out;
    pending_gain pending;
    for (int s = 0; s < kSubframes; ++s) {
      const lpc_set predictor = random_predictor(rng, 0.97);
      float* sub_a = a_out.data() + kSubframe * s;
      float* sub_b = b_out.data() + kSubframe * s;
      const int at = kSubframe * s;
      const float gain_a =
          synthesise_and_postfilter(sub_a, predictor, syn_a.data() + kOrder - 1 + at,
                                    fir_a.data() + kOrder + at, iir_a.data() + kOrder - 1 + at,
                                    pending, fused);
      pending = pending_gain{sub_a, gain_a};
      synthesis_filter(sub_b, predictor, syn_b.data() + kOrder - 1 + at);
      const float gain_b = formant_postfilter(sub_b, predictor, fir_b.data() + kOrder + at,
                                              iir_b.data() + kOrder - 1 + at, separate);
      apply_postfilter_gain(sub_b, gain_b, separate);
      ASSERT_TRUE(same(gain_a, gain_b)) << "frame " << frame << " subframe " << s;
    }
    apply_postfilter_gain(pending.signal, pending.target, fused);
    for (int n = 0; n < kFrame; ++n) ASSERT_TRUE(same(a_out[n], b_out[n])) << "frame " << frame;
    ASSERT_TRUE(same(fused.tilt_memory, separate.tilt_memory));
    ASSERT_TRUE(same(fused.postfilter_gain, separate.postfilter_gain));
    for (int n = 0; n < kLine; ++n) {
      ASSERT_TRUE(same(syn_a[n], syn_b[n]) && same(fir_a[n], fir_b[n]) && same(iir_a[n], iir_b[n]));
    }
    // The lines carry their last ten samples over, as the decoder's memories do.
    for (auto* line : {&syn_a, &fir_a, &iir_a, &syn_b, &fir_b, &iir_b}) {
      std::copy(line->end() - kOrder, line->end(), line->begin());
    }
  }
}

TEST(LaneKernels, SixteenBitOutputMatchesOneSampleAtATime) {
  // Whole runs go four samples at a time; a single sample takes the plain
  // path. Values near every rounding and saturation boundary.
  std::mt19937 rng(15);
  const float edges[] = {0.5f,     -0.5f,     0.49999997f, -0.49999997f, 32766.5f, 32766.498f,
                         32767.0f, -32767.5f, -32767.498f, -32768.0f,    1e9f,     -1e9f,
                         0.0f,     -0.0f,     1e-41f,      -1e-41f,      2.5f,     -2.5f};
  for (int trial = 0; trial < 60; ++trial) {
    std::array<float, kFrame> in;
    std::uniform_real_distribution<float> u(-40000.0f, 40000.0f);
    for (float& x : in) x = rng() % 3 == 0 ? edges[rng() % std::size(edges)] : u(rng);
    if (trial >= 40) in[rng() % kFrame] = std::numeric_limits<float>::infinity() * (trial % 2 ? 1 : -1);
    if (trial >= 50) in[rng() % kFrame] = std::copysign(std::nanf(""), trial % 2 ? 1.0f : -1.0f);
    std::array<int16_t, kFrame> together;
    float_to_pcm16(in.data(), kFrame, together.data());
    for (int n = 0; n < kFrame; ++n) {
      int16_t alone;
      float_to_pcm16(&in[n], 1, &alone);
      ASSERT_EQ(together[n], alone) << "trial " << trial << " sample " << n << " value " << in[n];
    }
  }
}

}  // namespace
}  // namespace sivo
