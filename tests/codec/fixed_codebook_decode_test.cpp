// Pulse decoding against a literal column walk over the position tables.
#include "codec/synthesis/fixed_codebook_decode.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <random>
#include <span>
#include <vector>

#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

using sub_t = std::array<float, kSubframe>;

// The literal column walk: column t stands for slots[t]; a pulse goes there
// when the remaining index is below the current row's entry (and the row
// moves down), else the entry is taken off the index.
template <typename Table>
std::vector<int> literal_walk(const Table& table, const std::vector<int>& slots, uint32_t index,
                              int pulses) {
  std::vector<int> out;
  int row = static_cast<int>(table.size()) - pulses;
  const int end = std::min<int>(static_cast<int>(slots.size()), static_cast<int>(table[0].size()));
  for (int t = 0; t < end && static_cast<int>(out.size()) < pulses; ++t) {
    const uint32_t entry = static_cast<uint32_t>(table[row][t]);
    if (index < entry) {
      out.push_back(slots[t]);
      ++row;
    } else {
      index -= entry;
    }
  }
  return out;
}

// Adds the walked pulses to want; returns their positions.
std::vector<int> literal_stage(sub_t& want, const subframe_params& e, int rate_index, int subframe,
                               const std::vector<int>& first_stage) {
  const int i = rate_index * 4 + subframe, pulses = pulse_count_table[i];
  const int step = grid_step_table[rate_index];
  if (e.positions >= position_limit_table[i]) return {};
  std::vector<int> slots;
  for (int p = e.grid; p < kSubframe; p += step)
    if (std::find(first_stage.begin(), first_stage.end(), p) == first_stage.end())
      slots.push_back(p);
  std::vector<int> placed;
  if (rate_index == 4) {
    placed = literal_walk(comb_table_52, slots, e.positions, pulses);
  } else if (step == 2) {
    placed = literal_walk(comb_table_30, slots, e.positions, pulses);
  } else if (step == 4) {
    placed = literal_walk(comb_table_15, slots, e.positions, pulses);
  } else {
    placed = literal_walk(comb_table_60, slots, e.positions, pulses);
  }
  const float level = fcb_gain_table[e.fcb_gain];
  for (size_t j = 0; j < placed.size(); ++j)
    want[placed[j]] += (e.signs >> (pulses - 1 - static_cast<int>(j)) & 1) ? -level : level;
  return placed;
}

// Indices spread over the whole range, clustered at both ends and just past
// the limit; grids on and off the usual ones, some leaving too few columns
// for every pulse.
subframe_params random_entry(std::mt19937& rng, int i, int max_grid) {
  const uint32_t limit = position_limit_table[i];
  subframe_params e{};
  switch (rng() % 5) {
    case 0:
      e.positions = static_cast<uint32_t>(rng() % 64);
      break;
    case 1:
      e.positions = limit - 1 - static_cast<uint32_t>(rng() % 64);
      break;
    case 2:
      e.positions = limit + static_cast<uint32_t>(rng() % 3);
      break;
    default:
      e.positions = static_cast<uint32_t>(rng() % limit);
      break;
  }
  e.grid = rng() % 4 == 0 ? static_cast<int>(rng() % 64) : static_cast<int>(rng() % max_grid);
  e.signs = static_cast<int>(rng() & ((1u << pulse_count_table[i]) - 1));
  e.fcb_gain = static_cast<int>(rng() % 24);
  return e;
}

// Whole frames against the literal walk of each subframe: walks of very
// different lengths (indices past the limit, grids leaving few or no
// columns) side by side in one frame, trains on and off.
TEST(FixedCodebookDecodeWalk, WholeFrameMatchesLiteralColumnWalk) {
  std::mt19937 rng(78);
  for (int trial = 0; trial < 12000; ++trial) {
    const int rate = trial % 4;
    frame_params p{};
    p.olp[0] = 18 + int(rng() % 126);
    p.olp[1] = rng() % 8 == 0 ? int(rng() % 3) : 18 + int(rng() % 126);
    std::array<float, kFrame> got, want{};
    got.fill(7.0f);
    for (int s = 0; s < 4; ++s) {
      subframe_params& e = p.subframes[s];
      e = random_entry(rng, rate * 4 + s, grid_step_table[rate] + 1);
      e.train = int(rng() % 2);
      sub_t v{};
      const std::vector<int> first = literal_stage(v, e, rate, s, {});
      // The repetition of a placed pattern at the pitch lag (none below 1).
      const int lag = p.olp[s / 2];
      const sub_t pattern = v;
      const bool placed = e.positions < position_limit_table[rate * 4 + s];
      for (int a = lag; placed && e.train == 1 && lag > 0 && a < kSubframe; a += lag)
        for (int i = a; i < kSubframe; ++i) v[i] += pattern[i - a];
      if (rate == 3) {
        p.subframes[4 + s] = random_entry(rng, 16 + s, 3);
        literal_stage(v, p.subframes[4 + s], 4, s, first);
      }
      std::copy(v.begin(), v.end(), want.begin() + kSubframe * s);
    }
    decode_fixed_codebooks(got, p, rate);
    ASSERT_EQ(got, want) << "rate " << rate << " trial " << trial;
  }
}

}  // namespace
}  // namespace sivo
