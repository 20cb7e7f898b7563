// Each kernel in every variant the machine runs against its plain reference form, bit for bit.
#include <gtest/gtest.h>

#include <array>
#include <cstdlib>
#include <cstring>
#include <random>

#include "codec/analysis/open_loop_pitch.h"
#include "codec/codec_types.h"
#include "tests/codec/kernel_variants.h"

namespace sivo {
namespace {

using test::expect_variants_match_reference;
using test::fill_samples;
using test::input_kind;
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
        out.add(corr.data(), kOpenLoopCorrelations);
        return out;
      },
      20);
}

}  // namespace
}  // namespace sivo
