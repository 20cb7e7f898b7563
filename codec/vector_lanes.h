// Four lanes of double arithmetic for running independent sums side by side
// (the candidate lags of a search, the rows of a gain table, the outputs of
// a convolution). Each lane is an ordinary IEEE double accumulator: lane k
// sees exactly the operations, in exactly the order, of the scalar sum it
// replaces, so results are bit-identical to scalar code. Never used to
// split one sum across lanes.
//
// The types are compiler vector extensions: on plain x86-64 (SSE2) a lane
// quad is two 128-bit registers. Functions marked SIVO_LANE_CLONES are also
// compiled for AVX2 and chosen at load time where the processor has it; AVX2
// without FMA computes the same bits. Cloned functions must have internal
// linkage: the load-time selector of an external one would be exported from
// the shared library whatever its visibility. Kernels keep their accumulators in
// named variables (not arrays) so that they stay in registers.
#pragma once


// Lane quads only pass between inlined helpers inside one library, so the
// note GCC gives about the calling convention of 32-byte vectors does not
// apply to any interface.
#pragma GCC diagnostic ignored "-Wpsabi"

namespace sivo {

using double4 = double __attribute__((vector_size(32)));
using float4 = float __attribute__((vector_size(16)));
// The same, at any element-aligned address.
using float4_unaligned = float __attribute__((vector_size(16), aligned(4)));
using double4_unaligned = double __attribute__((vector_size(32), aligned(8)));

// A test build may pin one variant on a machine that has more:
// SIVO_LANES_BASELINE (plain x86-64 / SSE2) or SIVO_LANES_AVX2.
#if defined(SIVO_LANES_BASELINE)
#define SIVO_LANE_CLONES
#elif defined(SIVO_LANES_AVX2)
#define SIVO_LANE_CLONES __attribute__((target("avx2")))
#elif defined(__GNUC__) && defined(__x86_64__) && defined(__ELF__)
#define SIVO_LANE_CLONES __attribute__((target_clones("avx512f", "avx2", "default")))
#else
#define SIVO_LANE_CLONES
#endif
#define SIVO_LANE_INLINE inline __attribute__((always_inline))

// Four consecutive floats at p, widened to double (exactly).
SIVO_LANE_INLINE double4 load_widened(const float* p) noexcept {
  const float4 v = *reinterpret_cast<const float4_unaligned*>(p);
  return double4{v[0], v[1], v[2], v[3]};
}

SIVO_LANE_INLINE double4 load4(const double* p) noexcept {
  return *reinterpret_cast<const double4_unaligned*>(p);
}

SIVO_LANE_INLINE void store4(double* p, double4 v) noexcept {
  *reinterpret_cast<double4_unaligned*>(p) = v;
}

// Rounds each lane to float (once) and stores the four floats at p.
SIVO_LANE_INLINE void store_narrowed(float* p, double4 v) noexcept {
  *reinterpret_cast<float4_unaligned*>(p) = __builtin_convertvector(v, float4);
}

SIVO_LANE_INLINE double4 splat(double x) noexcept { return double4{x, x, x, x}; }

// Eight lanes: one 512-bit register where AVX-512 is used, two or four
// narrower ones elsewhere.
using double8 = double __attribute__((vector_size(64)));
using float8 = float __attribute__((vector_size(32)));
using float8_unaligned = float __attribute__((vector_size(32), aligned(4)));

SIVO_LANE_INLINE double8 load_widened8(const float* p) noexcept {
  const float8 v = *reinterpret_cast<const float8_unaligned*>(p);
  return double8{v[0], v[1], v[2], v[3], v[4], v[5], v[6], v[7]};
}

SIVO_LANE_INLINE void store_narrowed8(float* p, double8 v) noexcept {
  *reinterpret_cast<float8_unaligned*>(p) = __builtin_convertvector(v, float8);
}

using int32x8 = int __attribute__((vector_size(32)));
using int32x8_unaligned = int __attribute__((vector_size(32), aligned(4)));

SIVO_LANE_INLINE float8 load_float8(const float* p) noexcept {
  return *reinterpret_cast<const float8_unaligned*>(p);
}

SIVO_LANE_INLINE void store_float8(float* p, float8 v) noexcept {
  *reinterpret_cast<float8_unaligned*>(p) = v;
}

SIVO_LANE_INLINE int32x8 load_int32x8(const int* p) noexcept {
  return *reinterpret_cast<const int32x8_unaligned*>(p);
}

// |x| by clearing the sign bit, exactly as fabs.
SIVO_LANE_INLINE float8 absolute8(float8 x) noexcept {
  const int32x8 magnitude_bits = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff,
                                  0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
  return reinterpret_cast<float8>(reinterpret_cast<int32x8>(x) & magnitude_bits);
}

SIVO_LANE_INLINE double8 splat8(double x) noexcept {
  const double8 v = {x};
  return __builtin_shufflevector(v, v, 0, 0, 0, 0, 0, 0, 0, 0);
}

// Each lane rounded to float and widened back: the value a float store and
// reload would give.
SIVO_LANE_INLINE double4 round_to_float(double4 v) noexcept {
  return __builtin_convertvector(__builtin_convertvector(v, float4), double4);
}

// Four-float helpers: lanes chosen by an all-ones / all-zeros int mask.
using int4 = int __attribute__((vector_size(16)));
using int4_unaligned = int __attribute__((vector_size(16), aligned(4)));

SIVO_LANE_INLINE float4 splat_float(float x) noexcept { return float4{x, x, x, x}; }

SIVO_LANE_INLINE int4 load_int4(const int* p) noexcept {
  return *reinterpret_cast<const int4_unaligned*>(p);
}

SIVO_LANE_INLINE float4 load_float4(const float* p) noexcept {
  return *reinterpret_cast<const float4_unaligned*>(p);
}

SIVO_LANE_INLINE void store_float4(float* p, float4 v) noexcept {
  *reinterpret_cast<float4_unaligned*>(p) = v;
}

SIVO_LANE_INLINE float4 select(int4 mask, float4 if_set, float4 if_clear) noexcept {
  return mask ? if_set : if_clear;
}

// |x| by clearing the sign bit, exactly as fabs.
SIVO_LANE_INLINE float4 absolute(float4 x) noexcept {
  const int4 magnitude_bits = {0x7fffffff, 0x7fffffff, 0x7fffffff, 0x7fffffff};
  return reinterpret_cast<float4>(reinterpret_cast<int4>(x) & magnitude_bits);
}

}  // namespace sivo
