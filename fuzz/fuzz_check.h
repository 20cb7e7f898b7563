// A check that stays on in every build of the fuzz targets: a broken
// promise prints what broke and aborts, which the fuzzer records as a crash.
#pragma once

#include <cstdio>
#include <cstdlib>

#define FUZZ_CHECK(cond, what)                                              \
  do {                                                                      \
    if (!(cond)) {                                                          \
      std::fprintf(stderr, "%s:%d: broken promise: %s (%s)\n", __FILE__,    \
                   __LINE__, #cond, what);                                  \
      std::abort();                                                         \
    }                                                                       \
  } while (0)
