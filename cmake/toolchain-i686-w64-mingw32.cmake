# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (POSIX threads
# variant); the test programs run under Wine.
#
#   cmake -S . -B build-win \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
#     -DSIVO_WINDOWS_DEPS=<install folder of the cross-built googletest, libsoxr>
set(CMAKE_SYSTEM_PROCESSOR x86)
set(SIVO_MINGW_TRIPLET i686-w64-mingw32)

# SSE2 arithmetic, never x87: the codec's floats must round exactly as they
# do on x86-64.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

include(${CMAKE_CURRENT_LIST_DIR}/mingw.cmake)
