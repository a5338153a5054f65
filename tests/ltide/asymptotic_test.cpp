// The asymptotic solution: order and root rule, failure bits, the single-precision
// constants of the Gaussian branch, the fields' Hermite structure, and how the matrix
// eigenvalue approaches the asymptotic one as |nu| grows.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <limits>
#include <vector>

#include "coriolis/coriolis.hpp"
#include "ltide/asymptotic.hpp"
#include "ltide/mode.hpp"

namespace ltide::run {
namespace {

asymptotic_result eigenvalue_only(int32_t m, int32_t k, double nu) {
  return asymptotic_solution(m, k, nu, false, {}, {}, {}, {}, {});
}

struct with_fields {
  asymptotic_result result;
  std::vector<double> mu, sigma, r, t, p;
};

with_fields solve_with_fields(int32_t m, int32_t k, double nu, int32_t n_mu = 21) {
  with_fields w;
  for (int32_t i = 0; i < n_mu; ++i) w.mu.push_back(-1.0 + 2.0 * i / (n_mu - 1));
  const auto size = static_cast<std::size_t>(n_mu);
  w.sigma.assign(size, 0.0);
  w.r = w.t = w.p = w.sigma;
  std::vector<double> h1(size), h2(size), h3(size);
  w.result = asymptotic_solution(m, k, nu, true, w.mu, {w.sigma, h1, h2, h3}, w.r, w.t, w.p);
  return w;
}

TEST(AsymptoticSolution, OrderRootAndEigenvalueOfTheWorkedCases) {
  struct row {
    int32_t m, k;
    double nu;
    int32_t nh, flags;
    double lambda;
  };
  const double s = (9.0 + std::sqrt(73.0)) / 2.0;
  const row rows[] = {
      {1, 0, 3.0, 1, 0, s * s},  // larger root of s^2 - 9 s + 2
      {2, -1, 5.0, 0, 0, 9.0},   // roots 3 and 2, larger
      {2, -1, 3.0, 0, 0, 1.0},   // roots 2 and 1, smaller
      {2, -1, 4.0, 0, 16, 0.0},  // m nu = 2 m^2
      {2, -1, 1.0, 0, 8, 0.0},   // m nu <= m^2
      {1, 0, -4.0, -1, 0, 8.0 / 7.0},
      {1, 0, -2.0, -1, 2, 0.0},  // Gaussian branch needs m nu <= -3
      {0, 1, 2.0, 0, 0, 4.0},
      {0, 0, 2.0, -1, 2, 0.0},
      {0, -1, 2.0, -2, 8, 0.0},
      {1, 2, 0.5, 3, 2, 0.0},  // q / (s nu) > 1
  };
  for (const row& r : rows) {
    const asymptotic_result a = eigenvalue_only(r.m, r.k, r.nu);
    const auto where = ::testing::Message() << "m " << r.m << " k " << r.k << " nu " << r.nu;
    EXPECT_EQ(a.nh, r.nh) << where;
    EXPECT_EQ(a.flags, r.flags) << where;
    EXPECT_NEAR(a.lambda, r.lambda, 1e-14 * r.lambda) << where;
    // The fields change nothing about the eigenvalue and the bits.
    const with_fields f = solve_with_fields(r.m, r.k, r.nu);
    EXPECT_EQ(f.result.nh, a.nh) << where;
    EXPECT_EQ(f.result.flags, a.flags) << where;
    EXPECT_EQ(f.result.lambda, a.lambda) << where;
  }
}

TEST(AsymptoticSolution, NaNSpinParameterProducesNoSolution) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  EXPECT_EQ(eigenvalue_only(1, 2, nan).flags, BETA_ROOT_NOT_POSITIVE);  // NaN root
  EXPECT_EQ(eigenvalue_only(1, 0, nan).flags, BETA_NOT_VALID);          // Gaussian branch
  EXPECT_EQ(eigenvalue_only(1, -2, nan).flags, BETA_NO_SOLUTION);
}

TEST(AsymptoticSolution, SquaresOfLargeOrdersDoNotWrap) {
  // m^2 = 2.5e9 and 2 m^2 = 5e9 lie beyond 32 bits.
  const int32_t m = 50000;
  const asymptotic_result between = eigenvalue_only(m, -1, 60000.0);  // m^2 < m nu < 2 m^2
  EXPECT_EQ(between.flags, 0);
  // Roots of s^2 - nu s + (m nu - m^2) = s^2 - 6e4 s + 5e8: 5e4 and 1e4, the smaller chosen.
  EXPECT_EQ(between.lambda, 1e4 * 1e4);
  EXPECT_EQ(eigenvalue_only(m, -1, 100000.0).flags, BETA_DOUBLE_ROOT);
  EXPECT_EQ(eigenvalue_only(m, -1, 50000.0).flags, BETA_NO_SOLUTION);
}

TEST(AsymptoticSolution, GaussianBranchConstantsAreSinglePrecision) {
  // 2 m^3 = 2006006002 for m = 1001 needs 31 bits; in single precision it rounds.
  const int32_t m = 1001;
  const double nu = -1.0;
  const float c3 = (1002001.0F * 2.0F) * 1001.0F;
  ASSERT_NE(static_cast<double>(c3), 2006006002.0);
  const asymptotic_result a = eigenvalue_only(m, 0, nu);
  EXPECT_EQ(a.nh, -1);
  EXPECT_EQ(a.lambda, (static_cast<double>(c3) * nu) / (2002.0 * nu + 1.0));
}

TEST(AsymptoticSolution, OrderZeroFieldsAreGaussianAndFirstHermiteTimesGaussian) {
  // m = 2, k = -1, nu = 5: nh = 0, s = 3, w = sqrt(15). With nh = 0 the H_(-1) terms
  // vanish: xi_r = H_1 a2 w / (L - M) E and xi_p = H_1 b2 w / (M - L) E with H_1 = 2 sigma,
  // a2 = (m/s - 1)/2, b2 = (s - m)/2, L = 9, M = 4; xi_t is the Gaussian itself.
  const with_fields f = solve_with_fields(2, -1, 5.0);
  ASSERT_EQ(f.result.nh, 0);
  ASSERT_EQ(f.result.flags, 0);
  const double w = std::sqrt(15.0);
  for (std::size_t p = 0; p < f.mu.size(); ++p) {
    const double sigma = f.mu[p] * w;
    const double E = std::exp(-0.5 * sigma * sigma);
    EXPECT_DOUBLE_EQ(f.sigma[p], sigma);
    EXPECT_EQ(f.t[p], E * 1.0);
    EXPECT_NEAR(f.r[p], 2.0 * sigma * ((2.0 / 3.0 - 1.0) * 0.5) * (w / 5.0) * E, 1e-14);
    EXPECT_NEAR(f.p[p], 2.0 * sigma * ((3.0 - 2.0) * 0.5) * (w / -5.0) * E, 1e-14);
  }
}

// The asymptotic solution describes modes trapped near the equator, which they are the
// more the larger |nu|: the matrix eigenvalue of the same mode approaches it, with a
// relative difference falling roughly as 1/nu^2 while the basis resolves the mode
// (its eigenvalue grows like nu^2 for nh >= 0, so n must grow like |nu|). Measured:
// about 2e-3, 2e-4, 2e-5 at nu = 10, 30, 100 for the prograde modes, 8e-4 down to 1e-6
// at nu = -10 .. -300 for the Gaussian branch, and 2e-2 down to 7e-4 at nu = 30 .. 1000
// for the k = -2 mode, which falls only like 1/nu; the bound 3/|nu| is loose for all.
TEST(AsymptoticSolution, MatrixEigenvalueApproachesItForLargeSpin) {
  struct trend {
    int32_t m, k;
    std::vector<double> nus;
  };
  const trend trends[] = {
      {1, 0, {10.0, 30.0, 100.0}},           // prograde, nh = 1
      {2, 1, {12.0, 30.0, 100.0}},           // prograde, nh = 2
      {1, 0, {-10.0, -30.0, -100.0, -300.0}},  // Gaussian branch, lambda -> m^2
      {2, 0, {-10.0, -30.0, -100.0, -300.0}},
      {1, 1, {-10.0, -30.0, -100.0}},          // retrograde, nh = 0
      {2, -2, {30.0, 100.0, 300.0, 1000.0}},   // prograde, nh = 1, smaller root
  };
  const int32_t n = 800;  // resolves degrees up to 1600: lambda up to about 2.5e6
  std::vector<double> LL(n);
  for (const trend& t : trends) {
    double previous = 1.0;
    for (double nu : t.nus) {
      const mode_choice mode = select_mode(t.k, n);
      coriolis::w_eigen(nu, t.m, mode.even, n, LL, std::nullopt, std::nullopt, std::nullopt, true);
      const double matrix = LL[static_cast<std::size_t>(mode.i_mode - 1)];
      const asymptotic_result a = eigenvalue_only(t.m, t.k, nu);
      ASSERT_EQ(a.flags, 0);
      const double relative = std::fabs(matrix - a.lambda) / std::fabs(a.lambda);
      std::printf("m %d k %d nu %7.1f nh %d  matrix %.9g  asymptotic %.9g  relative %.3g\n", t.m, t.k, nu, a.nh,
                  matrix, a.lambda, relative);
      const auto where = ::testing::Message() << "m " << t.m << " k " << t.k << " nu " << nu;
      EXPECT_LT(relative, 3.0 / std::fabs(nu)) << where;
      EXPECT_LT(relative, previous) << where;
      previous = relative;
    }
  }
}

}  // namespace
}  // namespace ltide::run
