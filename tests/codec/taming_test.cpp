// The excitation-error tracker: choice of gain table and of the error
// entries that the used lag spans.
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

// u(k) = E[k] * t + 1 for the table entry t.
float u(int k, float t) { return static_cast<float>(kErrors[k] * static_cast<double>(t) + 1.0); }

TEST(Taming, EntriesSpannedByTheLag) {
  const float t = taming_gain_85[0];  // 0.125: every u(k) is exact
  ASSERT_EQ(t, 0.125f);
  // Shifted older entries: E[2..4] take the old E[0..2].
  auto expect = [&](const std::array<float, 5>& got, float e0, float e1, int lag) {
    EXPECT_EQ(got[0], e0) << "lag " << lag;
    EXPECT_EQ(got[1], e1) << "lag " << lag;
    EXPECT_EQ(got[2], kErrors[0]) << "lag " << lag;
    EXPECT_EQ(got[3], kErrors[1]) << "lag " << lag;
    EXPECT_EQ(got[4], kErrors[2]) << "lag " << lag;
  };
  // The used lag is olp + acb_lag - 1.
  expect(after(19, 0, 0), u(0, t), u(0, t), 18);   // L <= 30: both from E[0]
  expect(after(31, 0, 0), u(0, t), u(0, t), 30);
  expect(after(31, 1, 0), std::max(u(0, t), u(1, t)), std::max(u(0, t), u(1, t)), 31);
  expect(after(46, 0, 0), std::max(u(0, t), u(1, t)), std::max(u(0, t), u(1, t)), 45);
  expect(after(57, 4, 0), u(0, t), u(1, t), 60);   // a multiple of 30: no maximum
  expect(after(57, 5, 0), std::max(u(0, t), u(1, t)), std::max(u(1, t), u(2, t)), 61);
  expect(after(57, 34, 0), u(1, t), u(2, t), 90);
  expect(after(57, 35, 0), std::max(u(1, t), u(2, t)), std::max(u(2, t), u(3, t)), 91);
  expect(after(57, 64, 0), u(2, t), u(3, t), 120);
  expect(after(142, 2, 0), std::max(u(2, t), u(3, t)), std::max(u(3, t), u(4, t)), 143);
}

TEST(Taming, GainTableFollowsTheOpenLoopLag) {
  // Lag 60 both ways: olp 57 uses the 85-entry table, olp 58 the 170-entry one.
  for (int32_t gain : {1, 40, 84}) {
    const float t85 = taming_gain_85[gain];
    const float t170 = taming_gain_170[gain];
    ASSERT_NE(t85, t170);
    const std::array<float, 5> small = after(57, 4, gain);
    EXPECT_EQ(small[0], u(0, t85));
    EXPECT_EQ(small[1], u(1, t85));
    const std::array<float, 5> large = after(58, 3, gain);
    EXPECT_EQ(large[0], u(0, t170));
    EXPECT_EQ(large[1], u(1, t170));
  }
  EXPECT_EQ(after(142, 2, 169)[1], std::max(u(3, taming_gain_170[169]), u(4, taming_gain_170[169])));
}

TEST(Taming, ResetErrorsGrowWithEveryUpdate) {
  // From reset (all 1.0) with the largest gain the newest error keeps rising.
  encoder_state state{};
  reset_encoder_state(state);
  float previous = state.taming_errors[0];
  for (int i = 0; i < 8; ++i) {
    update_taming(60, 1, 169, state);
    EXPECT_GT(state.taming_errors[0], previous);
    previous = state.taming_errors[0];
  }
}

}  // namespace
}  // namespace sivo
