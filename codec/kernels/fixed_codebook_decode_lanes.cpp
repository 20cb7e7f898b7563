// Lane kernel of the pulse walks: the frame's four walks over a position
// table side by side, sixteen or thirty-two columns compared at once.
#include <emmintrin.h>

#include <array>
#include <bit>
#include <cstdint>

#include "codec/kernels/lane_kernels.h"
#include "codec/kernels/vector_lanes.h"
#include "codec/synthesis/fixed_codebook_decode.h"
#include "codec/tables/fcb_tables.h"

namespace sivo {
namespace {

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

// The walks of the frame's four subframes side by side, one pulse (or one
// block of columns without one) of each per round, so that their chains
// overlap instead of following one another. Each walk makes exactly the
// decisions of walk_pulse_columns; a walk that has ended is stepped no more.
struct walk_state {
  const uint32_t* sums;   // the current row's running sums
  const uint32_t* shift;  // the current row's steps, four lanes a column
  int t;                  // the next column to look at
  int placed;
  bool active;
  __m128i key;
};

template <typename Prefix>
SIVO_LANE_INLINE walk_state start_walk(const Prefix& table, const pulse_walk& walk) noexcept {
  const int row = Prefix::rows - walk.pulses;
  return walk_state{table.sum[row].data(),
                    table.shift[row][0].data(),
                    0,
                    0,
                    walk.end > 0,
                    _mm_set1_epi32(static_cast<int32_t>(walk.positions ^ kFlip))};
}

template <typename Prefix, int kBlock>
SIVO_LANE_INLINE void step_walk(walk_state& st, pulse_walk& walk) noexcept {
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
SIVO_LANE_INLINE void jump_columns_together(const Prefix& table,
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

// The four walks over the table, the tables' running sums built at compile
// time. The walk uses SSE2 only, which every x86-64 has; W only names the
// instruction set it is built for.
template <int W>
SIVO_LANE_INLINE void walk_columns(position_table table,
                                   std::array<pulse_walk, kSubframes>& walks) noexcept {
  static constexpr auto grid2 = by_prefix(comb_table_30);
  static constexpr auto grid4 = by_prefix(comb_table_15);
  static constexpr auto grid1 = by_prefix(comb_table_60);
  static constexpr auto second_stage = by_prefix(comb_table_52);
  switch (table) {
    case position_table::grid2:
      return jump_columns_together(grid2, walks);
    case position_table::grid4:
      return jump_columns_together(grid4, walks);
    case position_table::grid1:
      return jump_columns_together(grid1, walks);
    case position_table::second_stage:
      return jump_columns_together(second_stage, walks);
  }
}

}  // namespace

SIVO_LANE_ENTRIES(walk_pulse_columns, walk_columns,
                  (position_table table, std::array<pulse_walk, kSubframes>& walks), (table, walks))

}  // namespace sivo
