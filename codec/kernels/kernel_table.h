// The one table of stage kernels: the plain forms, or the lane forms the processor can run.
#pragma once

#include <span>

#include "codec/analysis/lpc_analysis.h"
#include "codec/analysis/lsp_decode.h"
#include "codec/analysis/lsp_quantise.h"
#include "codec/analysis/open_loop_pitch.h"
#include "codec/analysis/weighted_synthesis.h"
#include "codec/excitation/adaptive_codebook.h"
#include "codec/excitation/fixed_codebook.h"
#include "codec/excitation/pulse_filters.h"
#include "codec/synthesis/fixed_codebook_decode.h"
#include "codec/synthesis/lag_sums.h"
#include "codec/synthesis/pcm_output.h"
#include "codec/synthesis/postfiltered_synthesis.h"
#include "codec/synthesis/synthesis_filter.h"

namespace sivo {

// The forms a kernel can take: the plain stage function (reference) or its
// lane form in groups of 2 (SSE2, every x86-64), 4 (AVX2) or 8 (AVX-512)
// double lanes. Every form computes the same bits.
enum class kernel_variant { reference, lanes2, lanes4, lanes8 };

// One entry per kernel; each has the signature of the stage function it
// replaces, and that stage function is its reference form.
struct kernel_table {
  // Encoder stages.
  decltype(&sivo::window_correlations) window_correlations;
  decltype(&sivo::lsp_split_vq) lsp_split_vq;
  decltype(&sivo::open_loop_correlations) open_loop_correlations;
  decltype(&sivo::cascade_responses) cascade_responses;
  decltype(&sivo::backward_correlate) backward_correlate;
  decltype(&sivo::causal_convolution) causal_convolution;
  decltype(&sivo::filter_tap_vectors) filter_tap_vectors;
  decltype(&sivo::correlate_candidates) correlate_candidates;
  decltype(&sivo::best_gain_row) best_gain_row;
  decltype(&sivo::apply_taps) apply_taps;
  decltype(&sivo::place_pulses) place_pulses;

  // Decoder stages.
  decltype(&sivo::lsp_to_lpc_subframes) lsp_to_lpc_subframes;
  decltype(&sivo::walk_pulse_columns) walk_pulse_columns;
  decltype(&sivo::sum_lag_job) sum_lag_job;
  decltype(&sivo::postfiltered_synthesis) postfiltered_synthesis;
  decltype(&sivo::synthesis_filter) synthesis_filter;
  decltype(&sivo::float_to_pcm16) float_to_pcm16;
};

// The table for this processor: the widest variant it runs, chosen once on
// first use (thread-safe); the reference forms only in a build configured
// with -DSIVO_KERNELS=reference or on a processor without lane kernels.
const kernel_table& kernels() noexcept;

// For tests: the variants this build and processor can run (reference
// first), and the table of any of them.
std::span<const kernel_variant> runnable_kernel_variants() noexcept;
const kernel_table& kernel_table_for(kernel_variant variant) noexcept;

// For tests: makes kernels() use variant instead of the widest. Takes
// effect only before kernels() is first called; false (nothing changed)
// when the variant cannot run here or the choice is already made.
bool pin_kernel_variant(kernel_variant variant) noexcept;

}  // namespace sivo
