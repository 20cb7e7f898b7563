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

# Debian's wine runs 32- and 64-bit programs alike.
find_program(SIVO_WINE wine)
if(SIVO_WINE)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIVO_WINE})
endif()
