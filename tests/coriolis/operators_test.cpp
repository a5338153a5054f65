#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <tuple>
#include <utility>
#include <vector>

#include "common/constants.hpp"
#include "coriolis/coriolis.hpp"
#include "reference.hpp"

namespace ltide::coriolis {
namespace {

using test::coupling;

TEST(AlephTest, RecomposedFactorsEqualTheAlephMatrix) {
  // Lambda^-1, L, Ltilde, M and Mtilde through the banded solvers and products give the
  // Aleph matrix, with lower and upper each equal to off.
  for (int32_t m : {-3, -1, 1, 2, 4})
    for (bool even : {true, false})
      for (double nu : {-7.3, -0.6, 0.0, 0.35, 1.7, 5.1, 12.9})
        for (int32_t n : {1, 2, 3, 9}) {
          if (even && std::abs(m) == 1 && n == 1) continue;  // lone degree 1: defined without T2
          const auto A = aleph_matrix(nu, m, even, n);
          const auto X = aleph_test(nu, m, even, n);
          const auto c = test::compose(m, even, n, nu);
          const auto s = test::degrees(m, even, n);
          ASSERT_EQ(X.size(), A.size());
          auto scale = [&](index_t i, index_t k) {
            return 1e-14 * c.Zabs(i, k) / static_cast<double>(s.primary[k - 1] * (s.primary[k - 1] + 1));
          };
          for (index_t i = 1; i <= n; ++i) {
            const auto& x = X[i - 1];
            const double off = i < n ? A[i - 1].off : 0.0;
            const double tol = i < n ? std::max(scale(i + 1, i), scale(i, i + 1)) : 0.0;
            EXPECT_NEAR(x.diag, A[i - 1].diag, scale(i, i)) << "m=" << m << " even=" << even << " nu=" << nu;
            EXPECT_NEAR(x.lower, off, tol) << "m=" << m << " even=" << even << " nu=" << nu;
            EXPECT_NEAR(x.upper, off, tol) << "m=" << m << " even=" << even << " nu=" << nu;
          }
        }
}

TEST(FactorMatrices, CouplingFactorsAreTheRecurrenceCoupling) {
  // M takes the primary series to the other parity and Mtilde takes it back; both are the
  // coupling G = mu + (1 - mu^2) d/dmu Lambda^-1 of reference.hpp on their band. K is
  // (Mtilde^T - M)/2 on the band of M.
  for (int32_t m : {-2, 0, 1, 3}) {
    const int32_t n = 6;
    const auto se = test::degrees(m, true, n), so = test::degrees(m, false, n);
    const auto &l = se.primary, &q = se.other, &lo = so.primary, &p = so.other;
    const auto Me = m_matrix_even(0.0, m, n);
    const auto Mo = m_matrix_odd(0.0, m, n);
    const auto Mte = mtilde_matrix_even(0.0, m, n);
    const auto Mto = mtilde_matrix_odd(0.0, m, n);
    const auto Ke = k_matrix_even(0.0, m, n);
    const auto Ko = k_matrix_odd(0.0, m, n);
    for (std::size_t i = 0; i < static_cast<std::size_t>(n); ++i) {
      const bool last = i + 1 == static_cast<std::size_t>(n);
      EXPECT_NEAR(Me[i].diag, coupling(q[i], l[i], m), 1e-15);
      EXPECT_NEAR(Mte[i].diag, coupling(l[i], q[i], m), 1e-15);
      EXPECT_NEAR(Mo[i].diag, coupling(p[i], lo[i], m), 1e-15);
      EXPECT_NEAR(Mto[i].diag, coupling(lo[i], p[i], m), 1e-15);
      EXPECT_NEAR(Me[i].upper, last ? 0.0 : coupling(q[i], l[i + 1], m), 1e-15);
      EXPECT_NEAR(Mte[i].lower, last ? 0.0 : coupling(l[i + 1], q[i], m), 1e-15);
      EXPECT_NEAR(Mo[i].lower, last ? 0.0 : coupling(p[i + 1], lo[i], m), 1e-15);
      EXPECT_NEAR(Mto[i].upper, last ? 0.0 : coupling(lo[i], p[i + 1], m), 1e-15);
      EXPECT_NEAR(Ke[i].diag, (Mte[i].diag - Me[i].diag) / 2.0, 1e-15);
      EXPECT_NEAR(Ke[i].upper, (Mte[i].lower - Me[i].upper) / 2.0, 1e-15);
      EXPECT_NEAR(Ko[i].diag, (Mto[i].diag - Mo[i].diag) / 2.0, 1e-15);
      EXPECT_NEAR(Ko[i].lower, (Mto[i].upper - Mo[i].lower) / 2.0, 1e-15);
    }
  }
  const auto M0 = m_matrix_even(0.0, 0, 2);  // degree 0 has no slope: no coupling to degree 1
  EXPECT_EQ(M0[0].diag, 0.0);
  EXPECT_EQ(M0[0].upper, 3.0 * test::Jc(2, 0) / 2.0);
}

TEST(FactorMatrices, EvenCIsTheSlopeOperatorFromTheOtherParity) {
  // -(1 - mu^2) d/dmu takes degree q = l_i + 1 to l_i and l_i + 2 with (q+1) J(q) and
  // -q J(q+1) (sign reversed).
  for (int32_t m : {-2, 1, 3}) {
    const auto C = c_matrix_even(0.0, m, 5);
    const auto s = test::degrees(m, true, 5);
    for (std::size_t i = 0; i < C.size(); ++i) {
      const int64_t q = s.other[i];
      EXPECT_EQ(C[i].diag, -(static_cast<double>(q + 1) * test::Jc(q, m)));
      EXPECT_EQ(C[i].lower, i + 1 < C.size() ? static_cast<double>(q) * test::Jc(q + 1, m) : 0.0);
    }
  }
}

TEST(FactorMatrices, DiagonalFactorsAndDegreeZero) {
  EXPECT_EQ(lambda_matrix(9.0, -2, false, 3)[2].diag, 56.0);       // degree 7
  EXPECT_EQ(l_matrix(3.0, 2, true, 2)[1].diag, 1.0 - 6.0 / 20.0);  // degree 4
  EXPECT_EQ(ltilde_matrix(3.0, 2, false, 2)[0].diag, 0.0);         // degree 3 -> 2
  EXPECT_EQ(ltilde_matrix(3.0, 2, true, 2)[0].diag, 0.5);          // degree 2 -> 3
  // Degree 0 is not guarded.
  EXPECT_TRUE(std::isnan(l_matrix(1.0, 0, true, 2)[0].diag));
  EXPECT_TRUE(std::isnan(ltilde_matrix(1.0, 0, false, 2)[0].diag));
  EXPECT_EQ(lambda_matrix(1.0, 0, true, 2)[0].diag, 0.0);
}

TEST(WMatrix, EigenpairsAreThoseOfTheTidalEquation) {
  // W = A^-1: W b_j = lambda_j b_j for the eigenpairs of w_eigen.
  const std::tuple<int32_t, bool, double> cases[] = {{2, true, 3.3}, {-1, false, 2.2}, {3, false, 11.0}, {1, true, 0.4}};
  for (const auto& [m, even, nu] : cases) {
    const int32_t n = 8;
    const array2<double> W = w_matrix(nu, m, even, n);
    std::vector<double> lambda(n);
    array2<double> B(n, n);
    w_eigen(nu, m, even, n, lambda, B.view(), std::nullopt, std::nullopt, true);
    double wnorm = 0.0;
    for (double x : W.storage()) wnorm = std::max(wnorm, std::fabs(x));
    for (index_t j = 1; j <= n; ++j)
      for (index_t i = 1; i <= n; ++i) {
        double wb = 0.0;
        for (index_t k = 1; k <= n; ++k) wb += W(i, k) * B(k, j);
        EXPECT_NEAR(wb, lambda[j - 1] * B(i, j), 1e-11 * n * wnorm) << "m=" << m << " j=" << j;
      }
  }
}

// w_lambda(k) against the entry the run takes for mode k from the ordered w_eigen, for
// every k in -n..n-1.
void expect_same_modes(int32_t m, double nu, int32_t n) {
  for (int32_t k = -n; k <= n - 1; ++k) {
    const bool even = std::abs(k) % 2 == 0;
    const int32_t entry = k >= 0 ? k / 2 + 1 : n - (std::abs(k) - 1) / 2;
    std::vector<double> lambda(n);
    w_eigen(nu, m, even, n, lambda, std::nullopt, std::nullopt, std::nullopt, true);
    const double expected = lambda[entry - 1];
    const double got = w_lambda(nu, m, k, n);
    double norm = 0.0;  // Aleph eigenvalues are accurate relative to the matrix norm
    for (const auto& e : aleph_matrix(nu, m, even, n))
      if (e.diag < HUGE_VALUE) norm = std::max({norm, std::fabs(e.diag), std::fabs(e.off)});
    if (expected == 0.0) {  // the degree-0 mode, 1/HUGE
      EXPECT_EQ(got, 0.0) << "m=" << m << " nu=" << nu << " k=" << k;
    } else {
      EXPECT_NEAR(1.0 / got, 1.0 / expected, 1e-13 * norm) << "m=" << m << " nu=" << nu << " k=" << k;
    }
  }
}

TEST(WLambda, SelectsTheModeOfTheOrderedSolution) {
  // Both sides of the rotation thresholds (l+1)(l+2) of either series and |m|(|m|+1).
  const std::pair<int32_t, double> cases[] = {{2, 0.7},   {2, 2.9},   {2, 3.1},  {2, 5.9},  {2, 6.1},
                                              {2, 9.9},   {2, 10.1},  {2, 14.9}, {2, 15.1}, {2, -6.1},
                                              {-2, 6.1},  {-2, -6.1}, {1, 1.9},  {1, 2.1},  {1, 5.9},
                                              {1, 6.1},   {1, 19.9},  {1, 20.1}, {3, 4.1}};
  for (const auto& [m, nu] : cases) expect_same_modes(m, nu, 6);
  EXPECT_EQ(w_lambda(-1.5, 2, 0, 1), 1.0 / aleph_matrix(-1.5, 2, true, 1)[0].diag);
}

TEST(WLambda, DegreeZeroModeIsSetApart) {
  // m = 0, even k: with the HUGE degree-0 row in the matrix, LAPACK scales the couplings
  // below the underflow of their squares and returns diagonal entries instead of the other
  // eigenvalues. Degree 0 is its own mode, as in the full eigen-solution.
  expect_same_modes(0, 3.0, 6);
  expect_same_modes(0, -2.0, 7);
  EXPECT_EQ(w_lambda(3.0, 0, 0, 1), 0.0);
}

}  // namespace
}  // namespace ltide::coriolis
