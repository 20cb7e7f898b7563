// Tables of the fixed (pulse) codebook: gain levels, grids, pulse counts and the
// combinatorial position coding shared by the encoder and the decoder.
#pragma once

#include <array>
#include <cstdint>

namespace sivo {

// Pulse amplitude levels, indexed by the fixed-codebook gain index 0..23.
inline constexpr std::array<float, 24> fcb_gain_table = {
    2.0f,    4.0f,    6.0f,    8.0f,    12.0f,   18.0f,   26.0f,   36.0f,
    52.0f,   76.0f,   110.0f,  160.0f,  230.0f,  332.0f,  480.0f,  696.0f,
    1004.0f, 1452.0f, 2100.0f, 3034.0f, 4386.0f, 6340.0f, 9164.0f, 13246.0f,
};
static_assert(fcb_gain_table.size() == 24);

// Pulse grid step per rate index (0..3 the compression rates, 4 the second stage of rate 3).
inline constexpr std::array<int16_t, 5> grid_step_table = {2, 1, 4, 1, 1};
static_assert(grid_step_table.size() == 5);

// Pulses per subframe, indexed by rate index * 4 + subframe.
inline constexpr std::array<int16_t, 20> pulse_count_table = {
    6, 5, 6, 5,  // rate 0
    8, 8, 8, 7,  // rate 1
    4, 3, 3, 3,  // rate 2
    8, 8, 8, 8,  // rate 3, first stage
    5, 5, 5, 4,  // rate 3, second stage
};
static_assert(pulse_count_table.size() == 20);

namespace detail {

// Binomial coefficient choose(a, b), 0 when a < b; exact for every value the tables need.
constexpr int64_t binomial(int a, int b) {
  if (b < 0 || a < b) return 0;
  int64_t c = 1;
  for (int i = 1; i <= b; ++i) c = c * (a - b + i) / i;  // stays an integer at every step
  return c;
}

// Position-coding table of a grid of N positions and at most K pulses:
// entry [r][i] = choose(N - 1 - i, K - 1 - r). A subframe of P pulses starts at row K - P.
template <int N, int K>
constexpr std::array<std::array<int32_t, N>, K> make_comb_table() {
  std::array<std::array<int32_t, N>, K> table{};
  for (int r = 0; r < K; ++r) {
    for (int i = 0; i < N; ++i) table[r][i] = static_cast<int32_t>(binomial(N - 1 - i, K - 1 - r));
  }
  return table;
}

}  // namespace detail

// Position coding of the 30-position grids (grid step 2, rate 0), up to 6 pulses.
inline constexpr std::array<std::array<int32_t, 30>, 6> comb_table_30 =
    detail::make_comb_table<30, 6>();
// Position coding of the 15-position grids (grid step 4, rate 2), up to 4 pulses.
inline constexpr std::array<std::array<int32_t, 15>, 4> comb_table_15 =
    detail::make_comb_table<15, 4>();
// Position coding of the 60-position grid (grid step 1, rates 1 and 3), up to 8 pulses.
inline constexpr std::array<std::array<int32_t, 60>, 8> comb_table_60 =
    detail::make_comb_table<60, 8>();
// Position coding of the 52 positions left free for the second stage of rate 3, up to 5 pulses.
inline constexpr std::array<std::array<int32_t, 52>, 5> comb_table_52 =
    detail::make_comb_table<52, 5>();
static_assert(comb_table_30.size() == 6 && comb_table_30[0].size() == 30);
static_assert(comb_table_15.size() == 4 && comb_table_15[0].size() == 15);
static_assert(comb_table_60.size() == 8 && comb_table_60[0].size() == 60);
static_assert(comb_table_52.size() == 5 && comb_table_52[0].size() == 52);

// Number of position patterns choose(N, P) per rate index * 4 + subframe; a position
// index at or above it codes no pulses.
inline constexpr std::array<uint32_t, 20> position_limit_table = {
    593775u,     142506u,     593775u,     142506u,      // rate 0
    2558620845u, 2558620845u, 2558620845u, 386206920u,   // rate 1
    1365u,       455u,        455u,        455u,         // rate 2
    2558620845u, 2558620845u, 2558620845u, 2558620845u,  // rate 3, first stage
    2598960u,    2598960u,    2598960u,    270725u,      // rate 3, second stage
};
static_assert(position_limit_table.size() == 20);

}  // namespace sivo
