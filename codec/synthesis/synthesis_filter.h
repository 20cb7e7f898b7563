// All-pole synthesis filter 1/A(z) of one subframe, and the filter lines
// the decoder runs its filters along.
#pragma once

#include <array>

#include "codec/codec_types.h"

namespace sivo {

// A filter's past kOrder samples followed by a frame, in time order.
using filter_line = std::array<float, kFilterLine>;

// line[0..9] from a memory held newest first.
inline void load_line(filter_line& line, const std::array<float, kOrder>& memory) noexcept {
  for (int i = 0; i < kOrder; ++i) line[kOrder - 1 - i] = memory[i];
}

// The memory (newest first) of the line's last kOrder samples.
inline void store_line(std::array<float, kOrder>& memory, const filter_line& line) noexcept {
  for (int i = 0; i < kOrder; ++i) memory[i] = line[kFilterLine - 1 - i];
}

// y[n] = x[n] + sum_k a_k y[n - k], k = 1..10, the sum in double in
// increasing k, added to x[n] and rounded to float. signal: 60 samples x
// filtered in place. history: the newest past output (reads [-9..0]); the
// outputs are appended at [1..60].
void synthesis_filter(float* signal, const lpc_set& a, float* history) noexcept;

}  // namespace sivo
