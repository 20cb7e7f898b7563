// Feeds arbitrary 16-bit input to one encoder, frame by frame, and decodes
// every frame it produces. The input is a sequence of records of one control
// byte and 480 sample bytes (zero-padded where the input ends early). The
// control byte sets the rate and filter mode for the frame, may reset both
// sides, and picks how the bytes become samples: raw little-endian values,
// or shapes that raw bytes rarely reach (full-scale extremes, DC, square
// waves).
//
// Checked after every frame: the encoder's state is finite and in range, the
// frame has the rate's type and length, every field lies within its coded
// range (positions below their limits), and the decoder accepts the frame
// with a clean status and stays finite.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

#include "codec/state.h"
#include "fuzz_check.h"
#include "sivocore.h"
#include "state_checks.h"

namespace {

constexpr size_t kSampleBytes = 2 * SIVO_FRAME_SAMPLES;
constexpr size_t kRecordBytes = 1 + kSampleBytes;
constexpr std::array<int32_t, 4> kFrameBytes = {24, 31, 19, 45};

int16_t le16(const uint8_t* p) {
  return static_cast<int16_t>(static_cast<uint16_t>(p[0] | (p[1] << 8)));
}

// Turns the record's sample bytes into 240 samples of the chosen shape.
void make_samples(int shape, const uint8_t* bytes, int16_t* out) {
  switch (shape) {
    case 0:  // raw values
      for (int n = 0; n < SIVO_FRAME_SAMPLES; ++n) out[n] = le16(bytes + 2 * n);
      break;
    case 1:  // each sample at one of the two extremes
      for (int n = 0; n < SIVO_FRAME_SAMPLES; ++n) {
        out[n] = (bytes[n] & 1) != 0 ? INT16_MAX : INT16_MIN;
      }
      break;
    case 2:  // a constant value
      std::fill_n(out, SIVO_FRAME_SAMPLES, le16(bytes));
      break;
    default: {  // a square wave between two values, half period 1..256
      const int half = bytes[0] + 1;
      const int16_t high = le16(bytes + 1), low = le16(bytes + 3);
      for (int n = 0; n < SIVO_FRAME_SAMPLES; ++n) {
        out[n] = (n / half) % 2 == 0 ? high : low;
      }
      break;
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  sivo_encoder* encoder = nullptr;
  sivo_decoder* decoder = nullptr;
  FUZZ_CHECK(sivo_encoder_open(&encoder) == SIVO_OK, "encoder open");
  FUZZ_CHECK(sivo_decoder_open(&decoder) == SIVO_OK, "decoder open");
  const auto& enc_state = *reinterpret_cast<const sivo::encoder_state*>(encoder);
  const auto& dec_state = *reinterpret_cast<const sivo::decoder_state*>(decoder);

  for (size_t pos = 0; pos < size; pos += kRecordBytes) {
    const uint8_t control = data[pos];
    std::array<uint8_t, kSampleBytes> bytes{};
    const size_t have = std::min(kSampleBytes, size - pos - 1);
    std::memcpy(bytes.data(), data + pos + 1, have);

    const int32_t rate = control & 3;
    FUZZ_CHECK(sivo_encoder_set_comp_rate(encoder, rate) == SIVO_OK, "set rate");
    FUZZ_CHECK(sivo_encoder_set_filter_mode(encoder, (control >> 2) & 1) == SIVO_OK,
               "set filter mode");
    if ((control >> 5) == 7) {
      FUZZ_CHECK(sivo_encoder_reset(encoder) == SIVO_OK, "encoder reset");
      FUZZ_CHECK(sivo_decoder_reset(decoder) == SIVO_OK, "decoder reset");
    }
    std::array<int16_t, SIVO_FRAME_SAMPLES> samples{};
    make_samples((control >> 3) & 3, bytes.data(), samples.data());

    std::array<uint8_t, SIVO_MAX_FRAME_BYTES> frame{};
    int32_t type = -1, count = -1;
    FUZZ_CHECK(sivo_encode_frame(encoder, samples.data(), frame.data(), &type,
                                 &count) == SIVO_OK, "encode status");
    const char* fault = sivo::encoder_state_fault(enc_state);
    FUZZ_CHECK(fault == nullptr, fault);
    FUZZ_CHECK(type == rate && count == kFrameBytes[rate], "frame type and length");
    FUZZ_CHECK((frame[0] & 7) == rate, "first byte names the rate");
    fault = sivo::frame_field_fault(frame.data(), rate);
    FUZZ_CHECK(fault == nullptr, fault);

    std::array<int16_t, SIVO_FRAME_SAMPLES> decoded{};
    int32_t dec_type = -1, dec_count = -1;
    FUZZ_CHECK(sivo_decode_frame(decoder, frame.data(), decoded.data(), 0,
                                 &dec_type, &dec_count) == SIVO_OK,
               "decoder accepts the encoder's frame");
    FUZZ_CHECK(dec_type == rate && dec_count == count, "decoded type and length");
    fault = sivo::decoder_state_fault(dec_state);
    FUZZ_CHECK(fault == nullptr, fault);
  }

  FUZZ_CHECK(sivo_encoder_close(&encoder) == SIVO_OK, "encoder close");
  FUZZ_CHECK(sivo_decoder_close(&decoder) == SIVO_OK, "decoder close");
  return 0;
}
