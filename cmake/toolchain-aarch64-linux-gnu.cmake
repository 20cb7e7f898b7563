# Cross-compiles for Linux on 64-bit ARM (AArch64) with Debian's
# aarch64-linux-gnu compilers and the arm64 multiarch libraries; the test
# programs run under qemu user-mode emulation.
#
#   cmake -S . -B build-aarch64 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_NAME Linux)
set(CMAKE_SYSTEM_PROCESSOR aarch64)

set(SIVO_CROSS_TRIPLET aarch64-linux-gnu)
set(CMAKE_C_COMPILER ${SIVO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SIVO_CROSS_TRIPLET}-g++)
set(CMAKE_AR ${SIVO_CROSS_TRIPLET}-gcc-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${SIVO_CROSS_TRIPLET}-gcc-ranlib CACHE FILEPATH "")

# Headers and libraries of the target: the cross compiler's own and Debian's
# multiarch packages (libsoxr-dev:arm64, libgtest-dev:arm64, ...), whose
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
# libraries are the multiarch packages (libc6:arm64, libstdc++6:arm64, ...),
# installed at the host's own paths, so qemu needs no other root.
find_program(SIVO_QEMU qemu-aarch64)
if(SIVO_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIVO_QEMU})
endif()
