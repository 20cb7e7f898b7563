// Open-loop pitch estimate of one half frame of weighted speech.
#pragma once

#include <cstdint>

namespace sivo {

// buffer: weighted speech with 145 samples of history, y[0] = buffer[145];
// start: 145 for half 0, 265 for half 1. Reads buffer[start-145 ..
// start+119]. Returns the lag 18..142.
int32_t open_loop_pitch(const float* buffer, int start) noexcept;

}  // namespace sivo
