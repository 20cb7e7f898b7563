// Lost-frame concealment: voicing decision, regenerated excitation, noise.
#pragma once

#include <cstdint>
#include <span>

#include "codec/codec_types.h"
#include "codec/synthesis/lag_sums.h"

namespace sivo {

// window: 145 past samples then the frame (385 floats). Returns the period
// (olp_second_half - 3 .. + 3, olp lowered to 142) of a voiced frame, or 0.
int32_t estimate_concealment_lag(std::span<const float, kWindow> window,
                                 int32_t olp_second_half) noexcept;

// Sets job to the sums estimate_concealment_lag needs (the last 120
// samples of window, backward); false when olp_second_half is below 4,
// whose lags are left to estimate_concealment_lag.
bool concealment_job(lag_sum_job& job, std::span<const float, kWindow> window,
                     int32_t olp_second_half) noexcept;

// estimate_concealment_lag from the job's finished sums.
int32_t concealment_lag_from_sums(const lag_sum_job& job) noexcept;

// Writes the 240 samples of a lost frame to out and rewrites the window
// (voiced: repeated period times 0.75; unvoiced: noise, window cleared;
// erasure_count >= 3: silence, window cleared). Advances noise_seed.
void regenerate_excitation(std::span<float, kFrame> out,
                           std::span<float, kWindow> window, int32_t conceal_lag,
                           float erasure_gain, int32_t erasure_count,
                           int32_t& noise_seed) noexcept;

// Advances the 16-bit seed and returns it times 2^-15.
float next_noise_sample(int32_t& noise_seed) noexcept;

}  // namespace sivo
