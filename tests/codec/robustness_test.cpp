// Hostile input through the public frame functions: arbitrary byte streams
// into the decoder, and the inputs that stress an encoder most (full-scale
// noise, square waves, DC at the limits, alternating extremes, silence).
// Whatever comes in, statuses stay within their promises, no output is
// written when none is due, and the carried state stays finite and in range.
#include <gtest/gtest.h>

#include <array>
#include <cstdint>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "codec/state.h"
#include "sivocore.h"
#include "state_checks.h"

namespace {

constexpr std::array<int32_t, 8> kTypeLength = {24, 31, 19, 45, 1, 1, 5, 1};

const sivo::decoder_state& state_of(sivo_decoder* d) {
  return *reinterpret_cast<const sivo::decoder_state*>(d);
}
const sivo::encoder_state& state_of(sivo_encoder* e) {
  return *reinterpret_cast<const sivo::encoder_state*>(e);
}

std::string fault_text(const char* fault) { return fault == nullptr ? "" : fault; }

struct decoder_handle {
  sivo_decoder* h = nullptr;
  decoder_handle() { EXPECT_EQ(sivo_decoder_open(&h), SIVO_OK); }
  ~decoder_handle() { sivo_decoder_close(&h); }
};
struct encoder_handle {
  sivo_encoder* h = nullptr;
  encoder_handle() { EXPECT_EQ(sivo_encoder_open(&h), SIVO_OK); }
  ~encoder_handle() { sivo_encoder_close(&h); }
};

// Decodes `frames` frames made by `make` (which fills up to 45 bytes and
// returns the decode_mode), checking every promise of the decode call.
void decode_stream(int frames, int32_t filter_mode,
                   const std::function<int32_t(int, std::array<uint8_t, 45>&)>& make) {
  decoder_handle dec;
  ASSERT_EQ(sivo_decoder_set_filter_mode(dec.h, filter_mode), SIVO_OK);
  for (int f = 0; f < frames; ++f) {
    std::array<uint8_t, 45> frame{};
    const int32_t mode = make(f, frame);
    const int type = frame[0] & 7;
    std::array<int16_t, SIVO_FRAME_SAMPLES> out;
    out.fill(0x5A5A);
    int32_t frame_type = -9, byte_count = -9;
    const int32_t status =
        sivo_decode_frame(dec.h, frame.data(), out.data(), mode, &frame_type, &byte_count);
    if (mode == 1 || mode == 2) {
      ASSERT_EQ(status, SIVO_OK) << f;
      ASSERT_EQ(byte_count, 0) << f;
    } else if (mode != 0) {
      ASSERT_EQ(status, SIVO_INVALID_ARGUMENT) << f;
    } else if (type >= 4) {
      ASSERT_EQ(status, SIVO_NOT_DECODABLE) << f;
      ASSERT_EQ(byte_count, kTypeLength[type]) << f;
    } else {
      ASSERT_TRUE(status == SIVO_OK || status == SIVO_DAMAGED_FRAME) << f << " " << status;
      ASSERT_EQ(frame_type, type) << f;
      ASSERT_EQ(byte_count, kTypeLength[type]) << f;
    }
    if (status == SIVO_NOT_DECODABLE || status == SIVO_INVALID_ARGUMENT) {
      for (const int16_t s : out) ASSERT_EQ(s, 0x5A5A) << f;
    }
    ASSERT_EQ(fault_text(sivo::decoder_state_fault(state_of(dec.h))), "") << "frame " << f;
  }
}

TEST(DecoderRobustness, RandomBytesInEveryModeKeepTheirPromises) {
  for (const int32_t filter_mode : {0, 1}) {
    std::mt19937 rng(20261208u + filter_mode);
    decode_stream(4000, filter_mode, [&](int, std::array<uint8_t, 45>& frame) {
      for (uint8_t& b : frame) b = static_cast<uint8_t>(rng());
      const uint32_t pick = rng() % 16;
      if (pick == 0) return int32_t{1};
      if (pick == 1) return int32_t{2};
      if (pick == 2) return static_cast<int32_t>(rng());  // mostly refused
      return int32_t{0};
    });
  }
}

// Writes `value` in `width` bits from bit `pos`, least significant bit first.
void put_bits(std::array<uint8_t, 45>& frame, int& pos, uint32_t value, int width) {
  for (int i = 0; i < width; ++i, ++pos) {
    const auto bit = static_cast<uint8_t>(1u << (pos % 8));
    if (((value >> i) & 1u) != 0) {
      frame[pos / 8] |= bit;
    } else {
      frame[pos / 8] &= static_cast<uint8_t>(~bit);
    }
  }
}

// Frames whose pitch and gain codes are all valid, so that every one is
// decoded rather than concealed, with random LSP, gain and pulse fields:
// the loudest excitation the bitstream can ask for, frame after frame.
TEST(DecoderRobustness, RandomValidFramesStayFinite) {
  for (const int32_t filter_mode : {1, 0}) {
    std::mt19937 rng(77u + filter_mode);
    decode_stream(3000, filter_mode, [&](int f, std::array<uint8_t, 45>& frame) {
      for (uint8_t& b : frame) b = static_cast<uint8_t>(rng());
      int pos = 0;
      put_bits(frame, pos, static_cast<uint32_t>(f % 4), 3);
      put_bits(frame, pos, rng() & 0xffffffu, 24);
      uint32_t lag_code[2];
      for (uint32_t& code : lag_code) {
        code = rng() % 124;
        put_bits(frame, pos, code, 7);
        put_bits(frame, pos, rng() % 4, 2);
      }
      for (int s = 0; s < 4; ++s) {
        const bool short_lag = lag_code[s / 2] + 18 < 58;
        const uint32_t train = short_lag ? rng() % 2 : 0;
        const uint32_t acb_gain = rng() % (short_lag ? 85 : 170);
        put_bits(frame, pos, train * 2048 + acb_gain * 24 + rng() % 24, 12);
      }
      return int32_t{0};
    });
  }
}

// The frame sequence that drives the quantised LSPs out of order when the
// decoded vector is used unchecked, followed by ordinary frames.
TEST(DecoderRobustness, RepeatedExtremeLspIndexStaysFinite) {
  decode_stream(400, 1, [](int f, std::array<uint8_t, 45>& frame) {
    frame.fill(0);
    const uint32_t lsp_index = f < 300 ? 0x430000u : 0x123456u;
    const uint32_t head = 3u | (lsp_index << 3);  // rate 3
    for (int b = 0; b < 4; ++b) frame[b] = static_cast<uint8_t>(head >> (8 * b));
    frame[6] = 0x40;  // some gain
    return int32_t{0};
  });
}

using sample_source = std::function<int16_t(int)>;

// Encodes 80 frames of `source` at every rate and filter mode, decoding each
// frame: every frame must be clean and both sides finite.
void encode_hostile(const sample_source& source, const char* name) {
  for (int32_t rate = 0; rate < 4; ++rate) {
    for (const int32_t filter_mode : {1, 0}) {
      encoder_handle enc;
      decoder_handle dec;
      ASSERT_EQ(sivo_encoder_set_comp_rate(enc.h, rate), SIVO_OK);
      ASSERT_EQ(sivo_encoder_set_filter_mode(enc.h, filter_mode), SIVO_OK);
      for (int f = 0; f < 80; ++f) {
        std::array<int16_t, SIVO_FRAME_SAMPLES> in;
        for (int n = 0; n < SIVO_FRAME_SAMPLES; ++n) in[n] = source(f * SIVO_FRAME_SAMPLES + n);
        std::array<uint8_t, SIVO_MAX_FRAME_BYTES> frame{};
        int32_t type = -1, bytes = -1;
        ASSERT_EQ(sivo_encode_frame(enc.h, in.data(), frame.data(), &type, &bytes), SIVO_OK);
        const std::string where = std::string(name) + " rate " + std::to_string(rate) +
                                  " filter " + std::to_string(filter_mode) + " frame " +
                                  std::to_string(f);
        ASSERT_EQ(fault_text(sivo::encoder_state_fault(state_of(enc.h))), "") << where;
        ASSERT_EQ(fault_text(sivo::frame_field_fault(frame.data(), rate)), "") << where;
        std::array<int16_t, SIVO_FRAME_SAMPLES> out;
        ASSERT_EQ(sivo_decode_frame(dec.h, frame.data(), out.data(), 0, &type, &bytes),
                  SIVO_OK) << where;
        ASSERT_EQ(fault_text(sivo::decoder_state_fault(state_of(dec.h))), "") << where;
      }
    }
  }
}

TEST(EncoderRobustness, FullScaleNoise) {
  std::mt19937 rng(5);
  encode_hostile([&](int) { return static_cast<int16_t>(rng()); }, "noise");
}

TEST(EncoderRobustness, SquareWavesAtFullScale) {
  for (const int half : {1, 3, 20, 71, 150}) {
    encode_hostile([=](int n) { return (n / half) % 2 == 0 ? INT16_MAX : INT16_MIN; },
                   ("square " + std::to_string(half)).c_str());
  }
}

TEST(EncoderRobustness, DcAtTheLimitsAndSilence) {
  encode_hostile([](int) { return INT16_MIN; }, "dc -32768");
  encode_hostile([](int) { return INT16_MAX; }, "dc 32767");
  encode_hostile([](int) { return int16_t{0}; }, "silence");
  encode_hostile([](int n) { return n < 4000 ? int16_t{0} : INT16_MIN; }, "step");
}

TEST(EncoderRobustness, AlternatingExtremesAndImpulses) {
  encode_hostile([](int n) { return n % 2 == 0 ? INT16_MAX : INT16_MIN; }, "alternating");
  encode_hostile([](int n) { return n % 97 == 0 ? INT16_MIN : int16_t{0}; }, "impulses");
}

}  // namespace
