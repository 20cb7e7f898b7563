// How the encoding job cuts the input into blocks: each block is a whole
// number of 30 ms codec frames at the input rate.
#pragma once

#include <cstdint>

namespace sivo {

struct block_layout {
  int32_t block_length = 0;      // input samples per channel in one block
  int32_t frames_per_block = 0;  // 240-sample codec frames a block becomes
  bool converted = false;        // frames come from the rate converter
};

// The layout of an accepted sample rate (Hz); block_length 0 for any other.
block_layout select_block_layout(int32_t sample_rate) noexcept;

}  // namespace sivo
