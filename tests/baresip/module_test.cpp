// The sivo baresip module loaded as baresip loads it, with this program in
// baresip's place: it registers the codec with us, and we drive the codec
// record with blocks and payloads that calls rarely produce (odd block
// sizes, reserved, damaged, invalid and cut-off frames), holding every
// sample and byte to the codec's own C interface.
#include <dlfcn.h>
#include <gtest/gtest.h>

#include <cstdarg>
#include <string>
#include <vector>

#include "baresip_abi.h"
#include "sivocore.h"
#include "speech.h"

namespace {

struct list codecs;
struct aucodec* registered = nullptr;
struct conf* config = nullptr;
std::vector<std::string> warnings;
std::vector<std::string> notes;

void record(std::vector<std::string>& to, const char* fmt, va_list ap) {
  char text[512];
  re_vsnprintf(text, sizeof text, fmt, ap);
  to.emplace_back(text);
}

}  // namespace

// baresip's side of the interface, resolved by the module from this program.
extern "C" {
void aucodec_register(struct list* list, struct aucodec* ac) {
  list_append(list, &ac->le, ac);
  registered = ac;
}
void aucodec_unregister(struct aucodec* ac) {
  list_unlink(&ac->le);
  registered = nullptr;
}
struct list* baresip_aucodecl(void) { return &codecs; }
struct conf* conf_cur(void) { return config; }
void debug(const char*, ...) {}
void info(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  record(notes, fmt, ap);
  va_end(ap);
}
void warning(const char* fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  record(warnings, fmt, ap);
  va_end(ap);
}
}

namespace {

constexpr size_t kFrame = SIVO_FRAME_SAMPLES;
constexpr int kBytes[4] = {SIVO_RATE0_BYTES, SIVO_RATE1_BYTES, SIVO_RATE2_BYTES, SIVO_RATE3_BYTES};

class BaresipModule : public ::testing::Test {
 protected:
  void SetUp() override {
    module_ = dlopen(SIVO_BARESIP_MODULE, RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(module_, nullptr) << dlerror();
    exports_ = static_cast<const struct mod_export*>(dlsym(module_, "exports"));
    ASSERT_NE(exports_, nullptr);
    speech_ = sivo::test::load_raw("hts1a.raw");
    ASSERT_GE(speech_.size(), 20 * kFrame);
    warnings.clear();
    notes.clear();
  }
  void TearDown() override {
    if (registered) exports_->close();
    mem_deref(config);
    config = nullptr;
    dlclose(module_);
  }
  int load(const std::string& text) {
    mem_deref(config);
    conf_alloc_buf(&config, reinterpret_cast<const uint8_t*>(text.data()), text.size());
    return exports_->init();
  }
  // The codec's own frames for frames [first, first + count) of the speech.
  std::vector<uint8_t> frames(int rate, size_t first, size_t count) {
    sivo_encoder* enc = nullptr;
    sivo_encoder_open(&enc);
    sivo_encoder_set_comp_rate(enc, rate);
    std::vector<uint8_t> out;
    for (size_t i = 0; i < first + count; ++i) {
      uint8_t frame[SIVO_MAX_FRAME_BYTES];
      int32_t type = 0, bytes = 0;
      sivo_encode_frame(enc, &speech_[i * kFrame], frame, &type, &bytes);
      if (i >= first) out.insert(out.end(), frame, frame + bytes);
    }
    sivo_encoder_close(&enc);
    return out;
  }
  auenc_state* encoder(uint32_t ptime) {
    auenc_state* st = nullptr;
    auenc_param prm = {ptime, 0};
    EXPECT_EQ(registered->encupdh(&st, registered, &prm, nullptr), 0);
    return st;
  }
  audec_state* decoder() {
    audec_state* st = nullptr;
    EXPECT_EQ(registered->decupdh(&st, registered, nullptr), 0);
    return st;
  }
  std::vector<int16_t> decode(audec_state* st, const std::vector<uint8_t>& payload,
                              size_t room = 24 * kFrame) {
    std::vector<int16_t> out(room);
    size_t count = room;
    EXPECT_EQ(registered->dech(st, AUFMT_S16LE, out.data(), &count, false, payload.data(),
                               payload.size()),
              0);
    out.resize(count);
    return out;
  }

  void* module_ = nullptr;
  const struct mod_export* exports_ = nullptr;
  std::vector<int16_t> speech_;
};

// The codec's decoder, driven frame by frame: -1 conceals a lost frame.
std::vector<int16_t> reference_decode(const std::vector<uint8_t>& stream,
                                      const std::vector<int>& plan, bool postfilter) {
  sivo_decoder* dec = nullptr;
  sivo_decoder_open(&dec);
  sivo_decoder_set_filter_mode(dec, postfilter ? 1 : 0);
  std::vector<int16_t> out;
  for (int offset : plan) {
    int16_t pcm[kFrame];
    int32_t type = 0, bytes = 0;
    sivo_decode_frame(dec, offset < 0 ? nullptr : &stream[offset], pcm,
                      offset < 0 ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL, &type, &bytes);
    out.insert(out.end(), pcm, pcm + kFrame);
  }
  sivo_decoder_close(&dec);
  return out;
}

TEST_F(BaresipModule, ConfigLinesSetRateAndPostFilterOrStopTheModule) {
  struct Case {
    const char* config;
    int rate;  // -1: the module refuses to load
    bool postfilter;
    const char* warning;
  };
  const Case cases[] = {
      {"", 0, true, nullptr},
      {"sivo_rate 3\n", 3, true, nullptr},
      {"sivo_rate 2\nsivo_postfilter no\n", 2, false, nullptr},
      {"sivo_rate 1\nsivo_postfilter yes\n", 1, true, nullptr},
      {"sivo_rate 7\n", -1, true, "config line 'sivo_rate 7': the rate is 0, 1, 2 or 3"},
      {"sivo_rate 12\n", -1, true, "'sivo_rate 12'"},
      {"sivo_rate one\n", -1, true, "'sivo_rate one'"},
      {"sivo_postfilter maybe\n", -1, true, "'sivo_postfilter maybe': the value is yes or no"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.config);
    warnings.clear();
    const int status = load(c.config);
    if (c.rate < 0) {
      EXPECT_NE(status, 0);
      EXPECT_EQ(registered, nullptr);
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_NE(warnings[0].find(c.warning), std::string::npos) << warnings[0];
      continue;
    }
    ASSERT_EQ(status, 0);
    ASSERT_NE(registered, nullptr);
    EXPECT_STREQ(registered->name, "SIVO");
    EXPECT_EQ(registered->pt, nullptr);  // a dynamic payload type
    EXPECT_EQ(registered->srate, 8000u);
    EXPECT_EQ(registered->crate, 8000u);
    EXPECT_EQ(registered->ch, 1);
    EXPECT_EQ(registered->pch, 1);
    EXPECT_EQ(registered->ptime, 30u);

    auenc_state* enc = encoder(30);
    uint8_t packet[256];
    size_t len = sizeof packet;
    bool marker = false;
    ASSERT_EQ(registered->ench(enc, &marker, packet, &len, AUFMT_S16LE, speech_.data(), kFrame), 0);
    EXPECT_EQ(std::vector<uint8_t>(packet, packet + len), frames(c.rate, 0, 1));
    audec_state* dec = decoder();
    EXPECT_EQ(decode(dec, frames(c.rate, 0, 1)),
              reference_decode(frames(c.rate, 0, 1), {0}, c.postfilter));
    mem_deref(enc);
    mem_deref(dec);
    exports_->close();
  }
}

TEST_F(BaresipModule, EncoderPacksWholeFramesOfAnyBlockSize) {
  ASSERT_EQ(load("sivo_rate 1\n"), 0);
  struct Case {
    size_t block;    // samples per ench call
    uint32_t ptime;  // the negotiated packet time
    size_t frames_per_packet;
  };
  const Case cases[] = {{240, 30, 1}, {160, 20, 1}, {100, 30, 1}, {1, 30, 1},   {240, 60, 2},
                        {480, 60, 2}, {240, 90, 3}, {960, 120, 4}, {240, 200, 4}};
  const size_t total = 13 * kFrame + 100;  // ends inside a frame
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << "block " << c.block << ", ptime " << c.ptime);
    auenc_state* enc = encoder(c.ptime);
    std::vector<uint8_t> sent;
    size_t packets = 0;
    bool first_marked = false;
    for (size_t at = 0; at < total; at += c.block) {
      uint8_t packet[1024];
      size_t len = sizeof packet;
      bool marker = at == 0;  // baresip marks the first block of a stream
      const size_t count = std::min(c.block, total - at);
      ASSERT_EQ(registered->ench(enc, &marker, packet, &len, AUFMT_S16LE, &speech_[at], count), 0);
      if (len == 0) continue;
      EXPECT_EQ(len, c.frames_per_packet * kBytes[1]);
      if (packets++ == 0) first_marked = marker;
      sent.insert(sent.end(), packet, packet + len);
    }
    EXPECT_TRUE(first_marked);
    EXPECT_EQ(packets, 13 / c.frames_per_packet);
    EXPECT_EQ(sent, frames(1, 0, packets * c.frames_per_packet));
    mem_deref(enc);
  }
}

TEST_F(BaresipModule, EncoderKeepsANegotiatedPacketTimeWhenBaresipRestatesItsOwn) {
  ASSERT_EQ(load(""), 0);
  auenc_state* enc = encoder(60);
  uint8_t packet[256];
  size_t len = sizeof packet;
  ASSERT_EQ(registered->ench(enc, nullptr, packet, &len, AUFMT_S16LE, speech_.data(), kFrame), 0);
  EXPECT_EQ(len, 0u);
  auenc_param prm = {30, 0};  // baresip restarting the stream with the codec's own ptime
  ASSERT_EQ(registered->encupdh(&enc, registered, &prm, nullptr), 0);
  len = sizeof packet;
  ASSERT_EQ(registered->ench(enc, nullptr, packet, &len, AUFMT_S16LE, &speech_[kFrame], kFrame), 0);
  EXPECT_EQ(std::vector<uint8_t>(packet, packet + len), frames(0, 0, 2));
  prm.ptime = 90;
  ASSERT_EQ(registered->encupdh(&enc, registered, &prm, nullptr), 0);
  for (size_t i = 2; i < 5; ++i) {
    len = sizeof packet;
    ASSERT_EQ(
        registered->ench(enc, nullptr, packet, &len, AUFMT_S16LE, &speech_[i * kFrame], kFrame), 0);
  }
  EXPECT_EQ(std::vector<uint8_t>(packet, packet + len), frames(0, 2, 3));
  len = sizeof packet;
  EXPECT_EQ(registered->ench(enc, nullptr, packet, &len, AUFMT_FLOAT, speech_.data(), kFrame),
            ENOTSUP);
  mem_deref(enc);
}

TEST_F(BaresipModule, DecoderSplitsPayloadsAndConcealsWhatIsMissing) {
  ASSERT_EQ(load(""), 0);
  const std::vector<uint8_t> s = frames(0, 0, 8);  // eight 24-byte frames
  auto at = [&](int i) { return std::vector<uint8_t>(s.begin() + 24 * i, s.begin() + 24 * i + 24); };
  auto join = [](std::initializer_list<std::vector<uint8_t>> parts) {
    std::vector<uint8_t> out;
    for (const auto& p : parts) out.insert(out.end(), p.begin(), p.end());
    return out;
  };
  const std::vector<uint8_t> reserved6 = {0x06, 1, 2, 3, 4}, reserved7 = {0x07};
  const std::vector<uint8_t> invalid = {0x04, 9, 9}, cut(s.begin() + 24 * 7, s.begin() + 24 * 7 + 10);
  std::vector<uint8_t> damaged(24, 0xFF);
  damaged[0] = 0xF8;  // type 0 with every index at its largest: the pitch lag is impossible
  {
    sivo_decoder* check = nullptr;
    sivo_decoder_open(&check);
    int16_t pcm[kFrame];
    int32_t type = 0, bytes = 0;
    ASSERT_EQ(sivo_decode_frame(check, damaged.data(), pcm, SIVO_DECODE_NORMAL, &type, &bytes),
              SIVO_DAMAGED_FRAME);
    sivo_decoder_close(&check);
  }
  const std::vector<uint8_t> stream = join({s, damaged});  // frame 8 is the damaged one
  struct Packet {
    std::vector<uint8_t> payload;
    std::vector<int> plan;  // frame offsets in `stream` decoded, -1 concealed
    const char* warning;
  };
  const Packet packets[] = {
      {at(0), {0}, nullptr},
      {join({at(1), at(2)}), {24, 48}, nullptr},
      {join({at(3), reserved6, reserved7, at(4)}), {72, 96}, nullptr},
      // Cut short after one frame: the second of a two-frame packet is concealed.
      {join({at(5), invalid}), {120, -1},
       "invalid frame type 4 (first byte 0x04) at byte 24 of a 27-byte RTP payload"},
      {join({at(6), cut}), {144, -1},
       "truncated frame at byte 24 of a 34-byte RTP payload: type 0 needs 24 bytes, 10 remain"},
      {join({damaged, at(7)}), {192, 168}, nullptr},
      {{0x05}, {-1, -1}, "invalid frame type 5 (first byte 0x05) at byte 0"},
  };
  audec_state* dec = decoder();
  std::vector<int> plan;
  std::vector<int16_t> got;
  for (const Packet& p : packets) {
    warnings.clear();
    const auto out = decode(dec, p.payload);
    EXPECT_EQ(out.size(), p.plan.size() * kFrame);
    got.insert(got.end(), out.begin(), out.end());
    plan.insert(plan.end(), p.plan.begin(), p.plan.end());
    if (p.warning) {
      ASSERT_EQ(warnings.size(), 1u);
      EXPECT_NE(warnings[0].find(p.warning), std::string::npos) << warnings[0];
    } else {
      EXPECT_TRUE(warnings.empty());
    }
  }
  // A lost packet: one packet's worth (two frames) concealed.
  std::vector<int16_t> lost(24 * kFrame);
  size_t count = lost.size();
  ASSERT_EQ(registered->plch(dec, AUFMT_S16LE, lost.data(), &count, nullptr, 0), 0);
  EXPECT_EQ(count, 2 * kFrame);
  got.insert(got.end(), lost.begin(), lost.begin() + count);
  plan.insert(plan.end(), {-1, -1});
  // No more frames than the room holds.
  warnings.clear();
  EXPECT_EQ(decode(dec, join({at(0), at(1), at(2)}), 2 * kFrame).size(), 2 * kFrame);
  EXPECT_EQ(warnings.size(), 1u);
  mem_deref(dec);

  EXPECT_EQ(got, reference_decode(stream, plan, true));
  ASSERT_FALSE(notes.empty());
  EXPECT_NE(notes.back().find("11 frames decoded, 6 concealed, 1 damaged, 2 reserved skipped, "
                              "3 payloads cut short"),
            std::string::npos)
      << notes.back();
}

TEST_F(BaresipModule, DecoderReportsTheFirstBadPayloadsThenCountsThem) {
  ASSERT_EQ(load(""), 0);
  audec_state* dec = decoder();
  for (int i = 0; i < 8; ++i) decode(dec, {0x04});
  EXPECT_EQ(warnings.size(), 6u);  // five reports and a note that the rest are counted
  EXPECT_NE(warnings.back().find("further bad payloads are counted"), std::string::npos);
  mem_deref(dec);
  EXPECT_NE(notes.back().find("8 payloads cut short"), std::string::npos) << notes.back();
}

}  // namespace
