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
#include "codec/synthesis/concealment.h"
#include "codec/synthesis/formant_postfilter.h"
#include "codec/synthesis/lag_correlation.h"
#include "codec/synthesis/pcm_output.h"
#include "codec/synthesis/pitch_postfilter.h"
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
      pending =
          synthesise_and_postfilter(sub_a, predictor, syn_a.data() + kOrder - 1 + at,
                                    fir_a.data() + kOrder + at, iir_a.data() + kOrder - 1 + at,
                                    pending, fused);
      synthesis_filter(sub_b, predictor, syn_b.data() + kOrder - 1 + at);
      const float gain_b = formant_postfilter(sub_b, predictor, fir_b.data() + kOrder + at,
                                              iir_b.data() + kOrder - 1 + at, separate);
      apply_postfilter_gain(sub_b, gain_b, separate);
    }
    std::array<int16_t, kFrame> pcm_a, pcm_b;
    finish_postfilter_frame(a_out.data(), pending, fused, pcm_a.data());
    float_to_pcm16(b_out.data(), kFrame, pcm_b.data());
    ASSERT_EQ(pcm_a, pcm_b) << "frame " << frame;
    for (int n = 0; n < kFrame; ++n) ASSERT_TRUE(same(a_out[n], b_out[n])) << "frame " << frame;
    ASSERT_TRUE(same(fused.tilt_memory, separate.tilt_memory));
    ASSERT_TRUE(same(fused.postfilter_gain, separate.postfilter_gain));
    // The fused pass writes only the samples the next subframe reads: the
    // last kOrder of each subframe on the synthesis and formant input lines.
    for (int n = 0; n < kLine; ++n) {
      ASSERT_TRUE(same(iir_a[n], iir_b[n])) << n;
      if ((n - kOrder) % kSubframe < kSubframe - kOrder) continue;
      ASSERT_TRUE(same(syn_a[n], syn_b[n]) && same(fir_a[n], fir_b[n])) << n;
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

// The decoder's frame as it runs it: the pitch post-filter mixed into the
// synthesis input, the next subframe's lag sums and the previous one's tilt
// compensation and gain formed in the same pass, against the plain filters
// one after another and the sums formed on their own.
TEST(LaneKernels, FusedPassWithPitchMixAndSideSumsMatchesSeparateSteps) {
  std::mt19937 rng(16);
  std::normal_distribution<float> noise(0.0f, 2500.0f);
  decoder_state fused{}, separate{};
  reset_decoder_state(fused);
  reset_decoder_state(separate);
  constexpr int kLine = kOrder + kFrame;
  std::array<float, kLine> syn_a{}, fir_a{}, iir_a{}, syn_b{}, fir_b{}, iir_b{};
  for (int frame = 0; frame < 16; ++frame) {
    std::array<float, kPaddedWindow> window{};
    const int period = 20 + int(rng() % 120);
    for (int i = 0; i < kWindow; ++i) window[i] = (i % period < 3 ? 8000.0f : 0.0f) + noise(rng);
    const std::span<const float, kWindow> excitation = std::span(window).first<kWindow>();
    const int32_t olp[2] = {period, period + int(rng() % 5) - 2};
    std::array<postfilter_params, kSubframes> pitch;
    pitch_postfilter_frame_params(pitch, window, olp, fused);
    std::array<float, kFrame> a_out, b_out;
    for (int s = 0; s < kSubframes; ++s) apply_pitch_postfilter(b_out, excitation, pitch[s], s);
    a_out.fill(std::numeric_limits<float>::quiet_NaN());  // the mix must write every sample
    pending_gain pending_a;
    float last_gain_b = 1.0f;
    for (int s = 0; s < kSubframes; ++s) {
      // Side job: the next subframe's post-filter sums, or the voicing sums.
      lag_sum_job side_a, side_b;
      const bool has_side = s + 1 < kSubframes
                                ? pitch_postfilter_job(side_a, window, olp[(s + 1) / 2], s + 1)
                                : concealment_job(side_a, excitation, olp[1]);
      ASSERT_TRUE(has_side);
      side_b = side_a;
      const pitch_mix mix{excitation.data() + kHistory + kSubframe * s, pitch[s]};
      const lpc_set predictor = random_predictor(rng, 0.95);
      const int at = kSubframe * s;
      pending_a = synthesise_and_postfilter(
          a_out.data() + at, predictor, syn_a.data() + kOrder - 1 + at, fir_a.data() + kOrder + at,
          iir_a.data() + kOrder - 1 + at, pending_a, fused, &side_a, &mix);
      synthesis_filter(b_out.data() + at, predictor, syn_b.data() + kOrder - 1 + at);
      const float gain_b = formant_postfilter(b_out.data() + at, predictor,
                                              fir_b.data() + kOrder + at,
                                              iir_b.data() + kOrder - 1 + at, separate);
      if (s + 1 < kSubframes) apply_postfilter_gain(b_out.data() + at, gain_b, separate);
      last_gain_b = gain_b;
      sum_lag_job(side_b);
      const lag_sums& x = side_a.result;
      const lag_sums& y = side_b.result;
      ASSERT_TRUE(same(x.e, y.e));
      for (int k = 0; k < 7; ++k) {
        ASSERT_TRUE(same(x.back_c[k], y.back_c[k]) && same(x.back_t[k], y.back_t[k]) &&
                    same(x.ahead_c[k], y.ahead_c[k]) && same(x.ahead_t[k], y.ahead_t[k]))
            << "frame " << frame << " subframe " << s << " candidate " << k;
      }
    }
    // The last subframe's gain with the 16-bit output, against the two steps.
    std::array<int16_t, kFrame> pcm_a, pcm_b;
    finish_postfilter_frame(a_out.data(), pending_a, fused, pcm_a.data());
    apply_postfilter_gain(b_out.data() + kFrame - kSubframe, last_gain_b, separate);
    float_to_pcm16(b_out.data(), kFrame, pcm_b.data());
    ASSERT_EQ(pcm_a, pcm_b) << "frame " << frame;
    for (int n = 0; n < kFrame; ++n) ASSERT_TRUE(same(a_out[n], b_out[n])) << "frame " << frame;
    ASSERT_TRUE(same(fused.postfilter_gain, separate.postfilter_gain));
    ASSERT_TRUE(same(fused.tilt_memory, separate.tilt_memory));
    for (auto* line : {&syn_a, &fir_a, &iir_a, &syn_b, &fir_b, &iir_b}) {
      std::copy(line->end() - kOrder, line->end(), line->begin());
    }
  }
}

// The fused pass starts its carried sums from their first product instead
// of 0.0 + product; with zeros of either sign and subnormals in the input and
// the memories, every sample must still be the plain filters' own bits.
TEST(LaneKernels, SignedZerosAndSubnormalsThroughFusedFilters) {
  std::mt19937 rng(17);
  const float tiny[] = {0.0f, -0.0f, 1e-45f, -1e-45f, 1e-41f, -1e-41f, 1e-38f, -1e-38f};
  for (int trial = 0; trial < 200; ++trial) {
    decoder_state fused{}, separate{};
    reset_decoder_state(fused);
    reset_decoder_state(separate);
    constexpr int kLine = kOrder + kSubframe;
    // Every fourth trial is all negative zeros, where a sum that starts
    // from its first product is -0 and one that starts from 0.0 is +0.
    const int kinds = trial % 4 == 0 ? 1 : int(std::size(tiny));
    auto draw = [&] { return kinds == 1 ? -0.0f : tiny[rng() % kinds]; };
    std::array<float, kLine> syn_a, fir_a, iir_a;
    for (auto* line : {&syn_a, &fir_a, &iir_a}) {
      for (float& x : *line) x = draw();
    }
    std::array<float, kLine> syn_b = syn_a, fir_b = fir_a, iir_b = iir_a;
    Vec a, b;
    for (float& x : a) x = draw();
    b = a;
    lpc_set predictor = trial % 2 ? random_predictor(rng, 0.9) : lpc_set{};  // +0 taps
    if (trial == 2) {
      // A synthesis output that underflows to -0 (-2^-149 + 0.5 * 2^-149
      // ties to -0) meeting a pole section whose products are all -0.
      predictor = lpc_set{0.5f};
      syn_a.fill(0.0f);
      syn_a[kOrder - 1] = 1e-45f;
      fir_a.fill(0.0f);
      iir_a.fill(-0.0f);
      a.fill(0.0f);
      a[0] = -1e-45f;
      syn_b = syn_a, fir_b = fir_a, iir_b = iir_a, b = a;
    }
    const pending_gain pending =
        synthesise_and_postfilter(a.data(), predictor, syn_a.data() + kOrder - 1,
                                  fir_a.data() + kOrder, iir_a.data() + kOrder - 1, {}, fused);
    synthesis_filter(b.data(), predictor, syn_b.data() + kOrder - 1);
    const float gain_b = formant_postfilter(b.data(), predictor, fir_b.data() + kOrder,
                                            iir_b.data() + kOrder - 1, separate);
    // The pending compensation and gain, as the last subframe of a frame.
    std::array<float, kFrame> frame{};
    std::copy(a.begin(), a.end(), frame.end() - kSubframe);
    std::array<int16_t, kFrame> pcm;
    finish_postfilter_frame(frame.data(), pending, fused, pcm.data());
    std::copy(frame.end() - kSubframe, frame.end(), a.begin());
    apply_postfilter_gain(b.data(), gain_b, separate);
    ASSERT_TRUE(same(fused.postfilter_gain, separate.postfilter_gain)) << trial;
    for (int n = 0; n < kSubframe; ++n) ASSERT_TRUE(same(a[n], b[n])) << trial << " " << n;
    for (int n = 0; n < kLine; ++n) {
      ASSERT_TRUE(same(iir_a[n], iir_b[n])) << trial << " " << n;
      if (n >= kLine - kOrder) {
        ASSERT_TRUE(same(syn_a[n], syn_b[n])) << trial << " " << n;
      }
    }
  }
}

}  // namespace
}  // namespace sivo
