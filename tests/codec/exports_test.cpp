#include <gtest/gtest.h>

#include <cstdio>
#include <set>
#include <sstream>
#include <string>

namespace {

// Function symbols defined in the shared library's dynamic symbol table.
std::set<std::string> exported_functions(const std::string& library) {
  std::set<std::string> names;
  const std::string command = "nm -D --defined-only '" + library + "'";
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe == nullptr) return names;
  char line[1024];
  while (std::fgets(line, sizeof line, pipe) != nullptr) {
    std::istringstream fields(line);
    std::string address, kind, name;
    if (!(fields >> address >> kind >> name)) continue;
    // Text, weak and indirect symbols are code; data symbols are not ours.
    if (kind == "T" || kind == "W" || kind == "i" || kind == "t" || kind == "w") {
      names.insert(name.substr(0, name.find('@')));
    }
  }
  EXPECT_EQ(pclose(pipe), 0) << command;
  return names;
}

TEST(Exports, SharedLibraryExportsExactlyTheTwentyFunctions) {
  const std::set<std::string> expected = {
      "sivo_encoder_open",
      "sivo_encoder_reset",
      "sivo_encoder_close",
      "sivo_encode_frame",
      "sivo_encoder_set_comp_rate",
      "sivo_encoder_get_comp_rate",
      "sivo_encoder_set_vad_mode",
      "sivo_encoder_get_vad_mode",
      "sivo_encoder_set_filter_mode",
      "sivo_encoder_get_filter_mode",
      "sivo_encoder_get_version",
      "sivo_decoder_open",
      "sivo_decoder_reset",
      "sivo_decoder_close",
      "sivo_decode_frame",
      "sivo_decoder_get_frame_type",
      "sivo_decoder_get_comp_rate",
      "sivo_decoder_set_filter_mode",
      "sivo_decoder_get_filter_mode",
      "sivo_decoder_get_version",
  };
  ASSERT_EQ(expected.size(), 20u);
  EXPECT_EQ(exported_functions(SIVOCORE_SO_PATH), expected);
}

}  // namespace
