#include "sparse/invmul.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "sparse/eigen.hpp"

extern "C" void dgesv_(const int32_t* n, const int32_t* nrhs, double* a, const int32_t* lda, int32_t* ipiv,
                       double* b, const int32_t* ldb, int32_t* info);

namespace ltide::sparse {
namespace {

// The dense matrix a banded array represents (the last element's off-diagonals are outside).
template <class K>
array2<double> dense(const std::vector<K>& A) {
  const auto n = static_cast<index_t>(A.size());
  array2<double> M(n, n);
  for (index_t i = 1; i <= n; ++i) {
    const K& x = A[static_cast<std::size_t>(i - 1)];
    M(i, i) = x.diag;
    if (i == n) continue;
    if constexpr (requires { x.lower; }) M(i + 1, i) = x.lower;
    if constexpr (requires { x.upper; }) M(i, i + 1) = x.upper;
    if constexpr (requires { x.off; }) M(i + 1, i) = M(i, i + 1) = x.off;
  }
  return M;
}

// Diagonal entries in +-[2, 3], off-diagonal ones in [-0.9, 0.9]: diagonally dominant, so
// well conditioned and safe without pivoting. Last-element off-diagonals are garbage.
template <class K>
std::vector<K> random_banded(index_t n, std::mt19937_64& gen) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<K> A(static_cast<std::size_t>(n));
  for (K& x : A) {
    const double v = u(gen);
    x.diag = v < 0 ? v - 2.0 : v + 2.0;
    if constexpr (requires { x.lower; }) x.lower = 0.45 * u(gen);
    if constexpr (requires { x.upper; }) x.upper = 0.45 * u(gen);
    if constexpr (requires { x.off; }) x.off = 0.45 * u(gen);
  }
  if constexpr (requires(K x) { x.lower; }) A.back().lower = 1e300;
  if constexpr (requires(K x) { x.upper; }) A.back().upper = 1e300;
  if constexpr (requires(K x) { x.off; }) A.back().off = 1e300;
  return A;
}

array2<double> random_dense(index_t rows, index_t cols, std::mt19937_64& gen) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  array2<double> C(rows, cols);
  for (double& x : C.storage()) x = u(gen);
  return C;
}

// A^-1 C by LAPACK's dense LU solve.
array2<double> dense_solve(array2<double> A, array2<double> C) {
  const auto n = static_cast<int32_t>(A.rows());
  const auto nrhs = static_cast<int32_t>(C.cols());
  std::vector<int32_t> ipiv(static_cast<std::size_t>(n));
  int32_t info = 0;
  dgesv_(&n, &nrhs, A.data(), &n, ipiv.data(), C.data(), &n, &info);
  EXPECT_EQ(info, 0);
  return C;
}

void expect_close(const array2<double>& got, const array2<double>& want, const char* what, index_t n) {
  ASSERT_EQ(got.rows(), want.rows()) << what;
  ASSERT_EQ(got.cols(), want.cols()) << what;
  for (std::size_t k = 0; k < got.storage().size(); ++k)
    EXPECT_NEAR(got.storage()[k], want.storage()[k], 1e-14 * (1.0 + std::fabs(want.storage()[k])))
        << what << " n=" << n << " k=" << k;
}

array2<double> as_column(const std::vector<double>& x) {
  array2<double> M(static_cast<index_t>(x.size()), 1);
  std::copy(x.begin(), x.end(), M.storage().begin());
  return M;
}

template <class K, class SolveV, class SolveM>
void check_against_dense(const char* what, SolveV solve_v, SolveM solve_m) {
  std::mt19937_64 gen(42);
  for (index_t n = 1; n <= 9; ++n) {
    const auto A = random_banded<K>(n, gen);
    const array2<double> C = random_dense(n, 3, gen);
    expect_close(solve_m(A, C.view()), dense_solve(dense(A), C), what, n);
    const std::vector<double> b = C.col(2).to_vector();
    expect_close(as_column(solve_v(A, vector_view<const double>(b))), dense_solve(dense(A), as_column(b)), what, n);
  }
}

TEST(InvmulAgainstDenseSolve, VectorAndMatrixRightHandSides) {
  check_against_dense<D>("d", s_invmul_d_v, s_invmul_d_m);
  check_against_dense<LB>("lb", s_invmul_lb_v, s_invmul_lb_m);
  check_against_dense<RB>("rb", s_invmul_rb_v, s_invmul_rb_m);
  check_against_dense<ST>("st", s_invmul_st_v, s_invmul_st_m);
  check_against_dense<T>("t", s_invmul_t_v, s_invmul_t_m);
}

template <class K, class Solve>
void check_banded_rhs(const char* what, Solve solve) {
  std::mt19937_64 gen(7);
  for (index_t n = 1; n <= 9; ++n) {
    const auto A = random_banded<D>(n, gen);
    const auto b = random_banded<K>(n, gen);
    const auto x = solve(A, b);
    expect_close(dense(x), dense_solve(dense(A), dense(b)), what, n);
    if constexpr (requires { x.back().lower; }) {
      EXPECT_EQ(x.back().lower, 0.0) << what;
    }
    if constexpr (requires { x.back().upper; }) {
      EXPECT_EQ(x.back().upper, 0.0) << what;
    }
  }
}

TEST(InvmulAgainstDenseSolve, DiagonalTimesBandedRightHandSides) {
  check_banded_rhs<D>("d_d", s_invmul_d_d);
  check_banded_rhs<LB>("d_lb", s_invmul_d_lb);
  check_banded_rhs<RB>("d_rb", s_invmul_d_rb);
  check_banded_rhs<ST>("d_st", s_invmul_d_st);
  check_banded_rhs<T>("d_t", s_invmul_d_t);
}

TEST(Invmul, OrderOneIsAQuotient) {
  const std::vector<double> b{3.0};
  const std::vector<double> want{0.75};
  EXPECT_EQ(s_invmul_d_v(std::vector<D>{{4.0}}, b), want);
  EXPECT_EQ(s_invmul_lb_v(std::vector<LB>{{4.0, 9.0}}, b), want);
  EXPECT_EQ(s_invmul_rb_v(std::vector<RB>{{4.0, 9.0}}, b), want);
  EXPECT_EQ(s_invmul_st_v(std::vector<ST>{{4.0, 9.0}}, b), want);
  EXPECT_EQ(s_invmul_t_v(std::vector<T>{{4.0, 9.0, 9.0}}, b), want);
}

TEST(Invmul, TridiagonalWorkedCase) {
  const std::vector<double> b{3.0, 3.0};
  EXPECT_EQ(s_invmul_t_v(std::vector<T>{{2.0, 1.0, 1.0}, {2.0, 0.0, 0.0}}, b), (std::vector<double>{1.0, 1.0}));
  EXPECT_EQ(s_invmul_st_v(std::vector<ST>{{2.0, 1.0}, {2.0, 0.0}}, b), (std::vector<double>{1.0, 1.0}));
}

TEST(Invmul, TridiagonalWithZeroOffDiagonalDividesByTheDiagonal) {
  const std::vector<double> b{1.0, 2.0, 3.0};
  const std::vector<double> want{1.0 / 3.0, 2.0 / 7.0, 3.0 / 11.0};
  EXPECT_EQ(s_invmul_st_v(std::vector<ST>{{3.0, 0.0}, {7.0, 0.0}, {11.0, 5.0}}, b), want);
  EXPECT_EQ(s_invmul_t_v(std::vector<T>{{3.0, 0.0, 0.0}, {7.0, 0.0, 0.0}, {11.0, 5.0, 5.0}}, b), want);
}

TEST(Invmul, UpperBidiagonalDividesEachTermSeparately) {
  // x1 = b1/d1 - u1*x2/d1; the grouping (b1 - u1*x2)/d1 rounds differently here.
  const std::vector<RB> A{{3.0, 0.3}, {1.0, 0.0}};
  const std::vector<double> b{1.0, 0.7};
  const auto x = s_invmul_rb_v(A, b);
  EXPECT_EQ(x[1], 0.7);
  EXPECT_EQ(x[0], 0.2633333333333333);  // (1 - 0.3*0.7)/3 would be 0.26333333333333336
}

TEST(Invmul, DiagonalTimesSymmetricIsNoLongerSymmetric) {
  const auto x = s_invmul_d_st(std::vector<D>{{2.0}, {4.0}}, std::vector<ST>{{6.0, 8.0}, {12.0, 1.0}});
  ASSERT_EQ(x.size(), 2u);
  EXPECT_EQ(x[0].diag, 3.0);
  EXPECT_EQ(x[0].lower, 2.0);  // row 2: divided by 4
  EXPECT_EQ(x[0].upper, 4.0);  // row 1: divided by 2
  EXPECT_EQ(x[1].diag, 3.0);
  EXPECT_EQ(x[1].lower, 0.0);
  EXPECT_EQ(x[1].upper, 0.0);
}

TEST(Invmul, StridedRightHandSidesAreReadInElementOrder) {
  std::mt19937_64 gen(5);
  const auto A = random_banded<T>(6, gen);
  const array2<double> big = random_dense(9, 7, gen);
  const auto block = big.view().block(2, 3, 6, 4);
  const array2<double> packed = to_array2(block);
  EXPECT_EQ(s_invmul_t_m(A, block), s_invmul_t_m(A, packed.view()));
  const auto row = big.view().block(4, 1, 1, 6).row(1);  // stride 9
  EXPECT_EQ(s_invmul_t_v(A, row), s_invmul_t_v(A, row.to_vector()));
}

TEST(Inverse, ReciprocalOfEachDiagonalEntry) {
  const auto x = s_inverse_d(std::vector<D>{{4.0}, {-0.5}, {0.0}});
  ASSERT_EQ(x.size(), 3u);
  EXPECT_EQ(x[0].diag, 0.25);
  EXPECT_EQ(x[1].diag, -2.0);
  EXPECT_EQ(x[2].diag, std::numeric_limits<double>::infinity());
}

TEST(EigenSTLapack, AscendingEigenpairsAgreeWithQL) {
  std::mt19937_64 gen(9);
  for (index_t n : {1, 2, 5, 40}) {
    const auto A = random_banded<ST>(n, gen);
    std::vector<double> ql(A.size()), with_v(A.size()), without_v(A.size());
    array2<double> V(n, n);
    s_eigen_ST(A, ql);
    s_eigen_ST_lapack(A, with_v, V.view());
    s_eigen_ST_lapack(A, without_v);
    std::sort(ql.begin(), ql.end());
    EXPECT_TRUE(std::is_sorted(with_v.begin(), with_v.end()));
    const array2<double> M = dense(A);
    for (index_t j = 1; j <= n; ++j) {
      const auto k = static_cast<std::size_t>(j - 1);
      EXPECT_NEAR(with_v[k], ql[k], 1e-13 * (1.0 + std::fabs(ql[k])));
      EXPECT_NEAR(without_v[k], ql[k], 1e-13 * (1.0 + std::fabs(ql[k])));
      double norm = 0.0;
      for (index_t i = 1; i <= n; ++i) {
        double av = 0.0;
        for (index_t l = 1; l <= n; ++l) av += M(i, l) * V(l, j);
        EXPECT_NEAR(av, with_v[k] * V(i, j), 1e-13) << "n=" << n;
        norm += V(i, j) * V(i, j);
      }
      EXPECT_NEAR(norm, 1.0, 1e-13);
    }
  }
}

TEST(EigenSTLapack, EmptyMatrixTouchesNothing) {
  double lambda = 7.0;
  s_eigen_ST_lapack({}, vector_view<double>(&lambda, 0));
  EXPECT_EQ(lambda, 7.0);
}

}  // namespace
}  // namespace ltide::sparse
