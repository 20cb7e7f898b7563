// Packing the frame-parameter record into compressed frames and unpacking it again.
#include "codec/frame_format.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "codec/tables/fcb_tables.h"
#include "codec/tables/frame_format_tables.h"
#include "sivocore.h"

namespace sivo {
namespace {

constexpr int kTypeBits = 3;  // frame type in the low bits of the first byte
constexpr uint8_t kTypeMask = (1 << kTypeBits) - 1;
constexpr int kLspIndexBits = 24;
constexpr int kLagBits = 7;
constexpr int kLagOffset = 18;    // olp of lag code 0
constexpr int kMaxLagCode = 123;  // olp 141
constexpr int kLagOffsetBits = 2;
constexpr int kGainWordBits = 12;
constexpr int kTrainShift = 11;    // train flag in the gain word (short lags)
constexpr int32_t kShortLag = 58;  // half frames below this lag may carry train
constexpr int32_t kGainRowsShort = 85;
constexpr int32_t kGainRowsLong = 170;
constexpr int32_t kFcbLevels = 24;
constexpr int kSecondCodeBits = 2;
constexpr int kSecondStageRow = 4;

// Running bit cursor over a byte buffer: bit i is bit i%8 of byte i/8.
struct bit_writer {
  uint8_t* bytes;
  int32_t bit;
};

// Reads from a copy of the frame padded with zero bytes, so that every field
// is one unaligned 64-bit load whatever its place: bits past the frame's
// length read as 0.
constexpr int kLongestFrame = 48;  // bytes kept from the frame; no rate sends more
constexpr int kPaddedFrame = kLongestFrame + 16;

struct bit_reader {
  const uint8_t* bytes;  // kPaddedFrame bytes
  int32_t bit;
};

// Appends the low `width` bits of value, least significant first.
void put_bits(bit_writer& w, uint32_t value, int width) noexcept {
  // Without a branch on the bit's value: the bits are as good as random.
  for (int k = 0; k < width; ++k, ++w.bit) {
    w.bytes[w.bit >> 3] |= static_cast<uint8_t>(((value >> k) & 1u) << (w.bit & 7));
  }
}

// Reads `width` bits (at most 32); the first one read has weight 1.
uint32_t get_bits(bit_reader& r, int width) noexcept {
  const uint8_t* at = r.bytes + (r.bit >> 3);
  uint64_t window;
  if constexpr (std::endian::native == std::endian::little) {
    std::memcpy(&window, at, sizeof window);
  } else {
    window = 0;
    for (int b = 7; b >= 0; --b) window = (window << 8) | at[b];
  }
  const uint64_t mask = (uint64_t{1} << width) - 1u;
  const auto value = static_cast<uint32_t>((window >> (r.bit & 7)) & mask);
  r.bit += width;
  return value;
}

// Pulse block of `row` for the four entries from `entries`: grids, the
// combined high part V of the position indices, then per subframe the low
// position bits and the signs.
void pack_pulse_fields(bit_writer& w, const subframe_params* entries, int row) noexcept {
  const int grid_bits = grid_bits_table[row];
  for (int s = 0; s < kSubframes; ++s)
    put_bits(w, static_cast<uint32_t>(entries[s].grid), grid_bits);

  uint32_t high[kSubframes];
  for (int s = 0; s < kSubframes; ++s) {
    high[s] = entries[s].positions >> position_split_table[row * 4 + s];
  }
  const auto& c = position_radix_table[row];
  const uint32_t combined = (high[0] * c[0] + high[1]) * c[1] + high[2] * c[2] + high[3];
  put_bits(w, combined, combined_bits_table[row]);

  for (int s = 0; s < kSubframes; ++s) {
    put_bits(w, entries[s].positions, position_split_table[row * 4 + s]);
    put_bits(w, static_cast<uint32_t>(entries[s].signs), pulse_count_table[row * 4 + s]);
  }
}

// Inverse of pack_pulse_fields; positions are rebuilt in wrapping unsigned
// arithmetic, so an impossible V gives an index the decoder later refuses.
void unpack_pulse_fields(bit_reader& r, subframe_params* entries, int row) noexcept {
  const int grid_bits = grid_bits_table[row];
  for (int s = 0; s < kSubframes; ++s) {
    entries[s].grid = static_cast<int32_t>(get_bits(r, grid_bits));
  }

  const uint32_t combined = get_bits(r, combined_bits_table[row]);
  const auto& c = position_radix_table[row];
  const uint32_t upper = combined / c[1];
  const uint32_t lower = combined % c[1];
  const uint32_t high[kSubframes] = {upper / c[0], upper % c[0], lower / c[2], lower % c[2]};

  for (int s = 0; s < kSubframes; ++s) {
    const int split = position_split_table[row * 4 + s];
    const uint32_t low = get_bits(r, split);
    entries[s].positions = (split >= 32 ? 0u : high[s] << split) + low;
    entries[s].signs = static_cast<int32_t>(get_bits(r, pulse_count_table[row * 4 + s]));
  }
}

}  // namespace

void pack_frame(const frame_params& params, uint8_t* frame_bytes, const encoder_state& state,
                int32_t& frame_type, int32_t& byte_count) noexcept {
  const int32_t rate = state.comp_rate;
  const int32_t length = state.frame_sizes[rate];
  frame_type = rate;
  byte_count = length;
  std::memset(frame_bytes, 0, static_cast<size_t>(length));

  bit_writer w{frame_bytes, 0};
  put_bits(w, static_cast<uint32_t>(rate), kTypeBits);
  put_bits(w, static_cast<uint32_t>(params.lsp_index), kLspIndexBits);
  put_bits(w, static_cast<uint32_t>(params.olp[0] - kLagOffset), kLagBits);
  put_bits(w, static_cast<uint32_t>(params.subframes[1].acb_lag), kLagOffsetBits);
  put_bits(w, static_cast<uint32_t>(params.olp[1] - kLagOffset), kLagBits);
  put_bits(w, static_cast<uint32_t>(params.subframes[3].acb_lag), kLagOffsetBits);
  for (int s = 0; s < kSubframes; ++s) {
    const subframe_params& e = params.subframes[s];
    const int32_t word = (e.train << kTrainShift) + e.acb_gain * kFcbLevels + e.fcb_gain;
    put_bits(w, static_cast<uint32_t>(word), kGainWordBits);
  }
  pack_pulse_fields(w, &params.subframes[0], rate);

  if (rate == 3) {
    for (int s = 0; s < kSubframes; ++s) {
      put_bits(w, static_cast<uint32_t>(params.subframes[4 + s].fcb_gain), kSecondCodeBits);
    }
    pack_pulse_fields(w, &params.subframes[4], kSecondStageRow);
  }
}

namespace {

// Reads the fields after the type bits of a speech frame of `type` (0..3)
// from `padded` (the frame's bytes followed by zeros up to kPaddedFrame).
// Returns SIVO_OK, or SIVO_DAMAGED_FRAME at the first impossible lag or gain
// index, with bad_frame set and the fields not yet read left as they were.
int32_t unpack_speech_fields(const uint8_t* padded, int32_t type, frame_params& params) noexcept {
  const auto damaged = [&params]() noexcept {
    params.bad_frame = 1;
    return SIVO_DAMAGED_FRAME;
  };

  bit_reader r{padded, 0};
  get_bits(r, kTypeBits);
  params.bad_frame = 0;
  params.lsp_index = static_cast<int32_t>(get_bits(r, kLspIndexBits));

  uint32_t lag_code = get_bits(r, kLagBits);
  if (lag_code > kMaxLagCode) return damaged();
  params.olp[0] = static_cast<int32_t>(lag_code) + kLagOffset;
  params.subframes[1].acb_lag = static_cast<int32_t>(get_bits(r, kLagOffsetBits));
  lag_code = get_bits(r, kLagBits);
  if (lag_code > kMaxLagCode) return damaged();
  params.olp[1] = static_cast<int32_t>(lag_code) + kLagOffset;
  params.subframes[3].acb_lag = static_cast<int32_t>(get_bits(r, kLagOffsetBits));
  params.subframes[0].acb_lag = 1;
  params.subframes[2].acb_lag = 1;

  for (int s = 0; s < kSubframes; ++s) {
    subframe_params& e = params.subframes[s];
    int32_t word = static_cast<int32_t>(get_bits(r, kGainWordBits));
    int32_t limit = kGainRowsLong;
    e.train = 0;
    if (params.olp[s / 2] < kShortLag) {
      e.train = word >> kTrainShift;
      word &= (1 << kTrainShift) - 1;
      limit = kGainRowsShort;
    }
    e.acb_gain = word / kFcbLevels;
    if (e.acb_gain >= limit) return damaged();
    e.fcb_gain = word % kFcbLevels;
  }
  unpack_pulse_fields(r, &params.subframes[0], type);

  if (type == 3) {
    for (int s = 0; s < kSubframes; ++s) {
      params.subframes[4 + s] = subframe_params{};
      params.subframes[4 + s].fcb_gain = static_cast<int32_t>(get_bits(r, kSecondCodeBits));
    }
    unpack_pulse_fields(r, &params.subframes[4], kSecondStageRow);
    // The second-stage index lies within g-2 .. g+1 of the first stage's
    // index g, with g held inside 2..22 so that the result stays in 0..23.
    for (int s = 0; s < kSubframes; ++s) {
      const int32_t g = std::clamp(params.subframes[s].fcb_gain, int32_t{2}, int32_t{22});
      params.subframes[4 + s].fcb_gain += g - 2;
    }
  }
  return SIVO_OK;
}

}  // namespace

int32_t unpack_frame(const uint8_t* frame_bytes, int32_t decode_mode, decoder_state& state,
                     frame_params& params, int32_t& frame_type, int32_t& byte_count) noexcept {
  byte_count = 0;
  // A lost frame and a frame that was never sent are both concealed; the
  // bytes are not looked at.
  if (decode_mode == SIVO_DECODE_LOST || decode_mode == SIVO_DECODE_NO_FRAME) {
    params.bad_frame = 1;
    return SIVO_OK;
  }
  if (decode_mode != SIVO_DECODE_NORMAL) return SIVO_INVALID_ARGUMENT;

  const int32_t type = frame_bytes[0] & kTypeMask;
  switch (type) {
    case 6:
    case 7:
      byte_count = type == 6 ? SIVO_TYPE6_BYTES : SIVO_TYPE7_BYTES;
      frame_type = type;
      params.bad_frame = 1;
      return SIVO_NOT_DECODABLE;
    case 4:
    case 5:
      byte_count = 1;
      params.bad_frame = 1;
      return SIVO_NOT_DECODABLE;
    default:
      break;
  }

  state.comp_rate = type;
  byte_count = state.frame_sizes[type];
  frame_type = type;

  static_assert(*std::max_element(kFrameSizes.begin(), kFrameSizes.end()) <= kLongestFrame);
  uint8_t padded[kPaddedFrame] = {};
  std::memcpy(padded, frame_bytes, static_cast<size_t>(std::clamp(byte_count, 0, kLongestFrame)));
  return unpack_speech_fields(padded, type, params);
}

}  // namespace sivo
