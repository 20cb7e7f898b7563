# Cross-compiles for 64-bit Windows with Debian's MinGW-w64 (POSIX threads
# variant); the test programs run under 64-bit Wine.
#
#   cmake -S . -B build-win64 \
#     -DCMAKE_TOOLCHAIN_FILE=cmake/toolchain-x86_64-w64-mingw32.cmake \
#     -DSIVO_WINDOWS_DEPS=<install folder of the cross-built googletest, libsoxr>
set(CMAKE_SYSTEM_NAME Windows)
set(CMAKE_SYSTEM_PROCESSOR AMD64)

set(SIVO_MINGW_TRIPLET x86_64-w64-mingw32)
set(CMAKE_C_COMPILER ${SIVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SIVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SIVO_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${SIVO_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${SIVO_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# x86-64 computes floats in SSE2 registers by default; nothing to pin.

# Libraries and headers come from the MinGW sysroot and the folder of
# cross-built dependencies; programs (pkg-config, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${SIVO_MINGW_TRIPLET} ${SIVO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Debian's wine runs 64-bit programs as well as 32-bit ones.
find_program(SIVO_WINE wine)
if(SIVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIVO_WINE})
endif()
