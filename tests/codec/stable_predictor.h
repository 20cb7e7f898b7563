// Test helper: random stable predictors built from reflection coefficients.
#pragma once

#include <array>
#include <random>

#include "codec/codec_types.h"

namespace sivo::test_support {

// Predictor a1..a10 (A = 1 - sum aj z^-j) of a lattice with the given
// reflection coefficients, by the step-up recursion in double. Stable when
// every |k| < 1.
inline std::array<double, kOrder> predictor_from_reflections(const std::array<double, kOrder>& k) {
  std::array<double, kOrder + 1> c{};  // c0 = 1, cj = -aj
  c[0] = 1.0;
  for (int m = 1; m <= kOrder; ++m) {
    std::array<double, kOrder + 1> next = c;
    for (int j = 1; j < m; ++j) next[j] = c[j] + k[m - 1] * c[m - j];
    next[m] = k[m - 1];
    c = next;
  }
  std::array<double, kOrder> a{};
  for (int j = 0; j < kOrder; ++j) a[j] = -c[j + 1];
  return a;
}

// A random stable predictor rounded to floats, reflections within +-limit.
inline lpc_set random_predictor(std::mt19937& rng, double limit = 0.9) {
  std::uniform_real_distribution<double> reflection(-limit, limit);
  std::array<double, kOrder> k{};
  for (double& v : k) v = reflection(rng);
  const std::array<double, kOrder> a = predictor_from_reflections(k);
  lpc_set out{};
  for (int j = 0; j < kOrder; ++j) out[j] = static_cast<float>(a[j]);
  return out;
}

}  // namespace sivo::test_support
