// Test inputs for the kernel variants, and the test program's variant pin.
#include "tests/codec/kernel_variants.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>

#include "speech.h"

namespace sivo::test {

void fill_samples(std::mt19937& rng, input_kind kind, float* x, int count, float scale) {
  static const std::vector<int16_t> speech = load_raw("hts1a.raw");
  const float specials[] = {
      3e37f, -3e37f, 1e-41f, -1e-41f, 0.0f, -0.0f, std::numeric_limits<float>::denorm_min()};
  std::uniform_real_distribution<float> u(-scale, scale);
  const size_t start =
      speech.size() > static_cast<size_t>(count) ? rng() % (speech.size() - count) : 0;
  for (int i = 0; i < count; ++i) {
    x[i] = u(rng);
    if (kind == input_kind::silence) x[i] = rng() % 2 ? 0.0f : -0.0f;
    if (kind == input_kind::extreme && rng() % 3 == 0) x[i] = specials[rng() % std::size(specials)];
    if (kind == input_kind::speech && start + i < speech.size())
      x[i] = speech[start + i] * (scale / 32768.0f);
  }
}

namespace {

// SIVO_TEST_KERNELS=lanes2 (reference, lanes4, lanes4vl, lanes8) runs the whole test
// program on that variant; one the machine cannot run stops it.
const bool pinned_by_environment = [] {
  const char* wanted = std::getenv("SIVO_TEST_KERNELS");
  if (wanted == nullptr || *wanted == '\0') return false;
  for (int v = 0; v < kKernelVariants; ++v) {
    const auto variant = static_cast<kernel_variant>(v);
    if (std::strcmp(wanted, kernel_variant_name(variant)) == 0 && pin_kernel_variant(variant)) {
      return true;
    }
  }
  std::fprintf(stderr, "SIVO_TEST_KERNELS=%s: not a variant this build and machine run\n", wanted);
  std::exit(2);
}();

}  // namespace
}  // namespace sivo::test
