# What the Linux cross toolchain files share: Debian's cross compilers for
# SIVO_CROSS_TRIPLET, the target's multiarch libraries, and qemu
# (SIVO_CROSS_QEMU) running the test programs. Included by
# toolchain-<triplet>.cmake after it sets those two and the processor.
set(CMAKE_SYSTEM_NAME Linux)

set(CMAKE_C_COMPILER ${SIVO_CROSS_TRIPLET}-gcc)
set(CMAKE_CXX_COMPILER ${SIVO_CROSS_TRIPLET}-g++)
set(CMAKE_AR ${SIVO_CROSS_TRIPLET}-gcc-ar CACHE FILEPATH "")
set(CMAKE_RANLIB ${SIVO_CROSS_TRIPLET}-gcc-ranlib CACHE FILEPATH "")

# Headers and libraries of the target: the cross compiler's own and Debian's
# multiarch packages (libsoxr-dev:<arch>, libgtest-dev:<arch>, ...), whose
# pkg-config files sit in /usr/lib/<triplet>/pkgconfig.
set(CMAKE_FIND_ROOT_PATH /usr/${SIVO_CROSS_TRIPLET})
set(CMAKE_LIBRARY_ARCHITECTURE ${SIVO_CROSS_TRIPLET})
set(CMAKE_FIND_ROOT_PATH_MODE_PROGRAM NEVER)
set(CMAKE_FIND_ROOT_PATH_MODE_LIBRARY BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_INCLUDE BOTH)
set(CMAKE_FIND_ROOT_PATH_MODE_PACKAGE BOTH)
set(ENV{PKG_CONFIG_LIBDIR}
  "/usr/lib/${SIVO_CROSS_TRIPLET}/pkgconfig:/usr/share/pkgconfig")

# The test programs run under qemu. Their loader, C and C++ runtimes and
# libraries are the multiarch packages (libc6:<arch>, libstdc++6:<arch>, ...),
# installed at the host's own paths, so qemu needs no other root.
find_program(SIVO_QEMU ${SIVO_CROSS_QEMU})
if(SIVO_QEMU)
  set(CMAKE_CROSSCOMPILING_EMULATOR ${SIVO_QEMU})
endif()
