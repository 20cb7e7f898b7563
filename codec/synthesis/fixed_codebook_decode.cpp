// Rebuilds a subframe's pulse vector by walking the combinatorial position
// index column by column, the inverse of the encoder's pulse coding.
#include "codec/synthesis/fixed_codebook_decode.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "codec/excitation/pulse_filters.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

// One walk over a position table: the index, the pulses it holds and the
// columns it may use (0: none); placed and taken[0..placed-1] (ascending
// columns) come back. taken has a spare slot for the batched walk.
struct pulse_walk {
  uint32_t positions;
  int pulses;
  int end;
  int placed;
  int taken[kMaxPulses + 1];
};

#if !defined(__SSE2__)
// A position table turned column by column, with a spare row and a spare
// column: the entries a column may need (this row and the one below) lie
// side by side, and the walk may look one column past the last.
template <typename Table>
struct column_table {
  static constexpr int rows = static_cast<int>(std::tuple_size_v<Table>);
  static constexpr int columns = static_cast<int>(std::tuple_size_v<typename Table::value_type>);
  std::array<std::array<uint32_t, rows + 1>, columns + 1> entry{};
};

template <typename Table>
constexpr column_table<Table> by_columns(const Table& table) {
  column_table<Table> out;
  for (int r = 0; r < out.rows; ++r) {
    for (int t = 0; t < out.columns; ++t) out.entry[t][r] = static_cast<uint32_t>(table[r][t]);
  }
  return out;
}

// One column's outcome: take = rem < entry; rem less entry unless taken;
// the next column's entry, advance if taken, else stay. All from one
// comparison, as conditional moves where the compiler would branch (a
// branch here mispredicts on every pulse).
struct column_step {
  uint32_t rem, next, take;
};

inline column_step step_column(uint32_t rem, uint32_t entry, uint32_t stay,
                               uint32_t advance) noexcept {
#if defined(__GNUC__) && defined(__x86_64__)
  const uint32_t less = rem - entry;
  uint32_t next = stay;
  uint8_t below;
  __asm__(
      "cmpl %[entry], %[rem]\n\t"
      "cmovael %[less], %[rem]\n\t"
      "cmovbl %[advance], %[next]\n\t"
      "setb %[below]"
      : [rem] "+r"(rem), [next] "+r"(next), [below] "=q"(below)
      : [entry] "r"(entry), [less] "r"(less), [advance] "r"(advance)
      : "cc");
  return column_step{rem, next, below};
#else
  const bool below = rem < entry;
  return column_step{below ? rem : rem - entry, below ? advance : stay, below ? 1u : 0u};
#endif
}

// Walks the columns of table over count columns at most (fewer if the
// table has fewer), starting at row K - pulses, and writes to taken the
// columns where the remaining index falls below the column's entry, in
// increasing order; returns how many (at most pulses).
template <typename Columns>
int walk_columns(const Columns& table, uint32_t positions, int pulses, int count,
                 int (&taken)[kMaxPulses]) noexcept {
  constexpr int stride = Columns::rows + 1;
  const int end = count < Columns::columns ? count : Columns::columns;
  // A tight walk whose only chain from one column to the next is the
  // comparison and the moves it selects. The pair of entries the next
  // column may need (this row and the one below) is loaded before this
  // column's outcome is known.
  int placed = 0;
  uint32_t rem = positions;
  const uint32_t* pair = &table.entry[0][Columns::rows - pulses];
  uint32_t entry = pair[0];
  uint32_t last_take = 0;  // 1 when the previous column took a pulse
  for (int t = 0; t < end; ++t) {
    const uint32_t* next = pair + stride + last_take;  // the spare column ends the table
    const column_step outcome = step_column(rem, entry, next[0], next[1]);
    rem = outcome.rem;
    entry = outcome.next;
    taken[placed] = t;
    placed += static_cast<int>(outcome.take);
    if (placed == pulses) break;
    pair = next;
    last_take = outcome.take;
  }
  return placed;
}

#else
// A position table as running sums along each row, with 32 spare columns:
// sum[r][j] is the total of the row's entries before column j, stored with
// the top bit flipped so that signed lane comparisons order them as
// unsigned. The spare columns hold the largest value.
template <typename Table>
struct prefix_table {
  static constexpr int rows = static_cast<int>(std::tuple_size_v<Table>);
  static constexpr int columns = static_cast<int>(std::tuple_size_v<typename Table::value_type>);
  static constexpr int width = columns + 1 + 32;
  alignas(16) std::array<std::array<uint32_t, width>, rows> sum{};
  // What a pulse at column t of row r adds to the searched-for value (mod
  // 2^32): row r + 1's sum before t + 1 less row r's sum before t, in all
  // four lanes.
  alignas(16) std::array<std::array<std::array<uint32_t, 4>, columns>, rows> shift{};
};

constexpr uint32_t kFlip = 0x80000000u;
#define SIVO_WALK_INLINE inline __attribute__((always_inline))

template <typename Table>
constexpr prefix_table<Table> by_prefix(const Table& table) {
  prefix_table<Table> out;
  for (int r = 0; r < out.rows; ++r) {
    uint64_t total = 0;
    for (int j = 0; j <= out.columns; ++j) {
      out.sum[r][j] = static_cast<uint32_t>(total) ^ kFlip;
      if (j < out.columns) total += static_cast<uint64_t>(table[r][j]);
    }
    for (int j = out.columns + 1; j < out.width; ++j) out.sum[r][j] = 0xFFFFFFFFu ^ kFlip;
  }
  for (int r = 0; r + 1 < out.rows; ++r) {
    for (int t = 0; t < out.columns; ++t) {
      for (auto& lane : out.shift[r][t]) lane = out.sum[r + 1][t + 1] - out.sum[r][t];
    }
  }
  return out;
}

// The running sums fit 32 bits, and whatever index is left after a pulse in
// row r at column t (below entry t of row r) plus the sum before column t + 1
// of row r + 1 stays below that row's total: the searched-for value never
// wraps.
template <typename Table>
constexpr bool prefix_sums_fit(const Table& table) {
  constexpr int rows = static_cast<int>(std::tuple_size_v<Table>);
  constexpr int columns = static_cast<int>(std::tuple_size_v<typename Table::value_type>);
  for (int r = 0; r < rows; ++r) {
    uint64_t total = 0;
    for (int j = 0; j < columns; ++j) {
      if (table[r][j] < 0) return false;
      total += static_cast<uint64_t>(table[r][j]);
    }
    if (total >= 0xFFFFFFFFu) return false;
    if (r == 0) continue;
    uint64_t after = total;  // sum of row r from column t on
    for (int t = 0; t < columns; ++t) {
      if (t > 0 && static_cast<uint64_t>(table[r - 1][t - 1]) > after) return false;
      after -= static_cast<uint64_t>(table[r][t]);
    }
  }
  return true;
}

static_assert(prefix_sums_fit(comb_table_30) && prefix_sums_fit(comb_table_15) &&
              prefix_sums_fit(comb_table_60) && prefix_sums_fit(comb_table_52));

// The same walk a pulse at a time. Within a row, the column walk takes at
// the first column t where the index it entered with, plus the row's sum
// before its entry column, falls below the row's sum through column t; the
// remainder it leaves is that value less the sum before t. Sixteen columns
// are compared at once, so the only chain is from one pulse to the next.
template <typename Prefix>
int jump_columns(const Prefix& table, uint32_t positions, int pulses, int count,
                 int (&taken)[kMaxPulses]) noexcept {
  const int end = count < Prefix::columns ? count : Prefix::columns;
  int row = Prefix::rows - pulses;
  int from = 0;  // the row's entry column
  // The searched-for value in every lane, top bit flipped; the row's sum
  // before column 0 is 0.
  __m128i key = _mm_set1_epi32(static_cast<int32_t>(positions ^ kFlip));
  int placed = 0;
  while (from < end) {
    const uint32_t* sums = table.sum[row].data();
    int t = from;
    uint32_t mask;
    for (;;) {
      // Column t + k takes when key < sum before column t + k + 1.
      const uint32_t* at = sums + t + 1;
      const __m128i a = _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at)), key);
      const __m128i b =
          _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 4)), key);
      const __m128i c =
          _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 8)), key);
      const __m128i d =
          _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(at + 12)), key);
      mask = static_cast<uint32_t>(
          _mm_movemask_epi8(_mm_packs_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d))));
      if (mask != 0 || t + 16 >= end) break;
      t += 16;
    }
    if (mask == 0) break;
    t += std::countr_zero(mask);
    if (t >= end) break;
    taken[placed++] = t;
    if (placed == pulses) break;
    key = _mm_add_epi32(
        key, _mm_load_si128(reinterpret_cast<const __m128i*>(table.shift[row][t].data())));
    ++row;
    from = t + 1;
  }
  return placed;
}

// The walks of the frame's four subframes side by side, one pulse (or one
// block of columns without one) of each per round, so that their chains
// overlap instead of following one another. Each walk makes exactly the
// decisions of jump_columns; a walk that has ended is stepped no more.
struct walk_state {
  const uint32_t* sums;   // the current row's running sums
  const uint32_t* shift;  // the current row's steps, four lanes a column
  int t;                  // the next column to look at
  int placed;
  bool active;
  __m128i key;
};

template <typename Prefix>
SIVO_WALK_INLINE walk_state start_walk(const Prefix& table, const pulse_walk& walk) noexcept {
  const int row = Prefix::rows - walk.pulses;
  return walk_state{table.sum[row].data(),
                    table.shift[row][0].data(),
                    0,
                    0,
                    walk.end > 0,
                    _mm_set1_epi32(static_cast<int32_t>(walk.positions ^ kFlip))};
}

template <typename Prefix, int kBlock>
SIVO_WALK_INLINE void step_walk(walk_state& st, pulse_walk& walk) noexcept {
  static_assert(kBlock == 16 || kBlock == 32);
  constexpr int kRowSums = Prefix::width;
  constexpr int kRowShifts = 4 * Prefix::columns;
  const int end = walk.end;
  const uint32_t* at = st.sums + st.t + 1;
  // Column t + k takes when key < sum before column t + k + 1.
  const auto block = [&](const uint32_t* from) __attribute__((always_inline)) {
    const __m128i a =
        _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from)), st.key);
    const __m128i b =
        _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 4)), st.key);
    const __m128i c =
        _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 8)), st.key);
    const __m128i d =
        _mm_cmpgt_epi32(_mm_loadu_si128(reinterpret_cast<const __m128i*>(from + 12)), st.key);
    return static_cast<uint64_t>(static_cast<uint32_t>(
        _mm_movemask_epi8(_mm_packs_epi16(_mm_packs_epi32(a, b), _mm_packs_epi32(c, d)))));
  };
  const uint64_t mask = kBlock == 32 ? block(at) | block(at + 16) << 16 : block(at);
  // The branches below go one way nearly always: a block holds a take, the
  // take lies inside the walk's columns, and the walk goes on after it.
  if (mask == 0) {
    st.t += kBlock;
    st.active = st.t < end;
    return;
  }
  const int column = st.t + std::countr_zero(mask);
  if (column >= end) {
    st.active = false;
    return;
  }
  walk.taken[st.placed++] = column;
  st.t = column + 1;
  st.active = st.placed < walk.pulses && st.t < end;
  if (!st.active) return;
  st.key = _mm_add_epi32(st.key,
                         _mm_load_si128(reinterpret_cast<const __m128i*>(st.shift + 4 * column)));
  st.sums += kRowSums;
  st.shift += kRowShifts;
}

template <typename Prefix>
void jump_columns_together(const Prefix& table,
                           std::array<pulse_walk, kSubframes>& walks) noexcept {
  static_assert(kSubframes == 4);
  walk_state w0 = start_walk(table, walks[0]), w1 = start_walk(table, walks[1]);
  walk_state w2 = start_walk(table, walks[2]), w3 = start_walk(table, walks[3]);
  // Thirty-two columns a step over the long tables, so that a step without
  // a pulse (whose outcome the branches mispredict) stays rare; sixteen over
  // the short ones, where that is rare anyway.
  constexpr int kBlock = Prefix::columns > 32 ? 32 : 16;
  while (w0.active || w1.active || w2.active || w3.active) {
    if (w0.active) step_walk<Prefix, kBlock>(w0, walks[0]);
    if (w1.active) step_walk<Prefix, kBlock>(w1, walks[1]);
    if (w2.active) step_walk<Prefix, kBlock>(w2, walks[2]);
    if (w3.active) step_walk<Prefix, kBlock>(w3, walks[3]);
  }
  walks[0].placed = w0.placed;
  walks[1].placed = w1.placed;
  walks[2].placed = w2.placed;
  walks[3].placed = w3.placed;
}
#endif

// The walk over a position table, by sixteen columns at a time where the
// lanes exist, else column by column.
template <const auto& table>
int find_columns(uint32_t positions, int pulses, int count, int (&taken)[kMaxPulses]) noexcept {
#if defined(__SSE2__)
  static constexpr auto prefix = by_prefix(table);
  return jump_columns(prefix, positions, pulses, count, taken);
#else
  static constexpr auto columns = by_columns(table);
  return walk_columns(columns, positions, pulses, count, taken);
#endif
}

// The four walks of a frame over one position table.
template <const auto& table>
void find_columns_together(std::array<pulse_walk, kSubframes>& walks) noexcept {
#if defined(__SSE2__)
  static constexpr auto prefix = by_prefix(table);
  jump_columns_together(prefix, walks);
#else
  static constexpr auto columns = by_columns(table);
  for (pulse_walk& w : walks) {
    int taken[kMaxPulses];
    w.placed = w.end > 0 ? walk_columns(columns, w.positions, w.pulses, w.end, taken) : 0;
    std::copy_n(taken, w.placed, w.taken);
  }
#endif
}

// Adds the pulses at positions[0..count-1] with amplitude +-level, the
// first one's sign the top bit of the pulses-bit sign field.
void add_pulses(float* vector, const int* positions, int count, const subframe_params& params,
                int pulses) noexcept {
  // Adding -level is subtracting level; the sign goes in by its bit.
  const uint32_t level = std::bit_cast<uint32_t>(fcb_gain_table[params.fcb_gain]);
  const uint32_t signs = static_cast<uint32_t>(params.signs) << (32 - pulses);
  for (int j = 0; j < count; ++j) {
    vector[positions[j]] += std::bit_cast<float>(level | ((signs << j) & 0x80000000u));
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
    std::fill(vector.begin(), vector.end(), 0.0f);
    occupied[0] = 0;
  }
  if (params.positions >= position_limit_table[i]) return;

  // The columns stand for the grid positions, in stage 1 less those stage 0
  // took. A grid walk that leaves the subframe has nothing more to place.
  const int grid = params.grid;
  const int on_grid = grid < kSubframe ? (kSubframe - 1 - grid) / step + 1 : 0;
  int taken[kMaxPulses];
  if (stage == 1) {
    // Stage 0's pulses (ascending) are skipped: column c is the c-th free
    // position from the grid's start, found by stepping over each pulse at
    // or before it.
    static_assert(grid_step_table[4] == 1);
    const int occupied_count = occupied[0];
    int before = 0;  // stage 0 pulses the walk never reaches
    for (int k = 0; k < occupied_count; ++k) before += occupied[1 + k] < grid ? 1 : 0;
    const int count = on_grid - (occupied_count - before);
    const int placed = find_columns<comb_table_52>(params.positions, pulses, count, taken);
    for (int j = 0; j < placed; ++j) {
      int at = grid + taken[j];
      for (int k = before; k < occupied_count; ++k) at += occupied[1 + k] <= at ? 1 : 0;
      taken[j] = at;
    }
    add_pulses(vector.data(), taken, placed, params, pulses);
  } else {
    int placed;
    if (step == 2) {
      placed = find_columns<comb_table_30>(params.positions, pulses, on_grid, taken);
    } else if (step == 4) {
      placed = find_columns<comb_table_15>(params.positions, pulses, on_grid, taken);
    } else {
      placed = find_columns<comb_table_60>(params.positions, pulses, on_grid, taken);
    }
    // Positions in increasing order; recorded for stage 1.
    for (int j = 0; j < placed; ++j) taken[j] = grid + step * taken[j];
    add_pulses(vector.data(), taken, placed, params, pulses);
    occupied[0] = placed;
    for (int j = 0; j < placed; ++j) occupied[1 + j] = taken[j];
  }

  // A lag of 60 or more repeats nothing; a lag below 1 would never end.
  if (params.train == 1 && lag > 0) repeat_pitch_train(vector, vector, lag);
}

void decode_fixed_codebooks(std::span<float, kFrame> vectors, const frame_params& params,
                            int rate) noexcept {
  std::fill(vectors.begin(), vectors.end(), 0.0f);
  const int step = grid_step_table[rate];
  std::array<pulse_walk, kSubframes> first, second;
  for (int s = 0; s < kSubframes; ++s) {
    const subframe_params& entry = params.subframes[s];
    const int i = rate * kSubframes + s;
    const int on_grid = entry.grid < kSubframe ? (kSubframe - 1 - entry.grid) / step + 1 : 0;
    first[s].positions = entry.positions;
    first[s].pulses = pulse_count_table[i];
    first[s].end = entry.positions < position_limit_table[i] ? on_grid : 0;
  }
  // The walks stop at the table's last column (fewer columns than the grid
  // only for grids outside the usual ones).
  if (step == 2) {
    for (pulse_walk& w : first) w.end = std::min<int>(w.end, comb_table_30[0].size());
    find_columns_together<comb_table_30>(first);
  } else if (step == 4) {
    for (pulse_walk& w : first) w.end = std::min<int>(w.end, comb_table_15[0].size());
    find_columns_together<comb_table_15>(first);
  } else {
    for (pulse_walk& w : first) w.end = std::min<int>(w.end, comb_table_60[0].size());
    find_columns_together<comb_table_60>(first);
  }
  for (int s = 0; s < kSubframes; ++s) {
    const subframe_params& entry = params.subframes[s];
    pulse_walk& w = first[s];
    for (int j = 0; j < w.placed; ++j) w.taken[j] = entry.grid + step * w.taken[j];
    float* const v = vectors.data() + kSubframe * s;
    add_pulses(v, w.taken, w.placed, entry, w.pulses);
    const int32_t lag = params.olp[s / 2];
    // An index past its limit places nothing and repeats nothing.
    if (w.end > 0 && entry.train == 1 && lag > 0) {
      repeat_pitch_train(std::span<float, kSubframe>(v, kSubframe),
                         std::span<const float, kSubframe>(v, kSubframe), lag);
    }
  }
  if (rate != 3) return;

  // The second stage walks the positions the first left free from its grid
  // on; its pulses never repeat (its lag is a whole subframe).
  static_assert(grid_step_table[4] == 1);
  constexpr int kSecondRow = 4 * kSubframes;
  int before[kSubframes];
  for (int s = 0; s < kSubframes; ++s) {
    const subframe_params& entry = params.subframes[kSubframes + s];
    const pulse_walk& taken = first[s];
    before[s] = 0;  // first-stage pulses ahead of the grid, never reached
    for (int k = 0; k < taken.placed; ++k) before[s] += taken.taken[k] < entry.grid ? 1 : 0;
    const int on_grid = entry.grid < kSubframe ? kSubframe - entry.grid : 0;
    const int count = on_grid - (taken.placed - before[s]);
    second[s].positions = entry.positions;
    second[s].pulses = pulse_count_table[kSecondRow + s];
    second[s].end = entry.positions < position_limit_table[kSecondRow + s]
                        ? std::min<int>(count, comb_table_52[0].size())
                        : 0;
  }
  find_columns_together<comb_table_52>(second);
  for (int s = 0; s < kSubframes; ++s) {
    const pulse_walk& taken = first[s];
    pulse_walk& w = second[s];
    const subframe_params& entry = params.subframes[kSubframes + s];
    // Stepping over the first stage's pulses from the grid on, in order,
    // moves column c past the i-th of them (i from 0) exactly when that
    // pulse's position less i is at most grid + c; as those values never
    // decrease, the steps are a count of them, one per pulse and all
    // independent. Unused entries never count.
    int32_t lowered[kMaxPulses];
    for (int i = 0; i < kMaxPulses; ++i) lowered[i] = kSubframe;
    for (int k = before[s]; k < taken.placed; ++k)
      lowered[k - before[s]] = taken.taken[k] - (k - before[s]);
    for (int j = 0; j < w.placed; ++j) {
      const int column = entry.grid + w.taken[j];
      int passed = 0;
#pragma GCC unroll 8
      for (int i = 0; i < kMaxPulses; ++i) passed += lowered[i] <= column ? 1 : 0;
      w.taken[j] = column + passed;
    }
    add_pulses(vectors.data() + kSubframe * s, w.taken, w.placed, entry, w.pulses);
  }
}

}  // namespace sivo
