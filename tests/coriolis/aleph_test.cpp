#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "common/constants.hpp"
#include "coriolis/coriolis.hpp"
#include "reference.hpp"

namespace ltide::coriolis {
namespace {

TEST(AlephMatrix, WorkedCaseOfOrderOneDegreesOneAndThree) {
  const auto A = aleph_matrix(0.5, 1, true, 2);  // single-precision J
  EXPECT_NEAR(A[0].diag, 0.3545454550, 0.3545454550 * 5e-10);
  EXPECT_NEAR(A[1].diag, 0.07047397057, 0.07047397057 * 5e-10);
  EXPECT_NEAR(A[0].off, -0.009718590596, 0.009718590596 * 5e-10);
  EXPECT_EQ(A[1].off, 0.0);
}

// (L - nu^2 G Ltilde^-1 G) Lambda^-1 from the harmonic recurrences (reference.hpp) equals
// the Aleph matrix on its band (so that is symmetric) and vanishes beyond; so does
// aleph_test, its recomposition from the factor matrices with the banded operators (not for
// m = 0, where the factors are not guarded); and w_matrix is its inverse.
TEST(AlephMatrix, AndItsRecompositionEqualTheCompositionOfCouplingOperators) {
  for (int32_t m : {-3, -1, 0, 1, 2, 4})
    for (bool even : {true, false})
      for (double nu : {-7.3, -0.6, 0.0, 0.35, 1.7, 5.1, 12.9})
        for (int32_t n : {1, 2, 3, 9}) {
          if ((m == 0 && even) || (even && std::abs(m) == 1 && n == 1)) continue;  // degree 0; lone degree 1 below
          const auto A = aleph_matrix(nu, m, even, n);
          const auto X = aleph_test(nu, m, even, n);
          const array2<double> W = w_matrix(nu, m, even, n);
          const auto c = test::compose(m, even, n, nu);
          const auto s = test::degrees(m, even, n);
          for (index_t i = 1; i <= n; ++i)
            for (index_t k = 1; k <= n; ++k) {
              const double lam = static_cast<double>(s.primary[k - 1] * (s.primary[k - 1] + 1));
              const double want = c.Z(i, k) / lam, tol = 1e-14 * c.Zabs(i, k) / lam + 1e-300;
              const double a = k == i ? A[i - 1].diag : k == i + 1 ? A[i - 1].off : k == i - 1 ? A[k - 1].off : 0.0;
              const double x = k == i ? X[i - 1].diag : k == i + 1 ? X[i - 1].upper : k == i - 1 ? X[k - 1].lower : 0.0;
              double aw = A[i - 1].diag * W(i, k);
              if (i > 1) aw += A[i - 2].off * W(i - 1, k);
              if (i < n) aw += A[i - 1].off * W(i + 1, k);
              EXPECT_TRUE(std::fabs(a - want) <= tol && (m == 0 || std::fabs(x - want) <= tol) &&
                          std::fabs(aw - (i == k ? 1.0 : 0.0)) <= 1e-12)
                  << "m=" << m << " even=" << even << " nu=" << nu << " n=" << n << " (" << i << "," << k << ")";
            }
        }
}

// Degree 0, a lone degree 1 (defined without the coupling through degree 2), the lowest
// degree resonance a_2 = 2 - m nu = 0 (regular only for m > 0, where J(2) = 0), and zero
// denominators a_l, b_l = 0, which give HUGE_VALUE, except b_1 = 0, which is not tested for.
TEST(AlephMatrix, LowestDegreesAndZeroDenominators) {
  const double finite = -HUGE_VALUE, nonfinite = HUGE_VAL, any = std::numeric_limits<double>::quiet_NaN();
  const struct { double nu; int32_t m; bool even; int32_t n, row; double diag, off; } cases[] = {
      {0.8, 0, true, 3, 1, HUGE_VALUE, -(0.8 * 0.8 * test::Jc(1, 0) * test::Jc(2, 0)) / 2.0},
      {0.8, 0, true, 3, 2, finite, any},       {0.0, 0, true, 2, 1, HUGE_VALUE, 0.0},
      {0.8, 0, true, 1, 1, HUGE_VALUE, 0.0},   {0.5, 1, true, 1, 1, 0.375, 0.0},
      {3.0, 0, false, 1, 1, 0.5, 0.0},         {6.0, 1, true, 1, 1, -1.0, 0.0},
      {1.0, 2, true, 3, 1, finite, any},       {-1.0, -2, true, 3, 1, HUGE_VALUE, any},
      {1.0, 2, true, 1, 1, HUGE_VALUE, 0.0},   {15.0, 2, true, 3, 1, finite, any},
      {15.0, 2, true, 3, 2, HUGE_VALUE, HUGE_VALUE}, {12.0, 1, false, 3, 2, HUGE_VALUE, finite},
      {12.0, 1, false, 2, 2, HUGE_VALUE, 0.0}, {20.0, 1, true, 2, 2, HUGE_VALUE, 0.0},
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

}  // namespace
}  // namespace ltide::coriolis
