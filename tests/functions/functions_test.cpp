#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <functional>
#include <numbers>
#include <tuple>
#include <vector>

#include <ltide/common/constants.hpp>
#include <ltide/functions/functions.hpp>

#include "support.hpp"

namespace ltide::functions {
namespace {

uint64_t bits(double v) { return std::bit_cast<uint64_t>(v); }

TEST(Legendre, WorkedValues) {
  for (auto [l, m, x, p] : {std::tuple{1, 1, 0.0, -1.0}, {2, 0, 0.5, -0.125}, {2, 2, 0.5, 2.25}, {3, 1, 1.0, 0.0}})
    EXPECT_EQ(bits(f_legendre_plm(l, m, x)), bits(p)) << l << " " << m;  // P_3^1(1) is +0 (0 - s), not -0
  EXPECT_EQ(f_legendre_pl(2, 0.5), -0.125);
  const std::vector<double> x{-1.0, 0.25, 0.5};
  const std::vector<double> p = f_legendre_pl_vec(3, x);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(bits(p[i]), bits(f_legendre_pl(3, x[i]))) << x[i];
}

TEST(Legendre, AllDegreesSweepIsBitIdenticalToSingleDegree) {
  std::vector<double> out(80);
  for (int m = 0; m <= 30; m += 3)
    for (double x : {-1.0, -0.999, -0.61, -0.1, 0.0, 0.013, 0.5, 0.87, 1.0}) {
      f_legendre_plm_upto(m + 45, m, x, out);
      for (int l = m; l <= m + 45; ++l) ASSERT_EQ(bits(out[l - m]), bits(f_legendre_plm(l, m, x))) << l << " " << m;
    }
}

// The early stop on a product of 0, inf or NaN must not change a bit of the full product.
TEST(Factorial, EqualsAscendingProductBitForBit) {
  for (int n1 : {0, 1, 5, 100, 170, 171, 400})
    for (int n2 = -301; n2 <= n1; n2 += 7) {
      double r = 1.0;
      for (int i = n2 + 1; i <= n1; ++i) r = r * i;
      ASSERT_EQ(bits(n2 == 0 ? f_factorial(n1) : f_factorial(n1, n2)), bits(r)) << n1 << " " << n2;
    }
}

TEST(SphericalHarmonic, WorkedValuesAndStridedArrayForm) {
  EXPECT_EQ(f_spherical_ylm_norm(0, 0), 0.28209478784887687);  // 4 pi in single precision
  EXPECT_EQ(f_spherical_ylm_norm(1, -1), -0.3454941446642103);
  EXPECT_EQ(f_spherical_ylm_norm(2, -2), f_spherical_ylm_norm(2, 2));
  EXPECT_EQ(f_spherical_ylm(1, 0, 0.0, 0.0), 0.4886025051046183);
  for (auto [l, m, j] : {std::tuple{1, 0, 0.5773502588272095}, {3, 2, 0.37796446681022644}, {2, -1, 0.4472135901451111},
                         {2, 2, 0.0}, {0, 0, 0.0}, {2, -5, 0.0}})
    EXPECT_EQ(f_spherical_jlm(l, m), j) << l << " " << m;
  const std::vector<double> theta{0.0, 1.0, 37.0, 2.0, 90.0, 3.0, 151.5}, phi{10.0};
  const vector_view<const double> t(theta.data(), 4, 2);
  const auto y = f_spherical_ylm_vec(4, -3, t, vector_view<const double>(phi.data(), 4, 0));
  for (int i = 0; i < 4; ++i) EXPECT_EQ(y[i], f_spherical_ylm(4, -3, t[i], 10.0));
}

// mu Y_l^m = J_{l+1}^m Y_{l+1}^m + J_l^m Y_{l-1}^m, to the accuracy of the single-precision J.
TEST(SphericalHarmonic, RecurrenceThroughCouplingCoefficientsHolds) {
  for (int m = -6; m <= 6; ++m)
    for (int l = std::abs(m); l <= 30; ++l)
      for (double theta : {3.0, 37.0, 61.2, 90.0, 118.0, 170.5}) {
        const double up = f_spherical_jlm(l + 1, m) * f_spherical_ylm(l + 1, m, theta, 23.0);
        const double down = l - 1 < std::abs(m) ? 0.0 : f_spherical_jlm(l, m) * f_spherical_ylm(l - 1, m, theta, 23.0);
        ASSERT_NEAR(std::cos(theta * PI / 180.0) * f_spherical_ylm(l, m, theta, 23.0), up + down,
                    2e-7 * (std::abs(up) + std::abs(down)) + 1e-13) << l << " " << m << " " << theta;
      }
}

// 2 pi times the integral of Y_l^m Y_l'^m over mu is the Kronecker delta, to the single-precision 4 PI (2.8e-8).
TEST(SphericalHarmonic, OrthonormalUnderGaussLegendreQuadrature) {
  const int n = 24;  // Gauss-Legendre by Newton on the library's P_24: exact for these products
  std::vector<double> theta(n), w(n), phi(n, 0.0);
  for (int i = 0; i < n; ++i) {
    double z = std::cos(std::numbers::pi * (i + 0.75) / (n + 0.5)), dp = 1.0;
    for (int it = 0; it < 10; ++it)
      z -= std::legendre(n, z) / (dp = n * (z * std::legendre(n, z) - std::legendre(n - 1, z)) / (z * z - 1.0));
    theta[i] = std::acos(z) * 180.0 / PI;
    w[i] = 2.0 / ((1.0 - z * z) * dp * dp);
  }
  for (int m : {0, 1, -2, 5})
    for (int a = std::abs(m); a <= 20; ++a)
      for (int b = std::abs(m); b <= a; ++b) {
        const auto ya = f_spherical_ylm_vec(a, m, theta, phi), yb = f_spherical_ylm_vec(b, m, theta, phi);
        double s = 0.0;
        for (int i = 0; i < n; ++i) s += w[i] * ya[i] * yb[i];
        EXPECT_NEAR(2.0 * std::numbers::pi * s, a == b ? 1.0 : 0.0, 1e-7) << m << " " << a << " " << b;
      }
}

// Orders whose factorial quotient overflows, against 40-digit values. The scaled recurrence
// inherits the condition of s^|m|: |m| times the rounding of s, 1e-13 at |m| = 1000.
TEST(SphericalHarmonic, HighOrdersMatchHighPrecisionValues) {
  const struct { int l, m; double x, y; } rows[] = {
      {86, 86, 0.0, 0.9145141157676042865}, {86, 86, 0.5, 3.8799375834669715629e-6},
      {87, 86, -0.25, -0.18854470114762772886}, {200, 200, 0.3, 9.045358754244909578e-5},
      {300, 200, 0.9, 5.6122555485876585116e-25}, {1000, 1000, 0.0, 1.6854039005797639178},
      {1000, 1000, 0.125, 6.4119736585800573617e-4}, {1000, 1000, 0.75, 5.1967601606381989446e-180},
      {1010, 1000, 0.07, 0.84242291127287270583}, {1041, -1000, -0.01, -0.13807411211522475049},
      {1200, 1000, 0.75, 7.2505603037685384662e-64},
      {1200, 1000, 0.9, 1.6618575146071731302e-226}};  // from a sectoral value far below the normal range
  for (const auto& r : rows) {
    std::vector<double> out(r.l - std::abs(r.m) + 1);
    f_spherical_ylm_scaled_upto(r.l, r.m, r.x, out);
    EXPECT_NEAR(out.back(), r.y, 2e-13 * std::abs(r.y)) << r.l << " " << r.m << " " << r.x;
  }
  for (auto [l, m, n] : {std::tuple{86, 86, 8.0309114519956148348e-156}, {87, -87, -4.6554657350326464725e-158},
                         {150, 150, 2.7975431109544677721e-307}, {160, 100, 2.3557245695793008733e-217},
                         {200, 200, 0.0}})  // N_200^200 = 7e-376
    EXPECT_NEAR(f_spherical_ylm_norm(l, m), n, 1e-15 * std::abs(n)) << l << " " << m;
  // At 90 degrees mu = -4.4e-8, 1e-12 below the equatorial value.
  EXPECT_NEAR(f_spherical_ylm(1000, 1000, 90.0, 0.0), 1.6854039005797639, 2e-12);
  const std::vector<double> theta{88.0, 90.0, 91.5}, phi{0.0, 0.09, 0.18};
  const auto y = f_spherical_ylm_vec(1001, -1000, theta, phi);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(bits(y[i]), bits(f_spherical_ylm(1001, -1000, theta[i], phi[i]))) << i;
  // Y_a^a(0)^2 = (2a + 1)!!/(2a)!!/(4 PI): the product below a = 4097, a series from there.
  for (int a : {4095, 4096, 4097}) {
    std::vector<double> lo(1), hi(1);
    f_spherical_ylm_scaled_upto(a, a, 0.0, lo);
    f_spherical_ylm_scaled_upto(a + 1, a + 1, 0.0, hi);
    EXPECT_NEAR(hi[0] / lo[0], -std::sqrt((2.0 * a + 3.0) / (2.0 * a + 2.0)), 2e-15) << a;
  }
}

// The product form is kept bit for bit up to the last degree whose normalisation is a
// normal double; from the next degree on (where the product gives 0) the scaled
// recurrence, which agrees with the product form wherever both exist.
TEST(SphericalHarmonic, ProductFormUpToTheSwitchThenScaledRecurrence) {
  for (auto [m, first] : {std::pair{85, 86}, {-80, 98}, {70, 164}, {-50, 1210}}) {
    const int a = std::abs(m);
    ASSERT_TRUE(f_spherical_ylm_norm_direct(first - 1, m).has_value()) << m;
    EXPECT_FALSE(f_spherical_ylm_norm_direct(first, m).has_value()) << m;
    EXPECT_FALSE(f_spherical_ylm_norm_direct(first + 9, m).has_value()) << m;
    EXPECT_EQ(bits(f_spherical_ylm_norm(first - 1, m)), bits(*f_spherical_ylm_norm_direct(first - 1, m))) << m;
    for (double theta : {20.0, 61.0, 90.0, 133.0}) {
      const double mu = std::cos((theta * PI) / 180.0);
      std::vector<double> s(first + 4 - a), p(first - a);
      f_spherical_ylm_scaled_upto(first + 3, m, mu, s);
      f_legendre_plm_upto(first - 1, a, mu, p);
      double big = 0.0;
      for (double v : s) big = std::max(big, std::abs(v));
      for (int l = a; l < first; ++l)
        ASSERT_NEAR(s[l - a], p[l - a] * *f_spherical_ylm_norm_direct(l, m), 1e-13 * big) << m << " " << l << " " << theta;
      EXPECT_EQ(bits(f_spherical_ylm(first - 1, m, theta, 0.0)), bits(*f_spherical_ylm_norm_direct(first - 1, m) * p.back()));
      for (int l = first; l < first + 4; ++l) {
        EXPECT_NE(s[l - a], 0.0) << m << " " << l << " " << theta;
        EXPECT_EQ(bits(f_spherical_ylm(l, m, theta, 0.0)), bits(s[l - a])) << m << " " << l << " " << theta;
      }
    }
  }
}

TEST(Functions, BadArgumentsStopWithTheirMessages) {
  const std::string plm = " bad arguments [functions::f_legendre_Plm";
  const std::string neg = " invalid negative factorial [functions::f_factorial";
  const std::vector<std::pair<std::function<void()>, std::string>> cases{
      {[] { f_legendre_plm(2, 3, 0.1); }, plm}, {[] { f_legendre_plm(2, 0, 1.5); }, plm},
      {[] { f_legendre_plm(2, -1, 0.1); }, plm}, {[] { f_spherical_ylm(1, 3, 10.0, 0.0); }, plm},
      {[] { f_factorial(-1); }, neg}, {[] { f_spherical_ylm(-3, 1, 10.0, 0.0); }, neg},
      {[] { f_factorial(2, 3); }, "* n2 is greater than n1 [functions::f_factorial"},
      {[] { f_legendre_plm_upto(5, 0, 0.1, {}); }, " output array too short [functions::f_legendre_plm_upto"},
      {[] { f_spherical_ylm_vec(2, 1, std::vector<double>{1, 2}, std::vector<double>{0}); },
       " phi shorter than theta [functions::f_spherical_ylm_vec"},
      {[] { f_legendre_xl(-1, 0.0); }, " l must be zero or greater [functions::f_legendre_Xl"}};
  for (const auto& [call, text] : cases) EXPECT_EQ(error_line(call), "**" + text + "]");
}

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
}

TEST(Pythag, NoOverflowOrUnderflowOfSquares) {
  for (auto [a, b, h] : {std::tuple{3.0, 4.0, 5.0}, {0.0, 0.0, 0.0}, {-3.0, 0.0, 3.0},
                         {1e200, 1e200, 1.414213562373095e200}, {1e-200, 1e-200, 1.414213562373095e-200}})
    EXPECT_EQ(f_pythag_d(a, b), h) << a << " " << b;
  EXPECT_EQ(f_pythag_s(3e30F, 4e30F), 5e30F);
}

// Non-finite arguments as hypot treats them: infinity wins over NaN.
TEST(Pythag, NonFiniteArgumentsAsHypot) {
  const double inf = HUGE_VAL;
  for (auto [a, b, h] : {std::tuple{NAN, 0.0, NAN}, {0.0, NAN, NAN}, {NAN, 1.0, NAN}, {-NAN, NAN, NAN},
                         {inf, inf, inf}, {-inf, inf, inf}, {inf, 2.0, inf}, {0.0, -inf, inf}, {inf, NAN, inf},
                         {NAN, -inf, inf}}) {
    EXPECT_EQ(std::isnan(f_pythag_d(a, b)), std::isnan(h)) << a << " " << b;
    EXPECT_EQ(f_pythag_d(a, b) == inf, h == inf) << a << " " << b;
    EXPECT_EQ(std::isnan(f_pythag_s(float(a), float(b))), std::isnan(h)) << a << " " << b;
    EXPECT_EQ(f_pythag_s(float(a), float(b)) == HUGE_VALF, h == inf) << a << " " << b;
  }
}

// The formula as it stood before non-finite arguments were handled: every finite pair,
// zeros, subnormals and extremes included, must keep its bits.
template <class T>
T pythag_before(T a, T b) {
  const T aa = std::abs(a), bb = std::abs(b);
  if (aa > bb) {
    const T t = bb / aa;
    return std::sqrt(t * t + T(1)) * aa;
  }
  if (bb == T(0)) return T(0);
  const T t = aa / bb;
  return std::sqrt(t * t + T(1)) * bb;
}

TEST(Pythag, FinitePairsKeepTheirBits) {
  uint64_t state = 0x9e3779b97f4a7c15U;
  auto next = [&] { return state = state * 6364136223846793005U + 1442695040888963407U; };
  int compared = 0;
  while (compared < 400000) {
    // Random bit patterns cover every exponent; every eighth pair shares an exponent.
    const double a = std::bit_cast<double>(next()), b0 = std::bit_cast<double>(next());
    const double b = compared % 8 == 0 ? std::copysign(std::abs(a) * (1.0 + double(next() >> 40) * 0x1p-30), b0) : b0;
    const float x = std::bit_cast<float>(uint32_t(next() >> 32)), y = std::bit_cast<float>(uint32_t(next() >> 32));
    if (!std::isfinite(a) || !std::isfinite(b) || !std::isfinite(x) || !std::isfinite(y)) continue;
    ++compared;
    ASSERT_EQ(bits(f_pythag_d(a, b)), bits(pythag_before(a, b))) << a << " " << b;
    ASSERT_EQ(std::bit_cast<uint32_t>(f_pythag_s(x, y)), std::bit_cast<uint32_t>(pythag_before(x, y))) << x << " " << y;
  }
  for (double a : {0.0, -0.0, 4.9e-324, DBL_MIN, 1.0, DBL_MAX, -DBL_MAX})
    for (double b : {0.0, -0.0, 4.9e-324, DBL_MIN, 1.0, DBL_MAX, -DBL_MAX})
      EXPECT_EQ(bits(f_pythag_d(a, b)), bits(pythag_before(a, b))) << a << " " << b;
}

}  // namespace
}  // namespace ltide::functions
