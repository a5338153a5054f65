// The banded kinds (operators, solves, QL eigensolver) against dense matrices and LAPACK.
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <bit>
#include <cfloat>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <optional>
#include <random>
#include <span>
#include <string>
#include <type_traits>
#include <vector>

#include <ltide/functions/functions.hpp>
#include <ltide/matrix/lapack_wrapper.hpp>
#include <ltide/sparse/core.hpp>
#include <ltide/sparse/eigen.hpp>
#include <ltide/sparse/invmul.hpp>
#include <ltide/sparse/ql.hpp>

#include "support.hpp"

namespace ltide::sparse {
namespace {

// Diagonal, below, above: a scalar is that value everywhere, a band the kind lacks is 0.
template <class K>
std::array<double, 3> entries(const K& e) {
  if constexpr (std::is_same_v<K, double>) return {e, e, e};
  else if constexpr (requires { e.off; }) return {e.diag, e.off, e.off};
  else if constexpr (requires { e.lower; } && requires { e.upper; }) return {e.diag, e.lower, e.upper};
  else if constexpr (requires { e.lower; }) return {e.diag, e.lower, 0.0};
  else if constexpr (requires { e.upper; }) return {e.diag, 0.0, e.upper};
  else return {e.diag, 0.0, 0.0};
}
template <class K>
constexpr std::array<bool, 3> stored{true, requires(K e) { e.lower; } || requires(K e) { e.off; },
                                     requires(K e) { e.upper; } || requires(K e) { e.off; }};

// The n-by-n matrix; element n's off-diagonals lie outside it.
template <class K>
array2<double> dense_of(const std::vector<K>& a) {
  const auto n = static_cast<index_t>(a.size());
  array2<double> m(n, n);
  for (index_t i = 1; i <= n; ++i) {
    const auto [d, below, above] = entries(a[i - 1]);
    m(i, i) = d;
    if (i < n) m(i + 1, i) = below, m(i, i + 1) = above;
  }
  return m;
}

// Magnitudes in [0.5, 2], either sign (never zero: no check depends on the sign of a zero);
// diagonals moved `shift` away from zero; element n's off-diagonals set to `outside` if given.
inline std::mt19937_64 rng(20240611);
inline double draw() {
  std::uniform_real_distribution<double> mag(0.5, 2.0);
  return (rng() & 1U) ? mag(rng) : -mag(rng);
}
template <class K>
std::vector<K> random_band(std::size_t n, double shift = 0.0, std::optional<double> outside = {}) {
  std::vector<K> a(n);
  for (K& e : a) {
    const bool last = outside && &e == &a.back();
    e.diag = draw();
    e.diag += std::copysign(shift, e.diag);
    if constexpr (requires { e.off; }) e.off = last ? *outside : draw();
    if constexpr (requires { e.lower; }) e.lower = last ? *outside : draw();
    if constexpr (requires { e.upper; }) e.upper = last ? *outside : draw();
  }
  return a;
}
inline array2<double> random_dense(index_t rows, index_t cols) {
  array2<double> m(rows, cols);
  for (double& x : m.storage()) x = draw();
  return m;
}

// f(std::type_identity<K>{}, position of K) for each K.
template <class... K>
void for_each(auto f) {
  int i = 0;
  (f(std::type_identity<K>{}, i++), ...);
}
template <class K>
const std::string name_of{letter_of<K>};

array2<double> dense_product(const array2<double>& a, const array2<double>& b) {
  array2<double> c(a.rows(), b.cols());
  for (index_t i = 1; i <= a.rows(); ++i)
    for (index_t j = 1; j <= b.cols(); ++j)
      for (index_t k = 1; k <= a.cols(); ++k) c(i, j) = c(i, j) + a(i, k) * b(k, j);
  return c;
}

// Result kinds. Rows: left operand, columns: right operand, both in the order s, D, LB, RB, ST, T.
const char* const sum_kinds[6][6] = {
    {"-", "d", "lb", "rb", "st", "t"}, {"d", "d", "lb", "rb", "st", "t"}, {"lb", "lb", "lb", "t", "t", "t"},
    {"rb", "rb", "t", "rb", "t", "t"}, {"st", "st", "t", "t", "st", "t"}, {"t", "t", "t", "t", "t", "t"},
};
const char* const product_kinds[6][6] = {
    {"-", "d", "lb", "rb", "st", "t"}, {"d", "d", "d", "d", "d", "d"},      {"lb", "d", "lb", "d", "lb", "lb"},
    {"rb", "d", "d", "rb", "rb", "rb"}, {"st", "d", "lb", "rb", "st", "t"}, {"t", "d", "lb", "rb", "t", "t"},
};

// For every operand pair and orders 0..9: the result kind, and every stored component of
// every element (element n included) is the operation on the operands' entries.
template <class Op>
void check_element_op(const char* const (&table)[6][6]) {
  const auto random = []<class K>(std::type_identity<K>, std::size_t n) {
    if constexpr (std::is_same_v<K, double>) return draw(); else return random_band<K>(n);
  };
  const auto at = [](const auto& x, std::size_t k) {
    if constexpr (std::is_same_v<std::decay_t<decltype(x)>, double>) return entries(x); else return entries(x[k]);
  };
  for_each<double, D, LB, RB, ST, T>([&]<class L>(std::type_identity<L> l, int i) {
    for_each<double, D, LB, RB, ST, T>([&]<class R>(std::type_identity<R> r, int j) {
      if constexpr (!std::is_same_v<L, double> || !std::is_same_v<R, double>) {
        for (std::size_t n = 0; n <= 9; ++n) {
          const auto a = random(l, n), b = random(r, n);
          const auto c = element_fn<Op, L, R>{}(a, b);
          using C = typename decltype(c)::value_type;
          const std::string what = std::string(Op::name) + " " + name_of<L> + " " + name_of<R>;
          EXPECT_EQ(name_of<C>, table[i][j]) << what;
          ASSERT_EQ(c.size(), n) << what;
          for (std::size_t k = 0; k < n; ++k)
            for (int s = 0; s < 3; ++s)
              EXPECT_EQ(entries(c[k])[s], stored<C>[s] ? Op::apply(at(a, k)[s], at(b, k)[s]) : 0.0)
                  << what << " n=" << n << " @" << k << "," << s;
        }
      }
    });
  });
}

TEST(ElementOps, ResultKindsAndEntriesForAllOperandPairs) {
  check_element_op<op_sum>(sum_kinds);
  check_element_op<op_diff>(sum_kinds);
  check_element_op<op_prod>(product_kinds);
  check_element_op<op_quot>(product_kinds);
}

// Band products (where the product stays tridiagonal; never symmetric; element n's off-diagonals
// 0), vector and dense operands on either side, and the transpose, against dense matrices.
TEST(Matmul, AgreesWithDenseProductsForAllKindsAndSizes) {
  std::string products;
  for (index_t n = 1; n <= 9; ++n) {
    for_each<D, LB, RB, ST, T>([&]<class L>(std::type_identity<L>, int) {
      const auto a = random_band<L>(n);
      const auto da = dense_of(a);
      const std::string what = name_of<L> + " n=" + std::to_string(n);
      const array2<double> right = random_dense(n, 3), left = random_dense(2, n);
      EXPECT_EQ(matmul(a, right.view().col(2)), dense_product(da, right).view().col(2).to_vector()) << what;
      EXPECT_EQ(matmul(left.view().row(2), a), dense_product(left, da).view().row(2).to_vector()) << what;
      EXPECT_EQ(matmul(a, right), dense_product(da, right)) << what;
      EXPECT_EQ(matmul(left, a), dense_product(left, da)) << what;
      const auto at = transpose(a);
      for (index_t k = 0; k < n; ++k)  // every element, element n included
        EXPECT_EQ(entries(at[k]), (std::array{a[k].diag, entries(a[k])[2], entries(a[k])[1]})) << what;
      for_each<D, LB, RB, ST, T>([&]<class R>(std::type_identity<R>, int) {
        if constexpr (band_product_exists<L, R>) {
          const auto b = random_band<R>(n);
          const auto c = matmul(a, b);
          EXPECT_EQ(dense_of(c), dense_product(da, dense_of(b))) << what << " * " << name_of<R>;
          EXPECT_EQ(entries(c[n - 1]), (std::array<double, 3>{c[n - 1].diag, 0.0, 0.0})) << what;
          if (n == 1) products += name_of<L> + "*" + name_of<R> + "=" + name_of<typename decltype(c)::value_type> + " ";
        }
      });
    });
  }
  EXPECT_EQ(products, "d*d=d d*lb=lb d*rb=rb d*st=t d*t=t lb*d=lb lb*rb=t rb*d=rb rb*lb=t st*d=t t*d=t ");
}

// Entries in element order (diagonal, below, above for a band), as doubles.
std::vector<double> flat(const auto& x) {
  std::vector<double> v;
  for (const auto& e : x)
    if constexpr (requires { e.diag; }) for (double y : entries(e)) v.push_back(y); else v.push_back(e);
  return v;
}

TEST(BandedOperators, WorkedCases) {
  const std::vector<double> strided{1, -1, 2, -1, 3}, padded{1, 2, 3, 99, 4, 5, 6, 99}, b{1.0, 0.7};
  const std::vector<T> t3{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, t{{1, 2, 2}, {1, 2, 3}, {0, 2, 2}};
  const std::vector<ST> st{{1, 2}, {1, 2}, {1, 2}};
  const std::vector<D> nans{{NAN}, {-0.0}}, zeros{{NAN}, {0.0}};
  const struct { const char* what; std::vector<double> got, want; } cases[] = {
      {"RB - LB negates (+0 becomes -0)", flat(std::vector<RB>{{5, 7}} - std::vector<LB>{{1, 0}}), {4, -0.0, 7}},
      {"ST == T needs off on both sides", flat(st == t), {1, 0, 0}},
      {"NaN is unequal, -0 equals +0", flat(nans == zeros), {0, 1}},
      {"D != D", flat(s_ne_d_d(nans, zeros)), {1, 0}},
      {"vector == vector is per element", flat(std::vector<RB>{{1, 2}} == std::vector<RB>{{1, 3}}), {0}},
      {"strided vector", flat(s_matmul_t_v(t3, vector_view<const double>(strided.data(), 3, 2))), {7, 28, 31}},
      {"padded matrix", s_matmul_t_m(t3, matrix_view<const double>(padded.data(), 3, 2, 4)).storage(),
       {7, 28, 31, 19, 64, 67}},
      {"span operands", flat(std::span<const T>(t) * std::span<const ST>(st)), flat(s_prod_t_st(t, st))},
      {"empty operands", flat(matmul(std::vector<T>{}, std::vector<double>{})), {}},
      // Each term divided separately: (1 - 0.3*0.7)/3 would be 0.26333333333333336.
      {"x1 = b1/d1 - u1*x2/d1", s_invmul_rb_v(std::vector<RB>{{3, 0.3}, {1, 0}}, b), {0.2633333333333333, 0.7}},
      {"D inverse", flat(s_inverse_d(std::vector<D>{{4.0}, {-0.5}, {0.0}})), {0.25, 0, 0, -2, 0, 0, HUGE_VAL, 0, 0}},
      {"D eigenpairs: the diagonal in element order, then the identity", [] {
         std::vector<double> lambda(3);
         array2<double> V(3, 3, -1.0);
         s_eigen_d(std::vector<D>{{2.0}, {-1.0}, {0.5}}, lambda, V.view());
         return lambda.insert(lambda.end(), V.storage().begin(), V.storage().end()), lambda;
       }(), {2, -1, 0.5, 1, 0, 0, 0, 1, 0, 0, 0, 1}},
  };
  const auto same_bits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };  // -0 is not +0
  for (const auto& c : cases)
    EXPECT_TRUE(std::equal(c.got.begin(), c.got.end(), c.want.begin(), c.want.end(), same_bits))
        << c.what << ": " << ::testing::PrintToString(c.got);
}

// Against LAPACK's relatively robust solver, with orthonormal vectors and small residuals
// (|diag| >= 5.5 against |off| <= 2 keeps every |eigenvalue| in [1.5, 11]).
TEST(EigenST, AgreesWithLapackWithOrthonormalVectorsAndSmallResiduals) {
  for (index_t n : {0, 1, 2, 3, 5, 9, 30, 100, 250}) {
    const auto A = random_band<ST>(static_cast<std::size_t>(n), 5.0, NAN);
    std::vector<double> lambda(A.size()), robust(A.size());
    array2<double> V(n, n);
    s_eigen_ST(A, lambda, V.view());
    s_eigen_ST_lapack(A, robust);
    const array2<double> AV = matmul(A, V);
    std::vector<double> ascending = lambda;
    std::sort(ascending.begin(), ascending.end());
    const double tol = 1e-13 * std::sqrt(static_cast<double>(n));
    for (index_t j = 1; j <= n; ++j) {
      EXPECT_NEAR(ascending[j - 1], robust[j - 1], 1e-14 * 11) << "n=" << n << " j=" << j;
      for (index_t k = j; k <= n; ++k) {
        double dot = 0.0;
        for (index_t i = 1; i <= n; ++i) dot += V(i, j) * V(i, k);
        EXPECT_NEAR(dot, j == k ? 1.0 : 0.0, tol) << "n=" << n;
      }
      for (index_t i = 1; i <= n; ++i) EXPECT_NEAR(AV(i, j), lambda[j - 1] * V(i, j), 11 * tol) << "n=" << n;
    }
  }
}

TEST(EigenST, ReproducesReferenceBitsWithTheLibraryHypotenuse) {
  // From an independent scalar transcription: another grouping, shift or hypotenuse changes them.
  std::vector<double> lambda(5), two(2);
  array2<double> V(5, 5);
  s_eigen_ST(std::vector<ST>{{0.5, 1.0}, {-1.25, 0.3}, {2.0, -2.0}, {0.75, 0.125}, {3.5, 0.0}}, lambda, V.view());
  EXPECT_EQ(lambda, (std::vector<double>{0x1.e7f09960e6d45p-1, -0x1.bd28cc9d50c37p+0, -0x1.6683243cfffc2p-1,
                                         0x1.b59b4ea685f93p+1, 0x1.c89dba5f28b28p+1}));
  EXPECT_EQ(V.view().col(3).to_vector(), (std::vector<double>{-0.10446900284188104, 0.12538571144304095,
                                          0.5780121649097485, 0.7991876527915855, -0.023784105048688726}));
  // The first shift meets g = (1 - 1)/(2 * -1) = -0, which counts as non-negative: sigma = +1.
  s_eigen_ST(std::vector<ST>{{1.0, -1.0}, {1.0, 0.0}}, two);
  EXPECT_EQ(two, (std::vector<double>{0x1.fffffffffffffp+0, 0x1p-52}));
  // Finite arguments only: for non-finite ones the iteration keeps its own conventions.
  const double values[] = {0.0, -0.0, 1.0, 3.0, -0.7, 5e-7, 1e-300, 1e300, DBL_MAX, DBL_MIN, 4.9e-324};
  for (double a : values)
    for (double b : values)
      EXPECT_EQ(std::bit_cast<uint64_t>(ql_pythag(a, b)), std::bit_cast<uint64_t>(functions::f_pythag_d(a, b)))
          << a << " " << b;
}

TEST(SparseFailure, FailuresThrowTheirMessages) {
  EXPECT_EQ(error_line([] { s_sum_lb_rb(std::vector<LB>(3), std::vector<RB>(2)); }),
            "** operand sizes differ [sparse_core::s_sum_lb_rb]");
  EXPECT_EQ(error_line([] { s_matmul_st_m(std::vector<ST>(3), array2<double>(2, 3).view()); }),
            "** operand sizes differ [sparse_core::s_matmul_st_m]");
  std::vector<double> lambda(3);
  EXPECT_EQ(error_line([&] { s_eigen_ST(std::vector<ST>{{NAN, 1.0}, {1.0, 0.0}, {2.0, 0.0}}, lambda); }),
            stop::QL);
}

// got against LAPACK's dense solve of A X = B (B column-major, n rows).
void expect_dense_solve(array2<double> A, std::vector<double> B, const std::vector<double>& got, const char* what) {
  const index_t n = A.rows();
  matrix::dgesv_wrap(A.view(), matrix_view<double>(B.data(), n, static_cast<index_t>(B.size()) / n, n));
  ASSERT_EQ(got.size(), B.size());
  for (std::size_t k = 0; k < got.size(); ++k)
    EXPECT_NEAR(got[k], B[k], 1e-14 * (1.0 + std::fabs(B[k]))) << what << " n=" << n;
}

// Strided and padded right-hand sides for every kind of A (diagonally dominant: no pivoting needed;
// element n's huge off-diagonals unused), banded ones for diagonal A (element n's off-diagonals 0).
template <class K>
void check_solves(const char* what, auto solve_v, auto solve_m, auto solve_d) {
  for (index_t n = 1; n <= 9; ++n) {
    const auto A = random_band<K>(n, 5.0, 1e300);
    const array2<double> C = random_dense(n + 1, n + 3);
    const auto block = C.view().block(2, 1, n, 3);
    const auto row = C.view().row(1).sub(1, n);
    expect_dense_solve(dense_of(A), to_array2(block).storage(), solve_m(A, block).storage(), what);
    expect_dense_solve(dense_of(A), row.to_vector(), solve_v(A, row), what);
    const auto diag = random_band<D>(n, 5.0);
    const auto X = solve_d(diag, A);
    expect_dense_solve(dense_of(diag), dense_of(A).storage(), dense_of(X).storage(), what);
    EXPECT_EQ(entries(X.back()), (std::array{X.back().diag, 0.0, 0.0})) << what;
  }
}

TEST(Invmul, AgreesWithDenseSolvesForEveryKind) {
  check_solves<D>("d", s_invmul_d_v, s_invmul_d_m, s_invmul_d_d);
  check_solves<LB>("lb", s_invmul_lb_v, s_invmul_lb_m, s_invmul_d_lb);
  check_solves<RB>("rb", s_invmul_rb_v, s_invmul_rb_m, s_invmul_d_rb);
  check_solves<ST>("st", s_invmul_st_v, s_invmul_st_m, s_invmul_d_st);
  check_solves<T>("t", s_invmul_t_v, s_invmul_t_m, s_invmul_d_t);
}

}  // namespace
}  // namespace ltide::sparse
