// Layout tables of the pulse blocks of a compressed frame. Rows 0..3 are the
// first pulse stage of rates 0..3, row 4 the second stage of rate 3.
#pragma once

#include <array>
#include <cstdint>

namespace sivo {

inline constexpr int kPulseRows = 5;

// Bits of the grid offset per subframe: 1 for a grid step of 2, 2 for a
// step of 4, none for a step of 1.
inline constexpr std::array<int16_t, kPulseRows> grid_bits_table = {1, 0, 2, 0, 0};

// Bits of the combined high part V of the four position indices.
inline constexpr std::array<int16_t, kPulseRows> combined_bits_table = {29, 30, 31, 30, 29};

// Low bits of each subframe's position index sent as they are, indexed by
// row*4 + subframe; the bits above them go into V.
inline constexpr std::array<int16_t, kPulseRows * 4> position_split_table = {
    12, 10, 12, 10,  // rate 0
    24, 24, 24, 21,  // rate 1
    3,  1,  1,  1,   // rate 2
    24, 24, 24, 24,  // rate 3, first stage
    14, 14, 14, 11,  // rate 3, second stage
};
static_assert(position_split_table.size() == 20);

// Radices c0, c1, c2 of V = (h0*c0 + h1)*c1 + h2*c2 + h3 per row; c1 is c2
// times the number of values the third subframe's high part takes.
inline constexpr std::array<std::array<uint32_t, 3>, kPulseRows> position_radix_table = {{
    {140, 20300, 140},
    {153, 28305, 185},
    {228, 51984, 228},
    {153, 23409, 153},
    {159, 21147, 133},
}};

static_assert([] {
  for (const auto& c : position_radix_table)
    if (c[1] % c[2] != 0) return false;
  return true;
}());

}  // namespace sivo
