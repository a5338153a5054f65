#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <complex>
#include <functional>
#include <cstdint>
#include <limits>
#include <numbers>
#include <random>
#include <string>
#include <utility>
#include <vector>

#include <ltide/common/kinds.hpp>
#include <ltide/matrix/lapack_wrapper.hpp>
#include <ltide/matrix/lu.hpp>

#include "support.hpp"

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
template <class T>
const array2<T> singular = from_rows<T>(2, {1, 2, 2, 4});

// Among equal scaled candidates the later row wins (three tie in column 1 of the 3 x 3, whose
// column 2 needs the swapped rows' scales); a zero pivot becomes the kind's smallest normal.
TEST(LuDecompose, WorkedPivotsDeterminantsAndTinyPivotSolves) {
  auto check = [](auto decompose, auto a, const pivots& piv, double parity) {
    auto s = a(1, 1);  // the parity, in the kind
    pivots p{7};
    decompose(a.view(), p, s);
    EXPECT_EQ(p, piv) << a.rows();
    EXPECT_EQ(s, decltype(s)(parity)) << a.rows();
  };
  check(d_lu_decompose, singular<double>, {2, 2}, -1);
  check(d_lu_decompose, from_rows<double>(3, {0.5, 1, 0.5, -1, -2, 0, -1, 0, -2}), {3, 3, 3}, 1);
  check(z_lu_decompose, from_rows<cdouble>(2, {{3, 4}, 10, 5.5, 10}), {2, 2}, -1);  // moduli, not |re| + |im|
  EXPECT_EQ(d_det(singular<double>.view()), -2 * tiny_d);
  EXPECT_EQ(s_det(singular<float>.view()), -2 * tiny_s);
  EXPECT_EQ(z_det(singular<cdouble>.view()), -2 * tiny_d);
  EXPECT_EQ(c_det(singular<cfloat>.view()), -2 * tiny_s);
  EXPECT_EQ(d_det(from_rows<double>(3, {0.5, 1, 0.5, -1, -2, 0, -1, 0, -2}).view()), -1.0);
  EXPECT_EQ(d_det(d_unit(3, -7.5).view(), 10.0), 0.001);  // the selector's value is unused
  EXPECT_EQ(z_det(from_rows<cdouble>(2, {{0, 4}, 0, 0, {6, 2}}).view(), 2.0), cdouble(-2, 6));
  // Complex kinds on singular real systems: the real kind's answer (tiny-pivot quotient in a wider type).
  for (float b2 : {2.0F, 2.5F}) {  // consistent (solution (1, 0)) and not
    const auto xd = d_invmul_vec(singular<double>.view(), std::vector{1.0, double(b2)});
    const auto xs = s_invmul_vec(singular<float>.view(), std::vector{1.0F, b2});
    EXPECT_TRUE(std::isfinite(xd[1]));
    EXPECT_TRUE(std::isfinite(xs[1]));
    if (b2 == 2.0F) {
      EXPECT_EQ(xd, (std::vector<double>{1, 0}));
    }
    EXPECT_TRUE(std::ranges::equal(z_invmul_vec(singular<cdouble>.view(), std::vector<cdouble>{1.0, b2}), xd));
    EXPECT_TRUE(std::ranges::equal(c_invmul_vec(singular<cfloat>.view(), std::vector<cfloat>{1.0F, b2}), xs));
  }
  // Column 2 gets a tiny pivot whose reciprocal scales the zero below it: 0, not NaN.
  EXPECT_EQ(z_det(from_rows<cdouble>(3, {1, 1, 0, 2, 2, 0, 0, 0, 1}).view()), cdouble(0));
  EXPECT_EQ(c_det(from_rows<cfloat>(3, {1, 1, 0, 2, 2, 0, 0, 0, 1}).view()), cfloat(0));
}

// Solutions, inverses and determinants against LAPACK; diagonal dominance by n keeps errors near n eps.
template <class T>
void check_against_lapack(auto invmul, auto invmul_vec, auto inverse, auto det, auto gesv) {
  using R = real_of<T>;
  const double tol = 16 * std::numeric_limits<R>::epsilon();
  std::mt19937 gen(20240611);
  std::uniform_real_distribution<R> u(-1, 1);
  const auto draw = [&] { if constexpr (complex_kind<T>) return T(u(gen), u(gen)); else return u(gen); };
  for (index_t n : {1, 2, 5, 12}) {
    array2<T> a(n, n), rhs(n, n + 3);  // rhs = [b | I]
    std::generate_n(a.data(), n * n, draw), std::generate_n(rhs.data(), 3 * n, draw);
    for (index_t i = 1; i <= n; ++i) a(i, i) += T(R(n)), rhs(i, i + 3) = T(1);
    const auto b = rhs.view().block(1, 1, n, 3);
    const array2<T> x = invmul(a.view(), b), inv = inverse(a.view());
    EXPECT_EQ(invmul_vec(a.view(), b.col(2)), x.col(2).to_vector());
    array2<T> lu = a;
    pivots ipiv(static_cast<std::size_t>(n));
    gesv(lu.view(), rhs.view(), ipiv, std::nullopt);
    for (index_t j = 1; j <= n + 3; ++j)
      for (index_t i = 1; i <= n; ++i) EXPECT_LE(std::abs((j <= 3 ? x(i, j) : inv(i, j - 3)) - rhs(i, j)), tol * n);
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
TEST(LapackWrappers, GesvOnStridedViewsInfoPivotsEmptySystemsAndLamch) {
  array2<double> big(6, 5, -9.0), rhs(5, 4, -9.0), ones(2, 2, 1.0), ones2 = ones, ones_rhs(2, 1, 1.0);
  const auto a = big.view().block(3, 2, 3, 3), b = rhs.view().block(2, 3, 3, 2);
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) a(i, j) = i == j ? 5.0 : 1.0 / double(i + j), b(i, j % 2 + 1) = double(i * j);
  array2<double> ac = to_array2(a), bc = to_array2(b);
  pivots ipiv(3), ipiv_c(3), longer(3, -5);
  int32_t info = -1;
  dgesv_wrap(ac.view(), bc.view(), ipiv_c);
  dgesv_wrap(a, b, ipiv, info);
  EXPECT_EQ(info, 0);
  EXPECT_EQ(ipiv, ipiv_c);
  EXPECT_EQ(to_array2(a), ac);
  EXPECT_EQ(to_array2(b), bc);
  EXPECT_EQ(count(big, -9.0), 21);
  EXPECT_EQ(count(rhs, -9.0), 14);
  dgesv_wrap(ones.view(), ones_rhs.view());  // singular: returns normally and prints nothing
  dgesv_wrap(ones2.view(), ones_rhs.view(), longer, info);
  EXPECT_EQ(info, 2);
  EXPECT_EQ(longer, pivots({1, 2, -5}));
  zgesv_wrap(array2<cdouble>(0, 0).view(), array2<cdouble>(0, 2).view(), std::nullopt, info);
  EXPECT_EQ(info, 0);
  // dlamch and slamch ignore the value they are handed.
  EXPECT_EQ(dlamch_wrap(-2.5, 'S'), tiny_d);
  EXPECT_EQ(slamch_wrap(4.0F, 'S'), tiny_s);
  EXPECT_EQ(dlamch_wrap(0.0, 'E'), 0x1p-53);
}

// The second difference (2 on the diagonal, -1 beside it): ascending eigenvalues 2 - 2 cos(k h),
// eigenvectors sqrt(2 / (n + 1)) sin(i k h), h = pi / (n + 1).
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
  std::vector<float> ds(6, 2.0F), es(6, -1.0F), ws(6);
  dsteqr_wrap('N', d, e);
  dstegr_wrap(d2, e2, w);
  sstegr_wrap(ds, es, ws);
  expect_second_difference(d), expect_second_difference(w);
  for (std::size_t k = 0; k < 6; ++k) EXPECT_NEAR(ws[k], w[k], 4e-6) << k;  // a few units of float rounding at norm 4
  array2<double> rows(3, 4, 2.0), big(6, 5, 8.0);  // d as row 2 (stride 3), z as a block
  std::vector<double> e4(3, -1.0), work(1);  // work too short: a private one is used
  dsteqr_wrap('I', rows.view().row(2), e4, big.view().block(2, 2, 4, 4), work);
  expect_second_difference(rows.view().row(2), big.view().block(2, 2, 4, 4));
  EXPECT_EQ(count(rows, 2.0), 8);
  EXPECT_EQ(count(big, 8.0), 14);
  d.assign(4, 2.0), e.assign(4, -1.0), w.resize(4), big.fill(8.0);
  dstegr_wrap(d, e, w, big.view().block(1, 1, 4, 4));
  expect_second_difference(w, big.view().block(1, 1, 4, 4));
  EXPECT_EQ(count(big, 8.0), 14);
}

// Only an all-zero row stops a decomposition. LAPACK's argument errors come back from the
// routine (its own handler would exit with status 0) and are thrown by the wrapper.
TEST(MatrixFailure, EveryFailureThrowsItsMessage) {
  const std::string real = stop::SINGULAR_REAL;
  const std::string cplx = "** singular matrix [matrix::c_lu_decompose]";
  const std::string sizes = "** array sizes do not match [", sub = sizes + "matrix::d_lu_substitute_vec]";
  const std::string illegal = " had an illegal value [lapack_wrapper::xerbla]";
  array2<double> unit = d_unit(3, 1);
  std::vector<double> d(3, 2.0), e(2, -1.0);
  std::vector<float> ds(3, 2.0F), es(2, -1.0F);
  const std::pair<std::function<void()>, std::string> table[] = {
      {[] { d_det(from_rows<double>(2, {1, 2, 0, 0}).view()); }, real},
      {[] { s_det(from_rows<float>(2, {0, 0, 1, 1}).view()); }, real},
      {[] { z_inverse(from_rows<cdouble>(2, {1, 1, 0, 0}).view()); }, cplx},
      {[] { c_det(from_rows<cfloat>(2, {0, 0, {0, 1}, 1}).view()); }, cplx},
      {[&] { d_lu_substitute_vec(unit.view(), pivots{1, 2, 3}, std::vector{1.0, 2.0}); }, sub},
      {[&] { d_lu_substitute_vec(unit.view(), pivots{1, 4, 3}, d); }, sub},
      {[] { z_invmul(z_unit(3, 1.0).view(), array2<cdouble>(2, 2).view()); }, sizes + "matrix::z_invmul]"},
      {[&] { dgesv_wrap(unit.view(), array2<double>(2, 1).view()); }, sizes + "lapack_wrapper::dgesv_wrap]"},
      {[&] { dstegr_wrap(d, e, d); }, sizes + "lapack_wrapper::dstegr_wrap]"},
      {[&] { dsteqr_wrap('I', d, e); }, "** On entry to DSTEQR parameter number 6" + illegal},  // LDZ = 1 < N
      {[&] { ssteqr_wrap('X', ds, es); }, "** On entry to SSTEQR parameter number 1" + illegal},
      // The handler's record does not outlive its call: a good call after a bad one passes.
      {[&] { dsteqr_wrap('N', d, e); }, "(returned normally)"},
      {[&] { dgesv_wrap(unit.view(), array2<double>(3, 1).view()); }, "(returned normally)"}};
  for (const auto& [call, line] : table) EXPECT_EQ(error_line(call), line);
}

// The members of each kind that the solves above do not reach: decomposition then
// substitution, one right-hand side through LAPACK, and the identity. A = [4 1; 2 3],
// A x = (1, 2) has x = (0.1, 0.6); the substitution of the identity is A's inverse.
template <class T>
void check_substitution(auto decompose, auto substitute_vec, auto substitute, auto gesv_vec, auto unit) {
  array2<T> a = from_rows<T>(2, {4, 1, 2, 3}), lu = a, lapack = a;
  pivots piv(2);
  T parity{};
  decompose(lu.view(), piv, parity);
  std::vector<T> y{T(1), T(2)};
  const std::vector<T> x = substitute_vec(lu.view(), piv, y);
  const array2<T> inv = substitute(lu.view(), piv, unit(2, T(1)).view());
  gesv_vec(lapack.view(), y, std::nullopt, std::nullopt);
  const std::pair<T, T> got_want[] = {{x[0], T(0.1)}, {x[1], T(0.6)}, {inv(1, 1), T(0.3)}, {inv(1, 2), T(-0.1)},
                                      {y[0], T(0.1)}, {y[1], T(0.6)}};
  for (const auto& [got, want] : got_want) EXPECT_NEAR(std::abs(got - want), 0.0, 1e-6);
}

TEST(KindMembers, SubstitutionAndOneRightHandSide) {
  check_substitution<float>(s_lu_decompose, s_lu_substitute_vec, s_lu_substitute, sgesv_vec_wrap, s_unit);
  check_substitution<double>(d_lu_decompose, d_lu_substitute_vec, d_lu_substitute, dgesv_vec_wrap, d_unit);
  check_substitution<cfloat>(c_lu_decompose, c_lu_substitute_vec, c_lu_substitute, cgesv_vec_wrap, c_unit);
  check_substitution<cdouble>(z_lu_decompose, z_lu_substitute_vec, z_lu_substitute, zgesv_vec_wrap, z_unit);
  EXPECT_EQ(s_unit_(3).storage(), s_unit(3, 1.0F).storage());
}

}  // namespace
}  // namespace ltide::matrix
