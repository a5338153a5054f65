#include <gtest/gtest.h>

#include <algorithm>
#include <bit>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <random>
#include <vector>

#include "common/kinds.hpp"
#include "matrix/lapack_wrapper.hpp"
#include "matrix/lu.hpp"

namespace ltide::matrix {
namespace {

using cfloat = std::complex<float>;
using cdouble = std::complex<double>;
const float tiny_s = std::bit_cast<float>(std::uint32_t{0x00800000U});
const double tiny_d = std::bit_cast<double>(std::uint64_t{0x0010000000000000ULL});

template <class T>
array2<T> from_rows(index_t n, std::initializer_list<T> rows) {
  array2<T> a(n, n);
  auto it = rows.begin();
  for (index_t i = 1; i <= n; ++i)
    for (index_t j = 1; j <= n; ++j) a(i, j) = *it++;
  return a;
}

TEST(LuUnit, IsIdentityWhateverTheSelector) {
  EXPECT_EQ(d_unit(3, -7.5), from_rows<double>(3, {1, 0, 0, 0, 1, 0, 0, 0, 1}));
  EXPECT_EQ(s_unit_(2), s_unit(2, 1.0F));
  EXPECT_EQ(z_unit(2, {0.0, 3.0}), from_rows<cdouble>(2, {1, 0, 0, 1}));
}

TEST(LuDecompose, ExchangeMatrixPivotsOnRowTwo) {
  array2<double> a = from_rows<double>(2, {0, 1, 1, 0});
  std::vector<int32_t> piv;
  double parity = 0;
  d_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(piv, (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(parity, -1.0);
  EXPECT_EQ(d_det(from_rows<double>(2, {0, 1, 1, 0}).view()), -1.0);
  array2<cfloat> c = from_rows<cfloat>(2, {0, 1, 1, 0});
  cfloat cparity;
  c_lu_decompose(c.view(), piv, cparity);
  EXPECT_EQ(cparity, cfloat(-1, 0));
}

// Rows (1, 2) and (2, 4): equal scaled candidates, the later row wins, and the second
// pivot is exactly zero and becomes the smallest normal number.
TEST(LuDecompose, SingularWithoutZeroRowGetsTinyPivot) {
  array2<double> a = from_rows<double>(2, {1, 2, 2, 4});
  std::vector<int32_t> piv;
  double parity = 0;
  d_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(piv, (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(a(2, 2), tiny_d);
  EXPECT_EQ(d_det(from_rows<double>(2, {1, 2, 2, 4}).view()), -2 * tiny_d);
  EXPECT_EQ(s_det(from_rows<float>(2, {1, 2, 2, 4}).view()), -2 * tiny_s);
  EXPECT_EQ(c_det(from_rows<cfloat>(2, {1, 2, 2, 4}).view()).real(), -2 * tiny_s);
  EXPECT_EQ(z_det(from_rows<cdouble>(2, {1, 2, 2, 4}).view()).real(), -2 * tiny_d);
}

// The complex reciprocal of, and quotient by, the tiny pivot must stay finite, so a
// singular complex system with real entries gives exactly the real kind's answer.
TEST(LuSolve, ComplexTinyPivotMatchesRealKind) {
  for (double b2 : {2.0, 2.5}) {  // consistent (exact solution (1, 0)) and not
    const std::vector<double> xd = d_invmul_vec(from_rows<double>(2, {1, 2, 2, 4}).view(), std::vector{1.0, b2});
    const auto xz = z_invmul_vec(from_rows<cdouble>(2, {1, 2, 2, 4}).view(), std::vector<cdouble>{1.0, b2});
    const auto b2s = static_cast<float>(b2);
    const std::vector<float> xs = s_invmul_vec(from_rows<float>(2, {1, 2, 2, 4}).view(), std::vector{1.0F, b2s});
    const auto xc = c_invmul_vec(from_rows<cfloat>(2, {1, 2, 2, 4}).view(), std::vector<cfloat>{1.0F, b2s});
    ASSERT_TRUE(std::isfinite(xd[1]) && std::isfinite(xs[1]));
    for (std::size_t i = 0; i < 2; ++i) {
      EXPECT_EQ(xz[i], cdouble(xd[i], 0.0)) << b2;
      EXPECT_EQ(xc[i], cfloat(xs[i], 0.0F)) << b2;
    }
    if (b2 == 2.0) {
      EXPECT_EQ(xd, (std::vector<double>{1, 0}));
    }
  }
}

// Column 1 scaled candidates are 1, 1, 1: the last row wins (plain partial pivoting
// would take row 2, a strict comparison row 1).
TEST(LuDecompose, EqualScaledCandidatesPickTheLaterRow) {
  array2<double> a = from_rows<double>(3, {1, 1, 1, 2, 0, 1, 0.5, 0.25, 0});
  std::vector<int32_t> piv;
  double parity = 0;
  d_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(piv[0], 3);
}

// Scaled moduli 0.5 and 0.55; a sum of absolute parts (7) would pick row 1.
TEST(LuDecompose, ComplexCandidatesAreWeighedByModulus) {
  array2<cdouble> a = from_rows<cdouble>(2, {{3, 4}, 10, 5.5, 10});
  std::vector<int32_t> piv;
  cdouble parity;
  z_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(piv[0], 2);
}

TEST(LuDet, ScaleDividesOncePerRowAndEmptyIsOne) {
  EXPECT_EQ(d_det(d_unit(3, 1.0).view(), 10.0), 0.001);
  EXPECT_EQ(z_det(from_rows<cdouble>(2, {{0, 4}, 0, 0, {6, 2}}).view(), 2.0), cdouble(-2, 6));
  array2<double> empty(0, 0);
  std::vector<int32_t> piv{7};
  double parity = 0;
  d_lu_decompose(empty.view(), piv, parity);
  EXPECT_EQ(parity, 1.0);
  EXPECT_TRUE(piv.empty());
  EXPECT_EQ(d_det(empty.view()), 1.0);
  EXPECT_EQ(d_det(empty.view(), 10.0), 1.0);
}

TEST(LuDecompose, StridedBlockLeavesSurroundingsAlone) {
  const array2<double> a0 = from_rows<double>(3, {2, 1, 1, 4, -6, 0, -2, 7, 2});
  array2<double> big(5, 4, -9.0);
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) big(i + 1, j + 1) = a0(i, j);
  array2<double> expect_big = big;
  array2<double> a = a0;
  std::vector<int32_t> piv, piv0;
  double parity = 0, parity0 = 0;
  d_lu_decompose(big.view().block(2, 2, 3, 3), piv, parity);
  d_lu_decompose(a.view(), piv0, parity0);
  EXPECT_EQ(piv, piv0);
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) expect_big(i + 1, j + 1) = a(i, j);
  EXPECT_EQ(big, expect_big);
  // A right-hand side taken as a row of a matrix (stride 4).
  array2<double> rhs(4, 3, 0.0);
  rhs(2, 1) = 1, rhs(2, 2) = -2, rhs(2, 3) = 3;
  EXPECT_EQ(d_lu_substitute_vec(a.view(), piv0, rhs.view().row(2)),
            d_lu_substitute_vec(a.view(), piv0, std::vector<double>{1, -2, 3}));
}

// Agreement with LAPACK's general solver on random diagonally dominant matrices.
template <class T>
array2<T> random_matrix(std::mt19937& gen, index_t rows, index_t cols, double diagonal) {
  using R = real_of<T>;
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  array2<T> a(rows, cols);
  for (T& v : a.storage()) {
    if constexpr (complex_kind<T>) {
      const auto re = static_cast<R>(u(gen));
      v = T(re, static_cast<R>(u(gen)));
    } else {
      v = static_cast<T>(u(gen));
    }
  }
  for (index_t i = 1; i <= std::min(rows, cols); ++i) a(i, i) += T(static_cast<R>(diagonal));
  return a;
}

template <class T>
double max_diff(const array2<T>& x, const array2<T>& y) {
  double m = 0;
  for (std::size_t i = 0; i < x.storage().size(); ++i)
    m = std::max(m, static_cast<double>(std::abs(x.storage()[i] - y.storage()[i])));
  return m;
}

// The kind's LU routines against its LAPACK solver: solutions and inverses within a
// small multiple of the kind's epsilon, determinants relative to their size.
template <class T, class Invmul, class InvmulVec, class Inverse, class Det, class Gesv>
void check_against_lapack(Invmul invmul, InvmulVec invmul_vec, Inverse inverse, Det det, Gesv gesv) {
  using R = real_of<T>;
  const double eps = std::numeric_limits<R>::epsilon();
  std::mt19937 gen(20240611);
  for (index_t n : {1, 2, 5, 12}) {
    // Dominant by n, so solutions, inverses and their errors are O(1) times eps.
    const array2<T> a = random_matrix<T>(gen, n, n, static_cast<double>(n));
    const array2<T> b = random_matrix<T>(gen, n, 3, 0.0);
    array2<T> lu = a, x_ref = b, inv_ref = a, id(n, n, T(0));
    for (index_t i = 1; i <= n; ++i) id(i, i) = T(1);
    std::vector<int32_t> ipiv(static_cast<std::size_t>(n));
    int32_t info = -1;
    gesv(lu.view(), x_ref.view(), ipiv, info);
    ASSERT_EQ(info, 0);
    gesv(inv_ref.view(), id.view(), std::nullopt, std::nullopt);

    const array2<T> x = invmul(a.view(), b.view());
    EXPECT_LE(max_diff(x, x_ref), 16 * n * eps) << n;
    const std::vector<T> xv = invmul_vec(a.view(), b.col(2));
    for (index_t i = 1; i <= n; ++i) EXPECT_EQ(xv[static_cast<std::size_t>(i - 1)], x(i, 2));
    EXPECT_LE(max_diff(inverse(a.view()), id), 16 * n * eps) << n;

    // det = +-prod U(i, i) from LAPACK's factors; with scale n, det / n^n.
    T det_ref = T(1);
    for (index_t i = 1; i <= n; ++i) det_ref *= ipiv[static_cast<std::size_t>(i - 1)] != i ? -lu(i, i) : lu(i, i);
    EXPECT_LE(std::abs(det(a.view(), std::nullopt) - det_ref), 16 * n * eps * std::abs(det_ref)) << n;
    T ds = det(a.view(), R(n));
    for (index_t i = 1; i <= n; ++i) ds *= R(n);
    EXPECT_LE(std::abs(ds - det_ref), 32 * n * eps * std::abs(det_ref)) << n;
  }
}

TEST(LuAgreesWithLapack, EveryKind) {
  check_against_lapack<float>(s_invmul, s_invmul_vec, s_inverse, s_det, sgesv_wrap);
  check_against_lapack<double>(d_invmul, d_invmul_vec, d_inverse, d_det, dgesv_wrap);
  check_against_lapack<cfloat>(c_invmul, c_invmul_vec, c_inverse, c_det, cgesv_wrap);
  check_against_lapack<cdouble>(z_invmul, z_invmul_vec, z_inverse, z_det, zgesv_wrap);
}

TEST(LuFatal, ZeroRowStopsThroughEveryEntry) {
  const array2<double> a = from_rows<double>(3, {1, 2, 3, 0, 0, 0, 4, 5, 6});
  const char* real_msg = "^\\*\\* singular matrix \\[matrix::r_lu_decompose\\]\n$";
  const char* complex_msg = "^\\*\\* singular matrix \\[matrix::c_lu_decompose\\]\n$";
  EXPECT_EXIT(d_det(a.view()), ::testing::ExitedWithCode(1), real_msg);
  EXPECT_EXIT(d_inverse(a.view()), ::testing::ExitedWithCode(1), real_msg);
  EXPECT_EXIT(s_det(from_rows<float>(2, {0, 0, 1, 1}).view()), ::testing::ExitedWithCode(1), real_msg);
  EXPECT_EXIT(z_inverse(from_rows<cdouble>(2, {1, 1, 0, 0}).view()), ::testing::ExitedWithCode(1), complex_msg);
  EXPECT_EXIT(c_det(from_rows<cfloat>(2, {0, 0, {0, 1}, 1}).view()), ::testing::ExitedWithCode(1), complex_msg);
}

TEST(LuFatal, ArgumentsTooSmallForTheMatrixStop) {
  const array2<double> a = d_unit(3, 1.0);
  EXPECT_EXIT(d_lu_substitute_vec(a.view(), std::vector<int32_t>{1, 2, 3}, std::vector<double>{1, 2}),
              ::testing::ExitedWithCode(1), "^\\*\\* array sizes do not match \\[matrix::d_lu_substitute_vec\\]\n$");
  EXPECT_EXIT(d_lu_substitute_vec(a.view(), std::vector<int32_t>{1, 4, 3}, std::vector<double>{1, 2, 3}),
              ::testing::ExitedWithCode(1), "array sizes do not match \\[matrix::d_lu_substitute_vec\\]");
  EXPECT_EXIT(z_invmul(z_unit(3, 1.0).view(), array2<cdouble>(2, 2).view()), ::testing::ExitedWithCode(1),
              "array sizes do not match \\[matrix::z_invmul\\]");
}

}  // namespace
}  // namespace ltide::matrix
