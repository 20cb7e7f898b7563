// How a lane file defines its kernel's forms for the kernel table.
#pragma once

#include "codec/kernels/kernel_table.h"
#include "codec/kernels/vector_lanes.h"

// SIVO_LANE_ENTRIES(name, kernel, params, args) defines name_lanes2,
// name_lanes4, name_lanes4vl and name_lanes8 (declared by the kernel list in
// kernel_table.h): the kernel template kernel<W> compiled as kernel<2> for
// plain x86-64, kernel<4> for AVX2 and for AVX-512 on 256-bit registers, and
// kernel<8> for AVX-512, each called with args from params. Everything the
// template calls must be inlined into it (SIVO_LANE_INLINE) and everything
// else in a lane file must have internal linkage, so that no code built for
// a wider instruction set can be shared with, or picked by the linker for,
// code run on a narrower one; the entries alone are external, under names of
// their own. Use it in namespace sivo, outside any unnamed namespace.
// clang-format off
#define SIVO_LANE_ENTRIES(name, kernel, params, args)                                      \
  auto name##_lanes2 params noexcept -> decltype(kernel<2> args) {                         \
    return kernel<2> args;                                                                 \
  }                                                                                        \
  __attribute__((target("avx2")))                                                          \
  auto name##_lanes4 params noexcept -> decltype(kernel<4> args) {                         \
    return kernel<4> args;                                                                 \
  }                                                                                        \
  __attribute__((target("avx2,avx512f,avx512vl")))                                         \
  auto name##_lanes4vl params noexcept -> decltype(kernel<4> args) {                       \
    return kernel<4> args;                                                                 \
  }                                                                                        \
  __attribute__((target("avx512f")))                                                       \
  auto name##_lanes8 params noexcept -> decltype(kernel<8> args) {                         \
    return kernel<8> args;                                                                 \
  }
// clang-format on
