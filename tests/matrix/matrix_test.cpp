#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "common/kinds.hpp"
#include "matrix/lapack_wrapper.hpp"
#include "matrix/lu.hpp"

namespace ltide::matrix {
namespace {

using cfloat = std::complex<float>;
using cdouble = std::complex<double>;
using pivots = std::vector<int32_t>;
constexpr float tiny_s = std::numeric_limits<float>::min();
constexpr double tiny_d = std::numeric_limits<double>::min();
auto count(const array2<double>& m, double v) { return std::count(m.storage().begin(), m.storage().end(), v); }

template <class T>
array2<T> from_rows(index_t n, std::initializer_list<T> rows) {
  array2<T> a(n, n);
  for (index_t k = 0; k < n * n; ++k) a(k / n + 1, k % n + 1) = rows.begin()[k];
  return a;
}

// Among equal scaled candidates the later row wins (three tie in column 1 of the 3 x 3, whose
// column 2 needs the swapped rows' scales); a zero pivot becomes the kind's smallest normal.
TEST(LuDecompose, WorkedPivotsParitiesAndDeterminants) {
  auto check = [](auto decompose, auto a, const pivots& piv, double parity) {
    std::remove_cvref_t<decltype(a(1, 1))> s{};
    pivots p{7};
    decompose(a.view(), p, s);
    EXPECT_TRUE(p == piv && s == decltype(s)(parity)) << a.rows();
  };
  check(d_lu_decompose, from_rows<double>(2, {1, 2, 2, 4}), {2, 2}, -1);
  check(d_lu_decompose, from_rows<double>(3, {0.5, 1, 0.5, -1, -2, 0, -1, 0, -2}), {3, 3, 3}, 1);
  check(d_lu_decompose, array2<double>(0, 0), {}, 1);
  check(z_lu_decompose, from_rows<cdouble>(2, {{3, 4}, 10, 5.5, 10}), {2, 2}, -1);  // moduli, not |re| + |im|
  EXPECT_EQ(d_det(from_rows<double>(2, {1, 2, 2, 4}).view()), -2 * tiny_d);
  EXPECT_EQ(s_det(from_rows<float>(2, {1, 2, 2, 4}).view()), -2 * tiny_s);
  EXPECT_EQ(c_det(from_rows<cfloat>(2, {1, 2, 2, 4}).view()), cfloat(-2 * tiny_s));
  EXPECT_EQ(z_det(from_rows<cdouble>(2, {1, 2, 2, 4}).view()), cdouble(-2 * tiny_d));
  EXPECT_EQ(d_det(from_rows<double>(3, {0.5, 1, 0.5, -1, -2, 0, -1, 0, -2}).view()), -1.0);
  EXPECT_EQ(d_det(d_unit(3, -7.5).view(), 10.0), 0.001);  // the selector's value is unused
  EXPECT_TRUE(d_det(array2<double>(0, 0).view()) == 1.0 && d_det(array2<double>(0, 0).view(), 10.0) == 1.0);
  EXPECT_EQ(z_det(from_rows<cdouble>(2, {{0, 4}, 0, 0, {6, 2}}).view(), 2.0), cdouble(-2, 6));
}

// The quotient by the tiny complex pivot is formed in a wider type and stays finite, so a
// singular complex system with real entries gives exactly the real kind's answer.
TEST(LuSolve, ComplexTinyPivotMatchesTheRealKind) {
  for (double b2 : {2.0, 2.5}) {  // consistent (solution (1, 0)) and not
    const auto xd = d_invmul_vec(from_rows<double>(2, {1, 2, 2, 4}).view(), std::vector{1.0, b2});
    const auto xs = s_invmul_vec(from_rows<float>(2, {1, 2, 2, 4}).view(), std::vector{1.0F, float(b2)});
    EXPECT_TRUE(std::isfinite(xd[1]) && std::isfinite(xs[1]) && (b2 != 2.0 || xd == std::vector<double>{1, 0}));
    EXPECT_EQ(z_invmul_vec(from_rows<cdouble>(2, {1, 2, 2, 4}).view(), std::vector<cdouble>{1.0, b2}),
              (std::vector<cdouble>{xd[0], xd[1]}));
    EXPECT_EQ(c_invmul_vec(from_rows<cfloat>(2, {1, 2, 2, 4}).view(), std::vector<cfloat>{1.0F, float(b2)}),
              (std::vector<cfloat>{xs[0], xs[1]}));
  }
  // Column 2 gets a tiny pivot whose reciprocal scales the zero below it: 0, not NaN.
  EXPECT_EQ(z_det(from_rows<cdouble>(3, {1, 1, 0, 2, 2, 0, 0, 0, 1}).view()), cdouble(0));
  EXPECT_EQ(c_det(from_rows<cfloat>(3, {1, 1, 0, 2, 2, 0, 0, 0, 1}).view()), cfloat(0));
}

// Solutions, inverses and determinants of each kind against its LAPACK solver, on random
// matrices made diagonally dominant by n so that the errors are a small multiple of n eps.
template <class T, class Invmul, class InvmulVec, class Inverse, class Det, class Gesv>
void check_against_lapack(Invmul invmul, InvmulVec invmul_vec, Inverse inverse, Det det, Gesv gesv) {
  using R = real_of<T>;
  const double tol = 16 * std::numeric_limits<R>::epsilon();
  std::mt19937 gen(20240611);
  std::uniform_real_distribution<R> u(-1, 1);
  const T i_unit = [] { if constexpr (complex_kind<T>) return T(0, 1); else return T(0); }();
  auto random = [&](index_t rows, index_t cols, R diagonal) {
    array2<T> m(rows, cols);
    for (T& v : m.storage()) v = T(u(gen)) + T(u(gen)) * i_unit;
    for (index_t i = 1; i <= std::min(rows, cols); ++i) m(i, i) += T(diagonal);
    return m;
  };
  for (index_t n : {1, 2, 5, 12}) {
    const array2<T> a = random(n, n, R(n)), b = random(n, 3, R(0)), x = invmul(a.view(), b.view());
    const array2<T> inv = inverse(a.view());
    array2<T> lu = a, x_ref = b, inv_ref = a, id(n, n, T(0));
    for (index_t i = 1; i <= n; ++i) id(i, i) = T(1);
    pivots ipiv(static_cast<std::size_t>(n));
    gesv(lu.view(), x_ref.view(), ipiv, std::nullopt);
    gesv(inv_ref.view(), id.view(), std::nullopt, std::nullopt);
    for (std::size_t k = 0; k < x.storage().size(); ++k)
      EXPECT_LE(std::abs(x.storage()[k] - x_ref.storage()[k]), tol * n) << n;
    for (std::size_t k = 0; k < inv.storage().size(); ++k)
      EXPECT_LE(std::abs(inv.storage()[k] - id.storage()[k]), tol * n) << n;
    EXPECT_EQ(invmul_vec(a.view(), b.col(2)), x.col(2).to_vector());
    T det_ref = T(1);  // +- the product of LAPACK's U(i, i)
    for (index_t i = 1; i <= n; ++i) det_ref *= ipiv[static_cast<std::size_t>(i - 1)] != i ? -lu(i, i) : lu(i, i);
    EXPECT_LE(std::abs(det(a.view(), std::nullopt) - det_ref), tol * n * std::abs(det_ref)) << n;
  }
}

TEST(LuAgreesWithLapack, EveryKind) {
  check_against_lapack<float>(s_invmul, s_invmul_vec, s_inverse, s_det, sgesv_wrap);
  check_against_lapack<double>(d_invmul, d_invmul_vec, d_inverse, d_det, dgesv_wrap);
  check_against_lapack<cfloat>(c_invmul, c_invmul_vec, c_inverse, c_det, cgesv_wrap);
  check_against_lapack<cdouble>(z_invmul, z_invmul_vec, z_inverse, z_det, zgesv_wrap);
}

// Strided blocks come back as a contiguous call leaves them, their surroundings untouched; INFO
// only when asked for, IPIV at most its own size, and an empty system works (LAPACK rejects LDA = 0).
TEST(Gesv, StridedViewsInfoPivotsAndEmptySystems) {
  array2<double> big(6, 5, -9.0), rhs(5, 4, -9.0), ones(2, 2, 1.0), ones2 = ones, ones_rhs(2, 1, 1.0);
  const auto a = big.view().block(3, 2, 3, 3), b = rhs.view().block(2, 3, 3, 2);
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) a(i, j) = i == j ? 5.0 : 1.0 / double(i + j), b(i, j % 2 + 1) = double(i * j);
  array2<double> ac = to_array2(a), bc = to_array2(b);
  pivots ipiv(3), ipiv_c(3), longer(3, -5);
  int32_t info = -1;
  dgesv_wrap(ac.view(), bc.view(), ipiv_c);
  dgesv_wrap(a, b, ipiv, info);
  EXPECT_TRUE(info == 0 && ipiv == ipiv_c && to_array2(a) == ac && to_array2(b) == bc);
  EXPECT_TRUE(count(big, -9.0) == 21 && count(rhs, -9.0) == 14);
  dgesv_wrap(ones.view(), ones_rhs.view());  // singular: returns normally and prints nothing
  dgesv_wrap(ones2.view(), ones_rhs.view(), longer, info);
  EXPECT_TRUE(info == 2 && longer == pivots({1, 2, -5}));
  array2<cdouble> empty(0, 0), empty_rhs(0, 2);
  zgesv_wrap(empty.view(), empty_rhs.view(), std::nullopt, info);
  EXPECT_EQ(info, 0);
}

// The second-difference matrix (2 on the diagonal, -1 beside it) has the eigenvalues
// 2 - 2 cos(k h) and the eigenvectors sqrt(2 / (n + 1)) sin(i k h), h = pi / (n + 1), k ascending.
void expect_second_difference(vector_view<const double> w, std::optional<matrix_view<const double>> z = std::nullopt) {
  const index_t n = w.size;
  const double h = std::numbers::pi / double(n + 1);
  for (index_t k = 1; k <= n; ++k) {
    EXPECT_NEAR(w(k), 2 - 2 * std::cos(double(k) * h), 1e-14) << k;
    for (index_t i = 1; z && i <= n; ++i)
      EXPECT_NEAR(std::abs((*z)(i, k)), std::sqrt(2.0 / double(n + 1)) * std::abs(std::sin(double(i * k) * h)), 1e-14);
  }
}

TEST(Tridiagonal, EigenpairsIntoStridedViewsWithOrWithoutVectors) {
  std::vector<double> d(6, 2.0), e(6, -1.0), d2 = d, e2 = e, w(6);
  dsteqr_wrap('N', d, e);
  expect_second_difference(d);
  dstegr_wrap(d2, e2, w);
  expect_second_difference(w);
  array2<double> rows(3, 4, 2.0), big(6, 5, 8.0);  // d as row 2 (stride 3), z as a block
  std::vector<double> e4(3, -1.0), work(1);  // work too short: a private one is used
  dsteqr_wrap('I', rows.view().row(2), e4, big.view().block(2, 2, 4, 4), work);
  expect_second_difference(rows.view().row(2), big.view().block(2, 2, 4, 4));
  EXPECT_TRUE(count(rows, 2.0) == 8 && count(big, 8.0) == 14);
  d.assign(4, 2.0), e.assign(4, -1.0), w.resize(4), big.fill(8.0);
  dstegr_wrap(d, e, w, big.view().block(1, 1, 4, 4));
  expect_second_difference(w, big.view().block(1, 1, 4, 4));
  EXPECT_EQ(count(big, 8.0), 14);
}

TEST(Lamch, SelectorValueIsUnused) {
  EXPECT_TRUE(dlamch_wrap(1.0, 'S') == tiny_d && dlamch_wrap(-2.5, 'S') == tiny_d && slamch_wrap(4.0F, 'S') == tiny_s);
  EXPECT_EQ(dlamch_wrap(0.0, 'E'), std::numeric_limits<double>::epsilon() / 2);
}

// Only an all-zero row stops the decomposition, also through every routine built on it.
// LAPACK's own handler would end the process with status 0 on an illegal argument.
TEST(MatrixFatal, EveryFailureStopsWithItsMessageAndStatusOne) {
  const ::testing::ExitedWithCode one(1);
  const std::string real = "^\\*\\* singular matrix \\[matrix::r_lu_decompose\\]\n$";
  const std::string cplx = "^\\*\\* singular matrix \\[matrix::c_lu_decompose\\]\n$";
  const std::string sizes = "^\\*\\* array sizes do not match \\[";
  std::vector<double> d(3, 2.0), e(2, -1.0);
  std::vector<float> ds(3, 2.0F), es(2, -1.0F);
  EXPECT_EXIT(d_det(from_rows<double>(2, {1, 2, 0, 0}).view()), one, real);
  EXPECT_EXIT(s_det(from_rows<float>(2, {0, 0, 1, 1}).view()), one, real);
  EXPECT_EXIT(z_inverse(from_rows<cdouble>(2, {1, 1, 0, 0}).view()), one, cplx);
  EXPECT_EXIT(c_det(from_rows<cfloat>(2, {0, 0, {0, 1}, 1}).view()), one, cplx);
  EXPECT_EXIT(d_lu_substitute_vec(d_unit(3, 1).view(), pivots{1, 2, 3}, std::vector{1.0, 2.0}), one,
              sizes + "matrix::d_lu_substitute_vec\\]\n$");
  EXPECT_EXIT(d_lu_substitute_vec(d_unit(3, 1).view(), pivots{1, 4, 3}, d), one,
              sizes + "matrix::d_lu_substitute_vec\\]\n$");
  EXPECT_EXIT(z_invmul(z_unit(3, 1.0).view(), array2<cdouble>(2, 2).view()), one, sizes + "matrix::z_invmul\\]\n$");
  EXPECT_EXIT(dgesv_wrap(d_unit(3, 1).view(), array2<double>(2, 1).view()), one,
              sizes + "lapack_wrapper::dgesv_wrap\\]\n$");
  EXPECT_EXIT(dstegr_wrap(d, e, d), one, sizes + "lapack_wrapper::dstegr_wrap\\]\n$");
  EXPECT_EXIT(dsteqr_wrap('I', d, e), one,  // eigenvectors without z: LDZ = 1 < N
              "^\\*\\* On entry to DSTEQR parameter number 6 had an illegal value \\[lapack_wrapper::xerbla\\]\n$");
  EXPECT_EXIT(ssteqr_wrap('X', ds, es), one,
              "^\\*\\* On entry to SSTEQR parameter number 1 had an illegal value \\[lapack_wrapper::xerbla\\]\n$");
}

}  // namespace
}  // namespace ltide::matrix
