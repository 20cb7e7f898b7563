# Cross-compiles for Linux on 32-bit ARM with hardware floats (armhf) with
# Debian's arm-linux-gnueabihf compilers and the armhf multiarch libraries;
# the test programs run under qemu user-mode emulation.
#
#   cmake -S . -B build-armhf \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-arm-linux-gnueabihf.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR arm)

set(SIVO_CROSS_TRIPLET arm-linux-gnueabihf)
set(CMAKE_C_COMPILER ${SIVO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SIVO_CROSS_TRIPLET}-g++)
set(CMAKE_AR ${SIVO_CROSS_TRIPLET}-gcc-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${SIVO_CROSS_TRIPLET}-gcc-ranlib CACHE FILEPATH "")

# ARMv7 with VFPv3 floating point and the hard-float calling convention, as
# Debian's armhf is built. No Advanced SIMD (NEON): it flushes subnormal
# floats to zero, where VFP arithmetic rounds them as IEEE asks, so every
# float, scalar or in a lane type, is computed by VFP and rounds as it does
# on x86-64 (with -ffp-contract=off, no fused multiply-add either).
set(CMAKE_C_FLAGS_INIT "-march=armv7-a+fp -mfloat-abi=hard")
set(CMAKE_CXX_FLAGS_INIT "-march=armv7-a+fp -mfloat-abi=hard")

# Headers and libraries of the target: the cross compiler's own and Debian's
# multiarch packages (libsoxr-dev:armhf, libgtest-dev:armhf, ...), whose
# pkg-config files sit in /usr/lib/${SIVO_CROSS_TRIPLET}/pkgconfig.
set(CMAKE_FIND_ROOT_PATH /usr/${SIVO_CROSS_TRIPLET})
set(CMAKE_LIBRARY_ARCHITECTURE ${SIVO_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR}
  "/usr/lib/${SIVO_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig")

# The test programs run under qemu. Their loader, C and C++ runtimes and
# libraries are the multiarch packages (libc6:armhf, libstdc++6:armhf, ...),
# installed at the host's own paths, so qemu needs no other root.
find_program(SIVO_QEMU qemu-arm)
if(SIVO_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIVO_QEMU})
endif()
