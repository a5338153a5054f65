#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <numbers>
#include <vector>

#include "common/constants.hpp"
#include "functions/functions.hpp"
#include "gauss_legendre.hpp"

namespace ltide::functions {
namespace {

TEST(Legendre, WorkedValues) {
  EXPECT_EQ(f_legendre_plm(1, 1, 0.0), -1.0);  // Condon-Shortley sign
  EXPECT_EQ(f_legendre_plm(2, 0, 0.5), -0.125);
  EXPECT_EQ(f_legendre_plm(2, 2, 0.5), 2.25);
  for (double x : {-1.0, -0.3, 0.0, 0.7, 1.0}) EXPECT_EQ(f_legendre_plm(0, 0, x), 1.0);
  EXPECT_EQ(f_legendre_plm(3, 1, 1.0), 0.0);
  EXPECT_FALSE(std::signbit(f_legendre_plm(3, 1, 1.0)));  // the factor is 0 - s, not -s
  EXPECT_EQ(f_legendre_pl(2, 0.5), -0.125);
}

TEST(Legendre, ArrayFormsFollowStridedElements) {
  const std::vector<double> store{0.5, 9.0, -0.25, 9.0, 1.0};
  const vector_view<const double> x(store.data(), 3, 2);
  EXPECT_EQ(f_legendre_plm_vec(2, 2, x),
            (std::vector<double>{2.25, f_legendre_plm(2, 2, -0.25), 0.0}));
  EXPECT_EQ(f_legendre_pl_vec(2, x)[0], -0.125);
}

TEST(Legendre, AllDegreesSweepIsBitIdenticalToSingleDegree) {
  std::vector<double> out(80);
  for (int m = 0; m <= 30; m += 3)
    for (double x : {-1.0, -0.999, -0.61, -0.1, 0.0, 0.013, 0.5, 0.87, 1.0}) {
      const int lmax = m + 45;
      f_legendre_plm_upto(lmax, m, x, out);
      for (int l = m; l <= lmax; ++l)
        ASSERT_EQ(std::bit_cast<uint64_t>(out[l - m]), std::bit_cast<uint64_t>(f_legendre_plm(l, m, x)))
            << "l=" << l << " m=" << m << " x=" << x;
    }
}

TEST(Legendre, BadArgumentsStop) {
  const char* msg = "^\\*\\* bad arguments \\[functions::f_legendre_Plm\\]\n$";
  EXPECT_EXIT(f_legendre_plm(2, 3, 0.1), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(f_legendre_plm(2, 0, 1.5), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(f_legendre_plm(2, -1, 0.1), ::testing::ExitedWithCode(1), msg);
  std::vector<double> out(4);
  EXPECT_EXIT(f_legendre_plm_upto(3, 4, 0.1, out), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(f_legendre_plm_upto(5, 0, 0.1, out), ::testing::ExitedWithCode(1),
              "^\\*\\* output array too short \\[functions::f_legendre_plm_upto\\]\n$");
}

TEST(Factorial, WorkedValuesAndOverflow) {
  EXPECT_EQ(f_factorial(0), 1.0);
  EXPECT_EQ(f_factorial(5), 120.0);
  EXPECT_EQ(f_factorial(5, 2), 60.0);
  EXPECT_EQ(f_factorial(3, 3), 1.0);
  EXPECT_EQ(f_factorial(2, -1), 0.0);
  EXPECT_TRUE(std::isfinite(f_factorial(170)));
  EXPECT_TRUE(std::isinf(f_factorial(171)));
}

TEST(Factorial, EarlyStopMatchesTheFullProductBitForBit) {
  for (int n1 : {0, 1, 5, 100, 170, 171, 400})
    for (int n2 = -300; n2 <= n1; n2 += 7) {
      double r = 1.0;
      for (int i = n2 + 1; i <= n1; ++i) r = r * i;
      ASSERT_EQ(std::bit_cast<uint64_t>(f_factorial(n1, n2)), std::bit_cast<uint64_t>(r)) << n1 << " " << n2;
    }
}

TEST(Factorial, BadBoundsStop) {
  EXPECT_EXIT(f_factorial(-1), ::testing::ExitedWithCode(1),
              "^\\*\\* invalid negative factorial \\[functions::f_factorial\\]\n$");
  EXPECT_EXIT(f_factorial(2, 3), ::testing::ExitedWithCode(1),
              "^\\*\\*\\* n2 is greater than n1 \\[functions::f_factorial\\]\n$");
}

TEST(SphericalHarmonic, WorkedValues) {
  EXPECT_EQ(f_spherical_ylm_norm(0, 0), 0.28209478784887687);
  EXPECT_EQ(f_spherical_ylm_norm(1, 1), 0.3454941446642103);
  EXPECT_EQ(f_spherical_ylm_norm(1, -1), -0.3454941446642103);
  EXPECT_EQ(f_spherical_ylm_norm(2, -2), f_spherical_ylm_norm(2, 2));
  EXPECT_EQ(f_spherical_ylm(1, 0, 0.0, 0.0), 0.4886025051046183);
}

TEST(SphericalHarmonic, ArrayFormMatchesScalarOnStridedViews) {
  const std::vector<double> theta{0.0, 1.0, 37.0, 2.0, 90.0, 3.0, 151.5};
  const std::vector<double> phi{10.0, 0.0, 200.0};
  vector_view<const double> t(theta.data(), 4, 2);
  for (int m : {-3, 0, 2}) {
    const auto y = f_spherical_ylm_vec(4, m, t, vector_view<const double>(phi.data(), 4, 0));
    for (int i = 0; i < 4; ++i) EXPECT_EQ(y[i], f_spherical_ylm(4, m, t[i], 10.0));
  }
  EXPECT_TRUE(f_spherical_ylm_vec(1, 3, vector_view<const double>(), vector_view<const double>()).empty());
}

TEST(SphericalHarmonic, BadArgumentsStop) {
  EXPECT_EXIT(f_spherical_ylm(-3, 1, 10.0, 0.0), ::testing::ExitedWithCode(1),
              "^\\*\\* invalid negative factorial \\[functions::f_factorial\\]\n$");
  EXPECT_EXIT(f_spherical_ylm(1, 3, 10.0, 0.0), ::testing::ExitedWithCode(1),
              "^\\*\\* bad arguments \\[functions::f_legendre_Plm\\]\n$");
  const std::vector<double> theta{1.0, 2.0}, phi{0.0};
  EXPECT_EXIT(f_spherical_ylm_vec(2, 1, theta, phi), ::testing::ExitedWithCode(1),
              "^\\*\\* phi shorter than theta \\[functions::f_spherical_ylm_vec\\]\n$");
}

TEST(CouplingCoefficient, WorkedValuesInSinglePrecision) {
  EXPECT_EQ(f_spherical_jlm(1, 0), 0.5773502588272095);
  EXPECT_EQ(f_spherical_jlm(3, 2), 0.37796446681022644);
  EXPECT_EQ(f_spherical_jlm(2, 1), 0.4472135901451111);
  EXPECT_EQ(f_spherical_jlm(2, -1), 0.4472135901451111);
  for (auto [l, m] : {std::pair{0, 0}, {2, 2}, {2, 3}, {2, -5}}) EXPECT_EQ(f_spherical_jlm(l, m), 0.0);
}

// mu Y_l^m = J_{l+1}^m Y_{l+1}^m + J_l^m Y_{l-1}^m, to the accuracy of the single-precision J.
TEST(CouplingCoefficient, RecurrenceOfSphericalHarmonicsHolds) {
  for (int m = -6; m <= 6; ++m)
    for (int l = std::abs(m); l <= 30; ++l)
      for (double theta : {3.0, 37.0, 61.2, 90.0, 118.0, 170.5}) {
        const double phi = 23.0;
        const double mu = std::cos(theta * PI / 180.0);
        const double up = f_spherical_jlm(l + 1, m) * f_spherical_ylm(l + 1, m, theta, phi);
        const double down = l - 1 < std::abs(m) ? 0.0 : f_spherical_jlm(l, m) * f_spherical_ylm(l - 1, m, theta, phi);
        ASSERT_NEAR(mu * f_spherical_ylm(l, m, theta, phi), up + down, 2e-7 * (std::abs(up) + std::abs(down)) + 1e-13)
            << "l=" << l << " m=" << m << " theta=" << theta;
      }
}

// 2 pi times the integral over mu of Y_l^m Y_l'^m (phi = 0) is the Kronecker delta, up to
// the single-precision 4 PI in the normalisation (a relative 2.8e-8).
TEST(SphericalHarmonic, OrthonormalUnderGaussLegendreQuadrature) {
  const auto q = testing::gauss_legendre(24);
  std::vector<double> theta(q.x.size()), phi(q.x.size(), 0.0);
  for (std::size_t i = 0; i < q.x.size(); ++i) theta[i] = std::acos(q.x[i]) * 180.0 / PI;
  for (int m : {0, 1, -2, 5}) {
    std::vector<std::vector<double>> y;
    for (int l = std::abs(m); l <= 20; ++l) y.push_back(f_spherical_ylm_vec(l, m, theta, phi));
    for (std::size_t a = 0; a < y.size(); ++a)
      for (std::size_t b = 0; b <= a; ++b) {
        double s = 0.0;
        for (std::size_t i = 0; i < q.x.size(); ++i) s += q.w[i] * y[a][i] * y[b][i];
        EXPECT_NEAR(2.0 * std::numbers::pi * s, a == b ? 1.0 : 0.0, 1e-7) << "m=" << m << " " << a << " " << b;
      }
  }
}

}  // namespace
}  // namespace ltide::functions
