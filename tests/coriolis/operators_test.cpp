#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

#include "coriolis/coriolis.hpp"
#include "reference.hpp"

namespace ltide::coriolis {
namespace {

// K = (Mtilde^T - M)/2 on the band of M. C takes the other parity back as -(1 - mu^2) d/dmu:
// from q = l_i + 1 to l_i and l_i + 2 with (q+1) J(q) and -q J(q+1), sign reversed.
TEST(FactorMatrices, KAndCFollowFromTheCouplings) {
  const int32_t n = 6;
  for (int32_t m : {-2, 0, 1, 3}) {
    const std::vector<sparse::RB> Me = m_matrix_even(0.0, m, n), Mto = mtilde_matrix_odd(0.0, m, n);
    const std::vector<sparse::LB> Mo = m_matrix_odd(0.0, m, n), Mte = mtilde_matrix_even(0.0, m, n);
    const std::vector<sparse::RB> Ke = k_matrix_even(0.0, m, n);
    const std::vector<sparse::LB> Ko = k_matrix_odd(0.0, m, n), C = c_matrix_even(0.0, m, n);
    const auto deg = test::degrees(m, true, n);
    for (std::size_t i = 0; i < deg.other.size(); ++i) {
      const int64_t q = deg.other[i];
      EXPECT_NEAR(Ke[i].diag, (Mte[i].diag - Me[i].diag) / 2.0, 1e-15);
      EXPECT_NEAR(Ke[i].upper, (Mte[i].lower - Me[i].upper) / 2.0, 1e-15);
      EXPECT_NEAR(Ko[i].diag, (Mto[i].diag - Mo[i].diag) / 2.0, 1e-15);
      EXPECT_NEAR(Ko[i].lower, (Mto[i].upper - Mo[i].lower) / 2.0, 1e-15);
      EXPECT_EQ(C[i].diag, -(static_cast<double>(q + 1) * test::Jc(q, m)));
      EXPECT_EQ(C[i].lower, i + 1 < deg.other.size() ? static_cast<double>(q) * test::Jc(q + 1, m) : 0.0);
    }
  }
}

// w_lambda(k) against the entry the run takes for mode k from the ordered w_eigen, for k in
// -n..n-1, on both sides of the rotation thresholds (l+1)(l+2) of either series and
// |m|(|m|+1); for m = 0 degree 0 is its own mode, as in the full eigen-solution.
TEST(WLambda, SelectsTheModeOfTheOrderedSolution) {
  const int32_t n = 6;
  for (const auto& [m, nu] : std::vector<std::pair<int32_t, double>>{
           {2, 0.7}, {2, 2.9}, {2, 3.1}, {2, 5.9}, {2, 6.1}, {2, 9.9}, {2, 10.1}, {2, 14.9}, {2, 15.1}, {2, -6.1},
           {-2, 6.1}, {-2, -6.1}, {1, 1.9}, {1, 2.1}, {1, 5.9}, {1, 6.1}, {1, 19.9}, {1, 20.1}, {3, 4.1}, {0, 3.0},
           {0, -2.0}}) {
    for (int32_t k = -n; k <= n - 1; ++k) {
      const bool even = std::abs(k) % 2 == 0;
      const int32_t entry = k >= 0 ? k / 2 + 1 : n - (std::abs(k) - 1) / 2;
      std::vector<double> lambda(n);
      w_eigen(nu, m, even, n, lambda, std::nullopt, std::nullopt, std::nullopt, true);
      double norm = 0.0;  // Aleph eigenvalues are accurate relative to the matrix norm (degree 0 apart)
      for (double x : lambda) norm = x == 0.0 ? norm : std::max(norm, std::fabs(1.0 / x));
      const double want = lambda[entry - 1], got = w_lambda(nu, m, k, n);  // want = 0: the degree-0 mode, 1/HUGE
      EXPECT_TRUE(want == 0.0 ? got == 0.0 : std::fabs(1.0 / got - 1.0 / want) <= 1e-13 * norm)
          << "m=" << m << " nu=" << nu << " k=" << k << ": " << got << " " << want;
    }
  }
  EXPECT_EQ(w_lambda(-1.5, 2, 0, 1), 1.0 / aleph_matrix(-1.5, 2, true, 1)[0].diag);
  EXPECT_EQ(w_lambda(3.0, 0, 0, 1), 0.0);
}

}  // namespace
}  // namespace ltide::coriolis
