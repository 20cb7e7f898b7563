#include "codec/excitation/adaptive_codebook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "codec/kernels/kernel_table.h"
#include "codec/tables/acb_gain_tables.h"

namespace sivo {
namespace {

using signal = std::array<float, kSubframe>;

// The history extended past its end by repeating the last lag samples.
std::vector<float> extend(const std::vector<float>& past, int lag) {
  std::vector<float> e(past);
  for (int k = kHistory; k < kHistory + 64; ++k) e.push_back(e[k - lag]);
  return e;
}

// Zero-state convolution of x with h, each output summed in double.
signal convolve(const float* x, const float* h) {
  signal y;
  for (int n = 0; n < kSubframe; ++n) {
    double s = 0.0;
    for (int m = 0; m <= n; ++m) s += static_cast<double>(h[m]) * x[n - m];
    y[n] = static_cast<float>(s);
  }
  return y;
}

tap_vectors direct_taps(const std::vector<float>& past, const signal& h, int lag) {
  const std::vector<float> e = extend(past, lag);
  tap_vectors y;
  for (int j = 0; j < kTaps; ++j) y[j] = convolve(&e[143 - lag + j], h.data());
  return y;
}

const std::array<float, 20>& row_of(int lag_for_table, int row) {
  return lag_for_table >= 58 ? acb_gain_table_170[row] : acb_gain_table_85[row];
}

signal direct_adaptive(const std::vector<float>& past, int lag, const std::array<float, 20>& b) {
  const std::vector<float> e = extend(past, lag);
  signal v;
  for (int n = 0; n < kSubframe; ++n) {
    double s = 0.0;
    for (int j = 0; j < kTaps; ++j) s += static_cast<double>(b[j]) * e[143 - lag + n + j];
    v[n] = static_cast<float>(s);
  }
  return v;
}

struct fixture {
  std::mt19937 rng{7};
  std::vector<float> past = std::vector<float>(kHistory);
  signal h{};
  encoder_state state{};
  fixture() {
    reset_encoder_state(state);
    std::uniform_real_distribution<float> u(-1.0f, 1.0f);
    for (float& x : past) x = 3000.0f * u(rng);
    for (int n = 0; n < kSubframe; ++n) h[n] = u(rng) * (n == 0 ? 1.0f : 0.9f / (1 + n));
  }
  // Runs the search on target; returns the adaptive excitation.
  signal search(signal& target, frame_params& p, int subframe) {
    signal adaptive;
    find_adaptive_codebook(target, h, past.data(), p, subframe, state, adaptive);
    return adaptive;
  }
  // A target that lag and the row's taps predict exactly.
  signal planted(int lag, const std::array<float, 20>& b) {
    signal v = direct_adaptive(past, lag, b);
    return convolve(v.data(), h.data());
  }
};

frame_params params_with(int olp) {
  frame_params p{};
  p.olp[0] = p.olp[1] = olp;
  return p;
}

TEST(AdaptiveCodebookFetch, WindowIsHistoryRepeatedWithThePeriodOfTheLag) {
  std::vector<float> past(kHistory);
  for (int i = 0; i < kHistory; ++i) past[i] = static_cast<float>(i + 1);
  for (int lag = 1; lag <= 143; ++lag) {
    std::array<float, kFetchLength> out;
    out.fill(-7.0f);
    fetch_past_excitation(out, past.data(), lag);
    const std::vector<float> e = extend(past, lag);
    for (int i = 0; i < kFetchLength; ++i) {  // out[0..2] unwritten above 140
      EXPECT_EQ(out[i], lag > 140 && i < 3 ? -7.0f : e[140 - lag + i]) << lag;
    }
  }
}

TEST(AdaptiveCodebookDecode, MatchesDirectFormulaAndRepeatsShortLags) {
  fixture f;
  for (auto [olp, acb_lag, row] :
       {std::array{57, 1, 84}, {58, 1, 169}, {18, 0, 5}, {141, 3, 100}, {20, 1, 13}}) {
    signal out;
    decode_adaptive_codebook(out, f.past.data(), olp, acb_lag, row);
    const signal want = direct_adaptive(f.past, olp + acb_lag - 1, row_of(olp, row));
    EXPECT_EQ(0, std::memcmp(out.data(), want.data(), sizeof out)) << olp << " " << row;
    for (int n = 2; olp == 20 && n + 20 < kSubframe; ++n) EXPECT_EQ(out[n], out[n + 20]);
  }
}

// Every variant of the tap filtering kernel (the lane ones reuse one lag's
// sums for the next) must give the direct convolution's floats bit for bit,
// for every lag, across lag sets that straddle the end of the periodic range.
TEST(AdaptiveCodebookFilter, EveryVariantEqualsDirectConvolution) {
  std::mt19937 rng(11);
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  std::uniform_int_distribution<int> exponent(-30, 30);
  // Plain, 16-bit-sized, wide exponents, signed zeros, and huge terms that
  // cancel beside tiny ones (any change of summation order shows).
  auto draw = [&](int style, float large) {
    const float r = u(rng);
    switch (style) {
      case 1:
        return std::round(large * r);
      case 2:
        return std::ldexp(r, exponent(rng));
      case 3:
        return r > 0.3f ? 0.0f : r < -0.3f ? -0.0f : large * r;
      case 4:
        if (large > 10000.0f) return r > 0.0f ? 1.0f : -1.0f;
        return r > 0.0f ? (rng() % 2 ? 0x1p27f : -0x1p27f) : std::ldexp(r, -27);
      default:
        return r;
    }
  };
  for (int style = 0; style < 5; ++style) {
    std::vector<float> past(kHistory);
    signal h;
    for (float& x : past) x = draw(style, 32768.0f);
    for (float& x : h) x = draw(style, 4096.0f);
    for (int count = 3; count <= 4; ++count) {
      for (int first = 17; first <= std::min(140, 144 - count); ++first) {
        for (kernel_variant variant : runnable_kernel_variants()) {
          std::array<tap_vectors, kMaxCandidates> fast;
          kernel_table_for(variant).filter_tap_vectors(std::span<tap_vectors>(fast.data(), count),
                                                       past.data(), h, first);
          for (int k = 0; k < count; ++k) {
            const tap_vectors want = direct_taps(past, h, first + k);
            ASSERT_EQ(0, std::memcmp(&fast[k], &want, sizeof want))
                << "variant " << static_cast<int>(variant) << " style " << style << " lag "
                << first + k;
          }
        }
      }
    }
  }
}

TEST(AdaptiveCodebookTaming, OffsetFollowsWorstErrorOfTheLagZones) {
  encoder_state s{};
  reset_encoder_state(s);
  EXPECT_EQ(127, test_taming(17, 19, s));  // 2^28 - 1 >> 21
  EXPECT_EQ(127, test_taming(140, 143, s));
  s.taming_errors = {0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  EXPECT_EQ(128, test_taming(60, 62, s));
  s.taming_errors[1] = 268435456.0f;  // exactly 2^28 still counts
  EXPECT_EQ(0, test_taming(60, 62, s));
  s.taming_errors[1] = 268435456.0f - 3 * 2097152.0f + 16.0f;  // just under 3 steps
  EXPECT_EQ(2, test_taming(60, 62, s));
  EXPECT_EQ(128, test_taming(17, 20, s));  // zone 0 only
  s.taming_errors[1] = 0.0f;
  s.taming_errors[0] = s.taming_errors[4] = 3e8f;  // above 2^28
  EXPECT_EQ(0, test_taming(17, 20, s));
  EXPECT_EQ(0, test_taming(140, 143, s));    // zones 2..4
  EXPECT_EQ(0, test_taming(57, 60, s));      // zones 0..2
  EXPECT_EQ(128, test_taming(100, 103, s));  // zones 1..3
  s.taming_errors = {1.0f, 1.0f, 1.0f, 1.0f, 1.0f};
  s.tone_history = 0x8000;
  EXPECT_EQ(0, test_taming(60, 62, s));
}

// Targets that one lag and row predict exactly (row 0: silence) show which
// lags, rows and tables a subframe reaches. Columns: olp, subframe, planted
// lag, lag choosing the planted table, row, bound (1: tone flag, 2: large
// error in zone 3), then olp, acb_lag and acb_gain expected (hit 1) or
// excluded (hit 0).
TEST(AdaptiveCodebookSearch, PlantedTargetsShowReachableLagsRowsAndTables) {
  const int cases[][10] = {
      {18, 0, 20, 20, 0, 0, 19, 1, 0, 1},         {142, 2, 20, 20, 0, 0, 140, 1, 0, 1},
      {60, 1, 20, 20, 0, 0, 60, 1, 0, 1},         {18, 0, 20, 20, 10, 0, 20, 1, 10, 1},
      {18, 0, 18, 18, 10, 0, 18, 1, 10, 1},       {18, 0, 17, 17, 10, 0, 17, 1, 10, 0},
      {142, 0, 139, 139, 99, 0, 139, 1, 99, 1},   {142, 2, 141, 141, 99, 0, 141, 1, 99, 1},
      {142, 0, 142, 142, 99, 0, 142, 1, 99, 0},   {18, 1, 17, 17, 10, 0, 18, 0, 10, 1},
      {18, 3, 20, 20, 10, 0, 18, 3, 10, 1},       {141, 1, 143, 143, 120, 0, 141, 3, 120, 1},
      {141, 1, 140, 140, 120, 0, 141, 0, 120, 1}, {58, 0, 57, 57, 40, 0, 57, 1, 40, 1},
      {58, 0, 58, 58, 120, 0, 58, 1, 120, 1},     {58, 0, 57, 58, 120, 0, 57, 1, 120, 0},
      {58, 1, 57, 58, 120, 0, 58, 0, 120, 1},     {57, 1, 59, 57, 40, 0, 57, 3, 40, 1},
      {40, 1, 40, 40, 50, 1, 40, 1, 50, 1},       {40, 1, 40, 40, 51, 1, 40, 1, 51, 0},
      {100, 1, 100, 100, 92, 1, 100, 1, 92, 1},   {100, 1, 100, 100, 93, 1, 100, 1, 93, 0},
      {86, 0, 86, 86, 150, 2, 86, 1, 150, 1},     {87, 0, 87, 87, 150, 2, 87, 1, 150, 0}};
  for (const auto& c : cases) {
    fixture f;
    f.state.tone_history = c[5] == 1 ? 0x8000 : 0;
    if (c[5] == 2) f.state.taming_errors[3] = 3e8f;
    frame_params p = params_with(c[0]);
    signal target = f.planted(c[2], row_of(c[3], c[4]));
    const signal adaptive = f.search(target, p, c[1]);
    const subframe_params& e = p.subframes[c[1]];
    const int olp = p.olp[c[1] / 2];
    EXPECT_EQ(olp == c[6] && e.acb_lag == c[7] && e.acb_gain == c[8], c[9] == 1)
        << c[0] << " " << c[2] << " -> " << olp << " " << e.acb_lag << " " << e.acb_gain;
    EXPECT_TRUE(olp >= 58 || e.acb_gain < 85);  // decodable
    for (int n = 0; c[4] == 0 && n < kSubframe; ++n)
      EXPECT_TRUE(adaptive[n] == 0.0f && target[n] == 0.0f);
  }
  // A constant history makes every lag's scores equal: the first lag wins.
  fixture f;
  std::fill(f.past.begin(), f.past.end(), 1000.0f);
  frame_params p = params_with(80);
  signal target = f.planted(80, row_of(80, 7));
  f.search(target, p, 0);
  EXPECT_EQ(p.olp[0], 79);
}

// Score of one row from directly convolved vectors: correlations stored as
// floats, the weighted sum rounded once.
float direct_score(const tap_vectors& y, const signal& t, const std::array<float, 20>& b) {
  float c[20];
  int i = 0;
  auto dot = [](const signal& a, const signal& x) {
    double s = 0.0;
    for (int n = 0; n < kSubframe; ++n) s += static_cast<double>(a[n]) * x[n];
    return s;
  };
  for (int j = 0; j < kTaps; ++j) c[i++] = static_cast<float>(dot(t, y[j]));
  for (int j = 0; j < kTaps; ++j) c[i++] = static_cast<float>(0.5 * dot(y[j], y[j]));
  for (int a = 1; a < kTaps; ++a) {
    for (int j = 0; j < a; ++j) c[i++] = static_cast<float>(dot(y[a], y[j]));
  }
  double score = 0.0;
  for (int m = 0; m < 20; ++m) score += static_cast<double>(b[m]) * c[m];
  return static_cast<float>(score);
}

// Weighted error of the filtered candidate excitation, from first principles.
double direct_error(const tap_vectors& y, const signal& t, const std::array<float, 20>& b) {
  double error = 0.0;
  for (int n = 0; n < kSubframe; ++n) {
    double v = 0.0;
    for (int j = 0; j < kTaps; ++j) v += static_cast<double>(b[j]) * y[j][n];
    error += (t[n] - v) * (t[n] - v);
  }
  return error;
}

// The search against a brute force over every candidate and permitted row,
// built from direct convolutions: the same choice under the same score and
// tie rule, a near-minimal direct error, the matching excitation and residual.
TEST(AdaptiveCodebookSearch, MatchesBruteForceOnRandomTargets) {
  fixture f;
  std::uniform_real_distribution<float> u(-1.0f, 1.0f);
  for (int trial = 0; trial < 300; ++trial) {
    const int subframe = trial % 4, odd = subframe % 2;
    const int olp = 18 + static_cast<int>(f.rng() % (odd ? 124 : 125));
    for (float& x : f.state.taming_errors) x = u(f.rng) + 1.0f;
    f.state.taming_errors[f.rng() % 5] = 3e8f;  // one zone bounds the rows
    // The planted lag stays within the 145-sample history (lag 143 reads
    // its first sample), whatever olp was drawn.
    const int lag0 = std::min(olp - 1 + static_cast<int>(f.rng() % 4), 143);
    const int row = 1 + static_cast<int>(f.rng() % (lag0 >= 58 ? 169 : 84));
    const signal base = f.planted(lag0, row_of(lag0, row));
    signal target;
    for (int n = 0; n < kSubframe; ++n) target[n] = base[n] * u(f.rng) + 2000.0f * u(f.rng);

    const int o = odd ? olp : std::min(olp == 18 ? 19 : olp, 140);
    const int off = test_taming(o - 1, o + 1 + odd, f.state);
    float best = 0.0f;
    int best_lag = o, best_row = 0;
    double min_error = 1e300, chosen_error = direct_error({}, target, acb_gain_table_85[0]);
    for (int lag = o - 1; lag <= o + 1 + odd; ++lag) {
      const tap_vectors y = direct_taps(f.past, f.h, lag);
      const int table_lag = odd ? o : lag;
      const int rows = table_lag >= 58 ? std::min(93 + 8 * off, 170) : std::min(51 + 4 * off, 85);
      for (int r = 0; r < rows; ++r) {
        const float score = direct_score(y, target, row_of(table_lag, r));
        const double error = direct_error(y, target, row_of(table_lag, r));
        min_error = std::min(min_error, error);
        if (score > best) best = score, best_lag = lag, best_row = r, chosen_error = error;
      }
    }
    frame_params p = params_with(olp);
    const signal before = target;
    const signal adaptive = f.search(target, p, subframe);
    const subframe_params& e = p.subframes[subframe];
    const int new_olp = p.olp[subframe / 2];
    ASSERT_EQ(new_olp + e.acb_lag - 1, best_lag) << trial;
    ASSERT_EQ(e.acb_gain, best_row) << trial;
    EXPECT_EQ(new_olp, odd ? olp : best_lag);
    EXPECT_LE(chosen_error, min_error * (1 + 1e-4)) << trial;
    const signal want = direct_adaptive(f.past, best_lag, row_of(new_olp, best_row));
    EXPECT_EQ(0, std::memcmp(adaptive.data(), want.data(), sizeof want));
    const signal filtered = convolve(adaptive.data(), f.h.data());
    for (int n = 0; n < kSubframe; ++n) {
      EXPECT_NEAR(target[n], before[n] - filtered[n],
                  1e-5 * (std::abs(before[n]) + std::abs(filtered[n]) + 1));
    }
  }
}

}  // namespace
}  // namespace sivo
