# Cross-compiles for Linux on 64-bit ARM (AArch64) with Debian's
# aarch64-linux-gnu compilers and the arm64 multiarch libraries; the test
# programs run under qemu-aarch64.
#
#   cmake -S . -B build-aarch64 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-aarch64-linux-gnu.cmake
set(CMAKE_SYSTEM_PROCESSOR aarch64)
set(SIVO_CROSS_TRIPLET aarch64-linux-gnu)
set(SIVO_CROSS_QEMU qemu-aarch64)

# AArch64 floating point, scalar and vector, is IEEE arithmetic with
# subnormals; -ffp-contract=off keeps gcc from fusing a multiply and an add.
include(${CMAKE_CURRENT_LIST_DIR}/cross-linux.cmake)
