// Test harness: every kernel variant the machine runs against the reference form, bit for bit.
#pragma once

#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstring>
#include <functional>
#include <random>
#include <vector>

#include "codec/kernels/kernel_table.h"

namespace sivo::test {

// The inputs each kernel is held to its reference form on.
enum class input_kind { random, extreme, silence, speech };
inline constexpr input_kind kInputKinds[] = {input_kind::random, input_kind::extreme,
                                             input_kind::silence, input_kind::speech};
const char* name_of(input_kind kind);
const char* name_of(kernel_variant variant);

// Samples of the kind: uniform in +-scale; extreme mixes huge values of
// both signs (terms that cancel), subnormals and signed zeros into it;
// silence is zeros of either sign; speech is a stretch of a recording
// scaled to scale / 32768 (random when the recording is missing).
void fill_samples(std::mt19937& rng, input_kind kind, float* x, int count, float scale);

// The bytes of the outputs a kernel call wrote, for comparing variants.
class output_bytes {
 public:
  template <typename T>
  void add(const T* p, int count) {
    const auto* b = reinterpret_cast<const unsigned char*>(p);
    bytes_.insert(bytes_.end(), b, b + sizeof(T) * count);
  }
  template <typename T>
  void add(const T& x) {
    add(&x, 1);
  }
  bool operator==(const output_bytes&) const = default;
  size_t size() const { return bytes_.size(); }

 private:
  std::vector<unsigned char> bytes_;
};

// Runs one kernel call from table on input (kind, trial) and returns what it wrote.
using kernel_run = std::function<output_bytes(const kernel_table&, input_kind, int trial)>;

// Every runnable variant gives the reference's bytes on trials of every kind.
void expect_variants_match_reference(const kernel_run& run, int trials);

}  // namespace sivo::test
