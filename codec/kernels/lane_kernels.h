// The lane kernels each stage's lane file adds to a kernel table, and the entry-point helpers they share.
#pragma once

#include "codec/kernels/kernel_table.h"

namespace sivo {

// Each sets its stage's entries of table to the lane form in groups of
// width (2, 4 or 8) double lanes.
void add_lpc_analysis_lanes(kernel_table& table, int width) noexcept;
void add_lsp_quantise_lanes(kernel_table& table, int width) noexcept;
void add_open_loop_pitch_lanes(kernel_table& table, int width) noexcept;
void add_weighted_synthesis_lanes(kernel_table& table, int width) noexcept;
void add_pulse_filters_lanes(kernel_table& table, int width) noexcept;
void add_adaptive_codebook_lanes(kernel_table& table, int width) noexcept;
void add_fixed_codebook_lanes(kernel_table& table, int width) noexcept;
// Decoder stages.
void add_lsp_decode_lanes(kernel_table& table, int width) noexcept;
void add_fixed_codebook_decode_lanes(kernel_table& table, int width) noexcept;
void add_lag_sums_lanes(kernel_table& table, int width) noexcept;
void add_postfiltered_synthesis_lanes(kernel_table& table, int width) noexcept;
void add_synthesis_filter_lanes(kernel_table& table, int width) noexcept;
void add_pcm_output_lanes(kernel_table& table, int width) noexcept;

// name_lanes2, name_lanes4, name_lanes8: the kernel template kernel<W>
// compiled for plain x86-64, AVX2 and AVX-512 respectively. Everything the
// template calls must be inlined into it (SIVO_LANE_INLINE) and everything in
// a lane file must have internal linkage, so that no code built for a wider
// instruction set can be shared with, or picked by the linker for, code run
// on a narrower one.
#define SIVO_LANE_ENTRIES(name, kernel, params, args)                               \
  auto name##_lanes2 params noexcept { return kernel<2> args; }                     \
  __attribute__((target("avx2"))) auto name##_lanes4 params noexcept {              \
    return kernel<4> args;                                                          \
  }                                                                                 \
  __attribute__((target("avx512f"))) auto name##_lanes8 params noexcept {           \
    return kernel<8> args;                                                          \
  }

// The entry for width: two for 2, four for 4, eight for 8.
template <class Entry>
Entry by_width(int width, Entry two, Entry four, Entry eight) noexcept {
  return width == 8 ? eight : width == 4 ? four : two;
}

}  // namespace sivo
