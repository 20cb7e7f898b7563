// Golden checksums of the compressed frames and decoded samples of real
// speech at every rate. Any change to a single bit of the encoder's or the
// decoder's arithmetic changes them; an optimisation must leave them as they
// are. The checksums are computed over an explicit little-endian byte order,
// so every platform must reproduce the same values.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "sivocore.h"
#include "speech.h"

namespace {

// 64-bit FNV-1a.
struct fnv1a {
  uint64_t value = 0xcbf29ce484222325ull;
  void byte(uint8_t b) {
    value ^= b;
    value *= 0x100000001b3ull;
  }
  void samples(const int16_t* s, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i) {
      const auto u = static_cast<uint16_t>(s[i]);
      byte(static_cast<uint8_t>(u & 0xff));
      byte(static_cast<uint8_t>(u >> 8));
    }
  }
};

std::string hex(uint64_t v) {
  char text[24];
  std::snprintf(text, sizeof text, "0x%016llx", static_cast<unsigned long long>(v));
  return text;
}

struct stream_sums {
  uint64_t frames;
  uint64_t decoded_postfilter;
  uint64_t decoded_plain;
};

// Encodes the recording frame by frame at `rate` (rate < 0: cycle 0,1,2,3
// per frame, encoder high-pass off) and decodes the stream with the
// post-filter on and off. lost_every > 0 marks every such frame as lost at
// the decoders.
stream_sums run_stream(const std::vector<int16_t>& input, int rate, std::size_t lost_every) {
  sivo_encoder* enc = nullptr;
  sivo_decoder* filtered = nullptr;
  sivo_decoder* plain = nullptr;
  EXPECT_EQ(sivo_encoder_open(&enc), SIVO_OK);
  EXPECT_EQ(sivo_decoder_open(&filtered), SIVO_OK);
  EXPECT_EQ(sivo_decoder_open(&plain), SIVO_OK);
  EXPECT_EQ(sivo_decoder_set_filter_mode(filtered, 1), SIVO_OK);
  EXPECT_EQ(sivo_decoder_set_filter_mode(plain, 0), SIVO_OK);
  if (rate < 0) {
    EXPECT_EQ(sivo_encoder_set_filter_mode(enc, 0), SIVO_OK);
  } else {
    EXPECT_EQ(sivo_encoder_set_comp_rate(enc, rate), SIVO_OK);
  }

  fnv1a frames, on, off;
  std::array<uint8_t, SIVO_MAX_FRAME_BYTES> frame{};
  std::array<int16_t, SIVO_FRAME_SAMPLES> out{};
  const std::size_t count = input.size() / SIVO_FRAME_SAMPLES;
  for (std::size_t f = 0; f < count; ++f) {
    if (rate < 0) {
      EXPECT_EQ(sivo_encoder_set_comp_rate(enc, static_cast<int32_t>(f % 4)), SIVO_OK);
    }
    int32_t type = -1, bytes = 0;
    EXPECT_EQ(sivo_encode_frame(enc, &input[f * SIVO_FRAME_SAMPLES], frame.data(), &type, &bytes),
              SIVO_OK);
    for (int32_t i = 0; i < bytes; ++i) frames.byte(frame[i]);

    const bool lost = lost_every > 0 && f % lost_every == lost_every - 1;
    const int32_t mode = lost ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL;
    for (auto [decoder, sum] : {std::pair{filtered, &on}, std::pair{plain, &off}}) {
      int32_t dtype = -1, dbytes = -1;
      EXPECT_EQ(sivo_decode_frame(decoder, frame.data(), out.data(), mode, &dtype, &dbytes),
                SIVO_OK);
      sum->samples(out.data(), out.size());
    }
  }
  sivo_encoder_close(&enc);
  sivo_decoder_close(&filtered);
  sivo_decoder_close(&plain);
  return {frames.value, on.value, off.value};
}

struct golden {
  const char* recording;
  int rate;        // -1: the rate changes every frame
  std::size_t lost_every;  // 0: no lost frames
  int amplify;             // input gain, saturated to 16 bits (overload)
  stream_sums sums;
};

// Whole recordings, cut to whole frames.
constexpr golden kGolden[] = {
    {"hts1a.raw", 0, 0, 1, {0xe80e7d8c5b342546ull, 0x38210cbd25e7cf01ull, 0x106e52fe00b3d3dfull}},
    {"hts1a.raw", 1, 0, 1, {0x87c5b8c1666d889cull, 0x81689526e94e9ca9ull, 0x727713d4749491b4ull}},
    {"hts1a.raw", 2, 0, 1, {0xf2ac296c5ecfe01dull, 0xd936f999970a53d9ull, 0x1f13e74629dd9b0full}},
    {"hts1a.raw", 3, 0, 1, {0x51b42da78a9e6d64ull, 0x12dba859634449dcull, 0x06fe01fc5283aba2ull}},
    {"morig.raw", 0, 0, 1, {0xc5bca837c94087c7ull, 0xcf1583414fab961full, 0x8b0d596049d6089eull}},
    {"morig.raw", 1, 0, 1, {0x7f58c34ff66df9eeull, 0x2b043cea17c7bd61ull, 0xc67cde4cf822dd44ull}},
    {"morig.raw", 2, 0, 1, {0xadd940d25ecdb32eull, 0x843c55e6b485294bull, 0xbd3a72d9376c714bull}},
    {"morig.raw", 3, 0, 1, {0xb4ab9bda627a0d6full, 0xa6a77528833f85a4ull, 0x73e049b51fca337dull}},
    {"forig.raw", 0, 0, 1, {0x04ca84573e50a55aull, 0x9da5fbde17ea30faull, 0xcf9b214ac73035a0ull}},
    {"forig.raw", 1, 0, 1, {0xa48cda45264e59b0ull, 0xb58fc9e64c2b1e57ull, 0xfdd8807277de68d6ull}},
    {"forig.raw", 2, 0, 1, {0x7059feffac32351full, 0xb15fe335a211fe39ull, 0x30f6760fb1e360feull}},
    {"forig.raw", 3, 0, 1, {0x91462601d9afc513ull, 0x2b3a763de930300aull, 0x919169c6ff45db06ull}},
    {"kristoff.raw", 0, 0, 1, {0x8b6fc64a04c056deull, 0x1788cd575147a629ull, 0x85a52dec2fa94f0eull}},
    {"kristoff.raw", 1, 0, 1, {0x9efb7d5e65bcb5c9ull, 0xb0a40ea819d58b5cull, 0x42f27cd24c065127ull}},
    {"kristoff.raw", 2, 0, 1, {0x9108316f20360454ull, 0x0c11250870e730eaull, 0x600cd66a3ca51662ull}},
    {"kristoff.raw", 3, 0, 1, {0x8b6340f12180adb4ull, 0x4bf2adb5a325c563ull, 0x82f29a46350c090dull}},
    {"big_dog.raw", 3, 0, 8, {0x1add9cc2d750f973ull, 0xd05e0ab609c13f5aull, 0xcb48ea75ea7e9466ull}},
    {"mmt1.raw", -1, 7, 1, {0x4c25ae73f76052a5ull, 0xb602bfe27fe598a3ull, 0x479e30dde494cdd7ull}},
};

TEST(GoldenVectors, FramesAndDecodedSamplesAreUnchanged) {
  for (const golden& g : kGolden) {
    auto input = sivo::test::load_raw(g.recording);
    if (input.empty()) {
      // CI installs the recordings: there a missing one is a failure, not a skip.
      if (std::getenv("CI") != nullptr) FAIL() << g.recording << " missing in " << sivo::test::kSpeechDir;
      GTEST_SKIP() << "speech recordings not installed";
    }
    for (int16_t& s : input) s = static_cast<int16_t>(std::clamp(s * g.amplify, -32768, 32767));
    const stream_sums got = run_stream(input, g.rate, g.lost_every);
    SCOPED_TRACE(std::string(g.recording) + " rate " + std::to_string(g.rate));
    EXPECT_EQ(hex(got.frames), hex(g.sums.frames));
    EXPECT_EQ(hex(got.decoded_postfilter), hex(g.sums.decoded_postfilter));
    EXPECT_EQ(hex(got.decoded_plain), hex(g.sums.decoded_plain));
  }
}

}  // namespace
