// Feeds a stream of arbitrary frames to one decoder. The input is a sequence
// of records: one control byte, then (for decode_mode 0) one frame whose
// length is what its own first byte declares. The control byte picks the
// decode_mode (including refused ones), filter_mode switches, resets and
// queries, so any order of calls is reached.
//
// Checked after every call: the status fits the mode and the frame type, the
// reported type and length are right, the output is untouched when no
// samples are due, and the decoder's state is finite and in range. Frame
// bytes live in a heap block of exactly the declared length, so reading one
// byte more is caught by AddressSanitizer.
#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <memory>

#include "codec/state.h"
#include "fuzz_check.h"
#include "sivocore.h"
#include "state_checks.h"

namespace {

constexpr std::array<int32_t, 8> kTypeLength = {24, 31, 19, 45, 1, 1, 5, 1};
// decode_mode values outside 0..2 that a caller might pass by mistake.
constexpr std::array<int32_t, 4> kRefusedModes = {3, -1, INT32_MIN, INT32_MAX};
constexpr int16_t kUntouched = 0x5A5A;
constexpr int32_t kNotWritten = -7777;

const sivo::decoder_state& state_of(sivo_decoder* decoder) {
  return *reinterpret_cast<const sivo::decoder_state*>(decoder);
}

void check_state(sivo_decoder* decoder) {
  const char* fault = sivo::decoder_state_fault(state_of(decoder));
  FUZZ_CHECK(fault == nullptr, fault);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  sivo_decoder* decoder = nullptr;
  FUZZ_CHECK(sivo_decoder_open(&decoder) == SIVO_OK, "open");
  FUZZ_CHECK(sivo_decoder_set_filter_mode(decoder, data[0] & 1) == SIVO_OK,
             "filter mode");
  // The output block is exactly 240 samples long.
  auto samples = std::make_unique<int16_t[]>(SIVO_FRAME_SAMPLES);
  auto nothing = std::make_unique<uint8_t[]>(0);

  size_t pos = 1;
  while (pos < size) {
    const uint8_t control = data[pos++];
    // Bits 2-4 pick an occasional side call before the frame.
    switch ((control >> 2) & 7) {
      case 5: {
        const int32_t mode = (control >> 5) & 3;  // 2 and 3 are refused
        const int32_t before = state_of(decoder).filter_mode;
        const int32_t status = sivo_decoder_set_filter_mode(decoder, mode);
        FUZZ_CHECK(status == (mode <= 1 ? SIVO_OK : SIVO_INVALID_ARGUMENT),
                   "set_filter_mode status");
        int32_t now = -1;
        sivo_decoder_get_filter_mode(decoder, &now);
        FUZZ_CHECK(now == (mode <= 1 ? mode : before), "filter mode kept");
        break;
      }
      case 6:
        if ((control >> 5) == 7) {
          FUZZ_CHECK(sivo_decoder_reset(decoder) == SIVO_OK, "reset");
        }
        break;
      default:
        break;
    }

    int32_t decode_mode = control & 3;
    if (decode_mode == 3) decode_mode = kRefusedModes[(control >> 5) & 3];

    // Mode 0 takes one frame from the input, zero-padded where the input
    // ends early, in a block of exactly its declared length. The other modes
    // get an empty block: they must not read any byte.
    std::unique_ptr<uint8_t[]> frame;
    int32_t declared = 0;
    int type = -1;
    if (decode_mode == 0) {
      if (pos >= size) break;
      type = data[pos] & 7;
      declared = kTypeLength[type];
      frame = std::make_unique<uint8_t[]>(declared);
      const size_t have = std::min<size_t>(declared, size - pos);
      std::memcpy(frame.get(), data + pos, have);
      pos += have;
    }
    const uint8_t* bytes = decode_mode == 0 ? frame.get() : nothing.get();

    std::fill_n(samples.get(), SIVO_FRAME_SAMPLES, kUntouched);
    int32_t frame_type = kNotWritten, byte_count = kNotWritten;
    const int32_t status = sivo_decode_frame(decoder, bytes, samples.get(),
                                             decode_mode, &frame_type, &byte_count);

    if (decode_mode == 1 || decode_mode == 2) {
      FUZZ_CHECK(status == SIVO_OK, "concealment status");
      FUZZ_CHECK(byte_count == 0 && frame_type == kNotWritten, "no frame read");
    } else if (decode_mode != 0) {
      FUZZ_CHECK(status == SIVO_INVALID_ARGUMENT, "refused mode status");
      FUZZ_CHECK(byte_count == 0 && frame_type == kNotWritten, "no frame read");
    } else if (type >= 4) {
      FUZZ_CHECK(status == SIVO_NOT_DECODABLE, "reserved type status");
      FUZZ_CHECK(byte_count == declared, "reserved type length");
      FUZZ_CHECK(frame_type == (type >= 6 ? type : kNotWritten), "reserved type");
    } else {
      FUZZ_CHECK(status == SIVO_OK || status == SIVO_DAMAGED_FRAME,
                 "speech frame status");
      FUZZ_CHECK(byte_count == declared && frame_type == type, "speech frame type");
      int32_t rate = -1, rate_bytes = -1;
      sivo_decoder_get_comp_rate(decoder, &rate, &rate_bytes);
      FUZZ_CHECK(rate == type && rate_bytes == declared, "comp_rate follows");
    }
    if (status == SIVO_NOT_DECODABLE || status == SIVO_INVALID_ARGUMENT) {
      for (int n = 0; n < SIVO_FRAME_SAMPLES; ++n) {
        FUZZ_CHECK(samples[n] == kUntouched, "output written without samples due");
      }
    }
    check_state(decoder);
  }

  FUZZ_CHECK(sivo_decoder_close(&decoder) == SIVO_OK, "close");
  return 0;
}
