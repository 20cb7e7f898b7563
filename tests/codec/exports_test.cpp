#include <gtest/gtest.h>

#include <set>
#include <string>

#include "library_exports.h"

namespace {

using sivo::test::exported_functions;

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
