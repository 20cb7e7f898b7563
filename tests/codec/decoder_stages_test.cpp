// The decoder's stages against independent formulations and quoted values.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <random>
#include <span>
#include <tuple>
#include <vector>

#include "codec/synthesis/concealment.h"
#include "codec/synthesis/fixed_codebook_decode.h"
#include "codec/synthesis/formant_postfilter.h"
#include "codec/synthesis/pcm_output.h"
#include "codec/synthesis/pitch_postfilter.h"
#include "codec/synthesis/synthesis_filter.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

using window_t = std::array<float, kWindow>;
using padded_t = std::array<float, kPaddedWindow>;
using sub_t = std::array<float, kSubframe>;

uint64_t choose(int n, int k) {
  uint64_t c = 1;
  for (int i = 1; i <= k; ++i) c = c * uint64_t(n - k + i) / uint64_t(i);
  return k < 0 || n < k ? 0 : c;
}

// Independent coder: p sorted random slots of n, ranked lexicographically as
// choose(n, p) - 1 - sum choose(n - 1 - slot_j, p - j); random signs.
std::vector<int> code_random(std::mt19937& rng, int n, int p, subframe_params& e) {
  std::vector<int> all(n);
  for (int i = 0; i < n; ++i) all[i] = i;
  std::shuffle(all.begin(), all.end(), rng);
  std::sort(all.begin(), all.begin() + p);
  uint64_t rank = choose(n, p) - 1;
  e.signs = int(rng() % (1u << p));
  for (int j = 0; j < p; ++j) rank -= choose(n - 1 - all[j], p - j);
  e.positions = uint32_t(rank);
  e.fcb_gain = int(rng() % 24);
  return {all.begin(), all.begin() + p};
}

float amplitude(const subframe_params& e, int j, int p) {
  return (e.signs >> (p - 1 - j) & 1) ? -fcb_gain_table[e.fcb_gain] : fcb_gain_table[e.fcb_gain];
}

// A frame of rate `rate` whose subframe s holds entry (second: rate 3's
// second stage) and whose other subframes' indices are at their limit.
frame_params lone_subframe(int rate, int s, const subframe_params& entry, int lag,
                           const subframe_params* second = nullptr) {
  frame_params p{};
  p.olp[0] = p.olp[1] = lag;
  for (int k = 0; k < kSubframes; ++k) {
    p.subframes[k].positions = position_limit_table[rate * 4 + k];
    p.subframes[4 + k].positions = position_limit_table[16 + k];
  }
  p.subframes[s] = entry;
  if (second != nullptr) p.subframes[4 + s] = *second;
  return p;
}

TEST(FixedCodebookDecode, QuotedPatternAndLimit) {
  std::array<float, kFrame> v;
  v.fill(7.0f);
  decode_fixed_codebooks(v, lone_subframe(0, 0, {0, 0, 0, 1, 0, 32, 0}, 40), 0);
  for (int i = 0; i < kFrame; ++i)
    EXPECT_EQ(v[i], i % 2 == 0 || i > 11 ? 0.0f : i == 1 ? -2.0f : 2.0f) << i;
  v.fill(7.0f);  // at the limit: no pulses, no repetition
  decode_fixed_codebooks(v, lone_subframe(0, 0, {0, 0, 5, 0, 1, 63, position_limit_table[0]}, 20),
                         0);
  EXPECT_EQ(v, (std::array<float, kFrame>{}));
}

TEST(FixedCodebookDecode, InvertsIndependentCoderAtEveryRateAndStage) {
  std::mt19937 rng(5);
  for (int trial = 0; trial < 800; ++trial) {
    const int rate = trial % 4, s = trial / 4 % 4, step = grid_step_table[rate];
    const int p = pulse_count_table[rate * 4 + s], lag = 18 + int(rng() % 40);
    subframe_params e{};
    const auto slots = code_random(rng, kSubframe / step, p, e);
    e.grid = int(rng() % unsigned(step));
    e.train = trial / 16 % 2;
    sub_t want{};
    for (int j = 0; j < p; ++j) want[e.grid + step * slots[j]] = amplitude(e, j, p);
    const sub_t plain = want;
    for (int a = lag; e.train == 1 && a < kSubframe; a += lag)
      for (int i = a; i < kSubframe; ++i) want[i] += plain[i - a];
    // Now and then the first stage's index is at its limit: no pulses.
    const bool empty = rate == 3 && trial % 7 == 0;
    if (empty) {
      e.positions = position_limit_table[rate * 4 + s];
      want.fill(0.0f);
    }
    // The second stage's 52 columns are the positions the first left free
    // from its grid on, and its pulses add to the first stage's pitch
    // repetition there. Grid 1 when the first stage took position 0.
    subframe_params e2{};
    if (rate == 3) {
      std::vector<int> free_slots;
      e2.grid = !empty && plain[0] != 0.0f ? 1 : 0;
      for (int i = e2.grid; i < kSubframe; ++i)
        if (empty || plain[i] == 0.0f) free_slots.push_back(i);
      const int p2 = pulse_count_table[16 + s];
      const auto slots2 = code_random(rng, 52, p2, e2);
      for (int j = 0; j < p2; ++j) want[free_slots[slots2[j]]] += amplitude(e2, j, p2);
    }
    std::array<float, kFrame> v;
    decode_fixed_codebooks(v, lone_subframe(rate, s, e, lag, rate == 3 ? &e2 : nullptr), rate);
    for (int i = 0; i < kFrame; ++i) {
      ASSERT_EQ(v[i], i / kSubframe == s ? want[i % kSubframe] : 0.0f) << rate << " " << s;
    }
  }
}

TEST(Concealment, LagDecision) {
  window_t w{};  // x = unit impulse at 265, so c(k) = w[265 - k]
  w[265] = w[265 - 39] = w[265 - 42] = 1.0f;
  EXPECT_EQ(estimate_concealment_lag(w, 40), 39);  // tie: the shorter lag
  window_t far{};
  far[265] = far[265 - 139] = 1.0f;
  EXPECT_EQ(estimate_concealment_lag(far, 145), 139);  // olp 145 searches 139..145
  far[325] = 3.0f;                                     // best^2 = 1 <= 0.125 E(10) T(1): unvoiced
  EXPECT_EQ(estimate_concealment_lag(far, 145), 0);
  std::fill(w.begin() + 265, w.end(), 0.0f);
  EXPECT_EQ(estimate_concealment_lag(w, 40), 0);
}

TEST(Concealment, NoiseAndRegeneratedExcitation) {
  int32_t seed = 0, check = 0;
  for (int want : {259, 4126, -12783, 24988}) EXPECT_EQ(next_noise_sample(seed), want / 32768.0f);
  std::mt19937 rng(9);
  window_t w, past;
  for (float& x : w) x = float(int(rng() % 2001) - 1000);
  past = w;
  std::array<float, kFrame> out;
  regenerate_excitation(out, w, 40, 5.0f, 1, seed = 0);
  for (int i = 0; i < kFrame; ++i) ASSERT_EQ(out[i], 0.75f * past[105 + i % 40]) << i;
  EXPECT_TRUE(std::equal(out.begin(), out.end(), w.begin() + kHistory));
  regenerate_excitation(out, w, 0, 5.0f, 2, seed);
  for (int i = 0; i < kFrame; ++i) ASSERT_EQ(out[i], 5.0f * next_noise_sample(check));
  EXPECT_EQ(seed, check);
  EXPECT_EQ(w, window_t{});
  regenerate_excitation(out, past, 40, 5.0f, 3, seed);
  EXPECT_EQ(past, window_t{});
  EXPECT_TRUE(std::all_of(out.begin(), out.end(), [](float x) { return x == 0.0f; }));
}

TEST(PitchPostfilter, PeriodicExcitationPassesUnchanged) {
  std::mt19937 rng(3);
  padded_t w{};
  for (int i = 0; i < 40; ++i) w[i] = float(int(rng() % 21) - 10);
  for (int i = 40; i < kWindow; ++i) w[i] = w[i - 40];
  const std::span<const float, kWindow> excitation = std::span(w).first<kWindow>();
  decoder_state dec{};
  std::array<float, kFrame> out{};
  for (int s = 0; s < kSubframes; ++s) {
    const postfilter_params p = pitch_postfilter_params(w, 40, s, dec);
    EXPECT_EQ(p.lag, s == 3 ? -40 : 40);  // a tie goes forward; subframe 3 looks back
    EXPECT_EQ(p.scale, float(1.0 / 1.1875));
    EXPECT_EQ(p.gain, float(0.1875 * double(p.scale)));
    apply_pitch_postfilter(out, excitation, p, s);
  }
  EXPECT_TRUE(std::equal(out.begin(), out.end(), w.begin() + kHistory));
}

TEST(PitchPostfilter, LagLimitsAndGains) {
  decoder_state dec{};
  // Which lag a single matching pulse pair wins, or none.
  const auto lag_of = [&dec](std::initializer_list<int> pulses, int olp, int s) {
    padded_t w{};
    for (int at : pulses) w[at] = 1.0f;
    return pitch_postfilter_params(w, olp, s, dec).lag;
  };
  EXPECT_EQ(lag_of({145, 145 - 139}, 145, 0), -139);  // olp 145 searches 139..145
  EXPECT_EQ(lag_of({145, 145 - 139}, 135, 0), 0);
  EXPECT_EQ(lag_of({145, 145 + 60}, 60, 0), 60);
  // From subframe 2 only 57..60 stay in the frame.
  EXPECT_EQ(lag_of({145 + 120, 145 + 181}, 60, 2), 0);
  EXPECT_EQ(lag_of({145 + 120, 145 + 180}, 60, 2), 60);
  EXPECT_EQ(lag_of({148, 145}, 2, 0), 3);  // olp 2: candidates 1..5, forward on a tie
  auto params = [](postfilter_params p) { return std::tuple(p.lag, p.gain, p.scale); };
  EXPECT_EQ(params(pitch_postfilter_gains(-50, 4.0f, 1.0f, 1.0f, dec)), params({-50, 0.0f, 1.0f}));
  // R < T: gain 0.1875 R / T = 0.140625, D = 4 + 0.140625 (0.5625 + 6) = 4.9228515625.
  const float scale = float(std::sqrt(4.0 / 4.9228515625));
  EXPECT_EQ(params(pitch_postfilter_gains(30, 4.0f, 3.0f, 4.0f, dec)),
            params({30, float(0.140625 * scale), scale}));
  EXPECT_EQ(pitch_postfilter_gains(30, 1e-39f, 1e-39f, 1e-39f, dec).scale, 0.0f);  // subnormal D
  padded_t lone{};  // nothing correlates: neutral
  for (int n = 0; n < kSubframe; ++n) lone[145 + n] = float(n % 7) - 3.0f;
  EXPECT_EQ(params(pitch_postfilter_params(lone, 100, 0, dec)), params({}));
}

TEST(SynthesisFilter, MatchesDirectFilterAcrossSubframes) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> dist(-1.0f, 1.0f);
  std::array<lpc_set, kSubframes> a;
  for (int s = 0; s < kSubframes; ++s)
    for (float& c : a[s]) c = 0.09f * dist(rng);
  std::array<float, kFilterLine> line, direct;
  for (float& x : line) x = 1000.0f * dist(rng);
  direct = line;
  std::array<float, kFrame> sig;
  std::copy(line.begin() + kOrder, line.end(), sig.begin());
  for (int s = 0; s < kSubframes; ++s)
    synthesis_filter(sig.data() + kSubframe * s, a[s], line.data() + kOrder - 1 + kSubframe * s);
  for (int n = kOrder; n < kFilterLine; ++n) {
    double sum = 0.0;
    for (int k = 0; k < kOrder; ++k)
      sum += double(a[(n - kOrder) / kSubframe][k]) * direct[n - 1 - k];
    direct[n] = float(direct[n] + sum);
  }
  EXPECT_EQ(line, direct);
  EXPECT_TRUE(std::equal(sig.begin(), sig.end(), direct.begin() + kOrder));
}

TEST(FormantPostfilter, FirstOrderResponseTiltAndGain) {
  // A(z) = 1 - a z^-1: v is x through (1 - 0.65a z^-1) / (1 - 0.75a z^-1).
  const double a = 0.8;
  std::array<float, 70> fir{}, iir{};
  fir[9] = 2.0f;   // x[-1]
  iir[9] = -1.5f;  // v[-1]
  sub_t sig{};
  sig[0] = 1.0f;
  decoder_state dec{};
  dec.tilt_memory = 0.4f;
  const float g = formant_postfilter(sig.data(), {float(a)}, fir.data() + 10, iir.data() + 9, dec);
  EXPECT_FLOAT_EQ(dec.tilt_memory, 0.3f);  // r1 = 0: tilt 0 blended in
  double v_prev = -1.5, p = 0.0;
  for (int n = 0; n < kSubframe; ++n) {
    const double v = (n == 0) - 0.65 * a * (n == 0 ? 2.0 : n == 1) + 0.75 * a * v_prev;
    EXPECT_NEAR(sig[n], v - 0.25 * 0.3 * v_prev, 1e-6) << n;  // tilt acts on v[n-1]
    p += double(sig[n]) * sig[n];
    v_prev = v;
  }
  EXPECT_FLOAT_EQ(g, float(std::sqrt(1.0 / p)));
  sub_t zero{};
  std::array<float, 70> zf{}, zi{};
  EXPECT_EQ(formant_postfilter(zero.data(), {float(a)}, zf.data() + 10, zi.data() + 9, dec), 1.0f);
  EXPECT_EQ(zero, sub_t{});
  // Gain control: G = 1 from gain 1 scales by 1.0625; the gain moves 1/16 towards G per sample.
  for (int n = 0; n < kSubframe; ++n) sig[n] = float(n - 30);
  dec.postfilter_gain = 1.0f;
  apply_postfilter_gain(sig.data(), 1.0f, dec);
  for (int n = 0; n < kSubframe; ++n) EXPECT_EQ(sig[n], float(1.0625 * (n - 30)));
  apply_postfilter_gain(sig.data(), 2.0f, dec);
  EXPECT_NEAR(dec.postfilter_gain, 2.0 - std::pow(0.9375, 60), 1e-5);
}

TEST(PcmOutput, RoundsAndSaturates) {
  const float inf = INFINITY, nan = std::nanf("");
  const std::array<float, 15> in = {0.5f,      -0.5f,     -0.4f, 32766.5f,    40000.0f,
                                    -32767.5f, -40000.0f, -0.0f, 0.49999997f, inf,
                                    -inf,      nan,       -nan,  -32767.4f,   2.5f};
  const std::array<int16_t, 15> want = {1, -1,    0,      32767, 32767,  -32768, -32768, 0,
                                        0, 32767, -32768, 32767, -32768, -32767, 3};
  std::array<int16_t, 15> out{};
  float_to_pcm16(in.data(), int(in.size()), out.data());
  EXPECT_EQ(out, want);
}

}  // namespace
}  // namespace sivo
