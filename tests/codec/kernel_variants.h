// Test harness: every kernel variant the machine runs against the reference form, bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <functional>
#include <random>
#include <vector>

#include "codec/kernels/kernel_table.h"

namespace sivo::test {

// The inputs each kernel is held to its reference form on: uniform in
// +-scale; extreme (huge values of both signs, whose terms cancel,
// subnormals and signed zeros mixed in); silence (zeros of either sign);
// speech (a stretch of a recording scaled to scale / 32768).
enum class input_kind { random, extreme, silence, speech };
void fill_samples(std::mt19937& rng, input_kind kind, float* x, int count, float scale);

// The bytes a kernel call wrote, for comparing variants.
using output_bytes = std::vector<unsigned char>;
template <typename T>
void add(output_bytes& out, const T* p, int count = 1) {
  const auto* b = reinterpret_cast<const unsigned char*>(p);
  out.insert(out.end(), b, b + sizeof(T) * count);
}

// Runs one kernel call from table on input (kind, trial), returns what it wrote.
using kernel_run = std::function<output_bytes(const kernel_table&, input_kind, int trial)>;

// Every runnable variant gives the reference's bytes on trials of every kind.
inline void expect_variants_match_reference(const kernel_run& run, int trials) {
  const kernel_table& reference = kernel_table_for(kernel_variant::reference);
  for (kernel_variant variant : runnable_kernel_variants()) {
    for (int kind = 0; kind < 4 && variant != kernel_variant::reference; ++kind) {
      for (int trial = 0; trial < trials; ++trial) {
        const output_bytes want = run(reference, static_cast<input_kind>(kind), trial);
        ASSERT_FALSE(want.empty());
        ASSERT_EQ(run(kernel_table_for(variant), static_cast<input_kind>(kind), trial), want)
            << kernel_variant_name(variant) << " differs from reference on input kind " << kind
            << ", trial " << trial;
      }
    }
  }
}

}  // namespace sivo::test
