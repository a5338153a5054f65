#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <tuple>
#include <vector>

#include "functions/functions.hpp"

namespace ltide::functions {
namespace {

TEST(Hermite, WorkedValuesAndStridedArrayForm) {
  for (auto [n, x, h] : {std::tuple{-1, 0.7, 0.0}, {0, 0.7, 1.0}, {1, 0.7, 1.4}, {2, 1.0, 2.0}, {4, 1.0, -20.0}})
    EXPECT_EQ(f_hermite_hn(n, x), h) << n;
  const std::vector<double> store{1.0, 0.0, 0.5, 0.0, -2.0};
  EXPECT_EQ(f_hermite_hn_vec(3, vector_view<const double>(store.data(), 3, 2)), (std::vector<double>{-4, -5, -40}));
}

TEST(Gamma, AgreesWithTheLibraryWithinTheSeriesError) {
  EXPECT_NEAR(f_gamma(0.5), 1.7724538509055159, 1e-13);
  EXPECT_NEAR(f_gamma_ln(1.0), 0.0, 1e-15);
  EXPECT_NEAR(f_gamma_ln(3.0), 0.6931471805599453, 1e-15);
  EXPECT_NEAR(f_gamma(4.5) / 11.631728396567446, 1.0, 1e-14);
  for (double x : {0.3, 1.0, 1.7, 3.0, 4.5, 6.25, 20.0})
    EXPECT_NEAR(f_gamma_ln(x), std::lgamma(x), 1e-10) << x;  // the six-term series is good to ~2e-10
}

// X_l(x), the integral of mu^x P_l(mu) over [0, 1], against exact rationals for integer x.
TEST(LegendreMoment, MatchesExactIntegrals) {
  EXPECT_EQ(f_legendre_xl(2, 1.5), 0.13333333333333336);
  for (auto [l, x, v] : {std::tuple{0, 1, 1.0 / 2}, {1, 0, 1.0 / 2}, {2, 1, 1.0 / 8}, {3, 0, -1.0 / 8},
                         {4, 1, -1.0 / 48}, {5, 4, 1.0 / 160}, {7, 8, 1.0 / 256}, {8, 2, 0.0}, {9, 6, -1.0 / 14336}})
    EXPECT_DOUBLE_EQ(f_legendre_xl(l, x), v) << l << " " << x;
  EXPECT_EXIT(f_legendre_xl(-1, 0.0), ::testing::ExitedWithCode(1),
              "^\\*\\* l must be zero or greater \\[functions::f_legendre_Xl\\]\n$");
}

TEST(Pythag, NoOverflowOrUnderflowOfSquares) {
  for (auto [a, b, h] : {std::tuple{3.0, 4.0, 5.0}, {0.0, 0.0, 0.0}, {-3.0, 0.0, 3.0},
                         {1e200, 1e200, 1.414213562373095e200}, {1e-200, 1e-200, 1.414213562373095e-200}})
    EXPECT_EQ(f_pythag_d(a, b), h) << a << " " << b;
  EXPECT_EQ(f_pythag_s(3e30F, 4e30F), 5e30F);
  EXPECT_TRUE(std::isnan(f_pythag_d(std::numeric_limits<double>::quiet_NaN(), 1.0)));
}

}  // namespace
}  // namespace ltide::functions
