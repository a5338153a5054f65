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

TEST(Gesv, StridedViewsAreWrittenBackAndTheirSurroundingsKept) {
  const array2<double> a0 = system_matrix();
  array2<double> big(6, 5, -9.0);
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) big(i + 2, j + 1) = a0(i, j);
  array2<double> rhs(5, 4, -7.0);
  for (index_t j = 1; j <= 2; ++j)
    for (index_t i = 1; i <= 3; ++i) rhs(i + 1, j + 2) = static_cast<double>(i + 3 * j);

  array2<double> a = a0;
  array2<double> b = to_array2(rhs.view().block(2, 3, 3, 2));
  std::vector<int32_t> ipiv(3);
  dgesv_wrap(a.view(), b.view(), ipiv);

  std::vector<int32_t> ipiv_strided(3);
  int32_t info = -1;
  dgesv_wrap(big.view().block(3, 2, 3, 3), rhs.view().block(2, 3, 3, 2), ipiv_strided, info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ipiv_strided, ipiv);
  EXPECT_EQ(to_array2(big.view().block(3, 2, 3, 3)), a);
  EXPECT_EQ(to_array2(rhs.view().block(2, 3, 3, 2)), b);
  for (index_t j = 1; j <= 5; ++j)
    for (index_t i = 1; i <= 6; ++i)
      if (i < 3 || i > 5 || j < 2 || j > 4) {
        EXPECT_EQ(big(i, j), -9.0) << i << "," << j;
      }
  for (index_t j = 1; j <= 4; ++j)
    for (index_t i = 1; i <= 5; ++i)
      if (i < 2 || i > 4 || j < 3) {
        EXPECT_EQ(rhs(i, j), -7.0) << i << "," << j;
      }
  // The solution solves the original system.
  for (index_t j = 1; j <= 2; ++j)
    for (index_t i = 1; i <= 3; ++i) {
      double s = 0;
      for (index_t k = 1; k <= 3; ++k) s += a0(i, k) * b(k, j);
      EXPECT_NEAR(s, static_cast<double>(i + 3 * j), 1e-13);
    }
}

TEST(Gesv, VectorRightHandSideAsMatrixRow) {
  const array2<double> a0 = system_matrix();
  array2<double> m(2, 3, 0.0);  // row 2 holds b, stride 2
  m(2, 1) = 1;
  m(2, 2) = 2;
  m(2, 3) = 3;
  array2<double> a = a0;
  dgesv_vec_wrap(a.view(), m.view().row(2));
  array2<double> a2 = a0;
  std::vector<double> b{1, 2, 3};
  dgesv_vec_wrap(a2.view(), b);
  EXPECT_EQ(m.view().row(2).to_vector(), b);
  EXPECT_EQ(m(1, 2), 0.0);
}

TEST(Gesv, SingularMatrixReportsOnlyThroughInfo) {
  array2<double> a(2, 2);
  a(1, 1) = 1;
  a(1, 2) = 2;
  a(2, 1) = 2;
  a(2, 2) = 4;
  array2<double> b(2, 1, 1.0);
  array2<double> a1 = a;
  dgesv_wrap(a1.view(), b.view());  // returns, nothing printed
  array2<double> b2(2, 1, 1.0);
  int32_t info = 0;
  dgesv_wrap(a.view(), b2.view(), std::nullopt, info);
  EXPECT_EQ(info, 2);
}

TEST(Gesv, ShortPivotArrayGetsTheLeadingEntries) {
  array2<double> a = system_matrix();
  array2<double> b(3, 1, 1.0);
  std::vector<int32_t> full(3);
  dgesv_wrap(a.view(), b.view(), full);
  a = system_matrix();
  std::vector<int32_t> one{-5};
  dgesv_wrap(a.view(), b.view(), one);
  EXPECT_EQ(one[0], full[0]);
  a = system_matrix();
  std::vector<int32_t> longer(5, -5);
  dgesv_wrap(a.view(), b.view(), longer);
  EXPECT_EQ(longer, (std::vector<int32_t>{full[0], full[1], full[2], -5, -5}));
}

// LAPACK demands LDA >= 1 even for an empty system.
TEST(Gesv, EmptySystemSucceeds) {
  array2<std::complex<double>> a(0, 0);
  array2<std::complex<double>> b(0, 2);
  int32_t info = -1;
  zgesv_wrap(a.view(), b.view(), std::nullopt, info);
  EXPECT_EQ(info, 0);
}

TEST(Gesv, ComplexSingleSolves) {
  array2<std::complex<float>> a(2, 2);
  a(1, 1) = {2, 1};
  a(1, 2) = {0, 1};
  a(2, 1) = {1, 0};
  a(2, 2) = {3, -1};
  const array2<std::complex<float>> a0 = a;
  std::vector<std::complex<float>> b{{1, 0}, {0, 2}};
  int32_t info = -1;
  cgesv_vec_wrap(a.view(), b, std::nullopt, info);
  EXPECT_EQ(info, 0);
  for (index_t i = 1; i <= 2; ++i) {
    const std::complex<float> s = a0(i, 1) * b[0] + a0(i, 2) * b[1];
    EXPECT_LT(std::abs(s - (i == 1 ? std::complex<float>(1, 0) : std::complex<float>(0, 2))), 1e-6F);
  }
}

// The second-difference matrix: d = 2, e = -1, eigenvalues 2 - 2 cos(k pi / (n + 1)).
double second_difference_eigenvalue(index_t k, index_t n) {
  return 2 - 2 * std::cos(static_cast<double>(k) * std::numbers::pi / static_cast<double>(n + 1));
}

TEST(Steqr, EigenvaluesOnlyWithoutZ) {
  const index_t n = 6;
  std::vector<double> d(n, 2.0), e(n - 1, -1.0);
  int32_t info = -1;
  dsteqr_wrap('N', d, e, std::nullopt, std::nullopt, info);
  EXPECT_EQ(info, 0);
  std::sort(d.begin(), d.end());
  for (index_t k = 1; k <= n; ++k) EXPECT_NEAR(d[static_cast<std::size_t>(k - 1)], second_difference_eigenvalue(k, n), 1e-14);
}

TEST(Steqr, EigenvectorsIntoStridedViews) {
  const index_t n = 4;
  array2<double> storage(3, n, 5.0);  // d is row 2 (stride 3)
  for (index_t j = 1; j <= n; ++j) storage(2, j) = 2.0;
  std::vector<double> e(n - 1, -1.0);
  array2<double> big(n + 2, n + 1, 8.0);
  std::vector<double> work(1);  // too short: a private array is used
  int32_t info = -1;
  dsteqr_wrap('I', storage.view().row(2), e, big.view().block(2, 2, n, n), work, info);
  EXPECT_EQ(info, 0);
  for (index_t j = 1; j <= n; ++j) {
    EXPECT_EQ(storage(1, j), 5.0);
    EXPECT_EQ(storage(3, j), 5.0);
    EXPECT_EQ(big(1, j), 8.0);
    EXPECT_EQ(big(n + 2, j), 8.0);
  }
  // Each column is a unit eigenvector for the eigenvalue in the same position.
  auto z = big.view().block(2, 2, n, n);
  for (index_t k = 1; k <= n; ++k) {
    const double lambda = storage(2, k);
    double norm = 0;
    for (index_t i = 1; i <= n; ++i) {
      double az = 2 * z(i, k);
      if (i > 1) az -= z(i - 1, k);
      if (i < n) az -= z(i + 1, k);
      EXPECT_NEAR(az, lambda * z(i, k), 1e-14);
      norm += z(i, k) * z(i, k);
    }
    EXPECT_NEAR(norm, 1.0, 1e-14);
  }
}

TEST(Steqr, SinglePrecisionMember) {
  std::vector<float> d{2, 2, 2}, e{-1, -1};
  array2<float> z(3, 3);
  std::vector<float> work(4);
  int32_t info = -1;
  ssteqr_wrap('I', d, e, z.view(), work, info);
  EXPECT_EQ(info, 0);
  std::sort(d.begin(), d.end());
  for (index_t k = 1; k <= 3; ++k)
    EXPECT_NEAR(d[static_cast<std::size_t>(k - 1)], second_difference_eigenvalue(k, 3), 1e-6);
}

TEST(Stegr, WithoutZComputesEigenvaluesOnly) {
  const index_t n = 5;
  std::vector<double> d(n, 2.0), e(n, -1.0), w(n, 0.0);
  dstegr_wrap(d, e, w);
  for (index_t k = 1; k <= n; ++k) EXPECT_NEAR(w[static_cast<std::size_t>(k - 1)], second_difference_eigenvalue(k, n), 1e-14);
}

TEST(Stegr, EigenvectorsMatchEigenvalues) {
  const index_t n = 5;
  std::vector<double> d(n, 2.0), e(n, -1.0), w(n, 0.0);
  array2<double> big(n + 1, n, 3.0);
  auto z = big.view().block(1, 1, n, n);  // leading dimension n + 1: copied
  dstegr_wrap(d, e, w, z);
  for (index_t j = 1; j <= n; ++j) EXPECT_EQ(big(n + 1, j), 3.0);
  for (index_t k = 1; k <= n; ++k) {
    double norm = 0;
    for (index_t i = 1; i <= n; ++i) {
      double az = 2 * z(i, k);
      if (i > 1) az -= z(i - 1, k);
      if (i < n) az -= z(i + 1, k);
      EXPECT_NEAR(az, w[static_cast<std::size_t>(k - 1)] * z(i, k), 1e-14);
      norm += z(i, k) * z(i, k);
    }
    EXPECT_NEAR(norm, 1.0, 1e-14);
  }
  std::vector<float> ds(3, 2.0F), es(3, -1.0F), ws(3);
  array2<float> zs(3, 3);
  sstegr_wrap(ds, es, ws, zs.view());
  EXPECT_NEAR(ws[0], second_difference_eigenvalue(1, 3), 1e-6);
}

TEST(Lamch, SafeMinimumIgnoresSelectorValue) {
  const double s = dlamch_wrap(1.0, 'S');
  EXPECT_EQ(s, std::numeric_limits<double>::min());
  EXPECT_EQ(dlamch_wrap(-3.0e300, 'S'), s);
  EXPECT_EQ(dlamch_wrap(0.0, 'S'), s);
  EXPECT_EQ(slamch_wrap(1.0F, 'S'), std::numeric_limits<float>::min());
  EXPECT_EQ(slamch_wrap(42.0F, 'S'), std::numeric_limits<float>::min());
  // 'E' is the relative machine epsilon (half the spacing at 1).
  EXPECT_EQ(dlamch_wrap(1.0, 'E'), std::numeric_limits<double>::epsilon() / 2);
}

TEST(Fatal, ArgumentsTooSmallStop) {
  array2<double> a(3, 3, 1.0);
  array2<double> b(2, 1, 1.0);
  EXPECT_EXIT(dgesv_wrap(a.view(), b.view()), ::testing::ExitedWithCode(1),
              "^\\*\\* array sizes do not match \\[lapack_wrapper::dgesv_wrap\\]\n$");
  std::vector<double> d(4), e(4), w(3);
  EXPECT_EXIT(dstegr_wrap(d, e, w), ::testing::ExitedWithCode(1),
              "array sizes do not match \\[lapack_wrapper::dstegr_wrap\\]");
}

}  // namespace
}  // namespace ltide::matrix
