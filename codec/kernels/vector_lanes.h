// Lanes of double arithmetic for running independent sums side by side
// (the candidate lags of a search, the rows of a gain table, the outputs of
// a convolution). Each lane is an ordinary IEEE double accumulator: lane k
// sees exactly the operations, in exactly the order, of the scalar sum it
// replaces, so results are bit-identical to scalar code. Never used to
// split one sum across lanes.
//
// The types are compiler vector extensions. A kernel is a template on the
// lane width W, with every helper it calls inlined into it; lane_kernels.h
// compiles it once per instruction set (plain x86-64, AVX2, AVX-512) and
// kernel_table.cpp picks one at first use. None uses FMA, so all compute
// the same bits. Kernels keep their accumulators in named variables, or in
// small arrays indexed only by constants after unrolling, so that they stay
// in registers. No function takes or returns a 256- or 512-bit lane value:
// the helpers that handle them are macros (below) or take them by reference.
#pragma once

namespace sivo {

using double4 = double __attribute__((vector_size(32)));
using float4 = float __attribute__((vector_size(16)));
// The same, at any element-aligned address. These must be typedefs: clang
// drops a lowered alignment written in an alias declaration and would load
// them with aligned instructions, which fault on a misaligned address.
typedef float float4_unaligned __attribute__((vector_size(16), aligned(4)));
static_assert(alignof(float4_unaligned) == alignof(float));

#define SIVO_LANE_INLINE inline __attribute__((always_inline))

// The helpers that take or give a 256- or 512-bit value are macros, not
// functions: clang treats a call passing such a value between code built for
// different vector widths (a kernel's AVX2 or AVX-512 clone and a plain
// x86-64 helper) as a calling-convention break and refuses it, even when the
// helper is always inlined. A macro is no call. Each argument is evaluated
// once.

// Four consecutive floats at p, widened to double (exactly).
#define SIVO_LOAD_WIDENED(p) \
  __builtin_convertvector(*reinterpret_cast<const ::sivo::float4_unaligned*>(p), ::sivo::double4)

// Rounds each lane of v to float (once) and stores the four floats at p.
#define SIVO_STORE_NARROWED(p, v)                                     \
  static_cast<void>(*reinterpret_cast<::sivo::float4_unaligned*>(p) = \
                        __builtin_convertvector((v), ::sivo::float4))

// x (converted to double) in every lane.
#define SIVO_SPLAT(x) \
  __builtin_shufflevector(::sivo::double4{static_cast<double>(x)}, ::sivo::double4{}, 0, 0, 0, 0)

// Eight lanes: one 512-bit register where AVX-512 is used, two or four
// narrower ones elsewhere.
using double8 = double __attribute__((vector_size(64)));
using float8 = float __attribute__((vector_size(32)));
typedef float float8_unaligned __attribute__((vector_size(32), aligned(4)));
static_assert(alignof(float8_unaligned) == alignof(float));

// Eight consecutive floats at p widened to double, written element by
// element: GCC 12 splits a converting load of eight in two halves; from this form it makes one widening load where AVX-512 is
// used. Only for data in memory that stays there (tables, caller's arrays):
// on a small local array GCC may keep every element in its own register.
#define SIVO_LOAD_WIDENED8_ELEMENTS(p)                                                       \
  ({                                                                                         \
    const float* const sivo_widened_ = (p);                                                  \
    ::sivo::double8{sivo_widened_[0], sivo_widened_[1], sivo_widened_[2], sivo_widened_[3],  \
                    sivo_widened_[4], sivo_widened_[5], sivo_widened_[6], sivo_widened_[7]}; \
  })

using int32x8 = int __attribute__((vector_size(32)));
typedef int int32x8_unaligned __attribute__((vector_size(32), aligned(4)));
static_assert(alignof(int32x8_unaligned) == alignof(int));

#define SIVO_LOAD_FLOAT8(p) (*reinterpret_cast<const ::sivo::float8_unaligned*>(p))

#define SIVO_STORE_FLOAT8(p, v) \
  static_cast<void>(*reinterpret_cast<::sivo::float8_unaligned*>(p) = (v))

#define SIVO_LOAD_INT32X8(p) (*reinterpret_cast<const ::sivo::int32x8_unaligned*>(p))

// |x| of eight floats by clearing the sign bits, exactly as fabs.
#define SIVO_ABSOLUTE8(x)                                                 \
  reinterpret_cast<::sivo::float8>(reinterpret_cast<::sivo::int32x8>(x) & \
                                   (::sivo::int32x8{} + 0x7fffffff))

#define SIVO_SPLAT8(x)                                                                            \
  __builtin_shufflevector(::sivo::double8{static_cast<double>(x)}, ::sivo::double8{}, 0, 0, 0, 0, \
                          0, 0, 0, 0)

// Each lane rounded to float and widened back: the value a float store and
// reload would give.
#define SIVO_ROUND_TO_FLOAT(v) \
  __builtin_convertvector(__builtin_convertvector((v), ::sivo::float4), ::sivo::double4)

// Lane groups of any of three widths. Eight double lanes fill one AVX-512
// register, four one AVX2 register, two one SSE2 or NEON register; a group
// wider than the processor's registers has no register to live in and is
// kept in memory, which is slow. A kernel written for every width is a
// template on W; lane_kernels.h builds each width for the instruction set
// whose registers hold it, and the kernel table picks the widest the
// processor has. Every width gives the same bits: each lane is still one
// scalar sum.
using double2 = double __attribute__((vector_size(16)));
using float2 = float __attribute__((vector_size(8)));

template <int W>
struct lane_group;
template <>
struct lane_group<2> {
  using doubles = double2;
  using floats = float2;
  using ints = int __attribute__((vector_size(8)));
};
template <>
struct lane_group<4> {
  using doubles = double4;
  using floats = float4;
  using ints = int __attribute__((vector_size(16)));
};
template <>
struct lane_group<8> {
  using doubles = double8;
  using floats = float8;
  using ints = int32x8;
};

// x (converted to double) in every lane of a V; x * 1.0 is x exactly, and
// the compiler makes it a plain broadcast.
#define SIVO_SPLAT_AS(V, x) ((V{} + 1.0) * static_cast<double>(x))
// A V (or any vector type) from consecutive elements at p, at any
// element-aligned address, and its store.
#define SIVO_LOAD_AS(V, p)                           \
  ({                                                 \
    V sivo_loaded_;                                  \
    __builtin_memcpy(&sivo_loaded_, (p), sizeof(V)); \
    sivo_loaded_;                                    \
  })
#define SIVO_STORE_AS(p, v)                                    \
  ({                                                           \
    const auto sivo_stored_ = (v);                             \
    __builtin_memcpy((p), &sivo_stored_, sizeof sivo_stored_); \
  })
// Consecutive floats at p widened (exactly) to the double vector V.
#define SIVO_LOAD_WIDENED_AS(V, p) \
  __builtin_convertvector(         \
      SIVO_LOAD_AS(typename ::sivo::lane_group<sizeof(V) / sizeof(double)>::floats, p), V)

// W consecutive floats at p widened to W double lanes, written element by
// element: from this form GCC 12 makes one widening load (vcvtps2pd from
// memory), where it splits the vector extensions' conversion of a loaded
// vector in halves and spills them. The address passes through an empty asm
// so that GCC cannot see that consecutive calls overlap: it would otherwise
// keep the shared elements in registers and shuffle them in one by one. For
// data in memory that stays there (see SIVO_LOAD_WIDENED8_ELEMENTS).
#define SIVO_LOAD_WIDENED_LANES(W, p)                                                     \
  ({                                                                                      \
    const float* sivo_from_ = (p);                                                        \
    __asm__("" : "+r"(sivo_from_));                                                       \
    typename ::sivo::lane_group<W>::doubles sivo_widened_lanes_;                          \
    if constexpr (W == 8) {                                                               \
      sivo_widened_lanes_ = SIVO_LOAD_WIDENED8_ELEMENTS(sivo_from_);                      \
    } else if constexpr (W == 4) {                                                        \
      sivo_widened_lanes_ =                                                               \
          ::sivo::double4{sivo_from_[0], sivo_from_[1], sivo_from_[2], sivo_from_[3]};    \
    } else {                                                                              \
      sivo_widened_lanes_ = ::sivo::double2{sivo_from_[0], sivo_from_[1]};                \
    }                                                                                     \
    sivo_widened_lanes_;                                                                  \
  })

// v[k] = first + step * k for each of its W lanes.
template <int W>
SIVO_LANE_INLINE void count_lanes(typename lane_group<W>::doubles& v, double first,
                                  double step) noexcept {
  for (int k = 0; k < W; ++k) v[k] = first + step * k;
}

// Lane-wise larger and smaller of two vectors, for folding lanes pairwise.
// The arguments are side-effect free and may be evaluated twice.
#define SIVO_FOLD_LARGER(a, b) ((b) > (a) ? (b) : (a))
#define SIVO_FOLD_SMALLER(a, b) ((b) < (a) ? (b) : (a))

// Folds eight lanes, each holding the largest value it has met and the
// first place that held it, into the largest value (returned) and the
// earliest place holding it (in place; beyond when no lane does, which only
// a NaN largest value can cause). The same whatever order the lanes are met
// in, so they are folded pairwise: halves, quarters, pairs.
SIVO_LANE_INLINE float fold_first_largest(const float8& largest, const int32x8& first, int beyond,
                                          int& place) noexcept {
  float8 top = largest;
  top = SIVO_FOLD_LARGER(top, __builtin_shufflevector(top, top, 4, 5, 6, 7, 0, 1, 2, 3));
  top = SIVO_FOLD_LARGER(top, __builtin_shufflevector(top, top, 2, 3, 0, 1, 6, 7, 4, 5));
  top = SIVO_FOLD_LARGER(top, __builtin_shufflevector(top, top, 1, 0, 3, 2, 5, 4, 7, 6));
  int32x8 at = largest == top ? first : int32x8{} + beyond;
  at = SIVO_FOLD_SMALLER(at, __builtin_shufflevector(at, at, 4, 5, 6, 7, 0, 1, 2, 3));
  at = SIVO_FOLD_SMALLER(at, __builtin_shufflevector(at, at, 2, 3, 0, 1, 6, 7, 4, 5));
  at = SIVO_FOLD_SMALLER(at, __builtin_shufflevector(at, at, 1, 0, 3, 2, 5, 4, 7, 6));
  place = at[0];
  return top[0];
}

// The largest of score[0 .. count-1] above floor, and (in index) the first
// place holding it; returns floor (index untouched) when no score is above
// it. The same choice as a scan that takes a place only when its score is
// strictly larger than the best so far, starting from floor: NaN scores are
// never taken. Eight places at a time, each lane keeping its own largest and
// the first place that reached it; score is read up to count rounded up to
// a multiple of eight. Inline, so that it is built for the calling kernel's
// variant.
SIVO_LANE_INLINE float first_largest_above(const float* score, int count, float floor,
                                           int& index) noexcept {
  float8 largest = float8{} + floor;
  int32x8 first = int32x8{} + count;
  int32x8 at = {0, 1, 2, 3, 4, 5, 6, 7};
  const int32x8 end = int32x8{} + count;
  for (int i = 0; i < count; i += 8) {
    const float8 v = SIVO_LOAD_FLOAT8(score + i);
    const int32x8 larger = (v > largest) & (at < end);
    largest = larger ? v : largest;
    first = larger ? at : first;
    at += 8;
  }
  int place = 0;
  const float top = fold_first_largest(largest, first, count, place);
  if (!(top > floor)) return floor;
  index = place;
  return top;
}

// Four-float helpers: lanes chosen by an all-ones / all-zeros int mask.
using int4 = int __attribute__((vector_size(16)));
typedef int int4_unaligned __attribute__((vector_size(16), aligned(4)));
static_assert(alignof(int4_unaligned) == alignof(int));

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

// Four rows of four floats turned into four lane quads, widened (exactly):
// out[i] = {r0[i], r1[i], r2[i], r3[i]}, i = 0..3.
SIVO_LANE_INLINE void transpose_widened(const float* r0, const float* r1, const float* r2,
                                        const float* r3, double4* out) noexcept {
  const float4 a = load_float4(r0), b = load_float4(r1), c = load_float4(r2), d = load_float4(r3);
  const float4 ab_low = __builtin_shufflevector(a, b, 0, 4, 1, 5);
  const float4 ab_high = __builtin_shufflevector(a, b, 2, 6, 3, 7);
  const float4 cd_low = __builtin_shufflevector(c, d, 0, 4, 1, 5);
  const float4 cd_high = __builtin_shufflevector(c, d, 2, 6, 3, 7);
  out[0] = __builtin_convertvector(__builtin_shufflevector(ab_low, cd_low, 0, 1, 4, 5), double4);
  out[1] = __builtin_convertvector(__builtin_shufflevector(ab_low, cd_low, 2, 3, 6, 7), double4);
  out[2] = __builtin_convertvector(__builtin_shufflevector(ab_high, cd_high, 0, 1, 4, 5), double4);
  out[3] = __builtin_convertvector(__builtin_shufflevector(ab_high, cd_high, 2, 3, 6, 7), double4);
}

}  // namespace sivo
