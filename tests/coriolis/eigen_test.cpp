#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "common/constants.hpp"
#include "coriolis/coriolis.hpp"
#include "reference.hpp"
#include "sparse/invmul.hpp"

namespace ltide::coriolis {
namespace {

struct solution {
  std::vector<double> lambda;
  array2<double> B, Q, R;
};
solution solve(double nu, int32_t m, bool even, int32_t n, bool tidal = false) {
  solution s{std::vector<double>(n), array2<double>(n, n), array2<double>(n, n), array2<double>(n, n)};
  (tidal ? w_eigen : Aleph_eigen)(nu, m, even, n, s.lambda, s.B.view(), s.Q.view(), s.R.view(), true);
  return s;
}

// The ordered eigenvalues are LAPACK's, descending, rotated left by the number of modes that
// m nu > 0 lifts past the others: one per primary degree with (l+1)(l+2) < m nu, one more for
// the odd series when |m|(|m|+1) < m nu; at nu = 0 they are 1/(l(l+1)) with B the identity.
// B is orthonormal. With A = Z Lambda^-1 (reference.hpp), A b = a b gives Z q = b for the
// column q = Lambda^-1 b / a of Q, and R holds r = nu Ltilde^-1 G q. Eigenvector components
// carry errors of the size of their column: tolerances scale with its largest term.
TEST(AlephEigen, ModeOrderOrthonormalBAndQAndRFromTheHarmonicRecurrences) {
  for (int32_t m : {-3, 0, 1, 2})
    for (bool even : {true, false})
      for (double nu : {-3.3, 0.0, 0.45, 2.5, 7.7, 25.0})
        for (int32_t n : {1, 3, 8, 17}) {
          if (m == 0 && even) continue;
          const solution s = solve(nu, m, even, n);
          const auto c = test::compose(m, even, n, nu);
          const auto deg = test::degrees(m, even, n);
          std::vector<double> ref(n);  // LAPACK's, descending
          sparse::s_eigen_ST_lapack(aleph_matrix(nu, m, even, n), ref);
          std::reverse(ref.begin(), ref.end());
          const std::string where = "m=" + std::to_string(m) + (even ? " even" : " odd") + " nu=" + std::to_string(nu);
          int64_t lifted = !even && std::abs(m) * (std::abs(m) + 1) < m * nu;
          for (int64_t l : deg.primary) lifted += static_cast<double>((l + 1) * (l + 2)) < m * nu;
          for (index_t j = 1; j <= n; ++j) {
            EXPECT_NEAR(s.lambda[j - 1], ref[(j - 1 + lifted) % n], 1e-13 * std::max(ref[0], -ref[n - 1])) << where;
            const double ll1 = static_cast<double>(deg.primary[j - 1] * (deg.primary[j - 1] + 1));
            EXPECT_TRUE(nu != 0.0 || std::fabs(1.0 / s.lambda[j - 1] - ll1) <= 4e-16 * ll1) << where;
            double zscale = 0.0, rscale = 0.0;
            std::vector<double> zq(n, 0.0), r(n, 0.0);
            for (index_t i = 1; i <= n; ++i) {
              double dot = 0.0, bound = 0.0, gq = 0.0, gbound = 0.0;
              for (index_t k = 1; k <= n; ++k) {
                dot += s.B(k, i) * s.B(k, j);
                zq[i - 1] += c.Z(i, k) * s.Q(k, j);
                bound += c.Zabs(i, k) * std::fabs(s.Q(k, j));
                const double g = test::coupling(deg.other[i - 1], deg.primary[k - 1], m);
                gq += g * s.Q(k, j);
                gbound += std::fabs(g * s.Q(k, j));
              }
              EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-13) << where;
              EXPECT_TRUE(nu != 0.0 || s.B(i, j) == (i == j ? 1.0 : 0.0)) << where;
              const double f = nu / test::l_factor(deg.other[i - 1], m, nu);
              r[i - 1] = f * gq;
              zscale = std::max(zscale, bound);
              rscale = std::max(rscale, std::fabs(f) * gbound);
            }
            for (index_t i = 1; i <= n; ++i) {
              // A lone degree 1 (|m| = 1, even) is defined without its coupling through degree 2.
              EXPECT_TRUE((even && std::abs(m) == 1 && n == 1) || std::fabs(zq[i - 1] - s.B(i, j)) <= 1e-13 * zscale)
                  << where;
              EXPECT_NEAR(s.R(i, j), r[i - 1], 1e-13 * rscale + 1e-300) << where;
            }
          }
        }
}

// Degree 0 (m = 0, even) is its own mode, HUGE_VALUE (0 as a tidal eigenvalue) with the
// first unit vector; the other eigenvalues come from the rest of the matrix (WLambda tests them).
TEST(AlephEigen, DegreeZeroIsSolvedApart) {
  const solution s = solve(1.3, 0, true, 6), w = solve(1.3, 0, true, 6, true);
  EXPECT_TRUE(s.lambda[0] == HUGE_VALUE && w.lambda[0] == 0.0);  // 1/HUGE flushes to zero
  for (index_t k = 1; k <= 6; ++k)
    EXPECT_TRUE(s.B(1, k) == (k == 1) && s.B(k, 1) == (k == 1) && s.Q(1, k) == (k == 1) && s.Q(k, 1) == (k == 1));
  const auto w1 = solve(0.5, 1, true, 2, true).lambda;  // worked case of order one
  EXPECT_NEAR(w1[0], 2.817873320, 2.817873320 * 5e-10);
  EXPECT_NEAR(w1[1], 14.25682008, 14.25682008 * 5e-10);
}

TEST(WEigen, FundamentalModeConvergesWithBasisSize) {
  // m = 2, k = 0 (entry 1), nu = 5: the truncation error falls fast with n, then stays at rounding level.
  std::vector<double> v;
  for (int32_t n : {20, 40, 80, 160}) v.push_back(solve(5.0, 2, true, n, true).lambda[0]);
  EXPECT_NEAR(v[0], v[3], 1e-7 * v[3]);
  EXPECT_GT(std::fabs(v[0] - v[3]), std::fabs(v[1] - v[3]));
  EXPECT_NEAR(v[1], v[3], 1e-12 * v[3]);
  EXPECT_NEAR(v[2], v[3], 1e-12 * v[3]);
}

// w_eigen_mode, alone or prepared with other spin parameters (used in another order than
// prepared; the workspace reused): every value bit for bit what w_eigen gives, degree 0
// (m = 0, even) included.
TEST(WEigenMode, EveryModeMatchesTheFullSolutionBitForBit) {
  const auto same = [](const std::vector<double>& a, vector_view<const double> b) {  // b is contiguous here
    return std::memcmp(a.data(), b.data, a.size() * sizeof(double)) == 0;
  };
  mode_workspace work;
  const std::vector<double> nus{-20.0, -1.5, 0.0, -0.0, 0.3, 5.0, 20.0, 117.0}, prepared{20.0, 0.3, -1.5, -0.0};
  for (int32_t n : {1, 2, 3, 5, 17, 40, 96, 257, 301})
    for (int32_t m : {0, 1, 2, -2, 5})
      for (bool even : {true, false}) {
        w_eigen_mode_prepare(prepared, m, even, n, work);
        EXPECT_TRUE(work.ready_for(-0.0, m, even, n) && !work.ready_for(0.0, m, even, n));  // nu bit for bit
        for (double nu : nus) {
          if (n > 96 && nu != 5.0 && nu != -20.0) continue;  // for time
          const bool from_work = work.ready_for(nu, m, even, n);
          const solution full = solve(nu, m, even, n, true);
          std::vector<double> lambda(n), b(n), q(n), r(n);
          for (int32_t mode = 1; mode <= n; mode += n <= 96 ? 1 : n / 7) {
            w_eigen_mode(nu, m, even, n, mode, lambda, b, q, r, from_work && mode == 1 ? &work : nullptr);
            ASSERT_TRUE(same(lambda, full.lambda) && same(b, full.B.view().col(mode)) &&
                        same(q, full.Q.view().col(mode)) && same(r, full.R.view().col(mode)))
                << "nu=" << nu << " m=" << m << " even=" << even << " n=" << n << " mode " << mode;
          }
        }
      }
}

TEST(EigenDeathTest, StopMessages) {
  std::vector<double> lambda(4), b(4), q(4), r(4);
  array2<double> M(4, 4);
  const auto stops = ::testing::ExitedWithCode(1);
  EXPECT_EXIT(Aleph_eigen(1.0, 2, true, 4, lambda, std::nullopt, M.view(), M.view()), stops,
              "^\\*\\* Cannot calculate Q without calculating B \\[coriolis::Aleph_eigen\\]\n$");
  EXPECT_EXIT(w_eigen(1.0, 2, true, 4, lambda, std::nullopt, std::nullopt, M.view()), stops,
              "^\\*\\* Cannot calculate R without calculating B \\[coriolis::Aleph_eigen\\]\n$");
  for (int32_t mode : {0, 5})
    EXPECT_EXIT(w_eigen_mode(1.0, 1, true, 4, mode, lambda, b, q, r), stops,
                "^\\*\\* mode index out of range \\[coriolis::w_eigen_mode\\]\n$");
  mode_workspace work;  // a prepared iteration that fails stops the program only when it is asked for
  w_eigen_mode_prepare(std::vector<double>{2.0, std::numeric_limits<double>::quiet_NaN()}, 1, true, 4, work);
  EXPECT_EXIT((w_eigen_mode(2.0, 1, true, 4, 1, lambda, b, q, r, &work), std::fputs("first solved\n", stderr),
               w_eigen_mode(std::numeric_limits<double>::quiet_NaN(), 1, true, 4, 1, lambda, b, q, r, &work)),
              stops, "^first solved\n\\*\\* too many iterations in QL algorithm \\[sparse::s_eigen_ST\\]\n$");
}

}  // namespace
}  // namespace ltide::coriolis
