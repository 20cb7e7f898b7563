// Test harness for the kernel variants, and the test program's variant pin.
#include "tests/codec/kernel_variants.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "tests/support/speech.h"

namespace sivo::test {

const char* name_of(input_kind kind) {
  switch (kind) {
    case input_kind::random: return "random";
    case input_kind::extreme: return "extreme";
    case input_kind::silence: return "silence";
    case input_kind::speech: return "speech";
  }
  return "?";
}

const char* name_of(kernel_variant variant) {
  switch (variant) {
    case kernel_variant::reference: return "reference";
    case kernel_variant::lanes2: return "lanes2";
    case kernel_variant::lanes4: return "lanes4";
    case kernel_variant::lanes8: return "lanes8";
  }
  return "?";
}

void fill_samples(std::mt19937& rng, input_kind kind, float* x, int count, float scale) {
  std::uniform_real_distribution<float> u(-scale, scale);
  static const std::vector<int16_t> speech = load_raw("hts1a.raw");
  for (int i = 0; i < count; ++i) x[i] = u(rng);
  if (kind == input_kind::silence) {
    for (int i = 0; i < count; ++i) x[i] = rng() % 2 ? 0.0f : -0.0f;
  } else if (kind == input_kind::extreme) {
    const float specials[] = {3e37f, -3e37f, 1e-41f, -1e-41f, 0.0f, -0.0f,
                              std::numeric_limits<float>::denorm_min()};
    for (int i = 0; i < count; ++i) {
      if (rng() % 3 == 0) x[i] = specials[rng() % std::size(specials)];
    }
  } else if (kind == input_kind::speech && speech.size() > static_cast<size_t>(count)) {
    const size_t start = rng() % (speech.size() - count);
    for (int i = 0; i < count; ++i) x[i] = speech[start + i] * (scale / 32768.0f);
  }
}

void expect_variants_match_reference(const kernel_run& run, int trials) {
  const kernel_table& reference = kernel_table_for(kernel_variant::reference);
  for (kernel_variant variant : runnable_kernel_variants()) {
    if (variant == kernel_variant::reference) continue;
    const kernel_table& table = kernel_table_for(variant);
    for (input_kind kind : kInputKinds) {
      for (int trial = 0; trial < trials; ++trial) {
        const output_bytes want = run(reference, kind, trial);
        ASSERT_GT(want.size(), 0u);
        ASSERT_TRUE(run(table, kind, trial) == want)
            << name_of(variant) << " differs from reference on " << name_of(kind)
            << " input, trial " << trial;
      }
    }
  }
}

namespace {

// SIVO_TEST_KERNELS=lanes2 (reference, lanes4, lanes8) runs the whole test
// program on that variant; one the machine cannot run stops it.
const bool pinned_by_environment = [] {
  const char* wanted = std::getenv("SIVO_TEST_KERNELS");
  if (wanted == nullptr || *wanted == '\0') return false;
  for (kernel_variant v : {kernel_variant::reference, kernel_variant::lanes2,
                           kernel_variant::lanes4, kernel_variant::lanes8}) {
    if (std::strcmp(wanted, name_of(v)) == 0 && pin_kernel_variant(v)) return true;
  }
  std::fprintf(stderr, "SIVO_TEST_KERNELS=%s: not a variant this build and machine run\n",
               wanted);
  std::exit(2);
}();

}  // namespace
}  // namespace sivo::test
