#include <gtest/gtest.h>

#include <limits>

#include "ltide/mode.hpp"

namespace ltide::run {
namespace {

constexpr int32_t INT_MIN32 = std::numeric_limits<int32_t>::min();
constexpr int32_t INT_MAX32 = std::numeric_limits<int32_t>::max();

TEST(SelectMode, NonNegativeKCountsFromTheFront) {
  const int32_t n = 9;
  const struct {
    int32_t k;
    bool even;
    int32_t i_mode;
  } table[] = {{0, true, 1}, {1, false, 1}, {2, true, 2}, {3, false, 2}, {4, true, 3}, {8, true, 5}};
  for (const auto& row : table) {
    const mode_choice mode = select_mode(row.k, n);
    EXPECT_EQ(mode.even, row.even) << row.k;
    EXPECT_EQ(mode.i_mode, row.i_mode) << row.k;
  }
}

TEST(SelectMode, NegativeKCountsFromTheBack) {
  const int32_t n = 9;
  const struct {
    int32_t k;
    bool even;
    int32_t i_mode;
  } table[] = {{-1, false, 9}, {-2, true, 9}, {-3, false, 8}, {-4, true, 8}, {-8, true, 6}};
  for (const auto& row : table) {
    const mode_choice mode = select_mode(row.k, n);
    EXPECT_EQ(mode.even, row.even) << row.k;
    EXPECT_EQ(mode.i_mode, row.i_mode) << row.k;
  }
  EXPECT_EQ(select_mode(4, 5).i_mode, 3);
  EXPECT_TRUE(select_mode(4, 5).even);
  EXPECT_EQ(select_mode(-4, 5).i_mode, 4);
}

TEST(SelectMode, ExtremeKStaysInRange) {
  EXPECT_EQ(select_mode(INT_MAX32 - 1, INT_MAX32).i_mode, INT_MAX32 / 2 + 1);
  EXPECT_EQ(select_mode(-(INT_MAX32 - 1), INT_MAX32).i_mode, INT_MAX32 / 2 + 2);
}

TEST(KBelowN, ComparesMagnitudeWithoutOverflow) {
  EXPECT_TRUE(k_below_n(4, 5));
  EXPECT_TRUE(k_below_n(-4, 5));
  EXPECT_FALSE(k_below_n(5, 5));
  EXPECT_FALSE(k_below_n(-5, 5));
  EXPECT_FALSE(k_below_n(0, 0));
  EXPECT_FALSE(k_below_n(0, -3));
  EXPECT_FALSE(k_below_n(INT_MIN32, INT_MAX32));
  EXPECT_FALSE(k_below_n(INT_MIN32 + 1, INT_MAX32));
  EXPECT_TRUE(k_below_n(INT_MIN32 + 2, INT_MAX32));
}

}  // namespace
}  // namespace ltide::run
