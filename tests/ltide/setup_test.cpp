// What a run fixes before its loop: the mode it follows, the grids, the spin parameters
// singular for its basis, and the arrays of an eigenvalues-only run.
#include <gtest/gtest.h>

#include <limits>
#include <vector>

#include "ltide/arrays.hpp"
#include "ltide/grid.hpp"
#include "ltide/mode.hpp"
#include "ltide/singular.hpp"

namespace ltide::run {
namespace {

constexpr int32_t BIG = std::numeric_limits<int32_t>::max(), SMALL = std::numeric_limits<int32_t>::min();

TEST(SelectMode, KCountsFromTheFrontAndNegativeKFromTheBack) {
  const struct { int32_t k, n; bool even; int32_t i_mode; } rows[] = {
      {0, 9, true, 1},   {1, 9, false, 1}, {2, 9, true, 2},  {3, 9, false, 2}, {8, 9, true, 5},
      {-1, 9, false, 9}, {-2, 9, true, 9}, {-3, 9, false, 8}, {-4, 9, true, 8}, {-8, 9, true, 6},
      {BIG - 1, BIG, true, BIG / 2 + 1}, {-(BIG - 1), BIG, true, BIG / 2 + 2}};
  for (const auto& row : rows) {
    EXPECT_EQ(select_mode(row.k, row.n).even, row.even) << row.k;
    EXPECT_EQ(select_mode(row.k, row.n).i_mode, row.i_mode) << row.k;
  }
}

TEST(Grids, StepThroughSinglePrecisionFractions) {
  std::vector<double> mu(3), theta(3);
  build_mu_grid(mu, theta);
  EXPECT_EQ(mu, (std::vector<double>{-1.0, 0.0, 1.0}));
  // Degrees from the single-precision pi: the equator is not at 90.
  EXPECT_EQ(theta, (std::vector<double>{179.99999499104382, 89.99999749552191, 0.0}));
  EXPECT_EQ(spin_parameter(1, 1, -3.5, 7.0), -3.5);  // one point: nu_min, not 0/0
  EXPECT_EQ(spin_parameter(2, 4, 0.0, 3.0), static_cast<double>(1.0F / 3.0F) * 3.0);
}

TEST(SingularSpin, ExactZeroDenominatorsOfTheBasisDegrees) {
  const struct { int32_t m; bool even; int32_t n; double nu; bool singular; } rows[] = {
      // m = 1: degrees 2, 4, ... (odd) give l(l - 1) = 2 at l = 2; degrees 1, 3, ... (even)
      // give 6 and (l + 1)(l + 2) = 20 at l = 3, degree 1 is never tested.
      {1, false, 3, 2.0, true}, {1, true, 2, 2.0, false}, {1, true, 2, 6.0, true}, {1, true, 2, 20.0, true},
      {1, true, 1, 6.0, false}, {0, false, 50, 20.0, false}, {2, true, 10, 0.0, false},
      {2, true, 10, std::numeric_limits<double>::quiet_NaN(), false},
      // l(l - 1) is exempt at l = m (signed).
      {3, true, 4, 2.0, false}, {-3, true, 4, -2.0, true}, {3, true, 4, 20.0 / 3.0, true},
      // l = 2^31: (l + 1)(l + 2) is exact before its one rounding (to 2^62 + 3 * 2^31).
      {SMALL, true, 1, -2147483651.0, true}, {SMALL, true, 1, -2147483649.0, false},
      // Two billion degrees, of which only those with l(l - 1) <= m nu can match.
      {1, false, BIG, 1e6 + 0.5, false}, {1, false, BIG, 1000.0 * 999.0, true},
  };
  for (const auto& row : rows)
    EXPECT_EQ(singular_spin(row.m, row.even, row.n, row.nu), row.singular)
        << "m " << row.m << " even " << row.even << " n " << row.n << " nu " << row.nu;
}

TEST(RunArrays, EigenvaluesOnlyRunHoldsArraysOfNAndNNuOnly) {
  run_parameters p;
  p.n = p.n_nu = 100000;
  p.n_mu = BIG;
  p.lflag = true;
  EXPECT_LT(run_memory_bytes(p).value(), 100 * sizeof(double) * 200000);
  const run_arrays a = allocate_run_arrays(p);
  EXPECT_EQ(a.LL.size() + a.lambda_matr.size(), 200000U);
  EXPECT_TRUE(a.b.empty() && a.mu.empty() && a.sigma.empty() && a.y_l_im.storage().empty() &&
              a.xi_r_beta.storage().empty());
}

}  // namespace
}  // namespace ltide::run
