// Each decoder kernel against its plain form, bit for bit, in every variant
// this build and machine can run: on random, extreme (huge cancelling
// terms, subnormals, zeros of either sign), silent and speech inputs.
#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "codec/kernels/kernel_table.h"
#include "codec/synthesis/pitch_postfilter.h"
#include "tests/codec/kernel_variants.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

using test::input_kind;
using test::output_bytes;

// Floats with every NaN made one value: a NaN's sign and payload may come
// from either operand.
void add_floats(output_bytes& out, const float* p, int count) {
  for (int i = 0; i < count; ++i) {
    const float v = std::isnan(p[i]) ? std::numeric_limits<float>::quiet_NaN() : p[i];
    test::add(out, &v);
  }
}

// Samples of the kind; every other silent trial all -0 (with +0 taps every
// product is then -0), every third extreme one the smallest subnormals of
// alternating sign (halved, they round to -0).
void fill(std::mt19937& rng, input_kind kind, int trial, float* x, int count, float scale) {
  if (kind == input_kind::silence && trial % 2 == 0) {
    std::fill_n(x, count, -0.0f);
  } else if (kind == input_kind::extreme && trial % 3 == 0) {
    for (int i = 0; i < count; ++i) x[i] = i % 2 ? 1e-45f : -1e-45f;
  } else {
    test::fill_samples(rng, kind, x, count, scale);
  }
}

TEST(DecoderKernels, LagSums) {
  test::expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<float, 600> line;
        fill(rng, kind, trial, line.data(), int(line.size()), 20000.0f);
        lag_sum_job job;
        job.x = line.data() + 300;
        job.first = 1 + int(rng() % 139);
        job.ahead = trial % 2 == 0;
        job.length = trial % 3 ? kSubframe : kHalfFrame;
        table.sum_lag_job(job);
        const lag_sums& r = job.result;
        output_bytes out;
        add_floats(out, &r.e, 1);
        for (const auto* sums : {&r.back_c, &r.back_t, &r.ahead_c, &r.ahead_t}) {
          add_floats(out, sums->data(), int(sums->size()));
        }
        return out;
      },
      40);
}

// Subframes in a row along one output line, predictors random or +0 taps.
TEST(DecoderKernels, SynthesisFilter) {
  test::expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<float, kFilterLine> line;
        fill(rng, kind, trial, line.data(), kFilterLine, 3000.0f);
        output_bytes out;
        for (int s = 0; s < kSubframes; ++s) {
          const lpc_set a = s == 2 ? lpc_set{} : test_support::random_predictor(rng, 0.97);
          std::array<float, kSubframe> x;
          fill(rng, kind, trial, x.data(), kSubframe, 3000.0f);
          table.synthesis_filter(x.data(), a, line.data() + kOrder - 1 + kSubframe * s);
          add_floats(out, x.data(), kSubframe);
        }
        add_floats(out, line.data(), kFilterLine);
        return out;
      },
      10);
}

// Frames in a row from one state: good frames (the pitch post-filter on a
// window with a pulse train in it over loud inputs) and concealed ones;
// predictors random, all +0 taps or a single tap of 0.5 (with which an
// output underflows to -0). The samples and every state field each frame
// writes.
TEST(DecoderKernels, PostfilteredSynthesis) {
  test::expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        decoder_state state{};
        reset_decoder_state(state);
        for (auto* memory : {&state.decoder_synthesis_memory, &state.formant_fir_memory,
                             &state.formant_iir_memory}) {
          fill(rng, kind, trial, memory->data(), kOrder, 3000.0f);
        }
        // Extreme trial 0 opens on an output that underflows to -0 (-2^-149
        // + 0.5 2^-149 ties to -0) meeting a pole section of -0 products.
        const bool underflow = kind == input_kind::extreme && trial == 0;
        if (underflow) {
          state.decoder_synthesis_memory = {1e-45f};
          state.formant_fir_memory.fill(0.0f);
          state.formant_iir_memory.fill(-0.0f);
        }
        output_bytes out;
        for (int frame = 0; frame < 8; ++frame) {
          std::array<float, kPaddedWindow> decoded{};
          fill(rng, kind, trial, decoded.data(), kWindow, 3000.0f);
          const int period = 18 + int(rng() % 128);
          if (frame % 2 == 1 && std::fabs(decoded[kHistory]) > 1.0f) {
            for (int i = 0; i < kWindow; i += period) decoded[i] += 8000.0f;
          }
          if (underflow && frame == 0) {
            decoded.fill(0.0f);
            decoded[kHistory] = -1e-45f;
          }
          std::array<float, kWindow> window;
          for (int i = 0; i < kWindow; ++i) window[i] = clip_excitation(decoded[i]);
          std::array<lpc_set, kSubframes> predictors;
          for (lpc_set& p : predictors) {
            p = frame % 2 == 1 ? test_support::random_predictor(rng, 0.97) : lpc_set{};
            if (frame % 4 == 2 || (underflow && frame == 0)) p[0] = 0.5f;
          }
          synthesis_input in;
          in.excitation = window.data() + kHistory;
          in.decoded = frame % 3 != 2 ? decoded.data() : nullptr;
          in.olp = {period, std::min(period + int(rng() % 5), 145)};
          in.coefficients = &predictors;
          std::array<int16_t, kFrame> samples;
          table.postfiltered_synthesis(in, state, samples.data());
          test::add(out, samples.data(), kFrame);
          add_floats(out, &state.tilt_memory, 1);
          add_floats(out, &state.postfilter_gain, 1);
          add_floats(out, state.decoder_synthesis_memory.data(), kOrder);
          add_floats(out, state.formant_fir_memory.data(), kOrder);
          add_floats(out, state.formant_iir_memory.data(), kOrder);
        }
        return out;
      },
      6);
}

// Values at every rounding and saturation boundary, infinities and NaNs of
// either sign, over every run length (the lanes go four at a time).
TEST(DecoderKernels, PcmOutput) {
  test::expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        const float edges[] = {0.5f,       -0.5f,         0.49999997f,   -0.49999997f, 32766.5f,
                               32766.498f, 32767.0f,      -32767.5f,     -32767.498f,  -32768.0f,
                               1e9f,       -1e9f,         2.5f,          -2.5f,        INFINITY,
                               -INFINITY,  std::nanf(""), -std::nanf("")};
        std::mt19937 rng(trial);
        std::array<float, kFrame> in;
        fill(rng, kind, trial, in.data(), kFrame, 40000.0f);
        for (float& x : in) x = rng() % 3 == 0 ? edges[rng() % std::size(edges)] : x;
        const int count = trial < 16 ? 1 + trial : kFrame - int(rng() % 8);
        std::array<int16_t, kFrame> samples{};
        table.float_to_pcm16(in.data(), count, samples.data());
        output_bytes out;
        test::add(out, samples.data(), kFrame);
        return out;
      },
      24);
}

uint64_t choose(int n, int k) {
  if (k < 0 || n < k) return 0;
  uint64_t c = 1;
  for (int i = 1; i <= k; ++i) c = c * uint64_t(n - k + i) / uint64_t(i);
  return c;
}

// Walks over each table with every pulse count, indices at both ends of
// their range (extreme), at its start (silence) or anywhere, and column
// limits from none to the whole table.
TEST(DecoderKernels, PulseWalks) {
  test::expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        struct table_case {
          position_table table;
          int rows, columns;
        };
        const table_case tables[] = {{position_table::grid2, 6, 30},
                                     {position_table::grid4, 4, 15},
                                     {position_table::grid1, 8, 60},
                                     {position_table::second_stage, 5, 52}};
        std::mt19937 rng(trial);
        output_bytes out;
        for (const table_case& t : tables) {
          std::array<pulse_walk, kSubframes> walks{};
          for (pulse_walk& w : walks) {
            w.pulses = 1 + int(rng() % t.rows);
            const uint64_t limit = choose(t.columns, w.pulses);
            const uint64_t near = rng() % 64 % limit;
            w.positions =
                uint32_t(kind == input_kind::silence   ? near
                         : kind == input_kind::extreme ? (rng() % 2 ? near : limit - 1 - near)
                                                       : rng() % limit);
            w.end = rng() % 4 == 0 ? int(rng() % (t.columns + 1)) : t.columns;
          }
          table.walk_pulse_columns(t.table, walks);
          for (const pulse_walk& w : walks) {
            test::add(out, &w.placed);
            test::add(out, w.taken, w.placed);
          }
        }
        return out;
      },
      500);
}

}  // namespace
}  // namespace sivo
