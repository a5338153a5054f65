#include <gtest/gtest.h>

#include <vector>

#include "ltide/grid.hpp"

namespace ltide::run {
namespace {

TEST(MuGrid, ThreePointsAreExactWithSinglePrecisionPi) {
  std::vector<double> mu(3), theta(3);
  build_mu_grid(mu, theta);
  EXPECT_EQ(mu, (std::vector<double>{-1.0, 0.0, 1.0}));
  EXPECT_EQ(theta, (std::vector<double>{179.99999499104382, 89.99999749552191, 0.0}));
}

TEST(MuGrid, StepIsFormedInSinglePrecision) {
  std::vector<double> mu(7), theta(7);
  build_mu_grid(mu, theta);
  // t = 1/6 and t * 2 - 1 rounded to single precision at each step, then widened.
  const float t = 1.0F / 6.0F;
  EXPECT_EQ(mu[1], static_cast<double>(t * 2.0F + (-1.0F)));
  EXPECT_NE(mu[1], -2.0 / 3.0);
  EXPECT_EQ(mu[6], 1.0);
}

TEST(GridFraction, OnePointGridIsZeroNotNaN) {
  EXPECT_EQ(grid_fraction(1, 1), 0.0F);
  EXPECT_EQ(spin_parameter(1, 1, -3.5, 7.0), -3.5);
}

TEST(SpinGrid, RunsFromFirstToLastInEitherDirection) {
  EXPECT_EQ(spin_parameter(1, 5, 0.0, 4.0), 0.0);
  EXPECT_EQ(spin_parameter(3, 5, 0.0, 4.0), 2.0);
  EXPECT_EQ(spin_parameter(5, 5, 0.0, 4.0), 4.0);
  EXPECT_EQ(spin_parameter(2, 3, 2.0, -2.0), 0.0);
  EXPECT_EQ(spin_parameter(3, 3, 2.0, -2.0), -2.0);
  // The fraction 1/3 carries single-precision rounding into the double grid value.
  EXPECT_EQ(spin_parameter(2, 4, 0.0, 3.0), static_cast<double>(1.0F / 3.0F) * 3.0);
}

}  // namespace
}  // namespace ltide::run
