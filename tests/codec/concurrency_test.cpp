// Handles used in several threads at once: each thread's frames and samples
// equal those of the same handle run alone.
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "sivocore.h"
#include "speech.h"
#include "start_gate.h"

namespace {

struct coded {
  std::string frames;
  std::vector<int16_t> samples;
};

// Encodes speech at one rate with a fresh encoder and decodes every frame
// with a fresh decoder (every fifth frame concealed as lost).
coded round_trip(const std::vector<int16_t>& speech, int comp_rate, int postfilter) {
  sivo_encoder* enc = nullptr;
  sivo_decoder* dec = nullptr;
  coded out;
  if (sivo_encoder_open(&enc) != SIVO_OK || sivo_decoder_open(&dec) != SIVO_OK) return out;
  sivo_encoder_set_comp_rate(enc, comp_rate);
  sivo_decoder_set_filter_mode(dec, postfilter);
  for (std::size_t at = 0, n = 0; at + SIVO_FRAME_SAMPLES <= speech.size();
       at += SIVO_FRAME_SAMPLES, ++n) {
    uint8_t frame[SIVO_MAX_FRAME_BYTES];
    int32_t type = 0, bytes = 0;
    sivo_encode_frame(enc, speech.data() + at, frame, &type, &bytes);
    out.frames.append(reinterpret_cast<const char*>(frame), static_cast<std::size_t>(bytes));
    int16_t samples[SIVO_FRAME_SAMPLES];
    const int32_t mode = n % 5 == 4 ? SIVO_DECODE_LOST : SIVO_DECODE_NORMAL;
    sivo_decode_frame(dec, frame, samples, mode, &type, &bytes);
    out.samples.insert(out.samples.end(), samples, samples + SIVO_FRAME_SAMPLES);
  }
  sivo_encoder_close(&enc);
  sivo_decoder_close(&dec);
  return out;
}

// Eight encoder and decoder pairs, two per rate, with and without the
// post-filter, released together: any state shared between handles (a
// table filled on first use, a scratch buffer, a processor probe) shows as
// a difference from the run alone, or as a race under ThreadSanitizer.
TEST(Concurrency, HandlesInManyThreadsMatchTheirRunAlone) {
  const std::vector<int16_t> speech = sivo::test::load_raw("hts1a.raw");
  ASSERT_FALSE(speech.empty()) << "codec2-examples recordings missing";
  constexpr int kThreads = 8;
  std::vector<coded> together(kThreads);
  sivo::test::start_gate go(kThreads);
  std::vector<std::thread> pool;
  for (int t = 0; t < kThreads; ++t) {
    pool.emplace_back([&, t] {
      go.arrive_and_wait();
      together[t] = round_trip(speech, t % 4, t / 4);
    });
  }
  for (std::thread& t : pool) t.join();
  for (int t = 0; t < kThreads; ++t) {
    const coded alone = round_trip(speech, t % 4, t / 4);
    ASSERT_FALSE(alone.frames.empty());
    EXPECT_EQ(together[t].frames, alone.frames) << "rate " << t % 4 << ", filter " << t / 4;
    EXPECT_EQ(together[t].samples, alone.samples) << "rate " << t % 4 << ", filter " << t / 4;
  }
}

}  // namespace
