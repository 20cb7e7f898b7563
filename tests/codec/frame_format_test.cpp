#include "codec/frame_format.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstring>
#include <random>
#include <vector>

#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

constexpr int32_t kSentinel = 0x5A5A5A5A;

// Independent bit access: field of `width` bits at absolute bit `start`.
void set_field(uint8_t* bytes, int start, int width, uint64_t value) {
  for (int k = 0; k < width; ++k) {
    const int i = start + k;
    bytes[i / 8] =
        static_cast<uint8_t>((bytes[i / 8] & ~(1 << (i % 8))) | (((value >> k) & 1) << (i % 8)));
  }
}
bool bit_at(const uint8_t* bytes, int i) { return (bytes[i / 8] >> (i % 8)) & 1; }

encoder_state make_encoder(int32_t rate) {
  encoder_state e{};
  e.frame_sizes = kFrameSizes;
  e.comp_rate = rate;
  return e;
}
decoder_state make_decoder() {
  decoder_state d{};
  d.frame_sizes = kFrameSizes;
  return d;
}

frame_params filled(int32_t value) {
  frame_params p;
  std::memset(&p, 0, sizeof p);
  p.bad_frame = p.lsp_index = p.olp[0] = p.olp[1] = value;
  for (auto& e : p.subframes) {
    e = {value, value, value, value, value, value, static_cast<uint32_t>(value)};
  }
  return p;
}

// The smallest codes: olp 18, lags 1 in the even subframes, all else 0.
frame_params minimum_record() {
  frame_params p = filled(0);
  p.olp[0] = p.olp[1] = 18;
  p.subframes[0].acb_lag = p.subframes[2].acb_lag = 1;
  return p;
}

// A random record whose every field lies in its transmitted range at `rate`.
frame_params random_record(std::mt19937& rng, int rate) {
  auto pick = [&rng](uint32_t below) {
    return static_cast<uint32_t>(std::uniform_int_distribution<uint64_t>(0, below - 1)(rng));
  };
  frame_params p = filled(0);
  p.lsp_index = static_cast<int32_t>(pick(1u << 24));
  p.olp[0] = 18 + static_cast<int32_t>(pick(124));
  p.olp[1] = 18 + static_cast<int32_t>(pick(124));
  for (int s = 0; s < 4; ++s) {
    subframe_params& e = p.subframes[s];
    e.acb_lag = (s % 2 == 0) ? 1 : static_cast<int32_t>(pick(4));
    if (p.olp[s / 2] < 58) {
      e.train = static_cast<int32_t>(pick(2));
      e.acb_gain = static_cast<int32_t>(pick(85));
    } else {
      e.acb_gain = static_cast<int32_t>(pick(170));
    }
    e.fcb_gain = static_cast<int32_t>(pick(24));
  }
  const int stages = rate == 3 ? 2 : 1;
  for (int stage = 0; stage < stages; ++stage) {
    const int row = stage == 0 ? rate : 4;
    for (int s = 0; s < 4; ++s) {
      subframe_params& e = p.subframes[4 * stage + s];
      const int i = row * 4 + s;
      if (stage == 1) e.fcb_gain = static_cast<int32_t>(pick(4));
      e.grid = static_cast<int32_t>(pick(static_cast<uint32_t>(grid_step_table[row])));
      e.signs = static_cast<int32_t>(pick(1u << pulse_count_table[i]));
      // Favour the extremes, where the combined high part is largest.
      switch (pick(4)) {
        case 0:
          e.positions = position_limit_table[i] - 1;
          break;
        case 1:
          e.positions = 0;
          break;
        default:
          e.positions = pick(position_limit_table[i]);
      }
    }
  }
  return p;
}

// What unpack_frame gives back for a packed in-range record; entries 4-7
// keep their old values below rate 3.
frame_params expected_after_unpack(frame_params p, int rate) {
  p.bad_frame = 0;
  if (rate != 3) {
    for (int k = 4; k < 8; ++k) p.subframes[k] = filled(kSentinel).subframes[k];
    return p;
  }
  for (int s = 0; s < 4; ++s) {
    subframe_params& e = p.subframes[4 + s];
    e.acb_lag = e.acb_gain = e.train = 0;
    e.fcb_gain += std::clamp(p.subframes[s].fcb_gain, 2, 22) - 2;
  }
  return p;
}

std::vector<uint8_t> pack(const frame_params& p, int rate) {
  encoder_state enc = make_encoder(rate);
  std::vector<uint8_t> bytes(kMaxFrameBytes, 0xEE);
  int32_t type = -1, count = -1;
  pack_frame(p, bytes.data(), enc, type, count);
  EXPECT_EQ(type, rate);
  EXPECT_EQ(count, kFrameSizes[rate]);
  bytes.resize(static_cast<size_t>(kFrameSizes[rate]));
  return bytes;
}

struct unpacked {
  int32_t status;
  frame_params params;
  int32_t frame_type;
  int32_t byte_count;
  int32_t comp_rate;
};

// Unpacks from an allocation of exactly `bytes.size()` bytes, so that a read
// past the frame is caught by the address sanitizer.
unpacked unpack(const std::vector<uint8_t>& bytes, int32_t mode = 0) {
  std::vector<uint8_t> exact(bytes);
  decoder_state dec = make_decoder();
  unpacked u{-1, filled(kSentinel), kSentinel, kSentinel, 0};
  u.status = unpack_frame(exact.empty() ? nullptr : exact.data(), mode, dec, u.params, u.frame_type,
                          u.byte_count);
  u.comp_rate = dec.comp_rate;
  return u;
}

// ---- Layout -------------------------------------------------------------

TEST(FrameFormat, MinimumRecordIsAllZeroAfterTheType) {
  for (int rate = 0; rate < 4; ++rate) {
    const std::vector<uint8_t> bytes = pack(minimum_record(), rate);
    std::vector<uint8_t> want(static_cast<size_t>(kFrameSizes[rate]), 0);
    want[0] = static_cast<uint8_t>(rate);
    EXPECT_EQ(bytes, want) << "rate " << rate;
  }
}

TEST(FrameFormat, LspIndexBitPlacement) {
  frame_params p = minimum_record();
  p.lsp_index = 0x000001;
  std::vector<uint8_t> bytes = pack(p, 0);
  EXPECT_EQ(bytes[0], 0x08);
  EXPECT_EQ(std::count(bytes.begin() + 1, bytes.end(), 0), 23);

  p.lsp_index = 0x800000;
  bytes = pack(p, 0);
  EXPECT_EQ(bytes[3], 0x04);
  EXPECT_EQ(std::count(bytes.begin(), bytes.end(), 0), 23);
}

// Every field written at the absolute bit positions of the frame layout, by a
// writer that knows nothing of rows and radices beyond the quoted values.
std::vector<uint8_t> reference_frame(const frame_params& p, int rate) {
  struct block {
    int grid_start, grid_bits, v_start, v_bits;
    int pos[4][2];   // start, width of the low position bits
    int sign[4][2];  // start, width of the signs
    uint64_t c0, c1, c2;
  };
  static const block kBlocks[5] = {
      {93,
       1,
       97,
       29,
       {{126, 12}, {144, 10}, {159, 12}, {177, 10}},
       {{138, 6}, {154, 5}, {171, 6}, {187, 5}},
       140,
       20300,
       140},
      {0,
       0,
       93,
       30,
       {{123, 24}, {155, 24}, {187, 24}, {219, 21}},
       {{147, 8}, {179, 8}, {211, 8}, {240, 7}},
       153,
       28305,
       185},
      {93,
       2,
       101,
       31,
       {{132, 3}, {139, 1}, {143, 1}, {147, 1}},
       {{135, 4}, {140, 3}, {144, 3}, {148, 3}},
       228,
       51984,
       228},
      {0,
       0,
       93,
       30,
       {{123, 24}, {155, 24}, {187, 24}, {219, 24}},
       {{147, 8}, {179, 8}, {211, 8}, {243, 8}},
       153,
       23409,
       153},
      {0,
       0,
       259,
       29,
       {{288, 14}, {307, 14}, {326, 14}, {345, 11}},
       {{302, 5}, {321, 5}, {340, 5}, {356, 4}},
       159,
       21147,
       133},
  };
  std::vector<uint8_t> bytes(static_cast<size_t>(kFrameSizes[rate]), 0);
  uint8_t* b = bytes.data();
  set_field(b, 0, 3, static_cast<uint64_t>(rate));
  set_field(b, 3, 24, static_cast<uint64_t>(p.lsp_index));
  set_field(b, 27, 7, static_cast<uint64_t>(p.olp[0] - 18));
  set_field(b, 34, 2, static_cast<uint64_t>(p.subframes[1].acb_lag));
  set_field(b, 36, 7, static_cast<uint64_t>(p.olp[1] - 18));
  set_field(b, 43, 2, static_cast<uint64_t>(p.subframes[3].acb_lag));
  for (int s = 0; s < 4; ++s) {
    const subframe_params& e = p.subframes[s];
    set_field(b, 45 + 12 * s, 12,
              static_cast<uint64_t>(e.train * 2048 + e.acb_gain * 24 + e.fcb_gain));
  }
  auto write_block = [&](const block& k, const subframe_params* e) {
    uint64_t h[4];
    for (int s = 0; s < 4; ++s) {
      set_field(b, k.grid_start + k.grid_bits * s, k.grid_bits, static_cast<uint64_t>(e[s].grid));
      h[s] = e[s].positions >> k.pos[s][1];
      set_field(b, k.pos[s][0], k.pos[s][1], e[s].positions);
      set_field(b, k.sign[s][0], k.sign[s][1], static_cast<uint64_t>(e[s].signs));
    }
    const uint64_t v = (h[0] * k.c0 + h[1]) * k.c1 + h[2] * k.c2 + h[3];
    EXPECT_LT(v, uint64_t{1} << k.v_bits);
    set_field(b, k.v_start, k.v_bits, v);
  };
  write_block(kBlocks[rate], &p.subframes[0]);
  if (rate == 3) {
    for (int s = 0; s < 4; ++s) {
      set_field(b, 251 + 2 * s, 2, static_cast<uint64_t>(p.subframes[4 + s].fcb_gain));
    }
    write_block(kBlocks[4], &p.subframes[4]);
  }
  return bytes;
}

TEST(FrameFormat, FieldsSitAtTheirLayoutPositions) {
  std::mt19937 rng(1234);
  for (int rate = 0; rate < 4; ++rate) {
    for (int n = 0; n < 500; ++n) {
      const frame_params p = random_record(rng, rate);
      ASSERT_EQ(pack(p, rate), reference_frame(p, rate)) << "rate " << rate << " record " << n;
    }
  }
}

TEST(FrameFormat, RoundTripOfRandomRecordsAtEveryRate) {
  std::mt19937 rng(42);
  for (int rate = 0; rate < 4; ++rate) {
    for (int n = 0; n < 2000; ++n) {
      const frame_params p = random_record(rng, rate);
      const unpacked u = unpack(pack(p, rate));
      ASSERT_EQ(u.status, 0);
      ASSERT_EQ(u.frame_type, rate);
      ASSERT_EQ(u.byte_count, kFrameSizes[rate]);
      ASSERT_EQ(u.comp_rate, rate);
      const frame_params want = expected_after_unpack(p, rate);
      ASSERT_EQ(std::memcmp(&u.params, &want, sizeof want), 0) << "rate " << rate << " #" << n;
    }
  }
}

TEST(FrameFormat, SpareBitsWrittenZeroAndIgnored) {
  struct spare {
    int rate, bit;
  };
  std::mt19937 rng(5);
  for (const spare sp : {spare{1, 247}, spare{2, 151}}) {
    for (int n = 0; n < 200; ++n) {
      const frame_params p = random_record(rng, sp.rate);
      std::vector<uint8_t> bytes = pack(p, sp.rate);
      ASSERT_FALSE(bit_at(bytes.data(), sp.bit));
      const unpacked clean = unpack(bytes);
      bytes.back() = static_cast<uint8_t>(bytes.back() | 1 << (sp.bit % 8));
      const unpacked marked = unpack(bytes);
      ASSERT_EQ(marked.status, 0);
      ASSERT_EQ(std::memcmp(&clean.params, &marked.params, sizeof clean.params), 0);
    }
  }
}

// A frame length shorter than its rate's fields: the bytes past it are never
// looked at and read as zeros, the same record as the frame cut to that
// length with its tail cleared.
TEST(FrameFormat, BitsPastTheFrameLengthReadAsZero) {
  std::mt19937 rng(9);
  for (int rate = 0; rate < 4; ++rate) {
    for (int n = 0; n < 300; ++n) {
      const std::vector<uint8_t> full = pack(random_record(rng, rate), rate);
      const int length = 1 + int(rng() % (full.size() - 1));
      std::vector<uint8_t> marked = full, cleared = full;
      for (size_t i = length; i < full.size(); ++i) marked[i] = 0xFF, cleared[i] = 0;
      decoder_state shortened = make_decoder(), plain = make_decoder();
      shortened.frame_sizes[rate] = length;
      frame_params got = filled(kSentinel), want = filled(kSentinel);
      int32_t type_a, type_b, count_a, count_b;
      const int32_t status_a = unpack_frame(marked.data(), 0, shortened, got, type_a, count_a);
      const int32_t status_b = unpack_frame(cleared.data(), 0, plain, want, type_b, count_b);
      ASSERT_EQ(status_a, status_b);
      ASSERT_EQ(count_a, length);
      ASSERT_EQ(std::memcmp(&got, &want, sizeof got), 0) << "rate " << rate << " length " << length;
    }
  }
}

// ---- Validation -----------------------------------------------------------

TEST(FrameFormat, LagCodesAbove123AreDamaged) {
  for (int rate = 0; rate < 4; ++rate) {
    for (int half = 0; half < 2; ++half) {
      for (int code = 120; code < 128; ++code) {
        std::vector<uint8_t> bytes = pack(minimum_record(), rate);
        set_field(bytes.data(), half == 0 ? 27 : 36, 7, static_cast<uint64_t>(code));
        const unpacked u = unpack(bytes);
        SCOPED_TRACE(testing::Message() << "rate " << rate << " half " << half << " code " << code);
        EXPECT_EQ(u.byte_count, kFrameSizes[rate]);
        EXPECT_EQ(u.frame_type, rate);
        EXPECT_EQ(u.comp_rate, rate);
        if (code <= 123) {
          EXPECT_EQ(u.status, 0);
          EXPECT_EQ(u.params.bad_frame, 0);
          EXPECT_EQ(u.params.olp[half], code + 18);
        } else {
          EXPECT_EQ(u.status, 2);
          EXPECT_EQ(u.params.bad_frame, 1);
        }
      }
    }
  }
  // olp 18 and 141 are codes 0 and 123.
  frame_params p = minimum_record();
  p.olp[1] = 141;
  const std::vector<uint8_t> bytes = pack(p, 0);
  EXPECT_EQ(bytes, reference_frame(p, 0));
  const unpacked u = unpack(bytes);
  EXPECT_EQ(u.status, 0);
  EXPECT_EQ(u.params.olp[0], 18);
  EXPECT_EQ(u.params.olp[1], 141);
}

TEST(FrameFormat, GainWordLimitsDependOnTheHalfFramesLag) {
  struct gain_case {
    int32_t olp;
    int word;
    int32_t status, train, acb_gain, fcb_gain;
  };
  const gain_case cases[] = {
      {57, 0x800, 0, 1, 0, 0},
      {58, 0x800, 0, 0, 85, 8},
      {58, 0xFF0, 2, 0, 0, 0},
      {57, 0xFF0, 0, 1, 84, 16},
      {57, 0xFF8, 2, 0, 0, 0},
      {58, 0xFF8, 2, 0, 0, 0},
      {57, 84 * 24 + 23, 0, 0, 84, 23},
      {57, 85 * 24, 2, 0, 0, 0},
      {58, 169 * 24 + 23, 0, 0, 169, 23},
      {58, 170 * 24, 2, 0, 0, 0},
      {141, 0x7FF, 0, 0, 85, 7},
      {18, 0xFFF, 2, 0, 0, 0},
  };
  for (int rate = 0; rate < 4; ++rate) {
    for (const gain_case& c : cases) {
      for (int s = 0; s < 4; ++s) {
        // The other half frame gets the opposite kind of lag, so a rule
        // applied with the wrong half frame's lag shows.
        frame_params p = minimum_record();
        p.olp[s / 2] = c.olp;
        p.olp[1 - s / 2] = c.olp < 58 ? 100 : 20;
        std::vector<uint8_t> bytes = pack(p, rate);
        set_field(bytes.data(), 45 + 12 * s, 12, static_cast<uint64_t>(c.word));
        const unpacked u = unpack(bytes);
        SCOPED_TRACE(testing::Message() << "rate " << rate << " olp " << c.olp << " word " << c.word
                                        << " subframe " << s);
        ASSERT_EQ(u.status, c.status);
        EXPECT_EQ(u.params.bad_frame, c.status == 2 ? 1 : 0);
        EXPECT_EQ(u.comp_rate, rate);
        if (c.status == 0) {
          EXPECT_EQ(u.params.subframes[s].train, c.train);
          EXPECT_EQ(u.params.subframes[s].acb_gain, c.acb_gain);
          EXPECT_EQ(u.params.subframes[s].fcb_gain, c.fcb_gain);
        }
      }
    }
  }
}

TEST(FrameFormat, DamageStopsUnpackingAtOnce) {
  // A bad gain row in subframe 1: subframe 0 is read, subframe 2 and the
  // pulse fields are not.
  frame_params p = minimum_record();
  p.olp[0] = p.olp[1] = 100;
  std::vector<uint8_t> bytes = pack(p, 2);
  set_field(bytes.data(), 57, 12, 0xFFF);
  unpacked u = unpack(bytes);
  EXPECT_EQ(u.status, 2);
  EXPECT_EQ(u.params.bad_frame, 1);
  EXPECT_EQ(u.comp_rate, 2);
  EXPECT_EQ(u.params.subframes[0].acb_gain, 0);
  EXPECT_EQ(u.params.subframes[2].acb_gain, kSentinel);
  EXPECT_EQ(u.params.subframes[0].signs, kSentinel);

  // A bad second lag: the first is read, nothing after it.
  bytes = pack(p, 3);
  set_field(bytes.data(), 36, 7, 127);
  u = unpack(bytes);
  EXPECT_EQ(u.status, 2);
  EXPECT_EQ(u.comp_rate, 3);
  EXPECT_EQ(u.params.olp[0], 100);
  EXPECT_EQ(u.params.olp[1], kSentinel);
  EXPECT_EQ(u.params.subframes[3].acb_lag, kSentinel);
}

TEST(FrameFormat, SecondStageGainIsRelativeToTheFirst) {
  struct gain_case {
    int32_t first, code, second;
  };
  for (const gain_case c : {gain_case{23, 3, 23}, gain_case{0, 0, 0}, gain_case{10, 0, 8},
                            gain_case{1, 3, 3}, gain_case{22, 0, 20}, gain_case{2, 0, 0}}) {
    frame_params p = minimum_record();
    for (int s = 0; s < 4; ++s) {
      p.subframes[s].fcb_gain = c.first;
      p.subframes[4 + s].fcb_gain = c.code;
    }
    const unpacked u = unpack(pack(p, 3));
    ASSERT_EQ(u.status, 0);
    for (int s = 0; s < 4; ++s) {
      EXPECT_EQ(u.params.subframes[4 + s].fcb_gain, c.second)
          << "first " << c.first << " code " << c.code;
    }
  }
}

TEST(FrameFormat, DecodeModes) {
  // Lost (1) and never sent (2) are concealed without reading the bytes;
  // any other mode but 0 is refused. Neither reports a type or a length.
  for (int32_t mode : {1, 2, 3, -1}) {
    decoder_state dec = make_decoder();
    dec.comp_rate = 2;
    frame_params p = filled(kSentinel);
    int32_t type = kSentinel, count = kSentinel;
    const int32_t want = mode <= 2 && mode > 0 ? 0 : 3;
    EXPECT_EQ(unpack_frame(nullptr, mode, dec, p, type, count), want) << mode;
    EXPECT_EQ(p.bad_frame, want == 0 ? 1 : kSentinel);
    EXPECT_EQ(count, 0);
    EXPECT_EQ(type, kSentinel);
    EXPECT_EQ(dec.comp_rate, 2);
  }
}

TEST(FrameFormat, ReservedAndInvalidTypesAreReportedNotDecoded) {
  struct type_case {
    int type;
    int32_t byte_count, frame_type;
  };
  for (const type_case c : {type_case{4, 1, kSentinel}, type_case{5, 1, kSentinel},
                            type_case{6, 5, 6}, type_case{7, 1, 7}}) {
    for (uint8_t high : {0x00, 0xF8}) {
      // Only the first byte is given: no more than that may be read.
      const unpacked u = unpack({static_cast<uint8_t>(high | c.type)});
      EXPECT_EQ(u.status, 1) << c.type;
      EXPECT_EQ(u.byte_count, c.byte_count);
      EXPECT_EQ(u.frame_type, c.frame_type);
      EXPECT_EQ(u.params.bad_frame, 1);
      EXPECT_EQ(u.comp_rate, 0);
    }
  }
}

}  // namespace
}  // namespace sivo
