// Rebuilds a subframe's pulse vector by walking the combinatorial position
// index column by column, the inverse of the encoder's pulse coding.
#include "codec/synthesis/fixed_codebook_decode.h"

#include <array>
#include <bit>
#include <cstring>

#include "codec/excitation/pulse_filters.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

// A position table turned column by column, with a spare row: the entries
// a column may need (this row and the one below) lie side by side.
template <typename Table>
struct column_table {
  static constexpr int rows = static_cast<int>(std::tuple_size_v<Table>);
  static constexpr int columns = static_cast<int>(std::tuple_size_v<typename Table::value_type>);
  std::array<std::array<uint32_t, rows + 1>, columns> entry{};
};

template <typename Table>
constexpr column_table<Table> by_columns(const Table& table) {
  column_table<Table> out;
  for (int r = 0; r < out.rows; ++r) {
    for (int t = 0; t < out.columns; ++t) out.entry[t][r] = static_cast<uint32_t>(table[r][t]);
  }
  return out;
}

constexpr auto columns_30 = by_columns(comb_table_30);
constexpr auto columns_15 = by_columns(comb_table_15);
constexpr auto columns_60 = by_columns(comb_table_60);
constexpr auto columns_52 = by_columns(comb_table_52);

// Walks the columns, column t at position[t] (kListed) or at grid + t *
// step, count columns at most, starting at row K - pulses, and places a
// pulse of amplitude +-level wherever the remaining index falls below the
// column's entry; pulses add to what is there. kMark: each pulse is marked
// in occupied.
template <bool kListed, bool kMark, typename Columns>
void place_pulses(const Columns& table, float* vector, const subframe_params& params, int pulses,
                  const int* position, int step, int count, int32_t* occupied) noexcept {
  constexpr int stride = Columns::rows + 1;
  const int end = count < Columns::columns ? count : Columns::columns;
  // First the columns that take a pulse: a tight walk whose only chain from
  // one column to the next is the comparison and the two selects it drives
  // (the outcome of a column is as good as random, so it is selected on,
  // not branched on). The pair of entries a column may need (this row and
  // the next) is loaded before the previous column's outcome is known.
  int taken[kMaxPulses];
  int placed = 0;
  uint32_t rem = params.positions;
  const uint32_t* pair = &table.entry[0][Columns::rows - pulses];
  uint32_t last_take = 0;  // 1 when the previous column took a pulse
  for (int t = 0; t < end; ++t) {
    const uint32_t stay = pair[0], advance = pair[1];
    const uint32_t entry = stay ^ ((stay ^ advance) & (0u - last_take));
    const uint32_t take = rem < entry ? 1u : 0u;
    rem -= entry & (take - 1u);
    taken[placed] = t;
    placed += static_cast<int>(take);
    if (placed == pulses) break;
    pair += stride + last_take;
    last_take = take;
  }
  // Then the pulses, the first one's sign the top bit of the field.
  // Adding -level is subtracting level; the sign goes in by its bit.
  const uint32_t level = std::bit_cast<uint32_t>(fcb_gain_table[params.fcb_gain]);
  const uint32_t signs = static_cast<uint32_t>(params.signs) << (32 - pulses);
  for (int j = 0; j < placed; ++j) {
    const int at = kListed ? position[taken[j]] : params.grid + step * taken[j];
    vector[at] += std::bit_cast<float>(level | ((signs << j) & 0x80000000u));
    if (kMark) occupied[at] = 1;
  }
}

}  // namespace

void decode_fixed_codebook(std::span<float, kSubframe> vector, const subframe_params& params,
                           int32_t lag, int subframe, int stage, int rate_index,
                           std::span<int32_t, kSubframe> occupied) noexcept {
  const int i = rate_index * kSubframes + subframe;
  const int pulses = pulse_count_table[i];
  const int step = grid_step_table[rate_index];
  if (stage == 0) {
    for (int n = 0; n < kSubframe; ++n) {
      vector[n] = 0.0f;
      occupied[n] = 0;
    }
  }
  if (params.positions >= position_limit_table[i]) return;

  // The columns stand for the grid positions, in stage 1 less those stage 0
  // took. A grid walk that leaves the subframe has nothing more to place.
  const int grid = params.grid;
  const int on_grid = grid < kSubframe ? (kSubframe - 1 - grid) / step + 1 : 0;
  float* const v = vector.data();
  int32_t* const marks = occupied.data();
  if (stage == 1) {
    int position[kSubframe];
    int count = 0;
    for (int p = grid; p < kSubframe; p += step) {
      position[count] = p;
      count += occupied[p] != 0 ? 0 : 1;
    }
    place_pulses<true, false>(columns_52, v, params, pulses, position, step, count, marks);
  } else if (step == 2) {
    place_pulses<false, true>(columns_30, v, params, pulses, nullptr, step, on_grid, marks);
  } else if (step == 4) {
    place_pulses<false, true>(columns_15, v, params, pulses, nullptr, step, on_grid, marks);
  } else {
    place_pulses<false, true>(columns_60, v, params, pulses, nullptr, step, on_grid, marks);
  }

  // A lag of 60 or more repeats nothing; a lag below 1 would never end.
  if (params.train == 1 && lag > 0) repeat_pitch_train(vector, vector, lag);
}

}  // namespace sivo
