#include "codec/analysis/input_conditioning.h"

#include <gtest/gtest.h>

#include <array>
#include <cmath>
#include <cstdint>

namespace sivo {
namespace {

encoder_state fresh_state(int32_t filter_mode) {
  encoder_state state{};
  reset_encoder_state(state);
  state.filter_mode = filter_mode;
  return state;
}

TEST(InputConditioning, ConvertsExactValuesAndNothingForEmptyCounts) {
  const std::array<int16_t, 4> samples = {-32768, -1, 0, 32767};
  std::array<float, 5> out;
  out.fill(7.0f);
  convert_input(out.data(), 4, samples.data());
  EXPECT_EQ(out[0], -32768.0f);
  EXPECT_EQ(out[1], -1.0f);
  EXPECT_EQ(out[2], 0.0f);
  EXPECT_EQ(out[3], 32767.0f);
  EXPECT_EQ(out[4], 7.0f);
  convert_input(out.data(), 0, samples.data());
  convert_input(out.data(), -3, samples.data());
  EXPECT_EQ(out[0], -32768.0f);
}

// A step of height 1000 passes its edge and then decays by 127/128 per sample; the
// filter carries across frame calls as one continuous recursion.
TEST(InputConditioning, StepDecaysByTheHighPassPole) {
  encoder_state state = fresh_state(1);
  std::array<float, kFrame> frame;
  double expected = 1000.0;
  for (int call = 0; call < 2; ++call) {
    frame.fill(1000.0f);
    condition_input(frame, state);
    for (int n = 0; n < kFrame; ++n) {
      ASSERT_NEAR(frame[n], expected, expected * 1e-4) << "call " << call << " sample " << n;
      expected *= 127.0 / 128.0;
    }
  }
  EXPECT_EQ(state.hp_prev_input, 1000.0f);
  EXPECT_EQ(state.hp_prev_output, frame[kFrame - 1]);
  // The next sample of the recursion continues from the two stored fields.
  frame.fill(0.0f);
  condition_input(frame, state);
  EXPECT_NEAR(frame[0], -1000.0 + expected, 1e-3);
}

TEST(InputConditioning, FilterModeZeroPassesSamplesAndKeepsFilterFields) {
  encoder_state state = fresh_state(0);
  state.hp_prev_input = 12.0f;
  state.hp_prev_output = -3.5f;
  std::array<float, kFrame> frame;
  for (int n = 0; n < kFrame; ++n) frame[n] = static_cast<float>((n * 7919) % 65536 - 32768);
  frame[5] = 0.0f;
  const std::array<float, kFrame> input = frame;
  condition_input(frame, state);
  for (int n = 0; n < kFrame; ++n) {
    if (n == 5) continue;
    EXPECT_EQ(frame[n], input[n]);
  }
  EXPECT_EQ(frame[5], 1e-15f);
  EXPECT_EQ(state.hp_prev_input, 12.0f);
  EXPECT_EQ(state.hp_prev_output, -3.5f);
}

TEST(InputConditioning, NearZeroSamplesBecomePositiveFloor) {
  for (int32_t mode : {0, 1}) {
    encoder_state state = fresh_state(mode);
    std::array<float, kFrame> frame{};
    condition_input(frame, state);
    for (float x : frame) ASSERT_EQ(x, 1e-15f) << "filter_mode " << mode;
    // The filter keeps its true, unfloored output.
    EXPECT_EQ(state.hp_prev_output, 0.0f);
  }
  encoder_state state = fresh_state(0);
  std::array<float, kFrame> frame{};
  frame[0] = -9e-16f;
  frame[1] = 1e-15f;
  frame[2] = -1e-15f;
  frame[3] = -2e-15f;
  frame[4] = 3e-15f;
  condition_input(frame, state);
  EXPECT_EQ(frame[0], 1e-15f);
  EXPECT_EQ(frame[1], 1e-15f);
  EXPECT_EQ(frame[2], -1e-15f);  // magnitude not below the floor
  EXPECT_EQ(frame[3], -2e-15f);
  EXPECT_EQ(frame[4], 3e-15f);
}

}  // namespace
}  // namespace sivo
