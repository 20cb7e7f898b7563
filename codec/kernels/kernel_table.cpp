// Fills the kernel tables and picks the one for this processor.
#include "codec/kernels/kernel_table.h"

#include <array>
#include <atomic>

#include "codec/kernels/lane_kernels.h"

namespace sivo {
namespace {

constexpr int kVariants = 4;

kernel_table reference_table() noexcept {
  kernel_table table{};
  // Encoder stages.
  table.window_correlations = window_correlations;
  table.lsp_split_vq = lsp_split_vq;
  table.open_loop_correlations = open_loop_correlations;
  table.cascade_responses = cascade_responses;
  table.backward_correlate = backward_correlate;
  table.causal_convolution = causal_convolution;
  table.filter_tap_vectors = filter_tap_vectors;
  table.correlate_candidates = correlate_candidates;
  table.best_gain_row = best_gain_row;
  table.apply_taps = apply_taps;
  table.place_pulses = place_pulses;
  // Decoder stages.
  table.lsp_to_lpc_subframes = lsp_to_lpc_subframes;
  table.walk_pulse_columns = walk_pulse_columns;
  table.sum_lag_job = sum_lag_job;
  table.postfiltered_synthesis = postfiltered_synthesis;
  table.synthesis_filter = synthesis_filter;
  table.float_to_pcm16 = float_to_pcm16;
  return table;
}

kernel_table table_of(kernel_variant variant) noexcept {
  kernel_table table = reference_table();
#if defined(SIVO_KERNELS_LANES)
  if (variant == kernel_variant::reference) return table;
  const int width = variant == kernel_variant::lanes8 ? 8 : variant == kernel_variant::lanes4 ? 4 : 2;
  add_lpc_analysis_lanes(table, width);
  add_lsp_quantise_lanes(table, width);
  add_open_loop_pitch_lanes(table, width);
  add_weighted_synthesis_lanes(table, width);
  add_pulse_filters_lanes(table, width);
  add_adaptive_codebook_lanes(table, width);
  add_fixed_codebook_lanes(table, width);
  // Decoder stages.
  add_lsp_decode_lanes(table, width);
  add_fixed_codebook_decode_lanes(table, width);
  add_lag_sums_lanes(table, width);
  add_postfiltered_synthesis_lanes(table, width);
  add_synthesis_filter_lanes(table, width);
  add_pcm_output_lanes(table, width);
#else
  static_cast<void>(variant);
#endif
  return table;
}

struct runnable_list {
  std::array<kernel_variant, kVariants> variants{};
  int count = 0;
};

runnable_list find_runnable() noexcept {
  runnable_list list;
  list.variants[list.count++] = kernel_variant::reference;
#if defined(SIVO_KERNELS_LANES)
  list.variants[list.count++] = kernel_variant::lanes2;
#if defined(__ELF__)
  // (Windows' x86-64 compilers do not keep the stack aligned for spilled
  // AVX registers, so the wider variants run only on ELF systems.)
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx2")) list.variants[list.count++] = kernel_variant::lanes4;
  if (__builtin_cpu_supports("avx512f")) list.variants[list.count++] = kernel_variant::lanes8;
#endif
#endif
  return list;
}

const runnable_list& runnable() noexcept {
  static const runnable_list list = find_runnable();
  return list;
}

// The variant pin_kernel_variant asked for, or -1 for the widest.
std::atomic<int> pinned{-1};
std::atomic<bool> chosen{false};

}  // namespace

std::span<const kernel_variant> runnable_kernel_variants() noexcept {
  const runnable_list& list = runnable();
  return {list.variants.data(), static_cast<size_t>(list.count)};
}

const kernel_table& kernel_table_for(kernel_variant variant) noexcept {
  static const std::array<kernel_table, kVariants> tables = {
      table_of(kernel_variant::reference), table_of(kernel_variant::lanes2),
      table_of(kernel_variant::lanes4), table_of(kernel_variant::lanes8)};
  return tables[static_cast<int>(variant)];
}

bool pin_kernel_variant(kernel_variant variant) noexcept {
  if (chosen.load()) return false;
  for (kernel_variant v : runnable_kernel_variants()) {
    if (v == variant) {
      pinned.store(static_cast<int>(variant));
      return true;
    }
  }
  return false;
}

const kernel_table& kernels() noexcept {
  static const kernel_table& table = [] () -> const kernel_table& {
    chosen.store(true);
    const int pin = pinned.load();
    return kernel_table_for(pin >= 0 ? static_cast<kernel_variant>(pin)
                                     : runnable_kernel_variants().back());
  }();
  return table;
}

}  // namespace sivo
