# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (POSIX threads
# variant); the test programs run under 64-bit Wine.
#
#   cmake -S . -B build-win64 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
#     -DSIVO_WINDOWS_DEPS=<install folder of the cross-built googletest, libsoxr>
set(CMAKE_SYSTEM_PROCESSOR AMD64)
set(SIVO_MINGW_TRIPLET x86_64-w64-mingw32)

# x86-64 computes floats in SSE2 registers by default; nothing to pin.
include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
