// The excitation-error tracker: gain table and the error entries a lag spans.
#include "codec/analysis/taming.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>

#include "codec/tables/weighting_tables.h"

namespace sivo {
namespace {

// Errors chosen so that every neighbour maximum differs from a fixed pick.
constexpr std::array<float, 5> kErrors = {5.0f, 1.0f, 4.0f, 2.0f, 3.0f};

std::array<float, 5> after(int32_t olp, int32_t acb_lag, int32_t acb_gain) {
  encoder_state state{};
  reset_encoder_state(state);
  state.taming_errors = kErrors;
  update_taming(olp, acb_lag, acb_gain, state);
  return state.taming_errors;
}

// u(k) = E[k] t + 1, and the expected state: new e0, e1, then E[0..2] shifted.
float u(int k, float t) { return static_cast<float>(kErrors[k] * static_cast<double>(t) + 1.0); }
std::array<float, 5> shifted(float e0, float e1) {
  return {e0, e1, kErrors[0], kErrors[1], kErrors[2]};
}

TEST(Taming, EntriesSpannedByTheUsedLag) {
  const float t = taming_gain_85[0];
  auto pair_max = [&](int k) { return std::max(u(k, t), u(k + 1, t)); };
  // The used lag is olp + acb_lag - 1.
  EXPECT_EQ(after(19, 0, 0), shifted(u(0, t), u(0, t)));      // 18
  EXPECT_EQ(after(31, 0, 0), shifted(u(0, t), u(0, t)));      // 30
  EXPECT_EQ(after(31, 1, 0), shifted(pair_max(0), pair_max(0)));  // 31
  EXPECT_EQ(after(46, 0, 0), shifted(pair_max(0), pair_max(0)));  // 45
  EXPECT_EQ(after(57, 4, 0), shifted(u(0, t), u(1, t)));      // 60
  EXPECT_EQ(after(57, 5, 0), shifted(pair_max(0), pair_max(1)));  // 61
  EXPECT_EQ(after(57, 34, 0), shifted(u(1, t), u(2, t)));     // 90
  EXPECT_EQ(after(57, 64, 0), shifted(u(2, t), u(3, t)));     // 120
  EXPECT_EQ(after(57, 65, 0), shifted(pair_max(2), pair_max(3)));  // 121
}

TEST(Taming, GainTableFollowsTheOpenLoopLag) {
  // Lag 60 both ways: olp 57 reads the 85-entry table, olp 58 the 170-entry one.
  for (int32_t gain : {1, 40, 84}) {
    const float t85 = taming_gain_85[gain];
    const float t170 = taming_gain_170[gain];
    EXPECT_EQ(after(57, 4, gain), shifted(u(0, t85), u(1, t85)));
    EXPECT_EQ(after(58, 3, gain), shifted(u(0, t170), u(1, t170)));
  }
  const float top = taming_gain_170[169];
  EXPECT_EQ(after(142, 2, 169),  // lag 143
            shifted(std::max(u(2, top), u(3, top)), std::max(u(3, top), u(4, top))));
}

}  // namespace
}  // namespace sivo
