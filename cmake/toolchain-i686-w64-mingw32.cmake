# Cross-compiles for 32-bit Windows with Debian's MinGW-w64 (POSIX threads
# variant); the test programs run under Wine.
#
#   cmake -S . -B build-win \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-i686-w64-mingw32.cmake \
#     -DSIVO_WINDOWS_DEPS=<install folder of the cross-built googletest, libsoxr>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR x86)

set(SIVO_MINGW_TRIPLET i686-w64-mingw32)
set(CMAKE_C_COMPILER ${SIVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SIVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SIVO_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${SIVO_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${SIVO_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# SSE2 arithmetic, never x87: the codec's floats must round exactly as they
# do on x86-64.
set(CMAKE_C_FLAGS_INIT "-msse2 -mfpmath=sse")
set(CMAKE_CXX_FLAGS_INIT "-msse2 -mfpmath=sse")

# Libraries and headers come from the MinGW sysroot and the folder of
# cross-built dependencies; programs (pkg-config, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${SIVO_MINGW_TRIPLET} ${SIVO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

find_program(SIVO_WINE wine)
if(SIVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIVO_WINE})
endif()
