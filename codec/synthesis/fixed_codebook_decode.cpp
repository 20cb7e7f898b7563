// Rebuilds a subframe's pulse vector by walking the combinatorial position
// index column by column, the inverse of the encoder's pulse coding.
#include "codec/synthesis/fixed_codebook_decode.h"

#include <bit>

#include "codec/excitation/pulse_filters.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

// Walks the columns of table, column t at position[t] (when position is
// given) or at grid + t * step, count columns at most, starting at row K - pulses, and places a pulse of amplitude +-level
// wherever the remaining index falls below the column's entry; pulses add
// to what is there. Stage 0 marks each pulse in occupied.
template <typename Table>
void place_pulses(const Table& table, std::span<float, kSubframe> vector,
                  const subframe_params& params, int pulses, const int* position, int step,
                  int count, int stage, std::span<int32_t, kSubframe> occupied) noexcept {
  constexpr int rows = static_cast<int>(std::tuple_size_v<Table>);
  constexpr int columns = static_cast<int>(std::tuple_size_v<typename Table::value_type>);
  const uint32_t level = std::bit_cast<uint32_t>(fcb_gain_table[params.fcb_gain]);
  const int end = count < columns ? count : columns;
  int row = rows - pulses;
  int placed = 0;
  uint32_t rem = params.positions;
  const auto signs = static_cast<uint32_t>(params.signs);
  // The outcome of each column is as good as random, so it is carried in
  // masks rather than branched on: a column not taken adds +0, which leaves
  // every sample as it was (no sample here is ever -0: the levels are
  // positive and the samples start at +0). Both entries the column may need
  // (this row or the next) are loaded before the previous column's outcome
  // is known, which keeps the table loads off the chain between columns.
  const auto entry_of = [&](int r, int t) {
    return static_cast<uint32_t>(table[r < rows ? r : rows - 1][t]);
  };
  uint32_t stay = end > 0 ? entry_of(row, 0) : 0u;
  uint32_t advance = stay;
  uint32_t last_taken = 0;  // all ones when the previous column took a pulse
  for (int t = 0; t < end; ++t) {
    const uint32_t entry = stay ^ ((stay ^ advance) & last_taken);
    const uint32_t take = 0u - static_cast<uint32_t>(rem < entry);
    rem -= entry & ~take;
    placed += static_cast<int>(take & 1u);
    const int p = position != nullptr ? position[t] : params.grid + step * t;
    const uint32_t sign = (signs >> (pulses - placed)) << 31;
    vector[p] += std::bit_cast<float>((level | sign) & take);
    if (stage == 0) occupied[p] |= static_cast<int32_t>(take & 1u);
    if (placed == pulses) break;
    if (t + 1 < end) {
      stay = entry_of(row, t + 1);
      advance = entry_of(row + 1, t + 1);
    }
    row += static_cast<int>(take & 1u);
    last_taken = take;
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
  if (stage == 1) {
    int position[kSubframe];
    int count = 0;
    for (int p = grid; p < kSubframe; p += step) {
      position[count] = p;
      count += occupied[p] != 0 ? 0 : 1;
    }
    place_pulses(comb_table_52, vector, params, pulses, position, step, count, stage, occupied);
  } else if (step == 2) {
    place_pulses(comb_table_30, vector, params, pulses, nullptr, step, on_grid, stage, occupied);
  } else if (step == 4) {
    place_pulses(comb_table_15, vector, params, pulses, nullptr, step, on_grid, stage, occupied);
  } else {
    place_pulses(comb_table_60, vector, params, pulses, nullptr, step, on_grid, stage, occupied);
  }

  // A lag of 60 or more repeats nothing; a lag below 1 would never end.
  if (params.train == 1 && lag > 0) repeat_pitch_train(vector, vector, lag);
}

}  // namespace sivo
