// The truncation-error estimate against what larger bases actually give: the eigenvalue of
// mode k, taken from the ordered list at the place the run takes it, at n/2, n and 4n.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <ltide/common/constants.hpp>
#include <ltide/coriolis/coriolis.hpp>

namespace ltide::coriolis {
namespace {

double tidal_eigenvalue(double nu, int32_t m, int32_t k, int32_t n) {
  std::vector<double> lambda(static_cast<std::size_t>(n));
  w_eigen(nu, m, k % 2 == 0, n, lambda, std::nullopt, std::nullopt, std::nullopt, true);
  const int32_t ak = k < 0 ? -k : k;
  const int32_t i_mode = k >= 0 ? ak / 2 + 1 : n - (ak - 1) / 2;
  return lambda[static_cast<std::size_t>(i_mode - 1)];
}

double relative(double x, double reference) { return x == reference ? 0.0 : std::fabs(x - reference) / std::fabs(reference); }

// Modes the basis misses (the first three are the runs that printed wrong eigenvalues with no
// bit set), modes near the threshold, and resolved ones: even and odd, Rossby modes (k < 0,
// |nu| > 1; for |nu| < 1 the entries counted from the end are no modes, which bit 2 says),
// m = 0 with its degree-0 mode, |nu| up to 1000.
const struct { int32_t m, k; double nu; int32_t n; } CASES[] = {
    {2, 0, 20.0, 20}, {2, 0, 20.0, 40}, {2, 0, 100.0, 100}, {2, 0, 100.0, 200}, {0, 1, 50.0, 80},
    {0, 2, 50.0, 80}, {1, 1, -30.0, 40}, {5, -4, 200.0, 20}, {2, -2, 100.0, 10}, {1, 2, 1000.0, 40},
    {4, 4, -300.0, 40}, {0, 3, -200.0, 40}, {1, 5, 40.0, 20}, {2, -1, 20.0, 20}, {0, 1, -8.0, 10},
    {3, 2, 5.0, 20}, {-1, 3, -4.0, 20}, {2, 1, 30.0, 80}, {2, -3, -1000.0, 10}, {3, -1, 1000.0, 80},
    {2, -1, -1000.0, 10}, {-3, 0, 60.0, 20}, {2, -1, -500.0, 10}, {1, -2, -1000.0, 10}, {4, -4, -50.0, 10},
    {2, 0, 20.0, 80}, {1, -1, 5.0, 10}, {2, 0, 1.0, 10}, {2, 0, 20.0, 200}, {2, -3, 20.0, 20},
    {2, -2, 100.0, 40}, {2, -1, -500.0, 40}, {-3, 0, 60.0, 80}, {5, -4, 200.0, 80}, {0, -1, 100.0, 10},
    {0, -2, 100.0, 20}, {0, 0, 30.0, 20}, {1, 1, -30.0, 160}, {2, -1, 20.0, 160}, {2, -1, -1000.0, 40},
    {3, -1, -1000.0, 40}, {1, -2, -1000.0, 20}, {0, -1, -1000.0, 20}, {0, -2, 1000.0, 20}, {-2, -1, 1000.0, 40},
    {1, 0, -10.0, 20}, {0, 1, -8.0, 40}, {4, -4, -50.0, 20}, {1, -1, 5.0, 20}, {2, -3, -1000.0, 40},
};

// Unresolved wherever lambda(n) and lambda(4n) differ by more than 1e-4, resolved wherever
// lambda(n/2) already agrees with lambda(4n) to 1e-9; where the error is measurable (above
// the eigensolver's rounding, 1e-9) the estimate is within a factor 3 of it.
TEST(TruncationError, FollowsTheEigenvaluesOfLargerBases) {
  int unresolved = 0, resolved = 0, measured = 0;
  for (const auto& c : CASES) {
    const std::string where = "m=" + std::to_string(c.m) + " k=" + std::to_string(c.k) +
                              " nu=" + std::to_string(c.nu) + " n=" + std::to_string(c.n);
    const double reference = tidal_eigenvalue(c.nu, c.m, c.k, 4 * c.n);
    const double lambda = tidal_eigenvalue(c.nu, c.m, c.k, c.n);
    const double error = relative(lambda, reference);
    const double half_error = relative(tidal_eigenvalue(c.nu, c.m, c.k, c.n / 2), reference);
    const double estimate = truncation_error(c.nu, c.m, c.k, c.n, 1.0 / lambda);
    if (error > 1e-4) {
      EXPECT_FALSE(mode_resolved(estimate)) << where << " error " << error;
      ++unresolved;
    }
    if (half_error <= 1e-9) {
      EXPECT_TRUE(mode_resolved(estimate)) << where << " estimate " << estimate;
      ++resolved;
    }
    if (error >= 1e-9 && error <= 1e-1) {
      EXPECT_NEAR(std::log10(estimate / error), 0.0, std::log10(3.0)) << where;
      ++measured;
    }
  }
  EXPECT_GE(unresolved, 15);
  EXPECT_GE(resolved, 15);
  EXPECT_GE(measured, 10);
}

// The degree-0 mode is exact at every n; singular nu (HUGE elements), a = 0, a non-finite a
// and NaN estimates all count as unresolved.
TEST(TruncationError, ExactAndUndefinedCases) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(truncation_error(30.0, 0, 0, 20, HUGE_VALUE), 0.0);
  EXPECT_EQ(truncation_error(30.0, 0, 0, 20, inf), 0.0);
  EXPECT_EQ(truncation_error(30.0, 0, 0, 1, HUGE_VALUE), 0.0);
  // m nu = 12 = (l+1)(l+2) at l = 2: the odd series of m = 1 is singular there.
  EXPECT_EQ(truncation_error(12.0, 1, 1, 10, 0.1), inf);
  EXPECT_EQ(truncation_error(3.0, 2, 0, 10, 0.0), inf);
  EXPECT_EQ(truncation_error(3.0, 2, 0, 10, std::nan("")), inf);
  EXPECT_FALSE(mode_resolved(std::nan("")));
  EXPECT_FALSE(mode_resolved(inf));
  // At nu = 0 every degree is its own mode, exact in any basis, one degree included (the
  // zero pivots of the exact eigenvalue are moved to DBL_MIN, no further).
  for (int32_t n : {1, 2, 7})
    for (int32_t k : {0, 1})
      EXPECT_LT(truncation_error(0.0, 2, k, n, aleph_matrix(0.0, 2, k == 0, n)[0].diag), 1e-300) << n << " " << k;
}

}  // namespace
}  // namespace ltide::coriolis
