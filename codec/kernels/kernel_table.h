// The one table of stage kernels: each kernel's plain form and its lane
// forms, and the choice among them for this processor.
#pragma once

#include <atomic>
#include <span>

#include "codec/analysis/lpc_analysis.h"
#include "codec/analysis/lsp_decode.h"
#include "codec/analysis/lsp_quantise.h"
#include "codec/analysis/open_loop_pitch.h"
#include "codec/analysis/perceptual_weighting.h"
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

// The forms a kernel can take: the plain stage function (reference), or its
// lane form built for plain x86-64 (lanes2: SSE2, groups of 2 double lanes),
// AVX2 (lanes4: 4 lanes, 16 registers), AVX-512 on 256-bit registers
// (lanes4vl: 4 lanes, 32 registers, two-register shuffles) or AVX-512
// (lanes8: 8 lanes). Every form computes the same bits.
enum class kernel_variant { reference, lanes2, lanes4, lanes4vl, lanes8 };
inline constexpr int kKernelVariants = 5;

// What decides a kernel's variant on a processor with AVX-512 (see
// choose_kernel_variant):
//   wide:  independent sums in groups of eight, which eight-lane
//          instructions halve;
//   four:  lanes in groups of four, or none: the same instructions at either
//          width, where 512-bit ones gain nothing;
//   paced: the decoder's kernels with eight-lane forms, whose pace its
//          recursions set (each sample waiting on the one before).
enum class kernel_kind { wide, four, paced };

// Every kernel, one line each: the stage function that is its reference form
// and its name in the table, then its forms in the lanes2, lanes4, lanes4vl
// and lanes8 slots (name_lanes2 ... name_lanes8, which its lane file defines
// with SIVO_LANE_ENTRIES), then its kind. Adding a kernel is a line here and
// its lane file.
// clang-format off
#define SIVO_KERNEL_LIST(K)                                                   \
  /* kernel, reference form    lane forms                        kind */      \
  /* Encoder stages. */                                                       \
  K(window_correlations,       lanes2, lanes4, lanes4vl, lanes8, four)       \
  K(lsp_split_vq,              lanes2, lanes4, lanes4vl, lanes8, wide)       \
  K(open_loop_correlations,    lanes2, lanes4, lanes4vl, lanes8, wide)       \
  K(weighting_filter,          lanes2, lanes4, lanes4vl, lanes8, paced)      \
  K(cascade_responses,         lanes2, lanes4, lanes4vl, lanes8, four)       \
  K(subtract_ringing,          lanes2, lanes4, lanes4vl, lanes8, paced)      \
  K(update_memories,           lanes2, lanes4, lanes4vl, lanes8, paced)      \
  K(backward_correlate,        lanes2, lanes4, lanes4vl, lanes8, wide)       \
  K(causal_convolution,        lanes2, lanes4, lanes4vl, lanes8, wide)       \
  K(filter_tap_vectors,        lanes2, lanes4, lanes4vl, lanes8, wide)       \
  K(correlate_candidates,      lanes2, lanes4, lanes4vl, lanes8, wide)       \
  K(best_gain_row,             lanes2, lanes4, lanes4vl, lanes8, wide)       \
  K(apply_taps,                lanes2, lanes4, lanes4vl, lanes8, wide)       \
  K(place_pulses,              lanes2, lanes4, lanes4vl, lanes8, wide)       \
  /* Decoder stages. */                                                       \
  K(lsp_to_lpc_subframes,      lanes2, lanes4, lanes4vl, lanes8, four)       \
  K(walk_pulse_columns,        lanes2, lanes4, lanes4vl, lanes8, four)       \
  K(sum_lag_job,               lanes2, lanes4, lanes4vl, lanes8, paced)      \
  K(postfiltered_synthesis,    lanes2, lanes4, lanes4vl, lanes8, paced)      \
  K(synthesis_filter,          lanes2, lanes4, lanes4vl, lanes8, paced)      \
  K(float_to_pcm16,            lanes2, lanes4, lanes4vl, lanes8, four)       
// clang-format on

// The lane forms of every kernel, with its stage function's signature.
#define SIVO_DECLARE_LANE_FORMS(name, two, four, four_vl, eight, kind) \
  decltype(name) name##_lanes2, name##_lanes4, name##_lanes4vl, name##_lanes8;
SIVO_KERNEL_LIST(SIVO_DECLARE_LANE_FORMS)
#undef SIVO_DECLARE_LANE_FORMS

// One entry per kernel, of the signature of its stage function.
struct kernel_table {
#define SIVO_KERNEL_ENTRY(name, two, four, four_vl, eight, kind) decltype(&sivo::name) name;
  SIVO_KERNEL_LIST(SIVO_KERNEL_ENTRY)
#undef SIVO_KERNEL_ENTRY
};

// The table the codec runs: for each kernel the variant the rule below
// chooses for this processor, chosen once per process on first use
// (thread-safe); the reference forms only in a build configured with
// -DSIVO_KERNELS=reference. Inline: the codec reads it on every kernel call.
const kernel_table& choose_kernels() noexcept;
namespace detail {
extern std::atomic<const kernel_table*> active_kernels;  // null until the choice
}
inline const kernel_table& kernels() noexcept {
  const kernel_table* table = detail::active_kernels.load(std::memory_order_acquire);
  return table != nullptr ? *table : choose_kernels();
}

// The processor as the rule sees it.
enum class cpu_vendor { other, intel, amd };
struct processor_traits {
  cpu_vendor vendor = cpu_vendor::other;
  int family = 0;  // display family and model, as /proc/cpuinfo gives them
  int model = 0;
  bool avx2 = false;      // with the system saving the registers: what lanes4 needs
  bool avx512f = false;   // what lanes8 needs
  bool avx512vl = false;  // with avx512f, what lanes4vl needs
};
processor_traits this_processor() noexcept;

// The rule: the variant a kernel of this kind runs on processor p (capped
// by what the build runs; bench/README.md gives the measurements behind it).
//   - Without AVX2, lanes2; with AVX2 but not AVX-512 (F and VL), lanes4.
//   - With AVX-512: wide kernels lanes8 and four kernels lanes4vl on every
//     processor (the 256-bit forms have the 32 registers and two-register
//     shuffles of AVX-512 without its 512-bit instructions). Paced kernels
//     lanes8 on AMD, whose Zen 4 and later run 512-bit instructions at full
//     clock (Zen 4 as two 256-bit halves), and lanes4vl elsewhere: Intel's
//     cores lower the clock of the whole core for a while after 512-bit
//     arithmetic and shut a vector port to other work meanwhile, which the
//     decoder, paced by its recursions, pays in full. So the decoder runs no
//     512-bit instruction on Intel, and the encoder's wide searches do.
kernel_variant choose_kernel_variant(const processor_traits& p, kernel_kind kind) noexcept;

// The table the rule gives for processor p (for the variant report).
kernel_table chosen_kernel_table(const processor_traits& p) noexcept;

// For tests and benchmarks: the variants this build and processor can run
// (reference first, widest last), and the table of one of them throughout.
std::span<const kernel_variant> runnable_kernel_variants() noexcept;
const kernel_table& kernel_table_for(kernel_variant variant) noexcept;
const char* kernel_variant_name(kernel_variant variant) noexcept;

// For tests: makes kernels() use variant throughout instead of the rule's
// choice. Takes effect only before kernels() is first called; false
// (nothing changed) when the variant cannot run here or the choice is
// already made.
bool pin_kernel_variant(kernel_variant variant) noexcept;

// For benchmarks: makes kernels() return table from now on (which must
// outlive its use). Every form gives the same bits, so switching tables
// between or even during frames changes no output.
void use_kernel_table(const kernel_table& table) noexcept;

}  // namespace sivo
