#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <vector>

#include "matrix/lapack_wrapper.hpp"

namespace ltide::matrix {
namespace {

array2<double> system_matrix() {
  array2<double> a(3, 3);
  const double v[3][3] = {{4, 1, 2}, {1, 5, -1}, {2, -1, 6}};
  for (index_t i = 1; i <= 3; ++i)
    for (index_t j = 1; j <= 3; ++j) a(i, j) = v[i - 1][j - 1];
  return a;
}

// Results on strided blocks equal those on contiguous copies; nothing else moves.
TEST(Gesv, StridedViewsAreWrittenBackAndTheirSurroundingsKept) {
  array2<double> big(6, 5, -9.0), rhs(5, 4, -7.0);
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) big(i + 2, j + 1) = system_matrix()(i, j);
  for (index_t j = 1; j <= 2; ++j)
    for (index_t i = 1; i <= 3; ++i) rhs(i + 1, j + 2) = static_cast<double>(i + 3 * j);
  array2<double> a = system_matrix();
  array2<double> b = to_array2(rhs.view().block(2, 3, 3, 2));
  std::vector<int32_t> ipiv(3), ipiv_strided(3);
  dgesv_wrap(a.view(), b.view(), ipiv);

  array2<double> big_expect = big, rhs_expect = rhs;
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) big_expect(i + 2, j + 1) = a(i, j);
  for (index_t j = 1; j <= 2; ++j)
    for (index_t i = 1; i <= 3; ++i) rhs_expect(i + 1, j + 2) = b(i, j);
  int32_t info = -1;
  dgesv_wrap(big.view().block(3, 2, 3, 3), rhs.view().block(2, 3, 3, 2), ipiv_strided, info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ipiv_strided, ipiv);
  EXPECT_EQ(big, big_expect);
  EXPECT_EQ(rhs, rhs_expect);
  EXPECT_NEAR(4 * b(1, 2) + b(2, 2) + 2 * b(3, 2), 7.0, 1e-14);

  // One right-hand side held as a matrix row (stride 2).
  array2<double> m(2, 3, 0.0);
  m(2, 1) = 1, m(2, 2) = 2, m(2, 3) = 3;
  std::vector<double> v{1, 2, 3};
  a = system_matrix();
  dgesv_vec_wrap(a.view(), m.view().row(2));
  a = system_matrix();
  dgesv_vec_wrap(a.view(), v);
  EXPECT_EQ(m.view().row(2).to_vector(), v);
  EXPECT_EQ(m(1, 2), 0.0);
}

TEST(Gesv, SingularMatrixReportsOnlyThroughInfo) {
  array2<double> a(2, 2), b(2, 1, 1.0);
  a(1, 1) = 1, a(1, 2) = 2, a(2, 1) = 2, a(2, 2) = 4;
  array2<double> a1 = a;
  dgesv_wrap(a1.view(), b.view());  // returns normally, prints nothing
  int32_t info = 0;
  dgesv_wrap(a.view(), b.view(), std::nullopt, info);
  EXPECT_EQ(info, 2);
}

TEST(Gesv, PivotArrayGetsAtMostNEntries) {
  array2<double> a = system_matrix(), b(3, 1, 1.0);
  std::vector<int32_t> full(3), longer(5, -5);
  dgesv_wrap(a.view(), b.view(), full);
  a = system_matrix();
  dgesv_wrap(a.view(), b.view(), longer);
  EXPECT_EQ(longer, (std::vector<int32_t>{full[0], full[1], full[2], -5, -5}));
}

// LAPACK rejects LDA = 0 (and stops the process) even for an empty system.
TEST(Gesv, EmptySystemSucceeds) {
  array2<std::complex<double>> a(0, 0), b(0, 2);
  int32_t info = -1;
  zgesv_wrap(a.view(), b.view(), std::nullopt, info);
  EXPECT_EQ(info, 0);
}

// The second-difference matrix (d = 2, e = -1): eigenvalues 2 - 2 cos(k pi / (n + 1)).
double eigenvalue(index_t k, index_t n) {
  return 2 - 2 * std::cos(static_cast<double>(k) * std::numbers::pi / static_cast<double>(n + 1));
}

void expect_eigenpairs(matrix_view<const double> z, const std::vector<double>& lambda) {
  const index_t n = z.rows;
  for (index_t k = 1; k <= n; ++k) {
    double norm = 0;
    for (index_t i = 1; i <= n; ++i) {
      const double az = 2 * z(i, k) - (i > 1 ? z(i - 1, k) : 0.0) - (i < n ? z(i + 1, k) : 0.0);
      EXPECT_NEAR(az, lambda[static_cast<std::size_t>(k - 1)] * z(i, k), 1e-14);
      norm += z(i, k) * z(i, k);
    }
    EXPECT_NEAR(norm, 1.0, 1e-14);
  }
}

TEST(Steqr, EigenvaluesOnlyWithoutZ) {
  std::vector<double> d(6, 2.0), e(5, -1.0);
  int32_t info = -1;
  dsteqr_wrap('N', d, e, std::nullopt, std::nullopt, info);
  EXPECT_EQ(info, 0);
  std::sort(d.begin(), d.end());
  for (index_t k = 1; k <= 6; ++k) EXPECT_NEAR(d[static_cast<std::size_t>(k - 1)], eigenvalue(k, 6), 1e-14);
}

TEST(Steqr, EigenvectorsIntoStridedViews) {
  const index_t n = 4;
  array2<double> rows(3, n, 5.0), big(n + 2, n + 1, 8.0);
  for (index_t j = 1; j <= n; ++j) rows(2, j) = 2.0;  // d is row 2 (stride 3)
  array2<double> rows_expect = rows, big_expect = big;
  std::vector<double> e(n - 1, -1.0), work(1);  // work too short: a private one is used
  int32_t info = -1;
  dsteqr_wrap('I', rows.view().row(2), e, big.view().block(2, 2, n, n), work, info);
  EXPECT_EQ(info, 0);
  for (index_t j = 1; j <= n; ++j) rows_expect(2, j) = rows(2, j);
  for (index_t j = 2; j <= n + 1; ++j)
    for (index_t i = 2; i <= n + 1; ++i) big_expect(i, j) = big(i, j);
  EXPECT_EQ(rows, rows_expect);
  EXPECT_EQ(big, big_expect);
  expect_eigenpairs(big.view().block(2, 2, n, n), rows.view().row(2).to_vector());
}

TEST(Stegr, WithoutZComputesEigenvaluesOnly) {
  std::vector<double> d(5, 2.0), e(5, -1.0), w(5, 0.0);
  dstegr_wrap(d, e, w);
  for (index_t k = 1; k <= 5; ++k) EXPECT_NEAR(w[static_cast<std::size_t>(k - 1)], eigenvalue(k, 5), 1e-14);
  std::vector<float> ds(3, 2.0F), es(3, -1.0F), ws(3);
  sstegr_wrap(ds, es, ws);
  EXPECT_NEAR(ws[0], eigenvalue(1, 3), 1e-6);
}

TEST(Stegr, EigenvectorsIntoStridedView) {
  const index_t n = 5;
  std::vector<double> d(n, 2.0), e(n, -1.0), w(n, 0.0);
  array2<double> big(n + 1, n, 3.0);
  dstegr_wrap(d, e, w, big.view().block(1, 1, n, n));
  for (index_t j = 1; j <= n; ++j) EXPECT_EQ(big(n + 1, j), 3.0);
  expect_eigenpairs(big.view().block(1, 1, n, n), w);
}

TEST(Lamch, SafeMinimumIgnoresSelectorValue) {
  EXPECT_EQ(dlamch_wrap(1.0, 'S'), std::numeric_limits<double>::min());
  EXPECT_EQ(dlamch_wrap(-3.0e300, 'S'), std::numeric_limits<double>::min());
  EXPECT_EQ(slamch_wrap(42.0F, 'S'), std::numeric_limits<float>::min());
  EXPECT_EQ(dlamch_wrap(0.0, 'E'), std::numeric_limits<double>::epsilon() / 2);
}

TEST(LapackWrapperFatal, ArgumentsTooSmallStop) {
  array2<double> a(3, 3, 1.0), b(2, 1, 1.0);
  EXPECT_EXIT(dgesv_wrap(a.view(), b.view()), ::testing::ExitedWithCode(1),
              "^\\*\\* array sizes do not match \\[lapack_wrapper::dgesv_wrap\\]\n$");
  std::vector<double> d(4), e(4), w(3);
  EXPECT_EXIT(dstegr_wrap(d, e, w), ::testing::ExitedWithCode(1),
              "array sizes do not match \\[lapack_wrapper::dstegr_wrap\\]");
}

// An illegal argument reaches LAPACK's error handler, which must stop the run like any
// other failure (status 1), not end it as a normal run.
TEST(LapackWrapperFatal, IllegalArgumentStopsWithStatusOne) {
  std::vector<double> d(3, 2.0), e(2, -1.0);
  // Eigenvectors asked for without z: LDZ = 1 is less than N = 3 (argument 6).
  EXPECT_EXIT(dsteqr_wrap('I', d, e), ::testing::ExitedWithCode(1),
              "^\\*\\* On entry to DSTEQR parameter number 6 had an illegal value \\[lapack_wrapper::xerbla\\]\n$");
  std::vector<float> ds(3, 2.0F), es(2, -1.0F);
  EXPECT_EXIT(ssteqr_wrap('X', ds, es), ::testing::ExitedWithCode(1),
              "On entry to SSTEQR parameter number 1 had an illegal value \\[lapack_wrapper::xerbla\\]");
}

}  // namespace
}  // namespace ltide::matrix
