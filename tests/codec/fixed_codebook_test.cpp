// The pulse codebook: coding against an independent receiver-side decoder,
// search behaviour on constructed targets, and the search's error against a
// direct filtering of the chosen excitation.
#include "codec/excitation/fixed_codebook.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <numeric>
#include <random>
#include <vector>

#include "codec/excitation/pulse_filters.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

using Vec = std::array<float, kSubframe>;
using Flags = std::array<int32_t, kSubframe>;

// Codebook rows 0..3 are the rates, row 4 the second stage of rate 3.
constexpr int kStep[5] = {2, 1, 4, 1, 1};
constexpr int kPulses[20] = {6, 5, 6, 5, 8, 8, 8, 7, 4, 3, 3, 3, 8, 8, 8, 8, 5, 5, 5, 4};

uint64_t choose(int n, int k) {
  if (k < 0 || n < k) return 0;
  uint64_t c = 1;
  for (int i = 1; i <= k; ++i) c = c * static_cast<uint64_t>(n - k + i) / i;
  return c;
}

int columns_of(int row, int subframe) {
  return row == 4 ? kSubframe - kPulses[12 + subframe] : kSubframe / kStep[row];
}
int table_rows_of(int row) { return row == 4 ? 5 : row == 0 ? 6 : row == 2 ? 4 : 8; }

struct Pulse {
  int position;
  bool negative;
  bool operator==(const Pulse&) const = default;
};

// Receiver-side reading of a coded entry: walk the grid columns (skipping
// occupied positions in stage 1) and place a pulse wherever the remaining
// index is below the column's binomial, subtracting it otherwise. Returns
// the pulses in position order; adds +/- level into v.
std::vector<Pulse> decode_entry(Vec& v, const subframe_params& e, float level, int row,
                                int subframe, int stage, Flags& occupied) {
  const int pulses = kPulses[row * 4 + subframe];
  const int step = kStep[row];
  const int n_columns = columns_of(row, subframe);
  const int k_rows = table_rows_of(row);
  std::vector<Pulse> out;
  if (e.positions >= choose(n_columns, pulses)) return out;
  uint64_t rem = e.positions;
  int r = k_rows - pulses;
  int p = e.grid;
  for (int t = 0; t < n_columns; ++t) {
    if (stage == 1)
      while (p < kSubframe && occupied[p] != 0) p += step;
    const uint64_t entry = choose(n_columns - 1 - t, k_rows - 1 - r);
    if (rem < entry) {
      const bool negative = ((e.signs >> (pulses - 1 - static_cast<int>(out.size()))) & 1) != 0;
      out.push_back({p, negative});
      v[p] += negative ? -level : level;
      if (stage == 0) occupied[p] = 1;
      if (static_cast<int>(out.size()) == pulses) break;
      ++r;
    } else {
      rem -= entry;
    }
    p += step;
  }
  return out;
}

struct DecodedSubframe {
  Vec excitation{};
  std::vector<Pulse> first, second;
};

// Both stages of one subframe as a receiver rebuilds them.
DecodedSubframe decode_subframe(const frame_params& params, int rate, int subframe) {
  DecodedSubframe d;
  Flags occupied{};
  const subframe_params& e = params.subframes[subframe];
  d.first = decode_entry(d.excitation, e, fcb_gain_table[e.fcb_gain], rate, subframe, 0,
                         occupied);
  if (e.train == 1) repeat_pitch_train(d.excitation, d.excitation, params.olp[subframe / 2]);
  if (rate == 3) {
    const subframe_params& s = params.subframes[4 + subframe];
    const int centre = std::clamp(e.fcb_gain, 2, 22);
    d.second = decode_entry(d.excitation, s, fcb_gain_table[centre - 2 + s.fcb_gain], 4,
                            subframe, 1, occupied);
  }
  return d;
}

// A weighted-synthesis-like impulse response: unit first tap, two decaying
// resonances.
Vec make_response(std::mt19937& rng) {
  std::uniform_real_distribution<double> u(0.0, 1.0);
  const double r1 = 0.75 + 0.2 * u(rng), r2 = 0.6 + 0.3 * u(rng);
  const double w1 = 0.2 + 0.8 * u(rng), w2 = 1.0 + 2.0 * u(rng);
  Vec h;
  for (int n = 0; n < kSubframe; ++n)
    h[n] = static_cast<float>(std::pow(r1, n) * std::cos(w1 * n) +
                              0.6 * std::pow(r2, n) * std::cos(w2 * n + 0.5));
  h[0] = 1.0f;
  return h;
}

Vec unit_response() {
  Vec h{};
  h[0] = 1.0f;
  return h;
}

// Targets: stretches of recorded speech when available, else noise.
class TargetSource {
 public:
  explicit TargetSource(unsigned seed) : rng_(seed) {
    if (FILE* f = std::fopen("/usr/share/codec2/raw/hts1a.raw", "rb")) {
      int16_t s;
      while (std::fread(&s, sizeof s, 1, f) == 1) speech_.push_back(s);
      std::fclose(f);
    }
  }
  Vec next() {
    Vec t;
    if (speech_.size() > 1000 && (count_++ % 2) == 0) {
      std::uniform_int_distribution<size_t> at(0, speech_.size() - kSubframe);
      const size_t start = at(rng_);
      for (int n = 0; n < kSubframe; ++n) t[n] = speech_[start + n];
    } else {
      std::normal_distribution<float> noise(0.0f, 800.0f);
      for (float& x : t) x = noise(rng_);
    }
    return t;
  }
  std::mt19937& rng() { return rng_; }

 private:
  std::mt19937 rng_;
  std::vector<int16_t> speech_;
  int count_ = 0;
};

struct SubframeResult {
  frame_params params;
  Vec excitation;
};

SubframeResult code_subframe(int rate, int subframe, int olp, const Vec& target,
                             const Vec& h) {
  static encoder_state state{};
  state.comp_rate = rate;
  SubframeResult r{};
  r.params.olp[0] = r.params.olp[1] = olp;
  r.excitation = target;
  find_fixed_codebook(r.excitation, h, r.params, subframe, state);
  return r;
}

// Sum of (target - filtered excitation)^2 less the target energy, computed
// by filtering the excitation from scratch.
long double direct_error(const Vec& target, const Vec& excitation, const Vec& h,
                         long double* scale) {
  long double err = 0.0L, mag = 0.0L;
  for (int n = 0; n < kSubframe; ++n) {
    long double f = 0.0L;
    for (int m = 0; m <= n; ++m) f += static_cast<long double>(excitation[m]) * h[n - m];
    err += (target[n] - f) * (target[n] - f) - static_cast<long double>(target[n]) * target[n];
    mag += f * f + static_cast<long double>(target[n]) * target[n];
  }
  if (scale) *scale = mag;
  return err;
}

Vec excitation_of(const pulse_candidate& c, int pulses, int lag) {
  Vec e{};
  for (int i = 0; i < pulses; ++i) e[c.positions[i]] = c.amplitudes[i];
  if (c.train == 1) repeat_pitch_train(e, e, lag);
  return e;
}

pulse_candidate empty_candidate() {
  pulse_candidate c{};
  c.error = std::numeric_limits<float>::max();
  return c;
}

// ---------------------------------------------------------------------------
// Position and sign coding.

TEST(FixedCodebookTables, CombinatorialTablesAndLimitsAreBinomials) {
  auto check = [](const auto& table, int n_columns) {
    const int k_rows = static_cast<int>(table.size());
    for (int r = 0; r < k_rows; ++r)
      for (int i = 0; i < n_columns; ++i)
        ASSERT_EQ(static_cast<uint64_t>(table[r][i]), choose(n_columns - 1 - i, k_rows - 1 - r))
            << "N " << n_columns << " [" << r << "][" << i << "]";
  };
  check(comb_table_30, 30);
  check(comb_table_15, 15);
  check(comb_table_60, 60);
  check(comb_table_52, 52);
  EXPECT_EQ(comb_table_30[0][1], 98280);
  for (int row = 0; row < 5; ++row)
    for (int s = 0; s < 4; ++s)
      EXPECT_EQ(position_limit_table[row * 4 + s], choose(columns_of(row, s), kPulses[row * 4 + s]))
          << "row " << row << " subframe " << s;
}

TEST(FixedCodebookPacking, RandomPatternsDecodeBackAtEveryRateSubframeAndGrid) {
  std::mt19937 rng(21);
  std::uniform_int_distribution<int> coin(0, 1);
  for (int row = 0; row < 4; ++row) {
    const int step = kStep[row];
    for (int s = 0; s < 4; ++s) {
      const int pulses = kPulses[row * 4 + s];
      for (int grid = 0; grid < step; ++grid) {
        std::vector<int> grid_positions;
        for (int p = grid; p < kSubframe; p += step) grid_positions.push_back(p);
        for (int trial = 0; trial < 300; ++trial) {
          std::shuffle(grid_positions.begin(), grid_positions.end(), rng);
          Vec excitation{};
          std::vector<Pulse> want;
          for (int i = 0; i < pulses; ++i) {
            const bool negative = coin(rng) != 0;
            excitation[grid_positions[i]] = negative ? -52.0f : 52.0f;
            want.push_back({grid_positions[i], negative});
          }
          std::sort(want.begin(), want.end(),
                    [](const Pulse& a, const Pulse& b) { return a.position < b.position; });
          pulse_candidate best = empty_candidate();
          best.grid = grid;
          best.gain = 8;
          subframe_params entry{};
          const Flags none{};
          pack_pulses(excitation, entry, best, pulses, step, table_rows_of(row) - pulses, 0,
                      none, 0);
          ASSERT_LT(entry.positions, position_limit_table[row * 4 + s]);
          ASSERT_LT(entry.signs, 1 << pulses);
          EXPECT_EQ(entry.grid, grid);
          EXPECT_EQ(entry.fcb_gain, 8);
          Vec decoded{};
          Flags occupied{};
          const auto got = decode_entry(decoded, entry, 52.0f, row, s, 0, occupied);
          ASSERT_EQ(got, want) << "row " << row << " subframe " << s << " grid " << grid;
          ASSERT_EQ(decoded, excitation);
        }
      }
    }
  }
}

TEST(FixedCodebookPacking, SecondStageCodesOnlyTheFreePositions) {
  std::mt19937 rng(22);
  std::uniform_int_distribution<int> coin(0, 1);
  for (int s = 0; s < 4; ++s) {
    const int first_pulses = kPulses[12 + s];
    const int pulses = kPulses[16 + s];
    for (int trial = 0; trial < 500; ++trial) {
      std::vector<int> all(kSubframe);
      std::iota(all.begin(), all.end(), 0);
      std::shuffle(all.begin(), all.end(), rng);
      Flags occupied{};
      for (int i = 0; i < first_pulses; ++i) occupied[all[i]] = 1;
      Vec excitation{};
      std::vector<Pulse> want;
      for (int i = 0; i < pulses; ++i) {
        const int p = all[first_pulses + i];
        const bool negative = coin(rng) != 0;
        excitation[p] = negative ? -6.0f : 6.0f;
        want.push_back({p, negative});
      }
      std::sort(want.begin(), want.end(),
                [](const Pulse& a, const Pulse& b) { return a.position < b.position; });
      pulse_candidate best = empty_candidate();
      subframe_params entry{};
      pack_pulses(excitation, entry, best, pulses, 1, 5 - pulses, 1, occupied, first_pulses);
      ASSERT_LT(entry.positions, position_limit_table[16 + s]);
      Vec decoded{};
      Flags flags = occupied;
      ASSERT_EQ(decode_entry(decoded, entry, 6.0f, 4, s, 1, flags), want) << "subframe " << s;
    }
  }
}

TEST(FixedCodebookPacking, PatternsAreNumberedInLexicographicOrder) {
  // Every pattern of 3 or 4 pulses on a 15-position grid, and of 5 pulses on
  // a 30-position grid, in lexicographic order gets the next index.
  struct Case { int row, subframe; };
  for (const Case c : {Case{2, 0}, Case{2, 1}, Case{0, 1}}) {
    const int step = kStep[c.row];
    const int n_columns = kSubframe / step;
    const int pulses = kPulses[c.row * 4 + c.subframe];
    std::vector<int> pick(pulses);
    std::iota(pick.begin(), pick.end(), 0);
    uint32_t expected = 0;
    const Flags none{};
    while (true) {
      Vec excitation{};
      for (int i : pick) excitation[i * step + 1] = 2.0f;
      pulse_candidate best = empty_candidate();
      best.grid = 1;
      subframe_params entry{};
      pack_pulses(excitation, entry, best, pulses, step, table_rows_of(c.row) - pulses, 0, none, 0);
      ASSERT_EQ(entry.positions, expected) << "row " << c.row;
      ++expected;
      int i = pulses - 1;
      while (i >= 0 && pick[i] == n_columns - pulses + i) --i;
      if (i < 0) break;
      ++pick[i];
      for (int j = i + 1; j < pulses; ++j) pick[j] = pick[j - 1] + 1;
    }
    EXPECT_EQ(expected, position_limit_table[c.row * 4 + c.subframe]);
  }
}

TEST(FixedCodebookPacking, ExtremePatternsAndSignBits) {
  const Flags none{};
  pulse_candidate best = empty_candidate();
  subframe_params entry{};
  Vec low{}, high{};
  for (int i = 0; i < 8; ++i) {
    low[i] = 2.0f;
    high[kSubframe - 1 - i] = -2.0f;
  }
  pack_pulses(low, entry, best, 8, 1, 0, 0, none, 0);
  EXPECT_EQ(entry.positions, 0u);
  EXPECT_EQ(entry.signs, 0);
  pack_pulses(high, entry, best, 8, 1, 0, 0, none, 0);
  EXPECT_EQ(entry.positions, 2558620845u - 1u);
  EXPECT_EQ(entry.signs, 255);

  // Six pulses on the odd grid at 1, 3, ..., 11, the first one negative.
  Vec odd{};
  for (int i = 0; i < 6; ++i) odd[2 * i + 1] = i == 0 ? -2.0f : 2.0f;
  best.grid = 1;
  pack_pulses(odd, entry, best, 6, 2, 0, 0, none, 0);
  EXPECT_EQ(entry.positions, 0u);
  EXPECT_EQ(entry.signs, 32);
  EXPECT_EQ(entry.grid, 1);
}

TEST(FixedCodebookPacking, SecondGainCode) {
  for (int first : {0, 1, 2})
    for (int i = 0; i < 4; ++i) EXPECT_EQ(code_second_gain(i, first), i);
  for (int first : {22, 23})
    for (int i = 20; i < 24; ++i) EXPECT_EQ(code_second_gain(i, first), i - 20);
  EXPECT_EQ(code_second_gain(8, 10), 0);
  EXPECT_EQ(code_second_gain(11, 10), 3);
}

// ---------------------------------------------------------------------------
// The search on constructed targets.

TEST(FixedCodebookSearch, RecoversAnExactPulsePatternAtEveryRate) {
  // With a unit impulse response a target made of equal pulses at a table
  // level is matched exactly: same positions, signs, grid and gain.
  std::mt19937 rng(31);
  std::uniform_int_distribution<int> coin(0, 1), level(2, 21);
  const Vec h = unit_response();
  for (int rate = 0; rate < 4; ++rate) {
    const int step = kStep[rate];
    for (int s = 0; s < 4; ++s) {
      for (int trial = 0; trial < 40; ++trial) {
        const int grid = std::uniform_int_distribution<int>(0, step - 1)(rng);
        const int gain = level(rng);
        std::vector<int> free;
        for (int p = grid; p < kSubframe; p += step) free.push_back(p);
        std::shuffle(free.begin(), free.end(), rng);
        Vec target{};
        const int pulses = kPulses[rate * 4 + s];
        for (int i = 0; i < pulses; ++i)
          target[free[i]] = coin(rng) ? -fcb_gain_table[gain] : fcb_gain_table[gain];
        int second_gain = 0;
        if (rate == 3) {  // smaller pulses on further free positions
          second_gain = gain - 1 - coin(rng);
          for (int i = 0; i < kPulses[16 + s]; ++i)
            target[free[pulses + i]] =
                coin(rng) ? -fcb_gain_table[second_gain] : fcb_gain_table[second_gain];
        }
        const SubframeResult r = code_subframe(rate, s, 100, target, h);
        ASSERT_EQ(r.excitation, target) << "rate " << rate << " subframe " << s;
        const subframe_params& e = r.params.subframes[s];
        EXPECT_EQ(e.fcb_gain, gain);
        EXPECT_EQ(e.grid, grid);
        EXPECT_EQ(e.train, 0);
        if (rate == 3) {
          EXPECT_EQ(r.params.subframes[4 + s].fcb_gain, second_gain - (gain - 2));
        }
        EXPECT_EQ(decode_subframe(r.params, rate, s).excitation, target);
      }
    }
  }
}

TEST(FixedCodebookSearch, GainCentreTieTakesTheHigherLevel) {
  // A peak of 22 lies midway between levels 18 and 26, so the centre is 26
  // (index 6) and the levels tried are 12..36; the pulses' mean magnitude of
  // 8 then picks 12, the nearest level tried (8 would be nearer, one below).
  Vec target{};
  target[5] = 22.0f;
  for (int p : {9, 14, 20, 33, 41, 47, 58}) target[p] = -6.0f;
  const SubframeResult r = code_subframe(1, 0, 100, target, unit_response());
  EXPECT_EQ(r.params.subframes[0].fcb_gain, 4);
}

TEST(FixedCodebookSearch, AllZeroTargetTakesLastGridPositionAndLowestGain) {
  TargetSource source(41);
  const Vec zero{};
  for (int rate = 0; rate < 4; ++rate) {
    const int step = kStep[rate];
    for (int s = 0; s < 4; ++s) {
      const int pulses = kPulses[rate * 4 + s];
      // Unit response: every weight stays zero, so after the last grid
      // position the pulses fill the grid from its start, all positive, on
      // grid 0 (the earlier offset wins the tie).
      const SubframeResult r = code_subframe(rate, s, 100, zero, unit_response());
      const subframe_params& e = r.params.subframes[s];
      EXPECT_EQ(e.fcb_gain, 0);
      EXPECT_EQ(e.grid, 0);
      EXPECT_EQ(e.signs, 0);
      Vec want{};
      for (int i = 0; i < pulses - 1; ++i) want[i * step] = 2.0f;
      want[kSubframe - step] = 2.0f;
      const DecodedSubframe d = decode_subframe(r.params, rate, s);
      Vec first{};
      for (const Pulse& p : d.first) first[p.position] = p.negative ? -2.0f : 2.0f;
      EXPECT_EQ(first, want) << "rate " << rate << " subframe " << s;

      // Any response: the lowest level, and the last position of the grid.
      for (int olp : {40, 100}) {
        const SubframeResult q = code_subframe(rate, s, olp, zero, make_response(source.rng()));
        const subframe_params& f = q.params.subframes[s];
        EXPECT_EQ(f.fcb_gain, 0);
        const DecodedSubframe g = decode_subframe(q.params, rate, s);
        ASSERT_FALSE(g.first.empty());
        EXPECT_EQ(g.first.back().position, kSubframe - step + f.grid);
      }
    }
  }
}

TEST(FixedCodebookSearch, NegativeZeroCorrelationGivesAPositivePulse) {
  // The correlation at position 59 underflows to -0.0; the pulse placed
  // there is positive, like every other pulse of this silent subframe.
  Vec target{};
  target[59] = -1e-30f;
  Vec h{};
  h[0] = 1e-20f;
  const SubframeResult r = code_subframe(1, 0, 100, target, h);
  const DecodedSubframe d = decode_subframe(r.params, 1, 0);
  ASSERT_FALSE(d.first.empty());
  EXPECT_EQ(d.first.back().position, 59);
  EXPECT_EQ(r.params.subframes[0].signs, 0);
}

TEST(FixedCodebookSearch, PitchRepetitionOnlyBelow58AndOnlyWhenStrictlyBetter) {
  const Vec h = unit_response();
  // Eight pulses whose first three repeat at lag 57: only the repeated
  // pattern fits all eleven.
  Vec pattern{};
  for (int p : {0, 1, 2, 10, 20, 30, 40, 50}) pattern[p] = (p % 20 == 0) ? -110.0f : 110.0f;
  Vec periodic;
  repeat_pitch_train(periodic, pattern, 57);
  SubframeResult r = code_subframe(1, 0, 57, periodic, h);
  EXPECT_EQ(r.params.subframes[0].train, 1);
  EXPECT_EQ(r.excitation, periodic);
  EXPECT_EQ(decode_subframe(r.params, 1, 0).excitation, periodic);
  r = code_subframe(1, 0, 58, periodic, h);
  EXPECT_EQ(r.params.subframes[0].train, 0);

  // Rate 2 at lag 20 on the step-4 grid.
  Vec three{};
  three[0] = 36.0f;
  three[4] = -36.0f;
  three[8] = 36.0f;
  repeat_pitch_train(periodic, three, 20);
  r = code_subframe(2, 1, 20, periodic, h);
  EXPECT_EQ(r.params.subframes[1].train, 1);
  EXPECT_EQ(r.excitation, periodic);

  // An equal error never replaces the candidate already held.
  TargetSource source(51);
  for (int trial = 0; trial < 20; ++trial) {
    const Vec t = source.next();
    const Vec hr = make_response(source.rng());
    const Flags none{};
    pulse_candidate best = empty_candidate();
    find_best_pulses(best, t, hr, 8, 30, 1, 0, none, 0);
    ASSERT_EQ(best.train, 1);
    pulse_candidate held = empty_candidate();
    held.error = best.error;
    held.grid = 7;
    find_best_pulses(held, t, hr, 8, 30, 1, 0, none, 0);
    EXPECT_EQ(held.grid, 7);
    EXPECT_EQ(held.train, 0);
  }

  // Lags of 58 and more never repeat; shorter lags do on some targets.
  int trains = 0;
  for (int trial = 0; trial < 200; ++trial) {
    const int rate = trial % 4;
    const int s = (trial / 4) % 4;
    const Vec t = source.next();
    const Vec hr = make_response(source.rng());
    const int long_lag = 58 + trial % 84;
    EXPECT_EQ(code_subframe(rate, s, long_lag, t, hr).params.subframes[s].train, 0);
    trains += code_subframe(rate, s, 18 + trial % 40, t, hr).params.subframes[s].train;
  }
  EXPECT_GT(trains, 0);
}

TEST(FixedCodebookSearch, SecondStageGainStaysAroundTheFirstStageGain) {
  TargetSource source(61);
  for (int previous : {0, 1, 2, 12, 22, 23}) {
    const int centre = std::clamp(previous, 2, 22);
    for (int trial = 0; trial < 20; ++trial) {
      const Vec t = source.next();
      const Vec h = make_response(source.rng());
      Flags occupied{};
      for (int p = 3; p < kSubframe; p += 7) occupied[p] = 1;
      pulse_candidate best = empty_candidate();
      find_best_pulses(best, t, h, 5, kSubframe, 1, 1, occupied, previous);
      EXPECT_GE(best.gain, centre - 2);
      EXPECT_LE(best.gain, centre + 1);
      for (int i = 0; i < 5; ++i) EXPECT_EQ(occupied[best.positions[i]], 0);
    }
  }
}

// ---------------------------------------------------------------------------
// Whole subframes on speech and noise.

TEST(FixedCodebookSearch, CodedSubframesDecodeToTheReturnedExcitation) {
  TargetSource source(71);
  std::uniform_int_distribution<int> lag(18, 141);
  for (int trial = 0; trial < 400; ++trial) {
    const int rate = trial % 4;
    const int s = (trial / 4) % 4;
    const Vec t = source.next();
    const Vec h = make_response(source.rng());
    const SubframeResult r = code_subframe(rate, s, lag(source.rng()), t, h);
    const subframe_params& e = r.params.subframes[s];
    const int pulses = kPulses[rate * 4 + s];
    ASSERT_LT(e.positions, position_limit_table[rate * 4 + s]);
    ASSERT_LT(e.grid, kStep[rate]);
    ASSERT_LT(e.signs, 1 << pulses);
    ASSERT_GE(e.fcb_gain, 0);
    ASSERT_LE(e.fcb_gain, 23);
    const DecodedSubframe d = decode_subframe(r.params, rate, s);
    ASSERT_EQ(d.excitation, r.excitation) << "rate " << rate << " subframe " << s;
    ASSERT_EQ(static_cast<int>(d.first.size()), pulses);
    if (rate == 3) {
      const subframe_params& x = r.params.subframes[4 + s];
      ASSERT_LT(x.positions, position_limit_table[16 + s]);
      ASSERT_GE(x.fcb_gain, 0);
      ASSERT_LE(x.fcb_gain, 3);
      EXPECT_EQ(x.grid, 0);
      EXPECT_EQ(x.train, 0);
      ASSERT_EQ(static_cast<int>(d.second.size()), kPulses[16 + s]);
      for (const Pulse& a : d.first)
        for (const Pulse& b : d.second) ASSERT_NE(a.position, b.position);
    }
  }
}

TEST(FixedCodebookSearch, NonFiniteTargetsStillCodeAValidSubframe) {
  // No candidate ever compares as better, yet the coded fields stay in range
  // and describe the excitation returned.
  std::mt19937 rng(91);
  const float inf = std::numeric_limits<float>::infinity();
  const float nan = std::numeric_limits<float>::quiet_NaN();
  for (int rate = 0; rate < 4; ++rate) {
    for (int s = 0; s < 4; ++s) {
      for (int kind = 0; kind < 3; ++kind) {
        Vec t{};
        if (kind == 0) t.fill(nan);
        if (kind == 1) t[17] = nan;
        if (kind == 2) {
          t[10] = inf;
          t[30] = -inf;
        }
        const SubframeResult r = code_subframe(rate, s, 40, t, make_response(rng));
        const subframe_params& e = r.params.subframes[s];
        ASSERT_LT(e.positions, position_limit_table[rate * 4 + s]);
        ASSERT_LT(e.grid, kStep[rate]);
        ASSERT_LE(e.fcb_gain, 23);
        if (rate == 3) {
          ASSERT_LT(r.params.subframes[4 + s].positions, position_limit_table[16 + s]);
          ASSERT_LE(r.params.subframes[4 + s].fcb_gain, 3);
          ASSERT_GE(r.params.subframes[4 + s].fcb_gain, 0);
        }
        for (float x : r.excitation) ASSERT_TRUE(std::isfinite(x));
        EXPECT_EQ(decode_subframe(r.params, rate, s).excitation, r.excitation)
            << "rate " << rate << " subframe " << s << " kind " << kind;
      }
    }
  }
}

TEST(FixedCodebookSearch, ErrorEqualsDirectFilteringAndBeatsRandomPatterns) {
  TargetSource source(81);
  struct Family { int pulses, step, lag; };
  const Family families[] = {{6, 2, 60}, {5, 2, 33}, {8, 1, 60}, {7, 1, 45},
                             {4, 4, 60}, {3, 4, 20}};
  std::uniform_int_distribution<int> coin(0, 1);
  for (const Family& f : families) {
    int tried = 0, better = 0;
    for (int trial = 0; trial < 30; ++trial) {
      const Vec t = source.next();
      const Vec h = make_response(source.rng());
      const Flags none{};
      pulse_candidate best = empty_candidate();
      find_best_pulses(best, t, h, f.pulses, f.lag, f.step, 0, none, 0);
      ASSERT_LT(best.error, std::numeric_limits<float>::max());
      long double scale = 0.0L;
      const long double direct = direct_error(t, excitation_of(best, f.pulses, f.lag), h, &scale);
      ASSERT_NEAR(best.error, static_cast<double>(direct), 1e-5 * static_cast<double>(scale))
          << "pulses " << f.pulses << " lag " << f.lag;

      // Random patterns on the same grid with the same level are almost
      // never better (the pulse choice is greedy, so not always optimal).
      std::vector<int> grid_positions;
      for (int p = best.grid; p < kSubframe; p += f.step) grid_positions.push_back(p);
      const float level = fcb_gain_table[best.gain];
      for (int k = 0; k < 50; ++k) {
        std::shuffle(grid_positions.begin(), grid_positions.end(), source.rng());
        pulse_candidate other = best;
        for (int i = 0; i < f.pulses; ++i) {
          other.positions[i] = grid_positions[i];
          other.amplitudes[i] = coin(source.rng()) ? -level : level;
        }
        const long double random_error =
            direct_error(t, excitation_of(other, f.pulses, f.lag), h, nullptr);
        ++tried;
        if (random_error < direct) ++better;
      }
    }
    EXPECT_LE(better, tried / 100) << "pulses " << f.pulses << " lag " << f.lag;
  }
}

}  // namespace
}  // namespace sivo
