// Open-loop pitch estimate of one half frame of weighted speech.
#pragma once

#include <cstdint>
#include <span>

namespace sivo {

// buffer: weighted speech with 145 samples of history, y[0] = buffer[145];
// start: 145 for half 0, 265 for half 1. Reads buffer[start-145 ..
// start+119]. Returns the lag 18..142.
int32_t open_loop_pitch(const float* buffer, int start) noexcept;

// Lags whose correlations the search takes, 18..145 (the last three unused:
// the lane kernels work on blocks of 32 lags).
constexpr int kOpenLoopCorrelations = 128;

// corr[lag - 18] = sum over i = 0..119 of x[i] * x[i - lag] in double,
// rounded to float, for lags 18..145; reads x[-145 .. 119]. The reference
// form of the open-loop correlation kernel.
void open_loop_correlations(std::span<float, kOpenLoopCorrelations> corr,
                            const float* x) noexcept;

}  // namespace sivo
