# What the Windows toolchain files share: Debian's MinGW-w64 compilers for
# SIVO_MINGW_TRIPLET (POSIX threads variant), the cross-built dependencies in
# SIVO_WINDOWS_DEPS, and Wine running the test programs. Included by
# toolchain-<triplet>.cmake after it sets the triplet and the processor.
set(CMAKE_SYSTEM_NAME Windows)

set(CMAKE_C_COMPILER ${SIVO_MINGW_TRIPLET}-gcc-posix)
set(CMAKE_CXX_COMPILER ${SIVO_MINGW_TRIPLET}-g++-posix)
set(CMAKE_RC_COMPILER ${SIVO_MINGW_TRIPLET}-windres)
set(CMAKE_AR ${SIVO_MINGW_TRIPLET}-gcc-ar-posix CACHE FILEPATH "")
set(CMAKE_RANLIB ${SIVO_MINGW_TRIPLET}-gcc-ranlib-posix CACHE FILEPATH "")

# Libraries and headers come from the MinGW sysroot and the folder of
# cross-built dependencies; programs (pkg-config, wine) from the host.
set(CMAKE_FIND_ROOT_PATH /usr/${SIVO_MINGW_TRIPLET} ${SIVO_WINDOWS_DEPS})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE ONLY)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE ONLY)

# Wine runs the test programs. Debian's `wine` takes the 32-bit loader
# whenever wine32 is installed, and that loader cannot start a 64-bit
# program: a 64-bit build takes the 64-bit loader itself. SIVO_WINE may name
# another.
if(CMAKE_SYSTEM_PROCESSOR STREQUAL "AMD64")
  find_program(SIVO_WINE NAMES wine64 wine PATHS /usr/lib/wine)
else()
  find_program(SIVO_WINE wine)
endif()
if(SIVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIVO_WINE})
endif()
