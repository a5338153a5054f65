#include <gtest/gtest.h>

#include <cmath>
#include <vector>

#include "common/constants.hpp"
#include "common/fatal.hpp"
#include "common/fpmode.hpp"
#include "common/kinds.hpp"
#include "common/view.hpp"

namespace ltide {
namespace {

TEST(FloatingPointMode, IsOnInTests) { EXPECT_TRUE(flush_to_zero_enabled()); }

TEST(FloatingPointMode, ReciprocalOfHugeFlushesToZero) {
  volatile double huge = HUGE_VALUE;
  double r = 1.0 / huge;
  EXPECT_EQ(r, 0.0);
  EXPECT_FALSE(std::signbit(r));
  volatile double neg = -HUGE_VALUE;
  EXPECT_TRUE(std::signbit(1.0 / neg));
}

TEST(FloatingPointMode, SubnormalOperandReadsAsZero) {
  volatile double tiny = 2.2250738585072014e-308;
  volatile double half = 0.5;
  EXPECT_EQ(tiny * half, 0.0);
}

TEST(Constants, PiIsTheSinglePrecisionValue) {
  EXPECT_EQ(PI, 3.1415927410125732);
  EXPECT_EQ(FOUR_PI, 12.566370964050293);
  EXPECT_EQ(HUGE_VALUE, 1.7976931348623157e308);
}

TEST(Fatal, WritesTaggedLineAndExitsOne) {
  EXPECT_EXIT(fatal("singular matrix", "matrix::r_lu_decompose"), ::testing::ExitedWithCode(1),
              "^\\*\\* singular matrix \\[matrix::r_lu_decompose\\]\n$");
}

TEST(Fatal, WritesPlainLineVerbatim) {
  EXPECT_EXIT(fatal_line("Syntax: ltide"), ::testing::ExitedWithCode(1), "^Syntax: ltide\n$");
}

TEST(Views, RowOfColumnMajorMatrixIsStrided) {
  std::vector<double> a{1, 2, 3, 4, 5, 6};  // 2 x 3: rows (1 3 5), (2 4 6)
  matrix_view<double> m(a.data(), 2, 3);
  auto r = m.row(2);
  EXPECT_EQ(r.size, 3);
  EXPECT_EQ(r(1), 2);
  EXPECT_EQ(r(3), 6);
  EXPECT_FALSE(r.contiguous());
  EXPECT_EQ(r.to_vector(), (std::vector<double>{2, 4, 6}));
  r(2) = 40;
  EXPECT_EQ(a[3], 40);
}

TEST(Views, BlockKeepsLeadingDimension) {
  array2<int> a(4, 3);
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 4; ++i) a(i, j) = static_cast<int>(10 * i + j);
  auto b = a.view().block(2, 2, 2, 2);
  EXPECT_EQ(b(1, 1), 22);
  EXPECT_EQ(b(2, 2), 33);
  EXPECT_FALSE(b.contiguous());
  EXPECT_EQ(to_array2(b)(2, 1), 32);
}

TEST(Views, NegativeExtentIsEmpty) {
  array2<double> a(-3, 4);
  EXPECT_EQ(a.rows(), 0);
  EXPECT_EQ(a.view().count(), 0);
}

TEST(CheckedBytes, DetectsOverflow) {
  EXPECT_EQ(checked_bytes({2, 3}, 8), 48U);
  EXPECT_EQ(checked_bytes({-1, 3}, 8), 0U);
  EXPECT_FALSE(checked_bytes({1LL << 40, 1LL << 30}, 8).has_value());
}

}  // namespace
}  // namespace ltide
