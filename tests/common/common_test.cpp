#include <gtest/gtest.h>

#include <cmath>
#include <stdexcept>
#include <vector>

#include <ltide/common/constants.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/common/fpmode.hpp>
#include <ltide/common/kinds.hpp>
#include <ltide/common/view.hpp>

#include "support.hpp"

namespace ltide {
namespace {

TEST(FloatingPointMode, FlushesResultsAndOperandsToZero) {
  EXPECT_TRUE(flush_to_zero_enabled());
  volatile double huge = HUGE_VALUE, neg = -HUGE_VALUE;
  EXPECT_EQ(1.0 / huge, 0.0);
  EXPECT_FALSE(std::signbit(1.0 / huge));
  EXPECT_TRUE(std::signbit(1.0 / neg));
  volatile double tiny = 2.2250738585072014e-308, half = 0.5;  // smallest normal
  EXPECT_EQ(tiny * half, 0.0);
  EXPECT_EQ(PI, 3.1415927410125732);
  EXPECT_EQ(FOUR_PI, 12.566370964050293);
  EXPECT_EQ(HUGE_VALUE, 1.7976931348623157e308);
}

TEST(Fatal, ThrowsTheLineWithItsTextAndTag) {
  try {
    fatal("singular matrix", "matrix::r_lu_decompose");
    ADD_FAILURE() << "returned";
  } catch (const error& e) {
    EXPECT_STREQ(e.what(), stop::SINGULAR_REAL.c_str());
    EXPECT_EQ(e.text(), "singular matrix");
    EXPECT_EQ(e.tag(), "matrix::r_lu_decompose");
  }
  try {
    fatal_line("Syntax: ltide");
    ADD_FAILURE() << "returned";
  } catch (const std::runtime_error& e) {  // callers may catch it as a standard exception
    EXPECT_STREQ(e.what(), "Syntax: ltide");
    EXPECT_EQ(dynamic_cast<const error&>(e).tag(), "");
  }
}

TEST(Views, RowsAndBlocksAreStridedByLeadingDimension) {
  array2<int> a(4, 3);
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 4; ++i) a(i, j) = static_cast<int>(10 * i + j);
  auto r = a.view().row(2);
  EXPECT_FALSE(r.contiguous());
  EXPECT_EQ(r.to_vector(), (std::vector<int>{21, 22, 23}));
  r(2) = 99;
  EXPECT_EQ(a.storage()[5], 99);
  auto b = a.view().block(2, 2, 2, 2);
  EXPECT_FALSE(b.contiguous());
  EXPECT_EQ(to_array2(b).storage(), (std::vector<int>{99, 32, 23, 33}));
  EXPECT_EQ(array2<double>(-3, 4).view().count(), 0);
}

TEST(CheckedBytes, DetectsOverflow) {
  EXPECT_EQ(checked_bytes({2, 3}, 8), 48U);
  EXPECT_EQ(checked_bytes({-1, 3}, 8), 0U);
  EXPECT_FALSE(checked_bytes({1LL << 40, 1LL << 30}, 8).has_value());
}

}  // namespace
}  // namespace ltide
