// What the WAV encoder's two shared libraries export and, on Windows, which
// DLLs the three libraries need at run time.
#include <gtest/gtest.h>

#include <set>
#include <string>

#include "library_exports.h"

namespace {

using sivo::test::exported_functions;

TEST(WavLibraries, ExportExactlyTheDocumentedFunctions) {
  const std::set<std::string> sivowav = {"CheckWavFormat", "GetMaxErrorMessageLen",
                                         "GetMaxErrorTitleLen", "SivoEncode",
                                         "SivoCount", "SivoStop"};
  EXPECT_EQ(exported_functions(SIVOWAV_SO_PATH), sivowav);
  const std::set<std::string> ratelib = {"rate_conversion_init", "rate_conversion_process",
                                         "rate_conversion_close"};
  EXPECT_EQ(exported_functions(RATELIB_SO_PATH), ratelib);
}

#if defined(_WIN32)
// The C and C++ runtimes are linked in: beyond each other, the DLLs need only
// DLLs that every Windows system has (no libstdc++, libgcc or winpthread).
TEST(WavLibraries, DllsNeedOnlySystemDllsAndEachOther) {
  using sivo::test::imported_libraries;
  const std::set<std::string> system = {"kernel32.dll", "msvcrt.dll"};
  EXPECT_EQ(imported_libraries(SIVOCORE_SO_PATH), system);
  EXPECT_EQ(imported_libraries(RATELIB_SO_PATH), system);
  const std::set<std::string> sivowav = {"kernel32.dll", "msvcrt.dll", "winmm.dll",
                                         "sivocore.dll", "ratelib.dll"};
  EXPECT_EQ(imported_libraries(SIVOWAV_SO_PATH), sivowav);
}
#endif

}  // namespace
