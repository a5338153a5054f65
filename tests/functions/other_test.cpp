#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <vector>

#include "functions/functions.hpp"
#include "gauss_legendre.hpp"

namespace ltide::functions {
namespace {

TEST(Hermite, WorkedValues) {
  EXPECT_EQ(f_hermite_hn(-1, 0.7), 0.0);
  EXPECT_EQ(f_hermite_hn(0, 0.7), 1.0);
  EXPECT_EQ(f_hermite_hn(1, 0.7), 1.4);
  EXPECT_EQ(f_hermite_hn(2, 1.0), 2.0);
  EXPECT_EQ(f_hermite_hn(3, 1.0), -4.0);
  EXPECT_EQ(f_hermite_hn(4, 1.0), -20.0);
  EXPECT_EQ(f_hermite_hn(3, 0.5), -5.0);
}

TEST(Hermite, ArrayFormFollowsStridedElements) {
  const std::vector<double> store{1.0, 0.0, 0.5, 0.0, -2.0};
  const auto h = f_hermite_hn_vec(3, vector_view<const double>(store.data(), 3, 2));
  EXPECT_EQ(h, (std::vector<double>{-4.0, -5.0, -40.0}));
  EXPECT_TRUE(f_hermite_hn_vec(3, vector_view<const double>()).empty());
}

TEST(Gamma, AgreesWithKnownValues) {
  EXPECT_NEAR(f_gamma_ln(1.0), 0.0, 1e-15);
  EXPECT_NEAR(f_gamma_ln(3.0), 0.6931471805599453, 1e-15);
  EXPECT_NEAR(f_gamma(0.5), 1.7724538509055159, 1e-13);
  EXPECT_NEAR(f_gamma(4.5), 11.631728396567446, 1e-14 * 11.631728396567446);
  for (double x : {0.3, 1.7, 6.25, 20.0}) EXPECT_NEAR(f_gamma_ln(x), std::lgamma(x), 1e-10);  // the series is good to ~2e-10
}

TEST(LegendreMoment, WorkedValues) {
  EXPECT_EQ(f_legendre_xl(0, 1.5), 1.0 / 2.5);
  EXPECT_EQ(f_legendre_xl(1, 0.5), 0.4);
  EXPECT_EQ(f_legendre_xl(2, 1.5), 0.13333333333333336);
  EXPECT_EQ(f_legendre_xl(2, 0.0), 0.0);
  EXPECT_EXIT(f_legendre_xl(-1, 0.0), ::testing::ExitedWithCode(1),
              "^\\*\\* l must be zero or greater \\[functions::f_legendre_Xl\\]\n$");
}

// X_l(x) is the integral of mu^x P_l(mu) over [0, 1]: a polynomial for integer x, which
// Gauss-Legendre mapped to [0, 1] integrates exactly.
TEST(LegendreMoment, EqualsIntegralOfPowerTimesLegendrePolynomial) {
  const auto q = testing::gauss_legendre(16);
  for (int l = 0; l <= 9; ++l)
    for (int x = 0; x <= 8; ++x) {
      double s = 0.0;
      for (std::size_t i = 0; i < q.x.size(); ++i) {
        const double mu = 0.5 * (q.x[i] + 1.0);
        s += 0.5 * q.w[i] * std::pow(mu, x) * std::legendre(l, mu);
      }
      EXPECT_NEAR(f_legendre_xl(l, x), s, 1e-14) << "l=" << l << " x=" << x;
    }
}

TEST(Pythag, SafeHypotenuse) {
  EXPECT_EQ(f_pythag_d(3.0, 4.0), 5.0);
  EXPECT_EQ(f_pythag_d(0.0, 0.0), 0.0);
  EXPECT_EQ(f_pythag_d(-3.0, 0.0), 3.0);
  EXPECT_EQ(f_pythag_d(1e200, 1e200), 1.414213562373095e200);
  EXPECT_EQ(f_pythag_d(1e-200, 1e-200), 1.414213562373095e-200);
  EXPECT_EQ(f_pythag_s(3.0F, 4.0F), 5.0F);
  EXPECT_EQ(f_pythag_s(3e30F, 4e30F), 5e30F);
  EXPECT_TRUE(std::isnan(f_pythag_d(std::numeric_limits<double>::quiet_NaN(), 1.0)));
}

}  // namespace
}  // namespace ltide::functions
