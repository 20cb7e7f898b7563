#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <vector>

#include "codec/frame_format.h"
#include "codec/state.h"
#include "codec/tables/lsp_tables.h"
#include "sivocore.h"

namespace {

constexpr int32_t kUntouched = -777;

sivo::encoder_state& record_of(sivo_encoder* h) {
  return *reinterpret_cast<sivo::encoder_state*>(h);
}
sivo::decoder_state& record_of(sivo_decoder* h) {
  return *reinterpret_cast<sivo::decoder_state*>(h);
}

void expect_encoder_rate(sivo_encoder* enc, int32_t rate, int32_t bytes) {
  int32_t r = kUntouched, b = kUntouched;
  EXPECT_EQ(sivo_encoder_get_comp_rate(enc, &r, &b), SIVO_OK);
  EXPECT_EQ(r, rate);
  EXPECT_EQ(b, bytes);
}

// Fills a byte range of a record with a pattern no reset value has.
template <typename Record>
void scribble(Record& rec, size_t from, size_t to) {
  std::memset(reinterpret_cast<unsigned char*>(&rec) + from, 0x5A, to - from);
}

TEST(Interface, FreshHandlesAndVersions) {
  sivo_encoder* enc = nullptr;
  sivo_decoder* dec = nullptr;
  ASSERT_EQ(sivo_encoder_open(&enc), SIVO_OK);
  ASSERT_EQ(sivo_decoder_open(&dec), SIVO_OK);
  expect_encoder_rate(enc, 0, 24);
  int32_t mode = kUntouched, rate = kUntouched, bytes = kUntouched;
  EXPECT_EQ(sivo_decoder_get_comp_rate(dec, &rate, &bytes), SIVO_OK);
  EXPECT_EQ(rate, 0);
  EXPECT_EQ(bytes, 24);
  EXPECT_EQ(sivo_encoder_get_filter_mode(enc, &mode), SIVO_OK);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(sivo_decoder_get_filter_mode(dec, &mode), SIVO_OK);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(sivo_encoder_close(&enc), SIVO_OK);
  EXPECT_EQ(sivo_decoder_close(&dec), SIVO_OK);

  const char* text = nullptr;
  EXPECT_EQ(sivo_encoder_get_version(&text), SIVO_OK);
  EXPECT_STREQ(text, "siv.encoder.2.0");
  EXPECT_EQ(sivo_decoder_get_version(&text), SIVO_OK);
  EXPECT_STREQ(text, "siv.decoder.2.0");
}

// ---- Encoder ----------------------------------------------------------------

TEST(Interface, EncoderOptionsAcceptOnlyTheirValues) {
  sivo_encoder* enc = nullptr;
  ASSERT_EQ(sivo_encoder_open(&enc), SIVO_OK);
  const int32_t sizes[4] = {24, 31, 19, 45};
  for (int32_t rate = 0; rate < 4; ++rate) {
    EXPECT_EQ(sivo_encoder_set_comp_rate(enc, rate), SIVO_OK);
    expect_encoder_rate(enc, rate, sizes[rate]);
  }
  ASSERT_EQ(sivo_encoder_set_comp_rate(enc, 2), SIVO_OK);
  for (int32_t bad : {4, -1, 1000}) {
    EXPECT_EQ(sivo_encoder_set_comp_rate(enc, bad), SIVO_INVALID_ARGUMENT);
    expect_encoder_rate(enc, 2, 19);
  }

  int32_t mode = kUntouched, param = kUntouched;
  EXPECT_EQ(sivo_encoder_set_vad_mode(enc, 1, 0), SIVO_INVALID_ARGUMENT);
  EXPECT_EQ(sivo_encoder_set_vad_mode(enc, -1, 0), SIVO_INVALID_ARGUMENT);
  EXPECT_EQ(sivo_encoder_set_vad_mode(enc, 0, 12345), SIVO_OK);
  EXPECT_EQ(sivo_encoder_get_vad_mode(enc, &mode, &param), SIVO_OK);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(param, 0);

  EXPECT_EQ(sivo_encoder_set_filter_mode(enc, 0), SIVO_OK);
  for (int32_t bad : {2, -1}) {
    EXPECT_EQ(sivo_encoder_set_filter_mode(enc, bad), SIVO_INVALID_ARGUMENT);
    EXPECT_EQ(sivo_encoder_get_filter_mode(enc, &mode), SIVO_OK);
    EXPECT_EQ(mode, 0);
  }
  EXPECT_EQ(sivo_encoder_close(&enc), SIVO_OK);
}

TEST(Interface, EncoderResetRestoresSignalStateAndKeepsOptions) {
  sivo_encoder* used = nullptr;
  sivo_encoder* fresh = nullptr;
  ASSERT_EQ(sivo_encoder_open(&used), SIVO_OK);
  ASSERT_EQ(sivo_encoder_open(&fresh), SIVO_OK);
  for (sivo_encoder* h : {used, fresh}) {
    ASSERT_EQ(sivo_encoder_set_comp_rate(h, 3), SIVO_OK);
    ASSERT_EQ(sivo_encoder_set_filter_mode(h, 0), SIVO_OK);
  }
  using rec = sivo::encoder_state;
  rec& r = record_of(used);
  // Everything after the options up to frame_sizes, and everything after it.
  scribble(r, offsetof(rec, hp_prev_input), offsetof(rec, frame_sizes));
  scribble(r, offsetof(rec, ring_index), offsetof(rec, tone_history) + sizeof r.tone_history);
  EXPECT_EQ(sivo_encoder_reset(used), SIVO_OK);

  expect_encoder_rate(used, 3, 45);
  int32_t mode = kUntouched;
  EXPECT_EQ(sivo_encoder_get_filter_mode(used, &mode), SIVO_OK);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(r.prev_lsp, sivo::lsp_mean);
  EXPECT_EQ(r.taming_errors[4], 1.0f);
  const size_t fields = offsetof(rec, tone_history) + sizeof r.tone_history;
  EXPECT_EQ(std::memcmp(&r, &record_of(fresh), fields), 0);
  EXPECT_EQ(sivo_encoder_close(&used), SIVO_OK);
  EXPECT_EQ(sivo_encoder_close(&fresh), SIVO_OK);
}

// ---- Decoder ----------------------------------------------------------------

TEST(Interface, DecoderResetRestoresSignalStateAndKeepsRateAndMode) {
  sivo_decoder* used = nullptr;
  sivo_decoder* fresh = nullptr;
  ASSERT_EQ(sivo_decoder_open(&used), SIVO_OK);
  ASSERT_EQ(sivo_decoder_open(&fresh), SIVO_OK);

  // A 45-byte frame makes the decoder report rate 3.
  std::vector<uint8_t> frame(45, 0);
  frame[0] = 0x03;
  sivo::frame_params params{};
  int32_t type = 0, count = 0;
  ASSERT_EQ(sivo::unpack_frame(frame.data(), 0, record_of(used), params, type, count), 0);
  int32_t rate = kUntouched, bytes = kUntouched;
  EXPECT_EQ(sivo_decoder_get_comp_rate(used, &rate, &bytes), SIVO_OK);
  EXPECT_EQ(rate, 3);
  EXPECT_EQ(bytes, 45);

  ASSERT_EQ(sivo_decoder_set_filter_mode(used, 0), SIVO_OK);
  ASSERT_EQ(sivo_decoder_set_filter_mode(fresh, 0), SIVO_OK);
  record_of(fresh).comp_rate = 3;
  using rec = sivo::decoder_state;
  rec& r = record_of(used);
  scribble(r, offsetof(rec, erasure_count), offsetof(rec, frame_sizes));
  scribble(r, offsetof(rec, ring_index), sizeof r);
  EXPECT_EQ(sivo_decoder_reset(used), SIVO_OK);

  EXPECT_EQ(sivo_decoder_get_comp_rate(used, &rate, &bytes), SIVO_OK);
  EXPECT_EQ(rate, 3);
  EXPECT_EQ(bytes, 45);
  int32_t mode = kUntouched;
  EXPECT_EQ(sivo_decoder_get_filter_mode(used, &mode), SIVO_OK);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(r.postfilter_gain, 1.0f);
  EXPECT_EQ(r.prev_lsp, sivo::lsp_mean);
  EXPECT_EQ(std::memcmp(&r, &record_of(fresh), sizeof r), 0);
  EXPECT_EQ(sivo_decoder_close(&used), SIVO_OK);
  EXPECT_EQ(sivo_decoder_close(&fresh), SIVO_OK);
}

TEST(Interface, DecoderFilterModeOneRestartsTiltAndPoleMemoryOnly) {
  sivo_decoder* dec = nullptr;
  ASSERT_EQ(sivo_decoder_open(&dec), SIVO_OK);
  sivo::decoder_state& r = record_of(dec);
  auto dirty = [&r] {
    r.tilt_memory = 0.25f;
    r.postfilter_gain = 0.5f;
    r.formant_iir_memory.fill(3.0f);
    r.formant_fir_memory.fill(4.0f);
  };
  int32_t mode = kUntouched;

  dirty();
  for (int32_t bad : {2, -1}) {
    EXPECT_EQ(sivo_decoder_set_filter_mode(dec, bad), SIVO_INVALID_ARGUMENT);
  }
  EXPECT_EQ(sivo_decoder_set_filter_mode(dec, 0), SIVO_OK);
  EXPECT_EQ(sivo_decoder_get_filter_mode(dec, &mode), SIVO_OK);
  EXPECT_EQ(mode, 0);
  EXPECT_EQ(r.tilt_memory, 0.25f);
  EXPECT_EQ(r.formant_iir_memory[9], 3.0f);

  // Also when the mode already is 1.
  for (int pass = 0; pass < 2; ++pass) {
    dirty();
    EXPECT_EQ(sivo_decoder_set_filter_mode(dec, 1), SIVO_OK);
    EXPECT_EQ(sivo_decoder_get_filter_mode(dec, &mode), SIVO_OK);
    EXPECT_EQ(mode, 1);
    EXPECT_EQ(r.tilt_memory, 0.0f);
    for (float v : r.formant_iir_memory) EXPECT_EQ(v, 0.0f);
    for (float v : r.formant_fir_memory) EXPECT_EQ(v, 4.0f);
    EXPECT_EQ(r.postfilter_gain, 0.5f);
  }
  EXPECT_EQ(sivo_decoder_close(&dec), SIVO_OK);
}

TEST(Interface, FrameTypeOfAFirstByte) {
  // Every first byte, among them 0x0D (type 5: refused, outputs untouched),
  // 0x0E (type 6, 5 bytes) and 0xFB (type 3, 45 bytes).
  const int32_t lengths[8] = {24, 31, 19, 45, 0, 0, 5, 1};
  for (int b = 0; b < 256; ++b) {
    const uint8_t first = static_cast<uint8_t>(b);
    int32_t type = kUntouched, bytes = kUntouched;
    const int t = b & 7;
    const bool invalid = t == 4 || t == 5;
    EXPECT_EQ(sivo_decoder_get_frame_type(&first, &type, &bytes),
              invalid ? SIVO_NOT_DECODABLE : SIVO_OK);
    EXPECT_EQ(type, invalid ? kUntouched : t) << b;
    EXPECT_EQ(bytes, invalid ? kUntouched : lengths[t]) << b;
  }
}

// ---- Handles ---------------------------------------------------------------

TEST(Interface, CloseClearsTheVariableAndRefusesNull) {
  sivo_encoder* enc = nullptr;
  EXPECT_EQ(sivo_encoder_close(&enc), SIVO_INVALID_ARGUMENT);
  EXPECT_EQ(sivo_encoder_close(nullptr), SIVO_INVALID_ARGUMENT);
  ASSERT_EQ(sivo_encoder_open(&enc), SIVO_OK);
  EXPECT_EQ(sivo_encoder_close(&enc), SIVO_OK);
  EXPECT_EQ(enc, nullptr);
  EXPECT_EQ(sivo_encoder_close(&enc), SIVO_INVALID_ARGUMENT);

  sivo_decoder* dec = nullptr;
  EXPECT_EQ(sivo_decoder_close(&dec), SIVO_INVALID_ARGUMENT);
  EXPECT_EQ(sivo_decoder_close(nullptr), SIVO_INVALID_ARGUMENT);
  ASSERT_EQ(sivo_decoder_open(&dec), SIVO_OK);
  EXPECT_EQ(sivo_decoder_close(&dec), SIVO_OK);
  EXPECT_EQ(dec, nullptr);
  EXPECT_EQ(sivo_decoder_close(&dec), SIVO_INVALID_ARGUMENT);
}

}  // namespace
