#include <gtest/gtest.h>

#include "matrix/lu.hpp"

namespace ltide::matrix {
namespace {

TEST(Unit, IsIdentityWhateverTheSelector) {
  for (double x : {1.0, -7.5, 0.0}) {
    array2<double> u = d_unit(3, x);
    ASSERT_EQ(u.rows(), 3);
    ASSERT_EQ(u.cols(), 3);
    for (index_t j = 1; j <= 3; ++j)
      for (index_t i = 1; i <= 3; ++i) EXPECT_EQ(u(i, j), i == j ? 1.0 : 0.0);
  }
  EXPECT_EQ(s_unit_(2), s_unit(2, 1.0F));
  EXPECT_EQ(z_unit(2, {0.0, 3.0})(2, 2), std::complex<double>(1.0, 0.0));
  EXPECT_EQ(d_unit(0, 1.0).rows(), 0);
}

}  // namespace
}  // namespace ltide::matrix
