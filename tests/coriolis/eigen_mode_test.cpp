// w_eigen_mode against w_eigen: the same bits in lambda and in column i_mode of B, Q, R,
// and the degree-0 solve into a block of B with a leading dimension larger than its rows
// against the column-pair loop.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <vector>

#include "coriolis/coriolis.hpp"
#include "sparse/ql.hpp"

namespace ltide::coriolis {
namespace {

// Equal as bit patterns: +0 and -0 differ, a NaN equals the same NaN.
bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Index of the first entry whose bits differ, or -1.
index_t first_difference(vector_view<const double> a, vector_view<const double> b) {
  for (index_t i = 0; i < a.size; ++i)
    if (!same_bits(a[i], b[i])) return i;
  return -1;
}

struct full_solution {
  std::vector<double> lambda;
  array2<double> B, Q, R;
};

full_solution w_full(double nu, int32_t m, bool even, int32_t n) {
  full_solution s{std::vector<double>(n), array2<double>(n, n), array2<double>(n, n), array2<double>(n, n)};
  w_eigen(nu, m, even, n, s.lambda, s.B.view(), s.Q.view(), s.R.view(), true);
  return s;
}

// Every mode of every case, each compared with the full solution.
void expect_modes_match(double nu, int32_t m, bool even, int32_t n) {
  const full_solution full = w_full(nu, m, even, n);
  std::vector<double> lambda(n), b(n), q(n), r(n);
  const std::string where = "nu=" + std::to_string(nu) + " m=" + std::to_string(m) + " even=" + std::to_string(even) +
                            " n=" + std::to_string(n);
  for (int32_t mode = 1; mode <= n; ++mode) {
    w_eigen_mode(nu, m, even, n, mode, lambda, b, q, r);
    ASSERT_EQ(first_difference(lambda, full.lambda), -1) << where;
    ASSERT_EQ(first_difference(b, full.B.col(mode)), -1) << where << " mode " << mode;
    ASSERT_EQ(first_difference(q, full.Q.col(mode)), -1) << where << " mode " << mode;
    ASSERT_EQ(first_difference(r, full.R.col(mode)), -1) << where << " mode " << mode;
  }
}

TEST(WEigenMode, EveryModeMatchesTheFullSolutionBitForBit) {
  for (int32_t n : {1, 2, 3, 5, 17, 40, 96}) {
    for (int32_t m : {0, 1, 2, -2, 5}) {
      for (bool even : {true, false}) {
        // Negative, zero, small and large spin parameters: the mode order rotates for m nu > 0.
        for (double nu : {-20.0, -1.5, 0.0, -0.0, 0.3, 5.0, 20.0, 117.0}) expect_modes_match(nu, m, even, n);
      }
    }
  }
}

TEST(WEigenMode, LargerBasesMatchForSampledModes) {
  for (auto [n, m, even, nu] : {std::tuple{300, 2, true, 5.0}, {301, 1, false, -13.0}, {250, 0, true, 20.0},
                                {257, 0, false, 7.5}}) {
    const full_solution full = w_full(nu, m, even, n);
    std::vector<double> lambda(n), b(n), q(n), r(n);
    for (int32_t mode : {1, 2, 3, 7, n / 2, n - 2, n - 1, n}) {
      w_eigen_mode(nu, m, even, n, mode, lambda, b, q, r);
      EXPECT_EQ(first_difference(lambda, full.lambda), -1) << n;
      EXPECT_EQ(first_difference(b, full.B.col(mode)), -1) << n << " mode " << mode;
      EXPECT_EQ(first_difference(q, full.Q.col(mode)), -1) << n << " mode " << mode;
      EXPECT_EQ(first_difference(r, full.R.col(mode)), -1) << n << " mode " << mode;
    }
  }
}

TEST(WEigenMode, StridedOutputsGetTheSameValues) {
  const int32_t n = 45;
  const full_solution full = w_full(3.0, 2, true, n);
  std::vector<double> lambda(2 * n, 7.0), b(3 * n, 7.0), q(n), r(n);
  w_eigen_mode(3.0, 2, true, n, 4, vector_view<double>(lambda.data(), n, 2), vector_view<double>(b.data(), n, 3), q, r);
  EXPECT_EQ(first_difference(vector_view<const double>(lambda.data(), n, 2), full.lambda), -1);
  EXPECT_EQ(first_difference(vector_view<const double>(b.data(), n, 3), full.B.col(4)), -1);
  EXPECT_EQ(b[1], 7.0);
}

TEST(WEigenMode, PreparedIterationsGiveTheSameBits) {
  const int32_t n = 60;
  mode_workspace work;
  const std::vector<double> nus{-3.0, 0.5, 7.25, 19.0};
  for (int round = 0; round < 2; ++round) {  // the second round reuses the workspace's memory
    w_eigen_mode_prepare(nus, 2, true, n, work);
    for (double nu : nus) EXPECT_TRUE(work.ready_for(nu, 2, true, n));
    EXPECT_FALSE(work.ready_for(7.25, 2, false, n));
    EXPECT_FALSE(work.ready_for(7.25, 2, true, n + 1));
    // In another order than prepared, and one that was not prepared at all.
    for (double nu : {19.0, -3.0, 11.0, 0.5, 7.25}) {
      const full_solution full = w_full(nu, 2, true, n);
      std::vector<double> lambda(n), b(n), q(n), r(n);
      w_eigen_mode(nu, 2, true, n, 3, lambda, b, q, r, &work);
      EXPECT_EQ(first_difference(lambda, full.lambda), -1) << nu;
      EXPECT_EQ(first_difference(b, full.B.col(3)), -1) << nu;
      EXPECT_EQ(first_difference(q, full.Q.col(3)), -1) << nu;
      EXPECT_EQ(first_difference(r, full.R.col(3)), -1) << nu;
    }
  }
}

// A prepared iteration that fails stops the program only when its spin parameter is asked for.
void prepare_with_a_failing_one() {
  mode_workspace work;
  const std::vector<double> nus{2.0, std::numeric_limits<double>::quiet_NaN()};
  w_eigen_mode_prepare(nus, 1, true, 8, work);
  std::vector<double> lambda(8), b(8), q(8), r(8);
  w_eigen_mode(2.0, 1, true, 8, 1, lambda, b, q, r, &work);
  std::fputs("first solved\n", stderr);
  w_eigen_mode(nus[1], 1, true, 8, 1, lambda, b, q, r, &work);
}

TEST(WEigenModeDeathTest, FailedPreparedIterationStopsWhenUsed) {
  EXPECT_EXIT(prepare_with_a_failing_one(), ::testing::ExitedWithCode(1),
              "^first solved\n\\*\\* too many iterations in QL algorithm \\[sparse::s_eigen_ST\\]\n$");
}

TEST(WEigenModeDeathTest, ModeOutsideTheBasisStops) {
  std::vector<double> lambda(4), b(4), q(4), r(4);
  EXPECT_EXIT(w_eigen_mode(1.0, 1, true, 4, 5, lambda, b, q, r), ::testing::ExitedWithCode(1),
              "^\\*\\* mode index out of range \\[coriolis::w_eigen_mode\\]\n$");
  EXPECT_EXIT(w_eigen_mode(1.0, 1, true, 4, 0, lambda, b, q, r), ::testing::ExitedWithCode(1), "mode index");
}

// Degree 0 (m = 0, even): the eigenvectors of rows 2 .. n go into the block B(2..n, 2..n),
// whose leading dimension n exceeds its n - 1 rows. They must be the column-pair loop's bits.
TEST(AlephEigen, DegreeZeroBlockMatchesTheColumnPairLoop) {
  for (int32_t n : {2, 3, 33, 34, 65, 200}) {
    for (double nu : {0.7, 20.0, -9.0}) {
      std::vector<double> lambda(n);
      array2<double> B(n, n, 5.0);
      Aleph_eigen(nu, 0, true, n, lambda, B.view());

      const auto A = aleph_matrix(nu, 0, true, n);
      const index_t k = n - 1;
      std::vector<double> d, e;
      for (std::size_t i = 1; i < A.size(); ++i) {
        d.push_back(A[i].diag);
        e.push_back(A[i].off);
      }
      array2<double> V(n, n);
      for (index_t i = 2; i <= n; ++i) V(i, i) = 1.0;
      sparse::ql_implicit(d.data(), e.data(), k, sparse::ql_rotate_columns{V.view().block(2, 2, k, k), k});
      for (index_t j = 2; j <= n; ++j) {
        EXPECT_TRUE(same_bits(lambda[static_cast<std::size_t>(j - 1)], d[static_cast<std::size_t>(j - 2)])) << n;
        EXPECT_EQ(first_difference(B.col(j), V.col(j)), -1) << "n=" << n << " nu=" << nu << " column " << j;
      }
    }
  }
}

}  // namespace
}  // namespace ltide::coriolis
