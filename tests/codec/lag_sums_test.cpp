// The pitch post-filter and the concealment voicing decision taken from
// sums formed all at once (and inside the synthesis pass) against the
// candidate-by-candidate searches: same lags, same gains, same bits.
#include <gtest/gtest.h>

#include <array>
#include <bit>
#include <cstdint>
#include <random>

#include "codec/state.h"
#include "codec/synthesis/concealment.h"
#include "codec/synthesis/pitch_postfilter.h"

namespace sivo {
namespace {

using padded_t = std::array<float, kPaddedWindow>;

// Excitation-like windows: noise, a pulse train at a random period (so that
// some lag wins clearly), or silence with a lone burst; the tail is zeros.
// Lags are drawn around the period, now and then far from it.
padded_t random_window(std::mt19937& rng, int trial, int period) {
  padded_t w{};
  std::normal_distribution<float> noise(0.0f, 3000.0f);
  for (int i = 0; i < kWindow; ++i) {
    switch (trial % 3) {
      case 0: w[i] = noise(rng); break;
      case 1: w[i] = (i % period == 0 ? 20000.0f : 0.0f) + 0.05f * noise(rng); break;
      default: w[i] = i > 200 && i < 230 ? noise(rng) : 0.0f; break;
    }
  }
  return w;
}

int32_t near(std::mt19937& rng, int period) {
  return rng() % 4 == 0 ? int32_t(rng() % 146) : int32_t(period - 3 + int(rng() % 7));
}

auto fields(const postfilter_params& p) {
  return std::tuple(p.lag, std::bit_cast<uint32_t>(p.gain), std::bit_cast<uint32_t>(p.scale));
}

TEST(LagSums, PitchPostfilterFromSumsMatchesCandidateSearch) {
  std::mt19937 rng(21);
  decoder_state dec{};
  for (int trial = 0; trial < 600; ++trial) {
    const int period = 18 + int(rng() % 124);
    const padded_t w = random_window(rng, trial, period);
    // Lags across the whole range, the low ones (no lane pass) included.
    const int32_t olp[2] = {near(rng, period), near(rng, period)};
    dec.comp_rate = int32_t(trial % kRates);
    std::array<postfilter_params, kSubframes> fast;
    pitch_postfilter_frame_params(fast, w, olp, dec);
    for (int s = 0; s < kSubframes; ++s) {
      const auto slow = pitch_postfilter_params(std::span(w).first<kWindow>(), olp[s / 2], s, dec);
      ASSERT_EQ(fields(fast[s]), fields(slow)) << "trial " << trial << " subframe " << s;
    }
  }
}

TEST(LagSums, ConcealmentLagFromSumsMatchesDirectEstimate) {
  std::mt19937 rng(22);
  int voiced = 0;
  for (int trial = 0; trial < 600; ++trial) {
    const int period = 18 + int(rng() % 124);
    const padded_t w = random_window(rng, trial, period);
    const std::span<const float, kWindow> frame = std::span(w).first<kWindow>();
    const int32_t olp = near(rng, period);
    const int32_t direct = estimate_concealment_lag(frame, olp);
    lag_sum_job job;
    if (!concealment_job(job, frame, olp)) {
      EXPECT_LT(olp, 4);
      continue;
    }
    sum_lag_job(job);
    ASSERT_EQ(concealment_lag_from_sums(job), direct) << "trial " << trial << " olp " << olp;
    voiced += direct != 0 ? 1 : 0;
  }
  EXPECT_GT(voiced, 50);  // the pulse trains must exercise the voiced side
}

}  // namespace
}  // namespace sivo
