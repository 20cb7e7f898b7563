// The GStreamer elements in real pipelines: the encoder and the parser with
// the decoder against the sivo program, byte for byte and sample for sample;
// a loopback call over UDP with dropped packets against the codec's own
// concealment; and a live pipeline with its reported latency.
#include <gst/check/gstharness.h>
#include <gst/gst.h>
#include <gst/rtp/gstrtpbuffer.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <mutex>
#include <random>
#include <string>
#include <vector>

#include "sivocore.h"
#include "speech.h"

namespace {

namespace fs = std::filesystem;
using bytes = std::vector<uint8_t>;
using samples = std::vector<int16_t>;

constexpr size_t kFrame = SIVO_FRAME_SAMPLES;
constexpr int kFrameBytes[8] = {24, 31, 19, 45, 0, 0, 5, 1};

fs::path work_dir() { return SIVO_GST_WORK_DIR; }

bytes read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return bytes(std::istreambuf_iterator<char>(in), {});
}

void write_all(const fs::path& path, const bytes& data) {
  std::ofstream out(path, std::ios::binary);
  out.write(reinterpret_cast<const char*>(data.data()), static_cast<std::streamsize>(data.size()));
}

void put_le(bytes& b, uint32_t v, int width) {
  for (int i = 0; i < width; ++i) b.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

void write_wav(const fs::path& path, const samples& pcm) {
  bytes w = {'R', 'I', 'F', 'F'};
  put_le(w, static_cast<uint32_t>(36 + 2 * pcm.size()), 4);
  for (char c : std::string("WAVEfmt ")) w.push_back(static_cast<uint8_t>(c));
  for (uint32_t v : {16u, 1u | (1u << 16), 8000u, 16000u, 2u | (16u << 16)}) put_le(w, v, 4);
  for (char c : std::string("data")) w.push_back(static_cast<uint8_t>(c));
  put_le(w, static_cast<uint32_t>(2 * pcm.size()), 4);
  for (int16_t s : pcm) put_le(w, static_cast<uint16_t>(s), 2);
  write_all(path, w);
}

// The samples of a 16-bit WAV file, found by walking its chunks.
samples read_wav(const fs::path& path) {
  const bytes w = read_all(path);
  size_t at = 12;
  while (at + 8 <= w.size()) {
    const uint32_t size = w[at + 4] | w[at + 5] << 8 | w[at + 6] << 16 | uint32_t(w[at + 7]) << 24;
    if (std::string(w.begin() + at, w.begin() + at + 4) == "data") {
      samples out;
      for (size_t i = at + 8; i + 1 < w.size() && i + 1 < at + 8 + size; i += 2) {
        out.push_back(static_cast<int16_t>(w[i] | w[i + 1] << 8));
      }
      return out;
    }
    at += 8 + size + (size & 1);
  }
  ADD_FAILURE() << path << " has no data chunk";
  return {};
}

int run_sivo(const std::string& args) {
  return std::system((std::string(SIVO_PATH) + " " + args + " 2>/dev/null").c_str());
}

// The codec's own encoding of `pcm` padded with silence to whole frames,
// at the rate `rate_of(frame index)`.
template <typename RateOf>
bytes encode_reference(samples pcm, RateOf rate_of) {
  pcm.resize((pcm.size() + kFrame - 1) / kFrame * kFrame, 0);
  sivo_encoder* encoder = nullptr;
  sivo_encoder_open(&encoder);
  bytes out;
  for (size_t f = 0; f * kFrame < pcm.size(); ++f) {
    sivo_encoder_set_comp_rate(encoder, rate_of(f));
    uint8_t frame[SIVO_MAX_FRAME_BYTES];
    int32_t type = 0, length = 0;
    sivo_encode_frame(encoder, pcm.data() + f * kFrame, frame, &type, &length);
    out.insert(out.end(), frame, frame + length);
  }
  sivo_encoder_close(&encoder);
  return out;
}

// The end of one pipeline run: the error (empty if none) and the warnings.
struct run_result {
  bool finished = false;  // reached end of stream
  std::string error;
  std::string warnings;
};

std::string describe(GstMessage* message) {
  GError* error = nullptr;
  gchar* debug = nullptr;
  if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) {
    gst_message_parse_error(message, &error, &debug);
  } else {
    gst_message_parse_warning(message, &error, &debug);
  }
  std::string text = error ? error->message : "";
  g_clear_error(&error);
  g_free(debug);
  return text;
}

// Waits for the end of stream or an error, at most `seconds`.
run_result wait_for_end(GstElement* pipeline, double seconds) {
  run_result result;
  GstBus* bus = gst_element_get_bus(pipeline);
  const GstClockTime deadline = gst_util_get_timestamp() + GstClockTime(seconds * GST_SECOND);
  while (!result.finished && result.error.empty()) {
    const GstClockTime now = gst_util_get_timestamp();
    if (now >= deadline) {
      result.error = "timed out";
      break;
    }
    GstMessage* message = gst_bus_timed_pop_filtered(
        bus, deadline - now,
        GstMessageType(GST_MESSAGE_EOS | GST_MESSAGE_ERROR | GST_MESSAGE_WARNING));
    if (!message) continue;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_EOS) result.finished = true;
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_ERROR) result.error = describe(message);
    if (GST_MESSAGE_TYPE(message) == GST_MESSAGE_WARNING)
      result.warnings += describe(message) + "\n";
    gst_message_unref(message);
  }
  gst_object_unref(bus);
  return result;
}

GstElement* launch(const std::string& description) {
  GError* error = nullptr;
  GstElement* pipeline = gst_parse_launch(description.c_str(), &error);
  EXPECT_EQ(error, nullptr) << description << ": " << (error ? error->message : "");
  g_clear_error(&error);
  return pipeline;
}

run_result run(const std::string& description, double seconds = 30) {
  GstElement* pipeline = launch(description);
  if (!pipeline) return {false, "no pipeline", ""};
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  run_result result = wait_for_end(pipeline, seconds);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(pipeline);
  return result;
}

GstElement* child(GstElement* pipeline, const char* name) {
  return gst_bin_get_by_name(GST_BIN(pipeline), name);  // caller unrefs
}

class GstElements : public ::testing::Test {
 protected:
  // The system's plugins are scanned by GStreamer's own helper process into
  // a registry of this build's; the plugin under test is loaded into this
  // process directly, so an instrumented build loads beside its runtime.
  static void SetUpTestSuite() {
    g_setenv("GST_REGISTRY", SIVO_GST_WORK_DIR "/registry.bin", TRUE);
    fs::create_directories(SIVO_GST_WORK_DIR);
    gst_init(nullptr, nullptr);
    GError* error = nullptr;
    GstPlugin* plugin = gst_plugin_load_file(SIVO_GST_PLUGIN_DIR "/libgstsivo.so", &error);
    if (plugin) gst_object_unref(plugin);
    if (error) std::fprintf(stderr, "loading the plugin: %s\n", error->message);
    g_clear_error(&error);
  }
  void SetUp() override {
    GstPlugin* plugin = gst_registry_find_plugin(gst_registry_get(), "sivo");
    if (!plugin) GTEST_FAIL() << "the sivo plugin did not load";
    gst_object_unref(plugin);
    dir_ = work_dir() / ::testing::UnitTest::GetInstance()->current_test_info()->name();
    fs::create_directories(dir_);
  }
  fs::path dir_;
};

// filesrc ! wavparse ! sivoenc writes what `sivo encode` writes, and what the
// codec itself writes for the input padded with silence to whole frames.
TEST_F(GstElements, EncoderWritesTheBytesOfTheCommand) {
  const samples speech = sivo::test::load_raw("hts1a.raw");  // exactly 100 frames
  ASSERT_EQ(speech.size(), 100 * kFrame);
  struct encode_case {
    size_t samples;
    int rate;
  };
  const encode_case cases[] = {{100 * kFrame, 0}, {100 * kFrame, 1},      {100 * kFrame, 2},
                               {100 * kFrame, 3}, {90 * kFrame + 100, 1}, {90 * kFrame + 100, 3}};
  for (const encode_case& c : cases) {
    SCOPED_TRACE("rate " + std::to_string(c.rate) + ", " + std::to_string(c.samples) + " samples");
    const samples input(speech.begin(), speech.begin() + static_cast<long>(c.samples));
    const fs::path wav = dir_ / "enc_in.wav", ours = dir_ / "enc_gst.siv",
                   theirs = dir_ / "enc_cli.siv";
    write_wav(wav, input);
    const run_result r = run("filesrc location=" + wav.string() + " ! wavparse ! sivoenc rate=" +
                             std::to_string(c.rate) + " ! filesink location=" + ours.string());
    ASSERT_TRUE(r.finished) << r.error;
    ASSERT_EQ(run_sivo("encode -q -r " + std::to_string(c.rate) + " " + wav.string() + " " +
                       theirs.string()),
              0);
    const bytes gst = read_all(ours), cli = read_all(theirs);
    EXPECT_EQ(gst, encode_reference(input, [&](size_t) { return c.rate; }));
    if (c.samples % kFrame == 0 || cli.size() == gst.size()) {
      EXPECT_EQ(gst, cli);
    } else {
      // A command that still drops the partial last frame writes all but it.
      ASSERT_EQ(cli.size() + kFrameBytes[c.rate], gst.size());
      EXPECT_TRUE(std::equal(cli.begin(), cli.end(), gst.begin()));
      std::printf("note: sivo encode drops the last partial frame; sivoenc pads it\n");
    }
  }
}

// Rate changes while playing apply from the next frame; the mixed stream
// decodes with the command, and sivoparse ! sivodec plays exactly its samples.
TEST_F(GstElements, RateChangesWhilePlayingDecodeWithTheCommand) {
  const samples speech = sivo::test::load_raw("hts1a.raw");
  const fs::path wav = dir_ / "mixed_in.wav", siv = dir_ / "mixed.siv";
  write_wav(wav, speech);
  const std::map<size_t, int> schedule = {{10, 3}, {25, 2}, {40, 1}, {60, 0}, {61, 3}};
  auto rate_of = [&](size_t frame) {
    int rate = 0;
    for (const auto& [from, r] : schedule) {
      if (frame >= from) rate = r;
    }
    return rate;
  };
  GstElement* pipeline =
      launch("filesrc location=" + wav.string() +
             " ! wavparse ! sivoenc name=enc ! filesink location=" + siv.string());
  ASSERT_NE(pipeline, nullptr);
  GstElement* enc = child(pipeline, "enc");
  GstPad* src = gst_element_get_static_pad(enc, "src");
  struct probe_state {
    GstElement* enc;
    const std::map<size_t, int>* schedule;
    size_t pushed = 0;
  } state{enc, &schedule};
  // Runs as frame `pushed - 1` leaves the encoder, before the next is coded.
  gst_pad_add_probe(
      src, GST_PAD_PROBE_TYPE_BUFFER,
      [](GstPad*, GstPadProbeInfo*, gpointer data) {
        auto* s = static_cast<probe_state*>(data);
        const auto next = s->schedule->find(++s->pushed);
        if (next != s->schedule->end()) g_object_set(s->enc, "rate", next->second, nullptr);
        return GST_PAD_PROBE_OK;
      },
      &state, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  const run_result r = wait_for_end(pipeline, 30);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  gst_object_unref(src);
  gst_object_unref(enc);
  gst_object_unref(pipeline);
  ASSERT_TRUE(r.finished) << r.error;
  const bytes stream = read_all(siv);
  EXPECT_EQ(stream, encode_reference(speech, rate_of));
  ASSERT_EQ(run_sivo("decode -q " + siv.string() + " " + (dir_ / "mixed_cli.wav").string()), 0);
  EXPECT_EQ(read_wav(dir_ / "mixed_cli.wav").size(), speech.size());
}

// A stream with bytes appended or changed at one frame boundary.
bytes with_insert(bytes stream, size_t at, const bytes& extra) {
  stream.insert(stream.begin() + static_cast<long>(at), extra.begin(), extra.end());
  return stream;
}

// sivoparse ! sivodec gives exactly the samples of `sivo decode` (which keeps
// what precedes a fault), and reports bad bytes with what and where.
TEST_F(GstElements, ParserAndDecoderPlayWhatTheCommandDecodes) {
  const samples speech = sivo::test::load_raw("hts2a.raw");
  const bytes rate1 = encode_reference(speech, [](size_t f) { return int(f * 7 % 4); });
  // Frames 0, 1, 2 are at rates 0, 3, 2; frame 3 (rate 1) starts here.
  const size_t third = size_t(kFrameBytes[0] + kFrameBytes[3] + kFrameBytes[2]);
  bytes damaged = rate1;       // frame 3's first lag code set to 127, beyond the last lag
  damaged[third + 3] |= 0xF8;  // lag code of the first half frame 124 or more
  damaged[third + 4] |= 0x03;
  struct decode_case {
    const char* name;
    bytes stream;
    bool postfilter;
    std::string error;    // expected in the stream error, or empty
    const char* warning;  // expected in a warning, or null
    bool speech = true;   // the stream holds speech frames
  };
  const decode_case cases[] = {
      {"mixed rates", rate1, true, "", nullptr},
      {"without post-filter", rate1, false, "", nullptr},
      {"reserved frames", with_insert(with_insert(rate1, third, {0x06, 1, 2, 3, 4}), 24, {0x07}),
       true, "", nullptr},
      {"damaged frame", damaged, true, "", nullptr},
      {"truncated last frame", bytes(rate1.begin(), rate1.end() - 10), true, "",
       "truncated frame at byte offset"},
      {"invalid type", with_insert(rate1, third, {0x0D}), true,
       "invalid frame type 5 at byte offset " + std::to_string(third), nullptr},
      // Valid, and no samples to give: an empty output, as the command's.
      {"reserved frames only", {0x07, 0x06, 1, 2, 3, 4, 0x07}, true, "", nullptr, false},
  };
  for (const decode_case& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path siv = dir_ / "dec.siv", ours = dir_ / "dec_gst.wav",
                   theirs = dir_ / "dec_cli.wav";
    write_all(siv, c.stream);
    fs::remove(ours);
    const run_result r =
        run("filesrc location=" + siv.string() + " ! sivoparse ! sivodec postfilter=" +
            (c.postfilter ? "true" : "false") + " ! wavenc ! filesink location=" + ours.string());
    if (!c.error.empty()) {
      EXPECT_NE(r.error.find(c.error), std::string::npos) << "error: " << r.error;
      continue;
    }
    ASSERT_TRUE(r.finished) << r.error;
    if (c.warning) {
      EXPECT_NE(r.warnings.find(c.warning), std::string::npos) << "warnings: " << r.warnings;
    } else {
      EXPECT_EQ(r.warnings, "");
    }
    run_sivo(std::string("decode -q ") + (c.postfilter ? "" : "--no-postfilter ") + siv.string() +
             " " + theirs.string());
    const samples cli = read_wav(theirs);
    EXPECT_EQ(cli.empty(), !c.speech);
    EXPECT_EQ(read_wav(ours), cli);
  }
}

// sivodec alone, fed by hand: frames of rate 0 stamped 30 ms apart.
struct decoder_harness {
  GstHarness* h = gst_harness_new("sivodec");
  GstBus* bus = gst_bus_new();
  decoder_harness() {
    gst_element_set_bus(h->element, bus);
    gst_harness_set_src_caps_str(h, "audio/x-sivo,framed=true,rate=8000,channels=1");
  }
  ~decoder_harness() {
    gst_harness_teardown(h);
    gst_object_unref(bus);
  }
  GstFlowReturn push(const bytes& data, GstClockTime pts, bool discont = false) {
    GstBuffer* buffer = gst_buffer_new_memdup(data.data(), data.size());
    GST_BUFFER_PTS(buffer) = pts;
    GST_BUFFER_DURATION(buffer) = 30 * GST_MSECOND;
    if (discont) GST_BUFFER_FLAG_SET(buffer, GST_BUFFER_FLAG_DISCONT);
    return gst_harness_push(h, buffer);
  }
};

// A gap in the timestamps, a GAP event and a lost packet reported straight to
// the decoder each become the codec's concealment of every missing 30 ms,
// stamped where the missing frames were.
TEST_F(GstElements, DecoderConcealsEveryMissingFrame) {
  const bytes stream =
      encode_reference(sivo::test::load_raw("hts1a.raw"), [](size_t) { return 0; });
  auto frame = [&](size_t f) {
    return bytes(stream.begin() + 24 * f, stream.begin() + 24 * (f + 1));
  };
  const GstClockTime gap_start = 5 * 30 * GST_MSECOND, gap_length = 2 * 30 * GST_MSECOND;
  enum class gap_kind { timestamps, gap_event, lost_packet };
  for (gap_kind kind : {gap_kind::timestamps, gap_kind::gap_event, gap_kind::lost_packet}) {
    SCOPED_TRACE(int(kind));
    decoder_harness dec;
    samples output;
    auto drain = [&] {  // takes the output so far; checks that it is stamped end to end
      while (GstBuffer* out = gst_harness_try_pull(dec.h)) {
        EXPECT_EQ(GST_BUFFER_PTS(out), output.size() / kFrame * 30 * GST_MSECOND);
        const size_t at = output.size();
        output.resize(at + gst_buffer_get_size(out) / 2);
        gst_buffer_extract(out, 0, output.data() + at, gst_buffer_get_size(out));
        gst_buffer_unref(out);
      }
    };
    for (size_t f = 0; f < 5; ++f) ASSERT_EQ(dec.push(frame(f), f * 30 * GST_MSECOND), GST_FLOW_OK);
    if (kind == gap_kind::gap_event) {
      gst_harness_push_event(dec.h, gst_event_new_gap(gap_start, gap_length));
    } else if (kind == gap_kind::lost_packet) {
      gst_harness_push_event(
          dec.h, gst_event_new_custom(
                     GST_EVENT_CUSTOM_DOWNSTREAM,
                     gst_structure_new("GstRTPPacketLost", "timestamp", G_TYPE_UINT64, gap_start,
                                       "duration", G_TYPE_UINT64, gap_length, nullptr)));
    }
    drain();  // a reported loss is concealed at once, not when the next frame comes
    EXPECT_EQ(output.size(), (kind == gap_kind::timestamps ? 5 : 7) * kFrame);
    for (size_t f = 7; f < 10; ++f) {
      ASSERT_EQ(dec.push(frame(f), f * 30 * GST_MSECOND, f == 7), GST_FLOW_OK);
    }
    drain();
    sivo_decoder* reference = nullptr;
    sivo_decoder_open(&reference);
    samples expected(10 * kFrame);
    for (size_t f = 0; f < 10; ++f) {
      int32_t type = 0, length = 0;
      sivo_decode_frame(reference, frame(f).data(), expected.data() + f * kFrame,
                        f == 5 || f == 6 ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL, &type, &length);
    }
    sivo_decoder_close(&reference);
    EXPECT_EQ(output, expected);
    guint64 concealed = 0;
    g_object_get(dec.h->element, "concealed-frames", &concealed, nullptr);
    EXPECT_EQ(concealed, 2u);
  }
}

// rtpsivopay fed by hand: buffers of frames of the given types, stamped
// end to end; returns the payload of every packet sent up to the end of the
// stream, and the text of the error that stopped it (empty if none).
struct pay_outcome {
  std::vector<bytes> payloads;
  std::string error;
};

pay_outcome run_payloader(guint mtu, guint64 max_ptime_ms,
                          const std::vector<std::vector<int>>& buffers) {
  pay_outcome outcome;
  GstHarness* h = gst_harness_new("rtpsivopay");
  GstBus* bus = gst_bus_new();
  gst_element_set_bus(h->element, bus);
  g_object_set(h->element, "mtu", mtu, "max-ptime", gint64(max_ptime_ms * GST_MSECOND), nullptr);
  gst_harness_set_src_caps_str(h, "audio/x-sivo,framed=true,rate=8000,channels=1");
  GstClockTime pts = 0;
  for (const std::vector<int>& types : buffers) {
    bytes data;
    guint64 speech = 0;
    for (int type : types) {
      const size_t length = size_t(kFrameBytes[type]);
      data.push_back(uint8_t(type));
      data.resize(data.size() + length - 1, uint8_t(0x5a));
      speech += type <= 3;
    }
    GstBuffer* buffer =
        data.empty() ? gst_buffer_new() : gst_buffer_new_memdup(data.data(), data.size());
    GST_BUFFER_PTS(buffer) = pts;
    pts += speech * 30 * GST_MSECOND;
    if (gst_harness_push(h, buffer) != GST_FLOW_OK) break;
  }
  gst_harness_push_event(h, gst_event_new_eos());
  while (GstBuffer* packet = gst_harness_try_pull(h)) {
    EXPECT_LE(gst_buffer_get_size(packet), mtu);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    if (gst_rtp_buffer_map(packet, GST_MAP_READ, &rtp)) {
      const auto* payload = static_cast<const uint8_t*>(gst_rtp_buffer_get_payload(&rtp));
      outcome.payloads.emplace_back(payload, payload + gst_rtp_buffer_get_payload_len(&rtp));
      gst_rtp_buffer_unmap(&rtp);
    }
    gst_buffer_unref(packet);
  }
  if (GstMessage* message = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR)) {
    outcome.error = describe(message);
    gst_message_unref(message);
  }
  gst_harness_teardown(h);
  gst_object_unref(bus);
  return outcome;
}

// Every packet fits the MTU and holds whole frames, in order, at most a
// packet time's worth of speech, however the frames come in buffers; a frame
// that no packet can hold ends the stream with a message naming the MTU.
TEST_F(GstElements, PayloaderKeepsPacketsWithinTheMtu) {
  struct pay_case {
    const char* name;
    guint mtu;
    guint64 max_ptime_ms;
    std::vector<std::vector<int>> buffers;  // frame types of each buffer
    std::vector<size_t> payload_sizes;
    std::string error;
  };
  const pay_case cases[] = {
      {"frame by frame", 1400, 90, {{0}, {0}, {0}, {0}, {0}, {0}}, {72, 72}, ""},
      {"MTU below a packet time", 12 + 50, 90, {{0}, {0}, {0}, {0}, {0}, {0}}, {48, 48, 48}, ""},
      {"one buffer of many frames", 12 + 50, 90, {{0, 0, 0, 0, 0, 0, 0}}, {48, 48, 48, 24}, ""},
      {"one buffer, several packet times", 1400, 60, {{1, 1, 1, 1, 1}}, {62, 62, 31}, ""},
      {"reserved frames ride along", 12 + 30, 90, {{7, 2}, {6, 2, 7}}, {25, 20}, ""},
      {"MTU below one frame", 12 + 30, 90, {{2}, {3}, {2}}, {19},
       "a frame of type 3 (45 bytes) at 0:00:00.030000000 does not fit a packet: the MTU of 42 "
       "bytes leaves 30 bytes of payload"},
  };
  for (const pay_case& c : cases) {
    SCOPED_TRACE(c.name);
    const pay_outcome got = run_payloader(c.mtu, c.max_ptime_ms, c.buffers);
    std::vector<size_t> sizes;
    for (const bytes& p : got.payloads) sizes.push_back(p.size());
    EXPECT_EQ(sizes, c.payload_sizes);
    if (c.error.empty()) {
      EXPECT_EQ(got.error, "");
    } else {
      EXPECT_NE(got.error.find(c.error), std::string::npos) << got.error;
    }
    // The frames come out whole and in order: each packet starts a frame.
    for (const bytes& p : got.payloads) {
      size_t at = 0;
      while (at < p.size()) {
        const int type = p[at] & 7;
        at += size_t(kFrameBytes[type]);
      }
      EXPECT_EQ(at, p.size());
    }
  }

  // Random frames in random buffers, random MTUs and packet times: every
  // frame arrives once, in order, whole, in packets within the MTU and the
  // packet time, unless a frame does not fit the MTU at all.
  std::mt19937 random(23);
  for (int run = 0; run < 300; ++run) {
    const guint mtu = 28 + random() % 100;  // the smallest MTU the payloader takes: 28
    const guint64 ptime_ms = 30 * (1 + random() % 4);
    std::vector<std::vector<int>> buffers(1 + random() % 6);
    std::vector<int> sent;
    for (auto& types : buffers) {
      types.resize(random() % 5);
      for (int& type : types) type = std::vector<int>{0, 1, 2, 3, 6, 7}[random() % 6];
      sent.insert(sent.end(), types.begin(), types.end());
    }
    SCOPED_TRACE("run " + std::to_string(run) + ", MTU " + std::to_string(mtu));
    const pay_outcome got = run_payloader(mtu, ptime_ms, buffers);
    std::vector<int> received;
    for (const bytes& p : got.payloads) {
      size_t speech = 0;
      for (size_t at = 0; at < p.size(); at += size_t(kFrameBytes[p[at] & 7])) {
        received.push_back(p[at] & 7);
        speech += (p[at] & 7) <= 3;
        EXPECT_TRUE(std::all_of(p.begin() + long(at) + 1,
                                p.begin() + long(at + size_t(kFrameBytes[p[at] & 7])),
                                [](uint8_t b) { return b == 0x5a; }));
      }
      EXPECT_LE(speech, ptime_ms / 30);
    }
    const auto too_big = std::find_if(sent.begin(), sent.end(), [&](int type) {
      return size_t(kFrameBytes[type]) > mtu - 12;
    });
    EXPECT_EQ(got.error.empty(), too_big == sent.end()) << got.error;
    // Up to the first frame no packet can hold, everything arrives.
    EXPECT_EQ(received, std::vector<int>(sent.begin(), too_big));
  }
}

// rtpsivodepay fed RTP packets by hand, its frames then decoded by sivodec:
// each frame stamped 30 ms after the speech frame before it (a reserved
// frame takes no time), a bad frame named with the packet and dropped with
// the rest of its packet, reserved frames skipped and a damaged one
// concealed as the codec conceals it.
TEST_F(GstElements, DepayloaderStampsReservedAndDamagedFrames) {
  const samples speech = sivo::test::load_raw("hts1a.raw");
  const bytes rate0 = encode_reference(speech, [](size_t) { return 0; });
  const bytes rate1 = encode_reference(speech, [](size_t) { return 1; });
  auto frame = [](const bytes& stream, size_t length, size_t f) {
    return bytes(stream.begin() + length * f, stream.begin() + length * (f + 1));
  };
  bytes damaged = frame(rate1, 31, 3);
  damaged[3] |= 0xF8;  // the first lag code beyond the last lag
  damaged[4] |= 0x03;
  const bytes r6 = {0x06, 1, 2, 3, 4}, r7 = {0x07}, bad = {0x04};
  struct packet_case {
    const char* name;
    std::vector<bytes> frames;             // the payload, frame by frame
    std::vector<int> pts_ms, duration_ms;  // of each frame out, from the packet's time
    std::string warning;                   // expected in the warning, or empty
  };
  const packet_case cases[] = {
      {"speech and reserved frames",
       {frame(rate0, 24, 0), r6, frame(rate0, 24, 1), r7, frame(rate0, 24, 2)},
       {0, 30, 30, 60, 60},
       {30, 0, 30, 0, 30},
       ""},
      {"a damaged frame", {frame(rate1, 31, 2), damaged, frame(rate1, 31, 4)}, {0, 30, 60},
       {30, 30, 30}, ""},
      {"an invalid type", {frame(rate0, 24, 3), bad, frame(rate0, 24, 4)}, {0}, {30},
       "invalid frame type 4 at byte offset 24, in the payload of RTP packet 7 (timestamp 2400); "
       "the rest of the packet is dropped"},
      {"a frame cut by the packet's end",
       {frame(rate0, 24, 5), bytes(rate0.begin() + 24 * 6, rate0.begin() + 24 * 6 + 10)},
       {0},
       {30},
       "truncated frame at byte offset 24: type 0 needs 24 bytes, 10 bytes remain, in the "
       "payload of RTP packet 7 (timestamp 2400)"},
  };
  GstClockTime packet_pts = GST_SECOND;
  std::vector<GstBuffer*> received;  // every frame out, in order
  for (const packet_case& c : cases) {
    SCOPED_TRACE(c.name);
    GstHarness* h = gst_harness_new("rtpsivodepay");
    GstBus* bus = gst_bus_new();
    gst_element_set_bus(h->element, bus);
    gst_harness_set_src_caps_str(
        h, "application/x-rtp,media=audio,clock-rate=8000,encoding-name=SIVO,payload=96");
    bytes payload;
    for (const bytes& f : c.frames) payload.insert(payload.end(), f.begin(), f.end());
    GstBuffer* packet = gst_rtp_buffer_new_allocate(guint(payload.size()), 0, 0);
    GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
    ASSERT_TRUE(gst_rtp_buffer_map(packet, GST_MAP_WRITE, &rtp));
    gst_rtp_buffer_set_payload_type(&rtp, 96);
    gst_rtp_buffer_set_seq(&rtp, 7);
    gst_rtp_buffer_set_timestamp(&rtp, 2400);
    std::copy(payload.begin(), payload.end(),
              static_cast<uint8_t*>(gst_rtp_buffer_get_payload(&rtp)));
    gst_rtp_buffer_unmap(&rtp);
    GST_BUFFER_PTS(packet) = packet_pts;
    EXPECT_EQ(gst_harness_push(h, packet), GST_FLOW_OK);
    std::vector<int> pts_ms, duration_ms;
    GstClockTime next_pts = packet_pts;
    while (GstBuffer* out = gst_harness_try_pull(h)) {
      pts_ms.push_back(int((GST_BUFFER_PTS(out) - packet_pts) / GST_MSECOND));
      duration_ms.push_back(int(GST_BUFFER_DURATION(out) / GST_MSECOND));
      next_pts = GST_BUFFER_PTS(out) + GST_BUFFER_DURATION(out);
      received.push_back(out);
    }
    EXPECT_EQ(pts_ms, c.pts_ms);
    EXPECT_EQ(duration_ms, c.duration_ms);
    GstMessage* warning = gst_bus_pop_filtered(bus, GST_MESSAGE_WARNING);
    EXPECT_EQ(warning != nullptr, !c.warning.empty());
    if (warning) {
      EXPECT_NE(describe(warning).find(c.warning), std::string::npos) << describe(warning);
      gst_message_unref(warning);
    }
    gst_harness_teardown(h);
    gst_object_unref(bus);
    packet_pts = next_pts;  // the next packet follows on: no gap to conceal
  }

  // The frames decoded: reserved ones skipped, the damaged one concealed.
  decoder_harness dec;
  sivo_decoder* reference = nullptr;
  sivo_decoder_open(&reference);
  samples expected, output;
  for (GstBuffer* f : received) {
    bytes data(gst_buffer_get_size(f));
    gst_buffer_extract(f, 0, data.data(), data.size());
    if ((data[0] & 7) <= 3) {
      int16_t pcm[kFrame];
      int32_t type = 0, length = 0;
      sivo_decode_frame(reference, data.data(), pcm, SIVO_DECODE_NORMAL, &type, &length);
      expected.insert(expected.end(), pcm, pcm + kFrame);
    }
    EXPECT_EQ(dec.push(data, GST_BUFFER_PTS(f)), GST_FLOW_OK);
    gst_buffer_unref(f);
  }
  sivo_decoder_close(&reference);
  while (GstBuffer* out = gst_harness_try_pull(dec.h)) {
    const size_t at = output.size();
    output.resize(at + gst_buffer_get_size(out) / 2);
    gst_buffer_extract(out, 0, output.data() + at, gst_buffer_get_size(out));
    gst_buffer_unref(out);
  }
  guint64 reserved = 0, damaged_count = 0;
  g_object_get(dec.h->element, "reserved-frames", &reserved, "damaged-frames", &damaged_count,
               nullptr);
  EXPECT_EQ(reserved, 2u);
  EXPECT_EQ(damaged_count, 1u);
  EXPECT_EQ(output, expected);
}

// Several frames to a buffer: bad bytes end the stream with a message naming
// the frame's type and where it starts.
TEST_F(GstElements, DecoderNamesInvalidBytes) {
  const bytes good = encode_reference(sivo::test::load_raw("hts1a.raw"), [](size_t) { return 0; });
  struct bad_case {
    bytes stream;
    std::string error;
  };
  const bad_case cases[] = {
      {with_insert(good, 48, {0x04}),
       "invalid frame type 4 at byte offset 48, in the buffer at 0:00:01.500000000"},
      {bytes(good.begin(), good.begin() + 24 * 5 + 7),
       "truncated frame at byte offset 120: type 0 needs 24 bytes, 7 bytes remain, in the buffer "
       "at 0:00:01.500000000"},
  };
  for (const bad_case& c : cases) {
    decoder_harness dec;
    EXPECT_EQ(dec.push(c.stream, 1500 * GST_MSECOND), GST_FLOW_ERROR);
    GstMessage* message = gst_bus_pop_filtered(dec.bus, GST_MESSAGE_ERROR);
    ASSERT_NE(message, nullptr);
    EXPECT_NE(describe(message).find(c.error), std::string::npos) << describe(message);
    gst_message_unref(message);
  }
}

uint16_t free_udp_port() {
  const int fd = socket(AF_INET, SOCK_DGRAM, 0);
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address);
  socklen_t length = sizeof address;
  getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length);
  close(fd);
  return ntohs(address.sin_port);
}

// The frames that reached udpsink, by frame index (RTP timestamp / 240).
struct sent_log {
  std::mutex lock;
  std::vector<bool> sent;
  size_t most_per_packet = 0;
};

GstPadProbeReturn log_sent(GstPad*, GstPadProbeInfo* info, gpointer data) {
  auto* log = static_cast<sent_log*>(data);
  GstRTPBuffer rtp = GST_RTP_BUFFER_INIT;
  if (!gst_rtp_buffer_map(GST_PAD_PROBE_INFO_BUFFER(info), GST_MAP_READ, &rtp))
    return GST_PAD_PROBE_OK;
  const size_t first = gst_rtp_buffer_get_timestamp(&rtp) / kFrame;
  const uint8_t* payload = static_cast<const uint8_t*>(gst_rtp_buffer_get_payload(&rtp));
  size_t frames = 0;
  const size_t size = gst_rtp_buffer_get_payload_len(&rtp);
  for (size_t at = 0; at < size && kFrameBytes[payload[at] & 7] > 0;
       at += kFrameBytes[payload[at] & 7]) {
    ++frames;
  }
  gst_rtp_buffer_unmap(&rtp);
  std::lock_guard<std::mutex> guard(log->lock);
  log->most_per_packet = std::max(log->most_per_packet, frames);
  if (log->sent.size() < first + frames) log->sent.resize(first + frames, false);
  for (size_t f = first; f < first + frames; ++f) log->sent[f] = true;
  return GST_PAD_PROBE_OK;
}

// A call over UDP on 127.0.0.1 with a tenth of the packets dropped: the
// output covers the input's duration, and every missing frame is the codec's
// own concealment, exactly as a decoder told of each loss produces it.
TEST_F(GstElements, LoopbackCallConcealsDroppedPackets) {
  const samples speech = sivo::test::load_raw("hts1.raw");  // 6 s: 200 frames
  ASSERT_EQ(speech.size(), 200 * kFrame);
  const fs::path wav = dir_ / "call_in.wav";
  write_wav(wav, speech);
  const bytes frames = encode_reference(speech, [](size_t) { return 1; });  // 31 bytes each
  struct call_case {
    const char* receiver;  // jitter buffer settings
    int ptime_ms;
  };
  const call_case cases[] = {{"do-lost=true", 30}, {"do-lost=false", 60}};
  for (const call_case& c : cases) {
    SCOPED_TRACE(std::string(c.receiver) + ", " + std::to_string(c.ptime_ms) + " ms packets");
    const uint16_t port = free_udp_port();
    const fs::path out = dir_ / "call_out.wav";
    GstElement* rx = launch(
        "udpsrc address=127.0.0.1 port=" + std::to_string(port) +
        " caps=\"application/x-rtp,media=audio,clock-rate=8000,encoding-name=SIVO,payload=96\""
        " ! rtpjitterbuffer latency=100 " +
        c.receiver +
        " ! rtpsivodepay ! sivodec name=dec"
        " ! wavenc ! filesink location=" +
        out.string());
    GstElement* tx =
        launch("filesrc location=" + wav.string() +
               " ! wavparse ! sivoenc rate=1 ! rtpsivopay "
               "timestamp-offset=0 max-ptime=" +
               std::to_string(c.ptime_ms * 1000000ll) +
               " ! identity drop-probability=0.1 ! udpsink name=net host=127.0.0.1 port=" +
               std::to_string(port));
    ASSERT_TRUE(rx && tx);
    sent_log log;
    GstElement* net = child(tx, "net");
    GstPad* net_sink = gst_element_get_static_pad(net, "sink");
    gst_pad_add_probe(net_sink, GST_PAD_PROBE_TYPE_BUFFER, log_sent, &log, nullptr);
    gst_element_set_state(rx, GST_STATE_PLAYING);
    g_random_set_seed(17);
    gst_element_set_state(tx, GST_STATE_PLAYING);
    const run_result sent = wait_for_end(tx, 20);  // udpsink paces the packets in real time
    gst_element_set_state(tx, GST_STATE_NULL);
    g_usleep(400 * 1000);  // the jitter buffer's latency, and some
    gst_element_send_event(rx, gst_event_new_eos());
    const run_result received = wait_for_end(rx, 10);
    GstElement* dec = child(rx, "dec");
    guint64 concealed = 0;
    g_object_get(dec, "concealed-frames", &concealed, nullptr);
    gst_element_set_state(rx, GST_STATE_NULL);
    for (GstObject* o :
         {GST_OBJECT(dec), GST_OBJECT(net_sink), GST_OBJECT(net), GST_OBJECT(rx), GST_OBJECT(tx)}) {
      gst_object_unref(o);
    }
    ASSERT_TRUE(sent.finished) << sent.error;
    ASSERT_TRUE(received.finished) << received.error;

    // The decoder's output starts at the first frame that arrived and ends
    // at the last; each frame between is decoded or concealed.
    size_t first = 0;
    while (first < log.sent.size() && !log.sent[first]) ++first;
    const size_t last = log.sent.size();
    size_t dropped = 0;
    sivo_decoder* decoder = nullptr;
    sivo_decoder_open(&decoder);
    samples expected;
    for (size_t f = first; f < last; ++f) {
      int16_t pcm[kFrame];
      int32_t type = 0, length = 0;
      const uint8_t* frame = frames.data() + f * kFrameBytes[1];
      sivo_decode_frame(decoder, frame, pcm, log.sent[f] ? SIVO_DECODE_NORMAL : SIVO_DECODE_LOST,
                        &type, &length);
      expected.insert(expected.end(), pcm, pcm + kFrame);
      if (!log.sent[f]) {
        ++dropped;
        EXPECT_NE(samples(pcm, pcm + kFrame), samples(kFrame, 0)) << "frame " << f << " silent";
      }
    }
    sivo_decoder_close(&decoder);
    const samples output = read_wav(out);
    std::printf(
        "loopback %s, %d ms packets: %zu of 200 frames dropped (%zu before the first and "
        "%zu after the last arrival), %zu concealed, output %.2f s for 6.00 s of input\n",
        c.receiver, c.ptime_ms, dropped + first + (200 - last), first, 200 - last,
        size_t(concealed), output.size() / 8000.0);
    EXPECT_GE(dropped, 5u);
    EXPECT_EQ(log.most_per_packet, size_t(c.ptime_ms / 30));
    EXPECT_EQ(concealed, dropped);
    EXPECT_EQ(output, expected);
    EXPECT_LE(speech.size() - output.size(), kFrame) << "more than one frame short";
  }
}

// A live source through encoder and decoder into a synchronised sink: the
// encoder adds its 30 ms to the latency, and nothing arrives late.
TEST_F(GstElements, LivePipelineReportsItsLatency) {
  GstElement* pipeline = launch(
      "audiotestsrc name=src is-live=true samplesperbuffer=80 wave=ticks ! "
      "audio/x-raw,format=S16LE,rate=8000,channels=1 ! sivoenc name=enc ! sivodec ! "
      "fakesink name=sink sync=true");
  ASSERT_NE(pipeline, nullptr);
  gst_element_set_state(pipeline, GST_STATE_PLAYING);
  ASSERT_EQ(gst_element_get_state(pipeline, nullptr, nullptr, 5 * GST_SECOND),
            GST_STATE_CHANGE_SUCCESS);
  g_usleep(3 * G_USEC_PER_SEC);

  auto latency_at = [](GstElement* element, const char* pad_name) {
    GstPad* pad = gst_element_get_static_pad(element, pad_name);
    GstQuery* query = gst_query_new_latency();
    GstClockTime min = GST_CLOCK_TIME_NONE;
    gboolean live = FALSE;
    if (gst_pad_peer_query(pad, query)) gst_query_parse_latency(query, &live, &min, nullptr);
    gst_query_unref(query);
    gst_object_unref(pad);
    return std::make_pair(bool(live), min);
  };
  GstElement* enc = child(pipeline, "enc");
  GstElement* sink = child(pipeline, "sink");
  const auto [live_in, before] = latency_at(enc, "sink");  // what the source adds
  const auto [live_out, after] = latency_at(sink, "sink");
  GstQuery* query = gst_query_new_latency();
  GstClockTime total = GST_CLOCK_TIME_NONE;
  ASSERT_TRUE(gst_element_query(pipeline, query));
  gst_query_parse_latency(query, nullptr, &total, nullptr);
  gst_query_unref(query);

  GstStructure* stats = nullptr;
  guint64 deadline = 0;
  g_object_get(sink, "stats", &stats, "processing-deadline", &deadline, nullptr);
  guint64 rendered = 0, dropped = 0;
  gst_structure_get_uint64(stats, "rendered", &rendered);
  gst_structure_get_uint64(stats, "dropped", &dropped);
  gst_structure_free(stats);
  GstBus* bus = gst_element_get_bus(pipeline);
  GstMessage* error = gst_bus_pop_filtered(bus, GST_MESSAGE_ERROR);
  gst_element_set_state(pipeline, GST_STATE_NULL);
  for (GstObject* o : {GST_OBJECT(bus), GST_OBJECT(enc), GST_OBJECT(sink), GST_OBJECT(pipeline)}) {
    gst_object_unref(o);
  }
  EXPECT_EQ(error, nullptr) << (error ? describe(error) : "");
  if (error) gst_message_unref(error);

  std::printf(
      "live latency: source %.1f ms, after the decoder %.1f ms, pipeline %.1f ms; "
      "%llu buffers rendered, %llu dropped\n",
      before / 1e6, after / 1e6, total / 1e6, (unsigned long long)rendered,
      (unsigned long long)dropped);
  EXPECT_TRUE(live_in && live_out);
  EXPECT_EQ(after, before + 30 * GST_MSECOND);
  EXPECT_EQ(total, after + deadline);  // the sink's own processing time
  EXPECT_GE(rendered, 80u);            // about 100 frames in 3 s
  EXPECT_EQ(dropped, 0u);
}

}  // namespace
