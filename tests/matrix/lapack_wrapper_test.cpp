#include <gtest/gtest.h>

#include <limits>

#include "matrix/lapack_wrapper.hpp"

namespace ltide::matrix {
namespace {

TEST(Lamch, SafeMinimumIgnoresSelectorValue) {
  const double s = dlamch_wrap(1.0, 'S');
  EXPECT_EQ(s, std::numeric_limits<double>::min());
  EXPECT_EQ(dlamch_wrap(-3.0e300, 'S'), s);
  EXPECT_EQ(dlamch_wrap(0.0, 'S'), s);
  EXPECT_EQ(slamch_wrap(1.0F, 'S'), std::numeric_limits<float>::min());
  EXPECT_EQ(slamch_wrap(42.0F, 'S'), std::numeric_limits<float>::min());
  // 'E' is the relative machine epsilon (half the spacing at 1).
  EXPECT_EQ(dlamch_wrap(1.0, 'E'), std::numeric_limits<double>::epsilon() / 2);
}

}  // namespace
}  // namespace ltide::matrix
