# Cross-compiles for Linux on 32-bit ARM with hardware floats (armhf) with
# Debian's arm-linux-gnueabihf compilers and the armhf multiarch libraries;
# the test programs run under qemu-arm.
#
#   cmake -S . -B build-armhf \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_PROCESSOR arm)
set(SIVO_CROSS_TRIPLET arm-linux-gnueabihf)
set(SIVO_CROSS_QEMU qemu-arm)

# ARMv7 with VFPv3 floating point and the hard-float calling convention, as
# Debian's armhf is built. No Advanced SIMD (NEON): it flushes subnormal
# floats to zero, where VFP arithmetic rounds them as IEEE asks, so every
# float, scalar or in a lane type, is computed by VFP and rounds as it does
# on x86-64 (with -ffp-contract=off, no fused multiply-add either).
# (-Wno-psabi: everything is built by the same compiler, so gcc's notes on
# a calling convention changed in gcc 7.1 concern no one here.)
set(CMAKE_C_FLAGS_INIT "-march=armv7-a+fp -mfloat-abi=hard -Wno-psabi")
set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a+fp -mfloat-abi=hard -Wno-psabi")

include(${CMAKE_CURRENT_LIST_DIR}/cross-linux.cmake)
