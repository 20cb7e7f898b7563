// Lost-frame concealment: voicing decision, regenerated excitation, noise.
#pragma once

#include <cstdint>
#include <span>

#include "codec/codec_types.h"

namespace sivo {

// Consecutive concealed frames after which the output is silence.
inline constexpr int32_t kMaxErasures = 3;

// The voicing decision after a good frame. window: 145 past samples then
// the frame as decoded (385 floats). Returns the period (the candidate of
// olp_second_half - 3 .. + 3, olp lowered to 142, whose backward correlation
// with the last 120 samples is largest and positive) of a voiced frame, or
// 0.
int32_t estimate_concealment_lag(std::span<const float, kWindow> window,
                                 int32_t olp_second_half) noexcept;

// Writes the 240 samples of a lost frame to out and rewrites the window
// (voiced: repeated period times 0.75; unvoiced: noise, window cleared;
// erasure_count >= kMaxErasures: silence, window cleared). Advances noise_seed.
void regenerate_excitation(std::span<float, kFrame> out,
                           std::span<float, kWindow> window, int32_t conceal_lag,
                           float erasure_gain, int32_t erasure_count,
                           int32_t& noise_seed) noexcept;

// Advances the 16-bit seed and returns it times 2^-15.
float next_noise_sample(int32_t& noise_seed) noexcept;

}  // namespace sivo
