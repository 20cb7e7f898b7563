#include "codec/kernels/vector_lanes.h"

#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace sivo {
namespace {

// Lane helpers at every float offset within a 64-byte line: the loads and
// stores must work at any element-aligned address (an aligned instruction
// would fault here) and give lane for lane what scalar code gives.
TEST(VectorLanes, LoadsAndStoresAtEveryOffsetMatchScalarCode) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> value(-40000.0f, 40000.0f);
  alignas(64) std::array<float, 48> in{};
  alignas(64) std::array<int, 48> flags{};
  for (float& v : in) v = value(rng);
  for (std::size_t i = 0; i < flags.size(); ++i) flags[i] = (i % 3 == 0) ? -1 : 0;
  for (int offset = 0; offset < 16; ++offset) {
    const float* p = in.data() + offset;
    const double scale = 1.0 + offset / 7.0;

    alignas(64) std::array<float, 48> out4{}, out8{}, out_copy{};
    SIVO_STORE_NARROWED(out4.data() + offset, SIVO_LOAD_WIDENED(p) * SIVO_SPLAT(scale));
    SIVO_STORE_NARROWED8(out8.data() + offset, SIVO_LOAD_WIDENED8(p) * SIVO_SPLAT8(scale));
    const float8 none = {-1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f, -1.0f};
    SIVO_STORE_FLOAT8(out_copy.data() + offset, SIVO_LOAD_INT32X8(flags.data() + offset)
                                                    ? none
                                                    : SIVO_ABSOLUTE8(SIVO_LOAD_FLOAT8(p)));
    const double4 rounded = SIVO_ROUND_TO_FLOAT(SIVO_LOAD_WIDENED(p) * SIVO_SPLAT(scale));
    for (int k = 0; k < 8; ++k) {
      const float expected = static_cast<float>(static_cast<double>(p[k]) * scale);
      if (k < 4) {
        EXPECT_EQ(std::bit_cast<uint32_t>(out4[offset + k]), std::bit_cast<uint32_t>(expected));
        EXPECT_EQ(rounded[k], static_cast<double>(expected));
      }
      EXPECT_EQ(std::bit_cast<uint32_t>(out8[offset + k]), std::bit_cast<uint32_t>(expected));
      EXPECT_EQ(out_copy[offset + k], flags[offset + k] ? -1.0f : std::fabs(p[k]));
    }
    // Nothing outside the four or eight lanes is written.
    for (int n = 0; n < 48; ++n) {
      if (n < offset || n >= offset + 4) {
        EXPECT_EQ(out4[n], 0.0f);
      }
      if (n < offset || n >= offset + 8) {
        EXPECT_EQ(out8[n], 0.0f);
      }
    }
  }
}

// A splat is the value itself in every lane, with its sign of zero, its
// infinity and its conversion from an integer; an argument is evaluated once.
TEST(VectorLanes, SplatsCopyTheValueExactly) {
  const double values[] = {-0.0, 0.0, 1e-310, -std::numeric_limits<double>::infinity(), 3.25};
  for (double x : values) {
    const double4 v4 = SIVO_SPLAT(x);
    const double8 v8 = SIVO_SPLAT8(x);
    for (int k = 0; k < 8; ++k) {
      if (k < 4) {
        EXPECT_EQ(std::bit_cast<uint64_t>(v4[k]), std::bit_cast<uint64_t>(x));
      }
      EXPECT_EQ(std::bit_cast<uint64_t>(v8[k]), std::bit_cast<uint64_t>(x));
    }
  }
  int calls = 0;
  const double8 counted = SIVO_SPLAT8(++calls - 8);
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(counted[7], -7.0);
  const float tiny = -std::numeric_limits<float>::denorm_min();
  EXPECT_EQ(SIVO_SPLAT(tiny)[2], static_cast<double>(tiny));
}

}  // namespace
}  // namespace sivo
