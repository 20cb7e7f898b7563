// Rebuilds a subframe's pulse vector by walking the combinatorial position
// index column by column, the inverse of the encoder's pulse coding.
#include "codec/synthesis/fixed_codebook_decode.h"

#include "codec/excitation/pulse_filters.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

// Walks the grid (offset grid, spacing step) across the columns of table,
// starting at row K - pulses, and places a pulse of amplitude +-level
// wherever the remaining index falls below the column's entry. In stage 1
// positions marked in occupied are skipped and pulses add to what is there.
template <typename Table>
void place_pulses(const Table& table, std::span<float, kSubframe> vector,
                  const subframe_params& params, int pulses, int step, int stage,
                  std::span<int32_t, kSubframe> occupied) noexcept {
  constexpr int rows = static_cast<int>(std::tuple_size_v<Table>);
  constexpr int columns = static_cast<int>(std::tuple_size_v<typename Table::value_type>);
  const float level = fcb_gain_table[params.fcb_gain];
  int row = rows - pulses;
  int p = params.grid;
  int placed = 0;
  uint32_t rem = params.positions;
  // The outcome of each column is as good as random, so it selects values
  // instead of branching; an untouched sample is written back unchanged.
  for (int t = 0; t < columns; ++t) {
    if (stage == 1) {
      while (p < kSubframe && occupied[p] != 0) p += step;
    }
    // A grid walk that leaves the subframe has nothing more to place.
    if (p >= kSubframe) break;
    const auto entry = static_cast<uint32_t>(table[row][t]);
    const bool take = rem < entry;
    rem = take ? rem : rem - entry;
    placed += take ? 1 : 0;
    const bool negative = ((static_cast<uint32_t>(params.signs) >> (pulses - placed)) & 1u) != 0;
    const float v = vector[p];
    const float pulsed = negative ? v - level : v + level;
    vector[p] = take ? pulsed : v;
    if (stage == 0) occupied[p] = take ? 1 : occupied[p];
    if (placed == pulses) break;
    row += take ? 1 : 0;
    p += step;
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

  if (stage == 1) {
    place_pulses(comb_table_52, vector, params, pulses, step, stage, occupied);
  } else if (step == 2) {
    place_pulses(comb_table_30, vector, params, pulses, step, stage, occupied);
  } else if (step == 4) {
    place_pulses(comb_table_15, vector, params, pulses, step, stage, occupied);
  } else {
    place_pulses(comb_table_60, vector, params, pulses, step, stage, occupied);
  }

  // A lag of 60 or more repeats nothing; a lag below 1 would never end.
  if (params.train == 1 && lag > 0) repeat_pitch_train(vector, vector, lag);
}

}  // namespace sivo
