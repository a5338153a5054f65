#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <ltide/common/constants.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/functions/functions.hpp>

namespace ltide::coriolis {
namespace {

double Jc(int64_t l, int32_t m) { return functions::f_spherical_jlm(static_cast<int32_t>(l), m); }

TEST(AlephMatrix, WorkedCaseOfOrderOneDegreesOneAndThree) {
  const auto A = aleph_matrix(0.5, 1, true, 2);  // single-precision J
  std::vector<double> w(2);
  w_eigen(0.5, 1, true, 2, w, std::nullopt, std::nullopt, std::nullopt, true);
  for (const auto& [got, want] : {std::pair{A[0].diag, 0.3545454550}, {A[1].diag, 0.07047397057},
                                  {A[0].off, -0.009718590596}, {w[0], 2.817873320}, {w[1], 14.25682008}})
    EXPECT_NEAR(got, want, std::fabs(want) * 5e-10);
  EXPECT_EQ(w_lambda(-1.5, 2, 0, 1), 1.0 / aleph_matrix(-1.5, 2, true, 1)[0].diag);  // order 1: exact
  EXPECT_EQ(w_lambda(3.0, 0, 0, 1), 0.0);
}

// Degree 0, a lone degree 1 (defined without the coupling through degree 2), the lowest
// degree resonance a_2 = 2 - m nu = 0 (regular only for m > 0, where J(2) = 0), and zero
// denominators a_l, b_l = 0 (inside and in the last row), which give HUGE_VALUE, except
// b_1 = 0, which is not tested for.
TEST(AlephMatrix, LowestDegreesAndZeroDenominators) {
  const double finite = -HUGE_VALUE, nonfinite = HUGE_VAL, any = std::numeric_limits<double>::quiet_NaN();
  const struct { double nu; int32_t m; bool even; int32_t n, row; double diag, off; } cases[] = {
      {0.8, 0, true, 3, 1, HUGE_VALUE, -(0.8 * 0.8 * Jc(1, 0) * Jc(2, 0)) / 2.0},
      {0.8, 0, true, 3, 2, finite, any},       {0.8, 0, true, 1, 1, HUGE_VALUE, 0.0},
      {0.5, 1, true, 1, 1, 0.375, 0.0},        {1.0, 2, true, 3, 1, finite, any},
      {-1.0, -2, true, 3, 1, HUGE_VALUE, finite}, {1.0, 2, true, 1, 1, HUGE_VALUE, 0.0},
      {15.0, 2, true, 3, 2, HUGE_VALUE, HUGE_VALUE}, {20.0, 1, true, 2, 2, HUGE_VALUE, 0.0},
      {12.0, 1, false, 3, 2, HUGE_VALUE, finite}, {12.0, 1, false, 2, 2, HUGE_VALUE, 0.0},
      {6.0, 1, true, 2, 1, nonfinite, nonfinite},
  };
  const auto matches = [&](double got, double want) {
    if (want == finite) return std::fabs(got) < HUGE_VALUE;
    return std::isnan(want) || (want == nonfinite ? !std::isfinite(got) : got == want);
  };
  for (const auto& c : cases) {
    const sparse::ST e = aleph_matrix(c.nu, c.m, c.even, c.n)[static_cast<std::size_t>(c.row - 1)];
    EXPECT_TRUE(matches(e.diag, c.diag) && matches(e.off, c.off))
        << "nu=" << c.nu << " m=" << c.m << " even=" << c.even << " n=" << c.n << ": " << e.diag << " " << e.off;
  }
}

// K = (Mtilde^T - M)/2 on the band of M. C takes the other parity back as -(1 - mu^2) d/dmu:
// from q = l_i + 1 to l_i and l_i + 2 with (q+1) J(q) and -q J(q+1), sign reversed.
TEST(FactorMatrices, KAndCFollowFromTheCouplings) {
  const int32_t n = 6;
  for (int32_t m : {-2, 0, 1, 3}) {
    const auto Me = m_matrix_even(0.0, m, n), Mto = mtilde_matrix_odd(0.0, m, n), Ke = k_matrix_even(0.0, m, n);
    const auto Mo = m_matrix_odd(0.0, m, n), Mte = mtilde_matrix_even(0.0, m, n), Ko = k_matrix_odd(0.0, m, n);
    const auto C = c_matrix_even(0.0, m, n);
    for (int32_t i = 0; i < n; ++i) {
      const int64_t q = std::abs(m) + 1 + 2 * i;
      EXPECT_NEAR(Ke[i].diag, (Mte[i].diag - Me[i].diag) / 2.0, 1e-15);
      EXPECT_NEAR(Ke[i].upper, (Mte[i].lower - Me[i].upper) / 2.0, 1e-15);
      EXPECT_NEAR(Ko[i].diag, (Mto[i].diag - Mo[i].diag) / 2.0, 1e-15);
      EXPECT_NEAR(Ko[i].lower, (Mto[i].upper - Mo[i].lower) / 2.0, 1e-15);
      EXPECT_EQ(C[i].diag, -(static_cast<double>(q + 1) * Jc(q, m)));
      EXPECT_EQ(C[i].lower, i + 1 < n ? static_cast<double>(q) * Jc(q + 1, m) : 0.0);
    }
  }
}

}  // namespace
}  // namespace ltide::coriolis
