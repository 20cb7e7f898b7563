// Input conversion to floats and the DC-removal high-pass filter of the conditioned speech.
#include "codec/analysis/input_conditioning.h"

#include <cmath>

namespace sivo {

namespace {

// Pole of the DC-removal filter, 127/128.
constexpr double kHighPassPole = 0.9921875;
// Stored samples never come closer to zero than this, so that silent input keeps the
// autocorrelations of the analysis away from zero.
constexpr float kSampleFloor = 1e-15f;

}  // namespace

void convert_input(float* destination, int count, const int16_t* samples) noexcept {
  for (int n = 0; n < count; ++n) destination[n] = static_cast<float>(samples[n]);
}

void condition_input(std::span<float, kFrame> frame, encoder_state& state) noexcept {
  if (state.filter_mode == 1) {
    float prev_input = state.hp_prev_input;
    float prev_output = state.hp_prev_output;
    for (float& sample : frame) {
      const float x = sample;
      const float y =
          static_cast<float>(static_cast<double>(x) - prev_input + kHighPassPole * prev_output);
      prev_input = x;
      prev_output = y;
      sample = y;
    }
    state.hp_prev_input = prev_input;
    state.hp_prev_output = prev_output;  // the filter carries the unfloored output
  }
  for (float& sample : frame) {
    if (std::fabs(sample) < kSampleFloor) sample = kSampleFloor;
  }
}

}  // namespace sivo
