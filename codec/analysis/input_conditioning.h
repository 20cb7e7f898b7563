// Conversion of the 16-bit input to floats and its DC-removal high-pass
// filter with the near-zero floor.
#pragma once

#include <cstdint>
#include <span>

#include "codec/state.h"

namespace sivo {

// destination[0..count-1] = the exact values of samples[0..count-1];
// nothing is written for count <= 0.
void convert_input(float* destination, int count, const int16_t* samples) noexcept;

// Filters the 240 new samples of frame in place: the high-pass filter
// y = x - x_prev + 127/128 y_prev when state.filter_mode is 1 (updating
// hp_prev_input/hp_prev_output), then every stored sample of magnitude
// below 1e-15 becomes +1e-15.
void condition_input(std::span<float, kFrame> frame, encoder_state& state) noexcept;

}  // namespace sivo
