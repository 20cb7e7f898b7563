// Each kernel in every variant the machine runs against its plain reference form, bit for bit.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <random>

#include "codec/analysis/lpc_analysis.h"
#include "codec/analysis/lsp_quantise.h"
#include "codec/analysis/open_loop_pitch.h"
#include "codec/analysis/perceptual_weighting.h"
#include "codec/analysis/weighted_synthesis.h"
#include "codec/codec_types.h"
#include "codec/excitation/adaptive_codebook.h"
#include "codec/excitation/fixed_codebook.h"
#include "codec/excitation/pulse_filters.h"
#include "codec/tables/acb_gain_tables.h"
#include "tests/codec/kernel_variants.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

using test::expect_variants_match_reference;
using test::fill_samples;
using test::input_kind;
using test::add;
using test::output_bytes;

// The codec runs on the pinned variant, else on the widest the machine has.
TEST(KernelTable, CodecUsesThePinnedOrWidestVariant) {
  const auto variants = runnable_kernel_variants();
  ASSERT_FALSE(variants.empty());
  EXPECT_EQ(variants.front(), kernel_variant::reference);
  kernel_variant expected = variants.back();
  if (const char* pin = std::getenv("SIVO_TEST_KERNELS"); pin != nullptr && *pin != '\0') {
    for (kernel_variant v : variants) {
      if (std::strcmp(pin, test::name_of(v)) == 0) expected = v;
    }
  }
  EXPECT_EQ(&kernels(), &kernel_table_for(expected)) << test::name_of(expected);
  EXPECT_FALSE(pin_kernel_variant(kernel_variant::reference)) << "pinned after the choice";
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
