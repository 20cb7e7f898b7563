// Rebuilds a subframe's pulse vector by walking the combinatorial position
// index column by column, the inverse of the encoder's pulse coding.
#include "codec/synthesis/fixed_codebook_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#include "codec/excitation/pulse_filters.h"
#include "codec/kernels/kernel_table.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

// walk_pulse_columns of one walk over table.
template <typename Table>
void walk_columns(const Table& table, pulse_walk& walk) noexcept {
  const int rows = static_cast<int>(table.size());
  int row = rows - walk.pulses;
  uint32_t remainder = walk.positions;
  walk.placed = 0;
  for (int t = 0; t < walk.end && walk.placed < walk.pulses; ++t) {
    const auto entry = static_cast<uint32_t>(table[row][t]);
    if (remainder < entry) {
      walk.taken[walk.placed++] = t;
      ++row;
    } else {
      remainder -= entry;
    }
  }
}

// Adds the pulses at positions[0..count-1] with amplitude +-level, the
// first one's sign the top bit of the pulses-bit sign field.
void add_pulses(float* vector, const int* positions, int count, const subframe_params& params,
                int pulses) noexcept {
  // Adding -level is subtracting level; the sign goes in by its bit.
  constexpr int kWordBits = 32;
  constexpr uint32_t kSignBit = 0x80000000u;
  const uint32_t level = std::bit_cast<uint32_t>(fcb_gain_table[params.fcb_gain]);
  const uint32_t signs = static_cast<uint32_t>(params.signs) << (kWordBits - pulses);
  for (int j = 0; j < count; ++j) {
    vector[positions[j]] += std::bit_cast<float>(level | ((signs << j) & kSignBit));
  }
}

// Columns of each position table.
int table_columns(position_table table) noexcept {
  switch (table) {
    case position_table::grid2:
      return static_cast<int>(comb_table_30[0].size());
    case position_table::grid4:
      return static_cast<int>(comb_table_15[0].size());
    case position_table::grid1:
      return static_cast<int>(comb_table_60[0].size());
    case position_table::second_stage:
      break;
  }
  return static_cast<int>(comb_table_52[0].size());
}

// The first stage's walks at rate 0..3 over the table of its grid step. The
// walks stop at the table's last column (fewer columns than the grid only
// for grids outside the usual ones).
void walk_first_stage(std::array<pulse_walk, kSubframes>& walks, const frame_params& params,
                      int rate) noexcept {
  const int step = grid_step_table[rate];
  const position_table table = step == 2   ? position_table::grid2
                               : step == 4 ? position_table::grid4
                                           : position_table::grid1;
  for (int s = 0; s < kSubframes; ++s) {
    const subframe_params& entry = params.subframes[s];
    const int i = rate * kSubframes + s;
    const int on_grid = entry.grid < kSubframe ? (kSubframe - 1 - entry.grid) / step + 1 : 0;
    walks[s].positions = entry.positions;
    walks[s].pulses = pulse_count_table[i];
    walks[s].end = entry.positions < position_limit_table[i]
                       ? std::min(on_grid, table_columns(table))
                       : 0;
  }
  kernels().walk_pulse_columns(table, walks);
}

// The second stage of rate 3 walks the positions the first stage left free
// from its grid on. before[s]: first-stage pulses ahead of the grid, which
// the walk never reaches.
void walk_second_stage(std::array<pulse_walk, kSubframes>& walks,
                       const std::array<pulse_walk, kSubframes>& first,
                       const frame_params& params, std::array<int, kSubframes>& before) noexcept {
  static_assert(grid_step_table[kRates] == 1);  // every free position is a column
  constexpr int kSecondStageRow = kRates * kSubframes;  // rate index 4
  for (int s = 0; s < kSubframes; ++s) {
    const subframe_params& entry = params.subframes[kSubframes + s];
    before[s] = 0;
    for (int k = 0; k < first[s].placed; ++k) before[s] += first[s].taken[k] < entry.grid ? 1 : 0;
    const int on_grid = entry.grid < kSubframe ? kSubframe - entry.grid : 0;
    const int count = on_grid - (first[s].placed - before[s]);
    walks[s].positions = entry.positions;
    walks[s].pulses = pulse_count_table[kSecondStageRow + s];
    walks[s].end = entry.positions < position_limit_table[kSecondStageRow + s]
                       ? std::min(count, table_columns(position_table::second_stage))
                       : 0;
  }
  kernels().walk_pulse_columns(position_table::second_stage, walks);
}

// Turns the second stage's columns into positions: column c of grid g is the
// c-th position from g that the first stage left free. Stepping over the
// first stage's pulses from the grid on, in order, moves the column past the
// i-th of them (i from 0) exactly when that pulse's position less i is at
// most g + c; as those values never decrease, the steps are a count of them.
void second_stage_positions(pulse_walk& walk, const pulse_walk& first, int grid,
                            int before) noexcept {
  int32_t lowered[kMaxPulses];
  for (int i = 0; i < kMaxPulses; ++i) lowered[i] = kSubframe;  // never counted
  for (int k = before; k < first.placed; ++k) lowered[k - before] = first.taken[k] - (k - before);
  for (int j = 0; j < walk.placed; ++j) {
    const int column = grid + walk.taken[j];
    int passed = 0;
    for (int i = 0; i < kMaxPulses; ++i) passed += lowered[i] <= column ? 1 : 0;
    walk.taken[j] = column + passed;
  }
}

}  // namespace

void walk_pulse_columns(position_table table, std::array<pulse_walk, kSubframes>& walks) noexcept {
  for (pulse_walk& walk : walks) {
    switch (table) {
      case position_table::grid2:
        walk_columns(comb_table_30, walk);
        break;
      case position_table::grid4:
        walk_columns(comb_table_15, walk);
        break;
      case position_table::grid1:
        walk_columns(comb_table_60, walk);
        break;
      case position_table::second_stage:
        walk_columns(comb_table_52, walk);
        break;
    }
  }
}

void decode_fixed_codebooks(std::span<float, kFrame> vectors, const frame_params& params,
                            int rate) noexcept {
  std::fill(vectors.begin(), vectors.end(), 0.0f);
  const int step = grid_step_table[rate];
  std::array<pulse_walk, kSubframes> first;
  walk_first_stage(first, params, rate);
  for (int s = 0; s < kSubframes; ++s) {
    const subframe_params& entry = params.subframes[s];
    pulse_walk& w = first[s];
    for (int j = 0; j < w.placed; ++j) w.taken[j] = entry.grid + step * w.taken[j];
    float* const v = vectors.data() + kSubframe * s;
    add_pulses(v, w.taken, w.placed, entry, w.pulses);
    const int32_t lag = params.olp[s / 2];
    // An index past its limit places nothing and repeats nothing; a lag
    // below 1 would never end.
    if (w.end > 0 && entry.train == 1 && lag > 0) {
      repeat_pitch_train(std::span<float, kSubframe>(v, kSubframe),
                         std::span<const float, kSubframe>(v, kSubframe), lag);
    }
  }
  if (rate != kRates - 1) return;

  // Rate 3's second stage; its pulses never repeat.
  std::array<pulse_walk, kSubframes> second;
  std::array<int, kSubframes> before;
  walk_second_stage(second, first, params, before);
  for (int s = 0; s < kSubframes; ++s) {
    const subframe_params& entry = params.subframes[kSubframes + s];
    second_stage_positions(second[s], first[s], entry.grid, before[s]);
    add_pulses(vectors.data() + kSubframe * s, second[s].taken, second[s].placed, entry,
               second[s].pulses);
  }
}

}  // namespace sivo
