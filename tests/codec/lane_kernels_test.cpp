// The fast paths that run independent sums side by side, or fuse filters
// into one pass, against plain one-sum-at-a-time formulations: the results
// must be the same bits, for ordinary signals and for zeros of either sign,
// subnormals, huge values and non-finite values.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

#include "codec/analysis/perceptual_weighting.h"
#include "codec/analysis/weighted_synthesis.h"
#include "codec/excitation/pulse_filters.h"
#include "codec/state.h"
#include "tests/codec/stable_predictor.h"

namespace sivo {
namespace {

using test_support::random_predictor;
using Vec = std::array<float, kSubframe>;

// Same bits, or both NaN (a NaN's payload may travel either operand).
template <typename T>
bool same(T a, T b) {
  if (std::isnan(a) && std::isnan(b)) return true;
  if constexpr (sizeof(T) == 4) {
    return std::bit_cast<uint32_t>(a) == std::bit_cast<uint32_t>(b);
  } else {
    return std::bit_cast<uint64_t>(a) == std::bit_cast<uint64_t>(b);
  }
}

// Random samples; from trial 40 on some are replaced by awkward values.
void fill(std::mt19937& rng, float* x, int count, float scale, int trial) {
  std::uniform_real_distribution<float> u(-scale, scale);
  const float specials[] = {0.0f,
                            -0.0f,
                            1e-41f,
                            -1e-41f,
                            3e38f,
                            -3e38f,
                            std::numeric_limits<float>::infinity(),
                            std::numeric_limits<float>::quiet_NaN()};
  const int kinds = trial < 60 ? 6 : 8;  // non-finite values in the last trials only
  for (int i = 0; i < count; ++i) {
    x[i] = u(rng);
    if (trial >= 40 && rng() % 8 == 0) x[i] = specials[rng() % kinds];
  }
}

// Odd trials keep only a few pulses in a, as a pulse pattern has: those
// convolutions take a term-by-term path, which must give the same sums.
TEST(LaneKernels, ConvolutionAndCorrelationMatchSingleSums) {
  std::mt19937 rng(11);
  for (int trial = 0; trial < 160; ++trial) {
    Vec a, b;
    fill(rng, a.data(), kSubframe, 3000.0f, trial / 2);
    fill(rng, b.data(), kSubframe, 1.5f, trial / 2);
    if (trial % 2 == 1) {
      const int pulses = 1 + static_cast<int>(rng() % 30);
      Vec sparse{};
      for (int i = 0; i < pulses; ++i) {
        const auto at = rng() % kSubframe;
        sparse[at] = a[at];
      }
      a = sparse;
    }
    std::array<double, kSubframe> conv;
    causal_convolution(conv, a.data(), b.data());
    Vec corr;
    backward_correlate(a, b, corr);
    for (int n = 0; n < kSubframe; ++n) {
      double want = 0.0;
      for (int m = 0; m <= n; ++m) want += static_cast<double>(a[m]) * b[n - m];
      ASSERT_TRUE(same(conv[n], want)) << "trial " << trial << " n " << n;
      double back = 0.0;
      for (int j = n; j < kSubframe; ++j) back += static_cast<double>(a[j]) * b[j - n];
      ASSERT_TRUE(same(corr[n], static_cast<float>(back))) << "trial " << trial << " i " << n;
    }
    // The target update built on the convolution.
    Vec target = b;
    subtract_filtered_excitation(target, a, b);
    for (int n = 0; n < kSubframe; ++n) {
      ASSERT_TRUE(same(target[n], static_cast<float>(b[n] - conv[n])));
    }
  }
}

TEST(LaneKernels, FourImpulseResponsesMatchOneAtATime) {
  std::mt19937 rng(13);
  for (int trial = 0; trial < 50; ++trial) {
    std::array<lpc_set, kSubframes> quantised, unquantised;
    std::array<shaping_params, kSubframes> shaping;
    for (int i = 0; i < kSubframes; ++i) {
      quantised[i] = random_predictor(rng, trial < 25 ? 0.9 : 0.99);
      unquantised[i] = random_predictor(rng, 0.95);
      // Lags inside and outside the subframe, gains of either sign.
      shaping[i] = {static_cast<int32_t>(rng() % 150), static_cast<float>(rng() % 200) / 400.0f};
    }
    std::array<weighting_set, kSubframes> sets;
    weighting_coefficients(sets, unquantised);
    std::array<std::array<float, kSubframe>, kSubframes> together;
    impulse_responses(together, quantised, sets, shaping);
    for (int i = 0; i < kSubframes; ++i) {
      std::array<float, kSubframe> alone;
      impulse_response(alone, quantised[i], sets[i], shaping[i]);
      for (int n = 0; n < kSubframe; ++n) {
        ASSERT_TRUE(same(together[i][n], alone[n])) << "trial " << trial << " subframe " << i;
      }
    }
  }
}

}  // namespace
}  // namespace sivo
