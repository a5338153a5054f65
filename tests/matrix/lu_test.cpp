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

TEST(Unit, IsIdentityWhateverTheSelector) {
  for (double x : {1.0, -7.5, 0.0}) {
    array2<double> u = d_unit(3, x);
    ASSERT_EQ(u.rows(), 3);
    ASSERT_EQ(u.cols(), 3);
    for (index_t j = 1; j <= 3; ++j)
      for (index_t i = 1; i <= 3; ++i) EXPECT_EQ(u(i, j), i == j ? 1.0 : 0.0);
  }
  EXPECT_EQ(s_unit_(2), s_unit(2, 1.0F));
  EXPECT_EQ(z_unit(2, {0.0, 3.0})(2, 2), cdouble(1.0, 0.0));
  EXPECT_EQ(d_unit(0, 1.0).rows(), 0);
}

TEST(Decompose, ExchangeMatrixPivotsOnRowTwo) {
  array2<double> a = from_rows<double>(2, {0, 1, 1, 0});
  std::vector<int32_t> piv;
  double parity = 0;
  d_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(piv, (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(parity, -1.0);
  EXPECT_EQ(a, from_rows<double>(2, {1, 0, 0, 1}));
  EXPECT_EQ(d_det(from_rows<double>(2, {0, 1, 1, 0}).view()), -1.0);

  array2<cfloat> c = from_rows<cfloat>(2, {0, 1, 1, 0});
  cfloat cparity;
  c_lu_decompose(c.view(), piv, cparity);
  EXPECT_EQ(piv, (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(cparity, cfloat(-1, 0));
  EXPECT_FALSE(std::signbit(cparity.imag()));
}

// Rows (1, 2) and (2, 4): equal scaled candidates, the later row wins, and the second
// pivot is exactly zero and becomes the smallest normal number.
TEST(Decompose, SingularWithoutZeroRowGetsTinyPivot) {
  array2<double> a = from_rows<double>(2, {1, 2, 2, 4});
  std::vector<int32_t> piv;
  double parity = 0;
  d_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(piv, (std::vector<int32_t>{2, 2}));
  EXPECT_EQ(parity, -1.0);
  EXPECT_EQ(a(2, 2), tiny_d);
  EXPECT_EQ(a(2, 1), 0.5);
  EXPECT_EQ(d_det(from_rows<double>(2, {1, 2, 2, 4}).view()), -2 * tiny_d);
  EXPECT_EQ(s_det(from_rows<float>(2, {1, 2, 2, 4}).view()), -2 * tiny_s);
  EXPECT_EQ(c_det(from_rows<cfloat>(2, {1, 2, 2, 4}).view()).real(), -2 * tiny_s);
  EXPECT_EQ(z_det(from_rows<cdouble>(2, {1, 2, 2, 4}).view()).real(), -2 * tiny_d);
}

// The complex reciprocal and quotient of the tiny pivot must stay finite, so a
// singular complex system with real entries gives exactly the real kind's answer.
TEST(Solve, ComplexTinyPivotMatchesRealKind) {
  for (double b2 : {2.0, 2.5}) {
    const std::vector<double> bd{1.0, b2};
    const std::vector<double> xd = d_invmul_vec(from_rows<double>(2, {1, 2, 2, 4}).view(), bd);
    const std::vector<cdouble> bz{1.0, b2};
    const std::vector<cdouble> xz = z_invmul_vec(from_rows<cdouble>(2, {1, 2, 2, 4}).view(), bz);
    ASSERT_TRUE(std::isfinite(xd[0]) && std::isfinite(xd[1]));
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(xz[i], cdouble(xd[i], 0.0)) << b2;

    const std::vector<float> bs{1.0F, static_cast<float>(b2)};
    const std::vector<float> xs = s_invmul_vec(from_rows<float>(2, {1, 2, 2, 4}).view(), bs);
    const std::vector<cfloat> bc{1.0F, static_cast<float>(b2)};
    const std::vector<cfloat> xc = c_invmul_vec(from_rows<cfloat>(2, {1, 2, 2, 4}).view(), bc);
    for (std::size_t i = 0; i < 2; ++i) EXPECT_EQ(xc[i], cfloat(xs[i], 0.0F)) << b2;
  }
  // The consistent right-hand side has the exact solution (1, 0).
  EXPECT_EQ(d_invmul_vec(from_rows<double>(2, {1, 2, 2, 4}).view(), std::vector<double>{1, 2}),
            (std::vector<double>{1, 0}));
}

// Column 1 scaled candidates are 1, 1, 1: implicit scaling makes them equal and the
// last row wins (plain partial pivoting would take row 2, strict ">" row 1).
TEST(Decompose, EqualScaledCandidatesPickTheLaterRow) {
  array2<double> a = from_rows<double>(3, {1, 1, 1, 2, 0, 1, 0.5, 0.25, 0});
  std::vector<int32_t> piv;
  double parity = 0;
  d_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(piv[0], 3);
}

// Row 1 has modulus 5 (scaled 0.5), row 2 5.5 (scaled 0.55); a sum of absolute parts
// (7) would pick row 1.
TEST(Decompose, ComplexCandidatesAreWeighedByModulus) {
  array2<cdouble> a = from_rows<cdouble>(2, {{3, 4}, 10, 5.5, 10});
  std::vector<int32_t> piv;
  cdouble parity;
  z_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(piv[0], 2);
}

TEST(Decompose, FactorsReproduceThePermutedMatrix) {
  const array2<double> a0 = from_rows<double>(3, {2, 1, 1, 4, -6, 0, -2, 7, 2});
  array2<double> a = a0;
  std::vector<int32_t> piv;
  double parity = 0;
  d_lu_decompose(a.view(), piv, parity);
  array2<double> pa = a0;
  for (index_t j = 1; j <= 3; ++j)
    for (index_t k = 1; k <= 3; ++k) std::swap(pa(j, k), pa(piv[static_cast<std::size_t>(j - 1)], k));
  for (index_t i = 1; i <= 3; ++i)
    for (index_t j = 1; j <= 3; ++j) {
      double s = 0;
      for (index_t k = 1; k <= std::min(i, j); ++k) s += (k == i ? 1.0 : a(i, k)) * a(k, j);
      EXPECT_NEAR(s, pa(i, j), 1e-14) << i << "," << j;
    }
}

TEST(Det, ScaleDividesOncePerRow) {
  EXPECT_EQ(d_det(d_unit(3, 1.0).view(), 10.0), 0.001);
  EXPECT_EQ(d_det(from_rows<double>(2, {4, 0, 0, 6}).view(), 2.0), 6.0);
  const cdouble zd = z_det(from_rows<cdouble>(2, {{0, 4}, 0, 0, {6, 2}}).view(), 2.0);
  EXPECT_EQ(zd, cdouble(-2, 6));  // (4i)(6 + 2i) / 4
}

TEST(Det, EmptyMatrixIsOne) {
  array2<double> a(0, 0);
  std::vector<int32_t> piv{7};
  double parity = 0;
  d_lu_decompose(a.view(), piv, parity);
  EXPECT_EQ(parity, 1.0);
  EXPECT_TRUE(piv.empty());
  EXPECT_EQ(d_det(a.view()), 1.0);
  EXPECT_EQ(d_det(a.view(), 10.0), 1.0);
  EXPECT_EQ(z_det(array2<cdouble>(0, 0).view(), 3.0), cdouble(1, 0));
  EXPECT_EQ(d_inverse(a.view()).rows(), 0);
}

TEST(Decompose, StridedBlockLeavesSurroundingsAlone) {
  array2<double> big(5, 4, -9.0);
  const array2<double> a0 = from_rows<double>(3, {2, 1, 1, 4, -6, 0, -2, 7, 2});
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) big(i + 1, j + 1) = a0(i, j);
  std::vector<int32_t> piv, piv0;
  double parity = 0, parity0 = 0;
  d_lu_decompose(big.view().block(2, 2, 3, 3), piv, parity);
  array2<double> a = a0;
  d_lu_decompose(a.view(), piv0, parity0);
  EXPECT_EQ(piv, piv0);
  EXPECT_EQ(to_array2(big.view().block(2, 2, 3, 3)), a);
  for (index_t j = 1; j <= 4; ++j)
    for (index_t i = 1; i <= 5; ++i)
      if (i == 1 || j == 1 || i == 5) {
        EXPECT_EQ(big(i, j), -9.0);
      }

  // A right-hand side taken as a row of a matrix (stride 4).
  array2<double> rhs(4, 3, 0.0);
  rhs(2, 1) = 1;
  rhs(2, 2) = -2;
  rhs(2, 3) = 3;
  const std::vector<double> x = d_lu_substitute_vec(a.view(), piv0, rhs.view().row(2));
  EXPECT_EQ(x, d_lu_substitute_vec(a.view(), piv0, std::vector<double>{1, -2, 3}));
}

TEST(Substitute, MatrixFormIsColumnwiseVectorForm) {
  array2<cdouble> a = from_rows<cdouble>(3, {{1, 2}, 3, {0, -1}, 4, {5, 5}, 6, {-7, 1}, 8, {9, 0.5}});
  std::vector<int32_t> piv;
  cdouble parity;
  z_lu_decompose(a.view(), piv, parity);
  array2<cdouble> b(3, 2);
  for (index_t j = 1; j <= 2; ++j)
    for (index_t i = 1; i <= 3; ++i) b(i, j) = cdouble(static_cast<double>(i * j), static_cast<double>(i - j));
  const array2<cdouble> x = z_lu_substitute(a.view(), piv, b.view());
  for (index_t j = 1; j <= 2; ++j) {
    const std::vector<cdouble> xj = z_lu_substitute_vec(a.view(), piv, b.col(j));
    for (index_t i = 1; i <= 3; ++i) EXPECT_EQ(x(i, j), xj[static_cast<std::size_t>(i - 1)]);
  }
}

// Agreement with LAPACK's general solver on random diagonally dominant matrices.
template <class T>
T random_value(std::mt19937& gen) {
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  if constexpr (std::is_floating_point_v<T>) {
    return static_cast<T>(u(gen));
  } else {
    using R = typename T::value_type;
    const R re = static_cast<R>(u(gen));
    return T(re, static_cast<R>(u(gen)));
  }
}

template <class T>
array2<T> random_matrix(std::mt19937& gen, index_t rows, index_t cols, bool dominant) {
  array2<T> a(rows, cols);
  for (index_t j = 1; j <= cols; ++j)
    for (index_t i = 1; i <= rows; ++i) a(i, j) = random_value<T>(gen);
  if (dominant)
    for (index_t i = 1; i <= std::min(rows, cols); ++i) a(i, i) += T(static_cast<double>(rows));
  return a;
}

template <class T>
double max_diff(const array2<T>& x, const array2<T>& y) {
  double m = 0;
  for (index_t j = 1; j <= x.cols(); ++j)
    for (index_t i = 1; i <= x.rows(); ++i) m = std::max(m, static_cast<double>(std::abs(x(i, j) - y(i, j))));
  return m;
}

template <class T>
struct kind_ops;
template <>
struct kind_ops<float> {
  static constexpr auto invmul = s_invmul;
  static constexpr auto invmul_vec = s_invmul_vec;
  static constexpr auto inverse = s_inverse;
  static constexpr auto det = s_det;
  static constexpr auto unit = s_unit;
  static constexpr auto gesv = sgesv_wrap;
};
template <>
struct kind_ops<double> {
  static constexpr auto invmul = d_invmul;
  static constexpr auto invmul_vec = d_invmul_vec;
  static constexpr auto inverse = d_inverse;
  static constexpr auto det = d_det;
  static constexpr auto unit = d_unit;
  static constexpr auto gesv = dgesv_wrap;
};
template <>
struct kind_ops<cfloat> {
  static constexpr auto invmul = c_invmul;
  static constexpr auto invmul_vec = c_invmul_vec;
  static constexpr auto inverse = c_inverse;
  static constexpr auto det = c_det;
  static constexpr auto unit = c_unit;
  static constexpr auto gesv = cgesv_wrap;
};
template <>
struct kind_ops<cdouble> {
  static constexpr auto invmul = z_invmul;
  static constexpr auto invmul_vec = z_invmul_vec;
  static constexpr auto inverse = z_inverse;
  static constexpr auto det = z_det;
  static constexpr auto unit = z_unit;
  static constexpr auto gesv = zgesv_wrap;
};

template <class T>
class AgreesWithLapack : public ::testing::Test {};
using Kinds = ::testing::Types<float, double, cfloat, cdouble>;
TYPED_TEST_SUITE(AgreesWithLapack, Kinds);

TYPED_TEST(AgreesWithLapack, SolveInverseAndDeterminant) {
  using T = TypeParam;
  using ops = kind_ops<T>;
  using R = real_of<T>;
  const double eps = std::numeric_limits<R>::epsilon();
  std::mt19937 gen(20240611);
  for (index_t n : {1, 2, 5, 12}) {
    const array2<T> a = random_matrix<T>(gen, n, n, true);
    const array2<T> b = random_matrix<T>(gen, n, 3, false);
    array2<T> lu = a;
    array2<T> x_ref = b;
    std::vector<int32_t> ipiv(static_cast<std::size_t>(n));
    int32_t info = -1;
    ops::gesv(lu.view(), x_ref.view(), ipiv, info);
    ASSERT_EQ(info, 0);

    // Solutions are O(1): the matrices are diagonally dominant by n.
    const array2<T> x = ops::invmul(a.view(), b.view());
    EXPECT_LE(max_diff(x, x_ref), 16 * n * eps) << n;
    const std::vector<T> xv = ops::invmul_vec(a.view(), b.col(2));
    for (index_t i = 1; i <= n; ++i) EXPECT_EQ(xv[static_cast<std::size_t>(i - 1)], x(i, 2));

    array2<T> inv_ref = a;
    array2<T> id = ops::unit(static_cast<int32_t>(n), T(1));
    ops::gesv(inv_ref.view(), id.view(), std::nullopt, std::nullopt);
    EXPECT_LE(max_diff(ops::inverse(a.view()), id), 16 * n * eps) << n;

    // det = +-prod(U(i, i)) from LAPACK's factors, relative to its size.
    T det_ref = T(1);
    for (index_t i = 1; i <= n; ++i) {
      det_ref *= lu(i, i);
      if (ipiv[static_cast<std::size_t>(i - 1)] != i) det_ref = -det_ref;
    }
    const T d = ops::det(a.view(), std::nullopt);
    EXPECT_LE(std::abs(d - det_ref), 16 * n * eps * std::abs(det_ref)) << n;
    T ds = ops::det(a.view(), R(n));
    for (index_t i = 1; i <= n; ++i) ds *= R(n);
    EXPECT_LE(std::abs(ds - det_ref), 32 * n * eps * std::abs(det_ref)) << n;
  }
}

TEST(Fatal, ZeroRowStopsEveryRealEntry) {
  const array2<double> a = from_rows<double>(3, {1, 2, 3, 0, 0, 0, 4, 5, 6});
  const char* msg = "^\\*\\* singular matrix \\[matrix::r_lu_decompose\\]\n$";
  EXPECT_EXIT(
      {
        array2<double> c = a;
        std::vector<int32_t> piv;
        double p;
        d_lu_decompose(c.view(), piv, p);
      },
      ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(d_det(a.view()), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(d_inverse(a.view()), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(d_invmul_vec(a.view(), std::vector<double>{1, 2, 3}), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(s_det(from_rows<float>(2, {0, 0, 1, 1}).view()), ::testing::ExitedWithCode(1), msg);
}

TEST(Fatal, ZeroRowStopsComplexEntriesWithComplexTag) {
  const char* msg = "^\\*\\* singular matrix \\[matrix::c_lu_decompose\\]\n$";
  EXPECT_EXIT(z_inverse(from_rows<cdouble>(2, {1, 1, 0, 0}).view()), ::testing::ExitedWithCode(1), msg);
  EXPECT_EXIT(c_det(from_rows<cfloat>(2, {0, 0, {0, 1}, 1}).view()), ::testing::ExitedWithCode(1), msg);
}

TEST(Fatal, ArgumentsTooSmallForTheMatrixStop) {
  const array2<double> a = d_unit(3, 1.0);
  const std::vector<int32_t> piv{1, 2, 3};
  EXPECT_EXIT(d_lu_substitute_vec(a.view(), piv, std::vector<double>{1, 2}), ::testing::ExitedWithCode(1),
              "^\\*\\* array sizes do not match \\[matrix::d_lu_substitute_vec\\]\n$");
  EXPECT_EXIT(d_lu_substitute_vec(a.view(), std::vector<int32_t>{1, 4, 3}, std::vector<double>{1, 2, 3}),
              ::testing::ExitedWithCode(1), "array sizes do not match \\[matrix::d_lu_substitute_vec\\]");
  EXPECT_EXIT(z_invmul(z_unit(3, 1.0).view(), array2<cdouble>(2, 2).view()), ::testing::ExitedWithCode(1),
              "array sizes do not match \\[matrix::z_invmul\\]");
  array2<float> wide(3, 2);
  std::vector<int32_t> p;
  float parity;
  EXPECT_EXIT(s_lu_decompose(wide.view(), p, parity), ::testing::ExitedWithCode(1),
              "array sizes do not match \\[matrix::s_lu_decompose\\]");
}

}  // namespace
}  // namespace ltide::matrix
