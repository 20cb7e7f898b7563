// Each decoder kernel against its plain form, bit for bit, in every variant
// this build and machine can run: on random, extreme (huge cancelling
// terms, subnormals, zeros of either sign, silence) and speech inputs.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "codec/kernels/kernel_table.h"
#include "codec/synthesis/pitch_postfilter.h"
#include "codec/tables/fcb_tables.h"
#include "tests/codec/stable_predictor.h"
#include "tests/support/speech.h"

namespace sivo {
namespace {

// Same bits, or both NaN (a NaN's payload may travel either operand).
bool same(float a, float b) {
  return (std::isnan(a) && std::isnan(b)) || std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
}

// The variants to hold against the reference (the first runnable one).
std::vector<kernel_variant> lane_variants() {
  const auto all = runnable_kernel_variants();
  return {all.begin() + 1, all.end()};
}

std::string name_of(kernel_variant v) {
  return v == kernel_variant::lanes8 ? "lanes8" : v == kernel_variant::lanes4 ? "lanes4" : "lanes2";
}

using filler = void (*)(std::mt19937&, float*, int);

// Input families. Speech is a recording's samples scaled as excitation.
struct input_case {
  const char* name;
  filler fill;
};

const input_case kInputs[] = {
    {"random",
     [](std::mt19937& rng, float* x, int n) {
       std::normal_distribution<float> d(0.0f, 3000.0f);
       for (int i = 0; i < n; ++i) x[i] = d(rng);
     }},
    {"huge cancelling",
     [](std::mt19937& rng, float* x, int n) {
       for (int i = 0; i < n; ++i) x[i] = (i % 2 ? -1.0f : 1.0f) * (rng() % 4 ? 3e38f : 1.0f);
     }},
    {"subnormal",
     [](std::mt19937& rng, float* x, int n) {
       const float tiny[] = {0.0f, -0.0f, 1e-45f, -1e-45f, 1e-41f, -1e-41f, 1e-38f, -1e-38f};
       for (int i = 0; i < n; ++i) x[i] = tiny[rng() % 8];
     }},
    {"smallest subnormals",
     [](std::mt19937&, float* x, int n) {
       for (int i = 0; i < n; ++i) x[i] = i % 2 ? 1e-45f : -1e-45f;
     }},
    {"negative zeros", [](std::mt19937&, float* x, int n) { std::fill_n(x, n, -0.0f); }},
    {"silence", [](std::mt19937&, float* x, int n) { std::fill_n(x, n, 0.0f); }},
    {"speech",
     [](std::mt19937& rng, float* x, int n) {
       static const std::vector<int16_t> speech = test::load_raw("hts1a");
       const size_t from = speech.size() > size_t(n) ? rng() % (speech.size() - n) : 0;
       for (int i = 0; i < n; ++i) x[i] = speech.empty() ? 0.0f : speech[from + i] * 0.5f;
     }},
};

TEST(DecoderKernels, LagSumsMatchPlainSums) {
  const kernel_table& plain = kernel_table_for(kernel_variant::reference);
  for (kernel_variant variant : lane_variants()) {
    const kernel_table& lanes = kernel_table_for(variant);
    for (const input_case& input : kInputs) {
      std::mt19937 rng(21);
      for (int trial = 0; trial < 40; ++trial) {
        std::array<float, 600> line;
        input.fill(rng, line.data(), int(line.size()));
        lag_sum_job a;
        a.x = line.data() + 300;
        a.first = 1 + int(rng() % 139);
        a.ahead = trial % 2 == 0;
        a.length = trial % 3 ? kSubframe : kHalfFrame;
        lag_sum_job b = a;
        plain.sum_lag_job(a);
        lanes.sum_lag_job(b);
        const std::string where = name_of(variant) + " " + input.name + " trial " +
                                  std::to_string(trial);
        ASSERT_TRUE(same(a.result.e, b.result.e)) << where;
        for (int k = 0; k < 8; ++k) {
          ASSERT_TRUE(same(a.result.back_c[k], b.result.back_c[k]) &&
                      same(a.result.back_t[k], b.result.back_t[k]) &&
                      same(a.result.ahead_c[k], b.result.ahead_c[k]) &&
                      same(a.result.ahead_t[k], b.result.ahead_t[k]))
              << where << " candidate " << k;
        }
      }
    }
  }
}

// Subframes in a row along one output line, predictors random or +0 taps.
TEST(DecoderKernels, SynthesisFilterMatchesPlainFilter) {
  const kernel_table& plain = kernel_table_for(kernel_variant::reference);
  for (kernel_variant variant : lane_variants()) {
    for (const input_case& input : kInputs) {
      std::mt19937 rng(25);
      std::array<float, kFilterLine> line_a, line_b;
      input.fill(rng, line_a.data(), kFilterLine);
      line_b = line_a;
      for (int s = 0; s < kSubframes; ++s) {
        const lpc_set a = s == 2 ? lpc_set{} : test_support::random_predictor(rng, 0.97);
        const int at = kOrder - 1 + kSubframe * s;
        std::array<float, kSubframe> x, y;
        input.fill(rng, x.data(), kSubframe);
        y = x;
        plain.synthesis_filter(x.data(), a, line_a.data() + at);
        kernel_table_for(variant).synthesis_filter(y.data(), a, line_b.data() + at);
        for (int n = 0; n < kFilterLine; ++n) {
          ASSERT_TRUE(same(line_a[n], line_b[n])) << name_of(variant) << " " << input.name << " " << n;
        }
        for (int n = 0; n < kSubframe; ++n) ASSERT_TRUE(same(x[n], y[n]));
      }
    }
  }
}

// The decoder's state after a frame: every field a frame writes.
void expect_same_state(const decoder_state& a, const decoder_state& b, const std::string& where) {
  ASSERT_TRUE(same(a.tilt_memory, b.tilt_memory)) << where;
  ASSERT_TRUE(same(a.postfilter_gain, b.postfilter_gain)) << where;
  for (int k = 0; k < kOrder; ++k) {
    ASSERT_TRUE(same(a.decoder_synthesis_memory[k], b.decoder_synthesis_memory[k]) &&
                same(a.formant_fir_memory[k], b.formant_fir_memory[k]) &&
                same(a.formant_iir_memory[k], b.formant_iir_memory[k]))
        << where << " memory " << k;
  }
}

// Frames in a row through both forms, carrying the state: good frames
// (pitch post-filter on a window with a pulse train in it) and concealed
// ones; predictors random, all-zero (+0 taps: with -0 memories every
// product is -0) or a single tap of 0.5, with which a synthesis output
// underflows to -0.
TEST(DecoderKernels, PostfilteredSynthesisMatchesStagesInTurn) {
  const kernel_table& plain = kernel_table_for(kernel_variant::reference);
  for (kernel_variant variant : lane_variants()) {
    const kernel_table& lanes = kernel_table_for(variant);
    for (const input_case& input : kInputs) {
      std::mt19937 rng(22);
      decoder_state a{};
      reset_decoder_state(a);
      input.fill(rng, a.decoder_synthesis_memory.data(), kOrder);
      input.fill(rng, a.formant_fir_memory.data(), kOrder);
      input.fill(rng, a.formant_iir_memory.data(), kOrder);
      decoder_state b = a;
      for (int frame = 0; frame < 8; ++frame) {
        std::array<float, kPaddedWindow> decoded{};
        input.fill(rng, decoded.data(), kWindow);
        const int period = 18 + int(rng() % 128);
        // A pulse train for the pitch post-filter to find, over loud inputs.
        if (frame % 2 == 1 && std::fabs(decoded[kHistory]) > 1.0f) {
          for (int i = 0; i < kWindow; i += period) decoded[i] += 8000.0f;
        }
        std::array<float, kWindow> window;
        for (int i = 0; i < kWindow; ++i) window[i] = clip_excitation(decoded[i]);
        std::array<lpc_set, kSubframes> predictors;
        for (lpc_set& p : predictors) {
          p = frame % 2 == 1 ? test_support::random_predictor(rng, 0.97) : lpc_set{};
          if (frame % 4 == 2) p[0] = 0.5f;
        }
        synthesis_input in;
        const bool good = frame % 3 != 2;
        in.excitation = window.data() + kHistory;
        in.decoded = good ? decoded.data() : nullptr;
        in.olp = {period, std::min(period + int(rng() % 5), 145)};
        in.coefficients = &predictors;
        std::array<int16_t, kFrame> out_a, out_b;
        plain.postfiltered_synthesis(in, a, out_a.data());
        lanes.postfiltered_synthesis(in, b, out_b.data());
        const std::string where = name_of(variant) + " " + input.name + " frame " +
                                  std::to_string(frame);
        ASSERT_EQ(out_a, out_b) << where;
        expect_same_state(a, b, where);
      }
    }
  }
}

// Values at every rounding and saturation boundary, infinities and NaNs of
// either sign, over every run length (the lanes go four at a time).
TEST(DecoderKernels, PcmOutputMatchesOneSampleAtATime) {
  const float edges[] = {0.5f,     -0.5f,     0.49999997f, -0.49999997f, 32766.5f, 32766.498f,
                         32767.0f, -32767.5f, -32767.498f, -32768.0f,    1e9f,     -1e9f,
                         0.0f,     -0.0f,     1e-41f,      -1e-41f,      2.5f,     -2.5f,
                         std::numeric_limits<float>::infinity(),
                         -std::numeric_limits<float>::infinity(), std::nanf(""),
                         -std::nanf("")};
  const kernel_table& plain = kernel_table_for(kernel_variant::reference);
  for (kernel_variant variant : lane_variants()) {
    std::mt19937 rng(23);
    for (int trial = 0; trial < 60; ++trial) {
      std::array<float, kFrame> in;
      input_case source = kInputs[trial % std::size(kInputs)];
      source.fill(rng, in.data(), kFrame);
      for (float& x : in) x = rng() % 3 == 0 ? edges[rng() % std::size(edges)] : x;
      const int count = trial < 20 ? 1 + trial : kFrame - int(rng() % 8);
      std::array<int16_t, kFrame> a{}, b{};
      plain.float_to_pcm16(in.data(), count, a.data());
      kernel_table_for(variant).float_to_pcm16(in.data(), count, b.data());
      ASSERT_EQ(a, b) << name_of(variant) << " trial " << trial;
    }
  }
}

uint64_t choose(int n, int k) {
  if (k < 0 || n < k) return 0;
  uint64_t c = 1;
  for (int i = 1; i <= k; ++i) c = c * uint64_t(n - k + i) / uint64_t(i);
  return c;
}

// Walks over each table with every pulse count, indices at both ends of
// their range and between, and column limits from none to the whole table.
TEST(DecoderKernels, PulseWalksMatchColumnByColumn) {
  struct table_case {
    position_table table;
    int rows, columns;
  };
  const table_case tables[] = {{position_table::grid2, 6, 30},
                               {position_table::grid4, 4, 15},
                               {position_table::grid1, 8, 60},
                               {position_table::second_stage, 5, 52}};
  const kernel_table& plain = kernel_table_for(kernel_variant::reference);
  for (kernel_variant variant : lane_variants()) {
    std::mt19937 rng(24);
    for (const table_case& t : tables) {
      for (int trial = 0; trial < 3000; ++trial) {
        std::array<pulse_walk, kSubframes> a{};
        for (pulse_walk& w : a) {
          w.pulses = 1 + int(rng() % t.rows);
          const uint64_t limit = choose(t.columns, w.pulses);
          const uint64_t near = rng() % 64 % limit;
          w.positions = uint32_t(rng() % 3 == 0 ? near : rng() % 3 == 0 ? limit - 1 - near
                                                                      : rng() % limit);
          w.end = rng() % 4 == 0 ? int(rng() % (t.columns + 1)) : t.columns;
        }
        std::array<pulse_walk, kSubframes> b = a;
        plain.walk_pulse_columns(t.table, a);
        kernel_table_for(variant).walk_pulse_columns(t.table, b);
        for (int s = 0; s < kSubframes; ++s) {
          ASSERT_EQ(a[s].placed, b[s].placed) << name_of(variant) << " trial " << trial;
          for (int j = 0; j < a[s].placed; ++j) ASSERT_EQ(a[s].taken[j], b[s].taken[j]);
        }
      }
    }
  }
}

}  // namespace
}  // namespace sivo
