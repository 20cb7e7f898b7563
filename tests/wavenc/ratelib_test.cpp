// The rate converter: tones keep their frequency, level and timing; content
// above 4 kHz does not fold back; block counts are exact.
#include "ratelib.h"

#include <array>
#include <cmath>
#include <cstdio>
#include <numbers>
#include <random>
#include <vector>

#include <gtest/gtest.h>

#include "tests/wavenc/wav_files.h"

namespace {

struct layout {
  int32_t rate;
  int32_t block_length;
  int32_t out_per_block;
};
// The layouts the encoding job uses.
constexpr layout kLayouts[] = {{11025, 1323, 960}, {16000, 480, 240}, {22050, 1323, 480},
                               {24000, 720, 240},  {32000, 960, 240}, {44100, 1323, 240},
                               {48000, 1440, 240}};

constexpr double kTwoPi = 2.0 * std::numbers::pi;

// Converts `blocks` blocks of the interleaved signal and returns the output;
// every call must return the exact count.
std::vector<int16_t> convert(const layout& l, int channels, const std::vector<int16_t>& in,
                             int32_t& delay) {
  rate_converter* c = nullptr;
  EXPECT_EQ(rate_conversion_init(&c, l.block_length, l.rate, 8000, channels, 1, 0, &delay), -1);
  std::vector<int16_t> out;
  const std::size_t step = static_cast<std::size_t>(l.block_length) * channels;
  std::vector<int16_t> block_out(static_cast<std::size_t>(l.out_per_block));
  for (std::size_t at = 0; at + step <= in.size(); at += step) {
    EXPECT_EQ(rate_conversion_process(c, in.data() + at, l.block_length, block_out.data()),
              l.out_per_block);
    out.insert(out.end(), block_out.begin(), block_out.end());
  }
  EXPECT_EQ(rate_conversion_close(&c), 0);
  EXPECT_EQ(c, nullptr);
  return out;
}

double energy(const std::vector<double>& v) {
  double e = 0;
  for (const double x : v) e += x * x;
  return e;
}

TEST(RateConversion, OneKilohertzToneArrivesDelayedByTheReportedLead) {
  constexpr double kAmplitude = 12000.0;
  double worst_db = -1000.0;
  for (const layout& l : kLayouts) {
    for (const int channels : {1, 2}) {
      const int blocks = 3 * l.rate / l.block_length;  // about 3 s
      const auto in =
          sivo_test::tone(blocks * l.block_length, channels, l.rate, 1000.0, kAmplitude);
      int32_t delay = -1;
      const std::vector<int16_t> out = convert(l, channels, in, delay);
      ASSERT_GE(delay, 0);
      // Leading silence is exactly the reported lead.
      for (int32_t n = 0; n < delay; ++n) ASSERT_EQ(out[n], 0) << l.rate << " at " << n;
      // After the tone's onset has passed the filter, the output is the
      // input tone shifted by `delay` samples.
      std::vector<double> error, ideal;
      for (std::size_t n = static_cast<std::size_t>(delay) + 400; n < out.size(); ++n) {
        const double want =
            kAmplitude * std::sin(kTwoPi * 1000.0 * (static_cast<double>(n) - delay) / 8000.0);
        ideal.push_back(want);
        error.push_back(out[n] - want);
      }
      const double db = 10.0 * std::log10(energy(error) / energy(ideal));
      EXPECT_LT(db, -50.0) << l.rate << " Hz, " << channels << " channels";
      worst_db = std::max(worst_db, db);
      if (channels == 1) std::printf("  %5d Hz: lead %4d samples, error %.1f dB\n", l.rate, delay, db);
    }
  }
  std::printf("  1 kHz worst error relative to the tone: %.1f dB\n", worst_db);
}

TEST(RateConversion, FiveKilohertzDoesNotFoldBack) {
  for (const int32_t rate : {16000, 44100, 48000}) {
    for (const layout& l : kLayouts) {
      if (l.rate != rate) continue;
      const int blocks = 2 * l.rate / l.block_length;
      const auto in = sivo_test::tone(blocks * l.block_length, 1, l.rate, 5000.0, 16000.0);
      int32_t delay = 0;
      const std::vector<int16_t> out = convert(l, 1, in, delay);
      std::vector<double> tail, source;
      for (std::size_t n = static_cast<std::size_t>(delay) + 400; n < out.size(); ++n) {
        tail.push_back(out[n]);
      }
      for (const int16_t v : in) source.push_back(v);
      // Mean power of what comes through (at least one LSB of power, so the
      // figure is finite) against the tone's.
      const double through = std::max(energy(tail) / tail.size(), 1.0 / 12.0);
      const double db = 10.0 * std::log10(through / (energy(source) / source.size()));
      EXPECT_LT(db, -50.0) << rate;
      std::printf("  5 kHz at %5d Hz: %.1f dB\n", rate, db);
    }
  }
}

TEST(RateConversion, CountsStayExactOverManyBlocksOfNoise) {
  std::mt19937 rng(7);
  std::uniform_int_distribution<int> sample(-32768, 32767);
  for (const layout& l : kLayouts) {
    for (const int channels : {1, 2}) {
      rate_converter* c = nullptr;
      int32_t delay = 0;
      ASSERT_EQ(rate_conversion_init(&c, l.block_length, l.rate, 8000, channels, 1, 0, &delay),
                -1);
      std::vector<int16_t> in(static_cast<std::size_t>(l.block_length) * channels);
      std::vector<int16_t> out(static_cast<std::size_t>(l.out_per_block));
      // Long enough to pass the resampler's irregular output pattern several
      // times at every rate (its period is under 3000 blocks).
      const int blocks = channels == 1 ? 6000 : 1000;
      for (int b = 0; b < blocks; ++b) {
        for (int16_t& v : in) v = static_cast<int16_t>(sample(rng));
        ASSERT_EQ(rate_conversion_process(c, in.data(), l.block_length, out.data()),
                  l.out_per_block)
            << l.rate << " block " << b;
      }
      rate_conversion_close(&c);
    }
  }
}

TEST(RateConversion, StereoIsMixedToMono) {
  for (const layout& l : kLayouts) {
    const int frames = 20 * l.block_length;
    int32_t delay = 0;
    // Opposite channels cancel exactly.
    const auto opposite = sivo_test::tone(frames, 2, l.rate, 1000.0, 20000.0, -1.0);
    for (const int16_t v : convert(l, 2, opposite, delay)) ASSERT_EQ(v, 0) << l.rate;
    // Equal channels give what the mono signal gives.
    const auto mono = sivo_test::tone(frames, 1, l.rate, 700.0, 9000.0);
    const auto both = sivo_test::tone(frames, 2, l.rate, 700.0, 9000.0, 1.0);
    EXPECT_EQ(convert(l, 2, both, delay), convert(l, 1, mono, delay)) << l.rate;
  }
}

TEST(RateConversion, RefusesWhatItCannotDo) {
  rate_converter* c = nullptr;
  // 1000 samples at 44100 Hz are 181.4 samples at 8000 Hz; 3 channels; stereo
  // out; unknown quality.
  for (const auto& a : std::vector<std::array<int32_t, 6>>{
           {1000, 44100, 8000, 1, 1, 0}, {1323, 44100, 8000, 3, 1, 0},
           {1323, 44100, 8000, 2, 2, 0}, {1323, 44100, 8000, 2, 1, 7},
           {0, 44100, 8000, 1, 1, 0},    {1323, 0, 8000, 1, 1, 0}}) {
    EXPECT_EQ(rate_conversion_init(&c, a[0], a[1], a[2], a[3], a[4], a[5], nullptr), 0);
    EXPECT_EQ(c, nullptr);
  }
  ASSERT_EQ(rate_conversion_init(&c, 1323, 44100, 8000, 1, 1, 1, nullptr), -1);
  std::vector<int16_t> in(1323), out(240);
  EXPECT_EQ(rate_conversion_process(c, in.data(), 1322, out.data()), -1);
  EXPECT_EQ(rate_conversion_process(c, in.data(), 1323, out.data()), 240);
  EXPECT_EQ(rate_conversion_close(&c), 0);
  EXPECT_EQ(rate_conversion_close(&c), -1);
}

}  // namespace
