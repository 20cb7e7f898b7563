// Each kernel in every variant the machine runs against its plain reference form, bit for bit.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <random>
#include <string>

#include "codec/analysis/lpc_analysis.h"
#include "codec/analysis/lsp_quantise.h"
#include "codec/analysis/open_loop_pitch.h"
#include "codec/analysis/perceptual_weighting.h"
#include "codec/analysis/weighted_synthesis.h"
#include "codec/codec_types.h"
#include "codec/excitation/adaptive_codebook.h"
#include "codec/excitation/fixed_codebook.h"
#include "codec/excitation/pulse_filters.h"
#include "codec/state.h"
#include "codec/synthesis/postfiltered_synthesis.h"
#include "codec/synthesis/synthesis_filter.h"
#include "codec/tables/acb_gain_tables.h"
#include "tests/codec/kernel_variants.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

using test::add;
using test::expect_variants_match_reference;
using test::fill_samples;
using test::input_kind;
using test::output_bytes;

// The variant among those running here whose form of a kernel entry is.
template <typename Entry>
kernel_variant variant_holding(Entry entry, Entry kernel_table::*slot) {
  for (kernel_variant v : runnable_kernel_variants()) {
    if (kernel_table_for(v).*slot == entry) return v;
  }
  ADD_FAILURE() << "a form no runnable variant holds";
  return kernel_variant::reference;
}

// Every slot of every variant holds its own kernel's form for that variant,
// the one the line in the kernel list names by its column: the stage
// function in the reference table, name_lanesW in the W-lane table.
TEST(KernelTable, EachSlotHoldsItsOwnForm) {
  const kernel_table& reference = kernel_table_for(kernel_variant::reference);
#if defined(SIVO_KERNELS_LANES)
  const kernel_table& two = kernel_table_for(kernel_variant::lanes2);
  const kernel_table& four = kernel_table_for(kernel_variant::lanes4);
  const kernel_table& four_vl = kernel_table_for(kernel_variant::lanes4vl);
  const kernel_table& eight = kernel_table_for(kernel_variant::lanes8);
#define SIVO_CHECK_SLOTS(name, a, b, c, d, kind)                             \
  EXPECT_EQ(reference.name, &sivo::name) << #name;                           \
  EXPECT_EQ(two.name, &sivo::name##_lanes2) << #name " two";                 \
  EXPECT_EQ(four.name, &sivo::name##_lanes4) << #name " four";               \
  EXPECT_EQ(four_vl.name, &sivo::name##_lanes4vl) << #name " four, AVX-512"; \
  EXPECT_EQ(eight.name, &sivo::name##_lanes8) << #name " eight";
#else
#define SIVO_CHECK_SLOTS(name, a, b, c, d, kind)                                            \
  for (int v = 0; v < kKernelVariants; ++v) {                                               \
    EXPECT_EQ(kernel_table_for(static_cast<kernel_variant>(v)).name, &sivo::name) << #name; \
  }                                                                                         \
  EXPECT_EQ(reference.name, &sivo::name) << #name;
#endif
  SIVO_KERNEL_LIST(SIVO_CHECK_SLOTS)
#undef SIVO_CHECK_SLOTS
}

// The codec runs the pinned variant throughout, or else in each kernel the
// variant the rule chooses for its kind on this processor, one that the
// processor runs (the widest that this build runs where the rule asks more).
TEST(KernelTable, CodecRunsTheChosenVariants) {
  const auto variants = runnable_kernel_variants();
  ASSERT_FALSE(variants.empty());
  EXPECT_EQ(variants.front(), kernel_variant::reference);
  const char* pin = std::getenv("SIVO_TEST_KERNELS");
  const bool pinned = pin != nullptr && *pin != '\0';
  const processor_traits here = this_processor();
  const kernel_table& running = kernels();
#define SIVO_CHECK_CHOICE(name, a, b, c, d, kind)                                               \
  {                                                                                             \
    const kernel_variant v = variant_holding(running.name, &kernel_table::name);                \
    const kernel_variant want =                                                                 \
        pinned ? v : std::min(choose_kernel_variant(here, kernel_kind::kind), variants.back()); \
    EXPECT_EQ(kernel_variant_name(v), std::string(pinned ? pin : kernel_variant_name(want)))    \
        << #name;                                                                               \
  }
  SIVO_KERNEL_LIST(SIVO_CHECK_CHOICE)
#undef SIVO_CHECK_CHOICE
  EXPECT_FALSE(pin_kernel_variant(kernel_variant::reference)) << "pinned after the choice";
}

// The rule over processors the codec meets: each kind of kernel on each.
TEST(KernelTable, RuleOverProcessors) {
  struct rule_case {
    const char* processor;
    processor_traits traits;  // vendor, family, model, AVX2, AVX-512F, AVX-512VL
    kernel_variant wide, four, paced;
  };
  using enum kernel_variant;
  const rule_case cases[] = {
      {"not x86-64", {}, lanes2, lanes2, lanes2},
      {"x86-64 without AVX2",
       {cpu_vendor::intel, 6, 0x2a, false, false, false},
       lanes2,
       lanes2,
       lanes2},
      {"Intel Haswell", {cpu_vendor::intel, 6, 0x3f, true, false, false}, lanes4, lanes4, lanes4},
      {"AMD Zen 3", {cpu_vendor::amd, 25, 0x01, true, false, false}, lanes4, lanes4, lanes4},
      {"Intel Xeon Phi (no AVX-512VL)",
       {cpu_vendor::intel, 6, 0x57, true, true, false},
       lanes4,
       lanes4,
       lanes4},
      {"Intel Skylake-SP",
       {cpu_vendor::intel, 6, 0x55, true, true, true},
       lanes8,
       lanes4vl,
       lanes4vl},
      {"Intel Ice Lake-SP",
       {cpu_vendor::intel, 6, 0x6a, true, true, true},
       lanes8,
       lanes4vl,
       lanes4vl},
      {"Intel Sapphire Rapids",
       {cpu_vendor::intel, 6, 0x8f, true, true, true},
       lanes8,
       lanes4vl,
       lanes4vl},
      {"AMD Zen 4", {cpu_vendor::amd, 25, 0x11, true, true, true}, lanes8, lanes4vl, lanes8},
      {"AMD Zen 5", {cpu_vendor::amd, 26, 0x02, true, true, true}, lanes8, lanes4vl, lanes8},
      {"another maker with AVX-512",
       {cpu_vendor::other, 7, 1, true, true, true},
       lanes8,
       lanes4vl,
       lanes4vl},
  };
  for (const rule_case& c : cases) {
    EXPECT_EQ(choose_kernel_variant(c.traits, kernel_kind::wide), c.wide) << c.processor;
    EXPECT_EQ(choose_kernel_variant(c.traits, kernel_kind::four), c.four) << c.processor;
    EXPECT_EQ(choose_kernel_variant(c.traits, kernel_kind::paced), c.paced) << c.processor;
  }
}

TEST(KernelTable, OpenLoopCorrelations) {
  expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<float, kHistory + kHalfFrame> line;
        fill_samples(rng, kind, line.data(), static_cast<int>(line.size()), 20000.0f);
        std::array<float, kOpenLoopCorrelations> corr;
        table.open_loop_correlations(corr, line.data() + kHistory);
        output_bytes out;
        add(out, corr.data(), kOpenLoopCorrelations);
        return out;
      },
      20);
}

TEST(KernelTable, WindowCorrelations) {
  expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<float, kWindowLags + kWindowLength> padded{};
        fill_samples(rng, kind, padded.data() + kWindowLags, kWindowLength, 30000.0f);
        std::array<double, kWindowLags> sums;
        table.window_correlations(sums, padded.data() + kWindowLags);
        output_bytes out;
        add(out, sums.data(), kWindowLags);
        return out;
      },
      20);
}

// Residuals and weights as LSP quantisation makes them; extreme inputs
// give ties (silence: every score zero) and huge or tiny weights.
TEST(KernelTable, LspBandSearch) {
  expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<float, kOrder> residual, weights;
        fill_samples(rng, kind, residual.data(), kOrder, 8.0f);
        fill_samples(rng, kind, weights.data(), kOrder, 2.0f);
        output_bytes out;
        for (int band = 0; band < 3; ++band) {
          const int entry = table.lsp_split_vq(band, residual, weights);
          add(out, &entry);
        }
        return out;
      },
      40);
}

TEST(KernelTable, CascadeResponses) {
  expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<lpc_set, kSubframes> quantised, unquantised;
        for (int i = 0; i < kSubframes; ++i) {
          quantised[i] = test_support::random_predictor(rng, trial % 2 ? 0.99 : 0.9);
          unquantised[i] = test_support::random_predictor(rng, 0.95);
          // Extreme and silent kinds replace some coefficients.
          std::array<float, kOrder> noise;
          fill_samples(rng, kind, noise.data(), kOrder, 1.0f);
          if (kind == input_kind::extreme || kind == input_kind::silence) quantised[i] = noise;
        }
        std::array<weighting_set, kSubframes> sets;
        weighting_coefficients(sets, unquantised);
        std::array<std::array<float, kSubframe>, kSubframes> y;
        table.cascade_responses(y, quantised, sets);
        output_bytes out;
        for (const auto& line : y) add(out, line.data(), kSubframe);
        return out;
      },
      20);
}

// The encoder's recursions over four subframes in a row: the weighting
// filter over a frame from its memory, then ringing removal and memory
// update along one synthesis and one ringing line, with stable predictors
// (odd trials close to the unit circle) or all +0 taps, and comb lags short
// and long.
TEST(KernelTable, EncoderRecursions) {
  expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<lpc_set, kSubframes> quantised, unquantised;
        for (int i = 0; i < kSubframes; ++i) {
          quantised[i] = trial % 5 == 4
                             ? lpc_set{}
                             : test_support::random_predictor(rng, trial % 2 ? 0.99 : 0.9);
          unquantised[i] = test_support::random_predictor(rng, 0.95);
        }
        std::array<weighting_set, kSubframes> sets;
        weighting_coefficients(sets, unquantised);
        output_bytes out;

        encoder_state state{};
        fill_samples(rng, kind, state.weighting_memory.data(), kOrder, 3000.0f);
        std::array<float, kOrder + kFrame> speech;
        fill_samples(rng, kind, speech.data(), int(speech.size()), 30000.0f);
        std::array<float, kFrame> weighted;
        table.weighting_filter(speech.data() + kOrder, weighted.data(), sets, state);
        add(out, weighted.data(), kFrame);
        add(out, state.weighting_memory.data(), kOrder);

        std::array<float, kOrder + kFrame> synthesis;
        std::array<float, kHistory + kFrame> ringing;
        fill_samples(rng, kind, synthesis.data(), kOrder, 3000.0f);
        fill_samples(rng, kind, ringing.data(), kHistory, 3000.0f);
        for (int i = 0; i < kSubframes; ++i) {
          std::array<float, kSubframe> target, excitation;
          fill_samples(rng, kind, target.data(), kSubframe, 20000.0f);
          fill_samples(rng, kind, excitation.data(), kSubframe, 20000.0f);
          const shaping_params shaping{int32_t(trial % 3 == 0 ? 0 : 18 + rng() % 128), 0.3f};
          float* const s = synthesis.data() + kOrder - 1 + kSubframe * i;
          float* const y = ringing.data() + kHistory - 1 + kSubframe * i;
          table.subtract_ringing(target, quantised[i], sets[i], shaping, s, y);
          add(out, target.data(), kSubframe);
          table.update_memories(excitation, quantised[i], sets[i], s, y);
        }
        add(out, synthesis.data(), int(synthesis.size()));
        add(out, ringing.data(), int(ringing.size()));
        return out;
      },
      10);
}

// A sum on a rounding boundary in every recursion that is run ahead of its
// rounding. With taps 1, 0, 2^-24, 0, ..., 0, 2^-53, 2^-53 over past
// outputs of 1 at n - 1, n - 3, n - 9 and n - 10 and an input of 0, the
// first output's sum in the plain order is 1 + 2^-24 (the two smallest
// products each tie back to it), which rounds to the float 1; summing the
// older products first gives 1 + 2^-24 + 2^-52, which rounds up. The kernel
// must notice and round as the plain form does.
TEST(KernelTable, SumOnARoundingBoundary) {
  static constexpr lpc_set taps = {1.0f, 0.0f, 0x1p-24f, 0.0f,     0.0f,
                                   0.0f, 0.0f, 0.0f,     0x1p-53f, 0x1p-53f};
  // The line's ten past samples, oldest first: ones where taps meet them.
  const auto past = [](float* line) {
    std::fill_n(line, kOrder, 0.0f);
    line[0] = line[1] = line[kOrder - 3] = line[kOrder - 1] = 1.0f;
  };
  expect_variants_match_reference(
      [&](const kernel_table& table, input_kind, int trial) {
        output_bytes out;
        std::array<float, kSubframe> zeros{};
        weighting_set pass{};  // W(z) = 1
        std::array<float, kOrder + kFrame> s, y;
        past(s.data());
        past(y.data());
        if (trial == 0) {
          table.synthesis_filter(zeros.data(), taps, s.data() + kOrder - 1);
        } else if (trial == 1) {
          decoder_state state{};
          reset_decoder_state(state);
          for (int i = 0; i < kOrder; ++i) state.decoder_synthesis_memory[i] = s[kOrder - 1 - i];
          std::array<float, kHistory + kFrame> window{};
          const std::array<lpc_set, kSubframes> predictors = {taps, taps, taps, taps};
          synthesis_input in;
          in.excitation = window.data() + kHistory;
          in.coefficients = &predictors;
          std::array<int16_t, kFrame> samples;
          table.postfiltered_synthesis(in, state, samples.data());
          add(out, state.decoder_synthesis_memory.data(), kOrder);
        } else if (trial == 2) {
          encoder_state state{};
          for (int i = 0; i < kOrder; ++i) state.weighting_memory[i] = y[kOrder - 1 - i];
          std::copy_n(taps.begin(), kOrder, pass.pole.begin());
          const std::array<weighting_set, kSubframes> sets = {pass, pass, pass, pass};
          std::array<float, kOrder + kFrame> speech{};
          table.weighting_filter(speech.data() + kOrder, y.data() + kOrder, sets, state);
        } else if (trial == 3) {
          table.update_memories(zeros, taps, pass, s.data() + kOrder - 1, y.data() + kOrder - 1);
        } else {
          table.subtract_ringing(zeros, taps, pass, shaping_params{}, s.data() + kOrder - 1,
                                 y.data() + kOrder - 1);
          add(out, zeros.data(), kSubframe);
        }
        add(out, s.data(), int(s.size()));
        add(out, y.data(), int(y.size()));
        return out;
      },
      5);
}

// Odd trials keep only a few pulses in a, as a pulse pattern has: the lane
// convolution then adds term by term, which must give the same sums.
TEST(KernelTable, ConvolutionAndBackwardCorrelation) {
  expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<float, kSubframe> a, b;
        fill_samples(rng, kind, a.data(), kSubframe, 3000.0f);
        fill_samples(rng, kind, b.data(), kSubframe, 1.5f);
        if (trial % 2 == 1) {
          std::array<float, kSubframe> sparse{};
          for (int i = 0; i < 1 + trial % 30; ++i) {
            const auto at = rng() % kSubframe;
            sparse[at] = a[at];
          }
          a = sparse;
        }
        std::array<double, kSubframe> conv;
        table.causal_convolution(conv, a.data(), b.data());
        std::array<float, kSubframe> corr;
        table.backward_correlate(a, b, corr);
        output_bytes out;
        add(out, conv.data(), kSubframe);
        add(out, corr.data(), kSubframe);
        return out;
      },
      40);
}

// The gain search's kernels on one set of filtered tap vectors: their
// correlations with the target, the best row of either table at every
// bound, and the predictor of a few rows on the window.
TEST(KernelTable, AdaptiveCodebookGainSearch) {
  expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<tap_vectors, kMaxCandidates> y;
        for (auto& taps : y) {
          for (auto& tap : taps) fill_samples(rng, kind, tap.data(), kSubframe, 5000.0f);
        }
        std::array<float, kSubframe> target;
        fill_samples(rng, kind, target.data(), kSubframe, 5000.0f);
        std::array<gain_correlations, kMaxCandidates> c;
        table.correlate_candidates(c, y, target);
        output_bytes out;
        for (const auto& ck : c) add(out, ck.data(), kGainColumns);
        for (bool large : {false, true}) {
          for (int rows = 1; rows <= (large ? kLargeTableRows : kSmallTableRows); rows += 7) {
            int row = -1;
            const float top = table.best_gain_row(large, rows, c[trial % kMaxCandidates], row);
            add(out, &top);
            add(out, &row);
          }
        }
        std::array<float, kFetchLength> f;
        fill_samples(rng, kind, f.data(), kFetchLength, 30000.0f);
        for (int row : {0, 1 + trial % 84}) {
          std::array<float, kSubframe> v;
          table.apply_taps(v, acb_gain_table_170[row], f);
          add(out, v.data(), kSubframe);
        }
        return out;
      },
      30);
}

// Placements from every grid and first pulse of the rates' pulse counts,
// with and without positions already taken.
TEST(KernelTable, PulsePlacement) {
  expect_variants_match_reference(
      [](const kernel_table& table, input_kind kind, int trial) {
        std::mt19937 rng(trial);
        std::array<float, kSubframe> target, imr, acf, corr;
        fill_samples(rng, kind, target.data(), kSubframe, 8000.0f);
        fill_samples(rng, kind, imr.data(), kSubframe, 1.0f);
        backward_correlate(imr, imr, acf);
        backward_correlate(target, imr, corr);
        std::array<int32_t, kSubframe> occupied{};
        if (trial % 2 == 1) {
          for (int p = trial % 5; p < kSubframe; p += 9) occupied[p] = 1;
        }
        const int step = trial % 3 == 0 ? 1 : trial % 3 == 1 ? 2 : 4;
        const int grid = trial % step;
        int first = grid + step * static_cast<int>(rng() % (kSubframe / step));
        while (first < kSubframe && occupied[first] != 0) first += step;
        if (first >= kSubframe) first = grid + (occupied[grid] != 0 ? step : 0);
        const pulse_placement at{first, grid, step, 3 + trial % 6, 2 + trial % 21};
        std::array<gain_trial, kGainTrials> trials;
        table.place_pulses(trials, at, acf, corr, imr, occupied);
        output_bytes out;
        for (const gain_trial& g : trials) {
          add(out, &g.complete);
          if (!g.complete) continue;
          add(out, &g.error);
          add(out, g.positions.data(), kMaxPulses);
          add(out, g.amplitudes.data(), kMaxPulses);
        }
        return out;
      },
      40);
}

}  // namespace
}  // namespace sivo
