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

TEST(FixedCodebookDecodeWalk, MatchesLiteralColumnWalkAtEveryRateGridAndIndex) {
  std::mt19937 rng(77);
  std::array<int32_t, kSubframe> occ;
  for (int trial = 0; trial < 40000; ++trial) {
    const int rate = trial % 4, s = trial / 4 % 4;
    const subframe_params e = random_entry(rng, rate * 4 + s, grid_step_table[rate] + 1);
    sub_t v, want{};
    v.fill(3.0f);
    const std::vector<int> first = literal_stage(want, e, rate, s, {});
    decode_fixed_codebook(v, e, 100, s, 0, rate, occ);
    ASSERT_EQ(v, want) << "rate " << rate << " subframe " << s << " grid " << e.grid << " index "
                       << e.positions;
    if (rate != 3) continue;
    const subframe_params e2 = random_entry(rng, 16 + s, 3);
    literal_stage(want, e2, 4, s, first);
    decode_fixed_codebook(v, e2, 100, s, 1, 4, occ);
    ASSERT_EQ(v, want) << "second stage, subframe " << s << " grid " << e2.grid << " index "
                       << e2.positions << " first stage grid " << e.grid;
  }
}

// The frame's walks run side by side must end and place exactly as each
// subframe's own walk: walks of very different lengths (indices past the
// limit, grids leaving few or no columns) in one frame, trains on and off.
TEST(FixedCodebookDecodeWalk, WholeFrameMatchesSubframeBySubframe) {
  std::mt19937 rng(78);
  for (int trial = 0; trial < 6000; ++trial) {
    const int rate = trial % 4;
    frame_params p{};
    p.olp[0] = 18 + int(rng() % 126);
    p.olp[1] = rng() % 8 == 0 ? int(rng() % 3) : 18 + int(rng() % 126);
    for (int s = 0; s < 4; ++s) {
      p.subframes[s] = random_entry(rng, rate * 4 + s, grid_step_table[rate] + 1);
      p.subframes[s].train = int(rng() % 2);
      if (rate == 3) p.subframes[4 + s] = random_entry(rng, 16 + s, 3);
    }
    std::array<float, kFrame> got, want;
    got.fill(7.0f);
    std::array<int32_t, kSubframe> occ;
    for (int s = 0; s < 4; ++s) {
      const std::span<float, kSubframe> v(want.data() + kSubframe * s, kSubframe);
      decode_fixed_codebook(v, p.subframes[s], p.olp[s / 2], s, 0, rate, occ);
      if (rate == 3) decode_fixed_codebook(v, p.subframes[4 + s], kSubframe, s, 1, 4, occ);
    }
    decode_fixed_codebooks(got, p, rate);
    ASSERT_EQ(got, want) << "rate " << rate << " trial " << trial;
  }
}

}  // namespace
}  // namespace sivo
