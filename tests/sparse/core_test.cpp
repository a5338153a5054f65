#include "sparse/core.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <vector>

namespace ltide::sparse {
namespace {

using kinds = std::tuple<D, LB, RB, ST, T>;
using operands = std::tuple<double, D, LB, RB, ST, T>;

template <class Tuple, class F>
void for_each_type(F&& f) {
  [&]<class... X>(std::tuple<X...>*) { (f(std::type_identity<X>{}), ...); }(static_cast<Tuple*>(nullptr));
}

// Storage positions of each kind, read directly from the records (independent of the
// traits under test).
template <class K>
constexpr bool stores_lower = requires(K e) { e.lower; } || requires(K e) { e.off; };
template <class K>
constexpr bool stores_upper = requires(K e) { e.upper; } || requires(K e) { e.off; };
template <class K>
double below(const K& e) {
  if constexpr (requires { e.off; }) return e.off; else return e.lower;
}
template <class K>
double above(const K& e) {
  if constexpr (requires { e.off; }) return e.off; else return e.upper;
}

template <class K>
std::string name_of() {
  if constexpr (std::is_same_v<K, double>) return "s";
  else if constexpr (std::is_same_v<K, D>) return "D";
  else if constexpr (std::is_same_v<K, LB>) return "LB";
  else if constexpr (std::is_same_v<K, RB>) return "RB";
  else if constexpr (std::is_same_v<K, ST>) return "ST";
  else return "T";
}

// The n-by-n matrix an array represents; element n's off-diagonal lies outside it.
template <class K>
array2<double> dense_of(const std::vector<K>& a) {
  const auto n = static_cast<index_t>(a.size());
  array2<double> m(n, n);
  for (index_t i = 1; i <= n; ++i) {
    const K& e = a[static_cast<std::size_t>(i - 1)];
    m(i, i) = e.diag;
    if constexpr (stores_lower<K>) if (i < n) m(i + 1, i) = below(e);
    if constexpr (stores_upper<K>) if (i < n) m(i, i + 1) = above(e);
  }
  return m;
}

template <class K>
bool in_band(index_t i, index_t j) {
  return i == j || (i == j + 1 && stores_lower<K>) || (j == i + 1 && stores_upper<K>);
}

// Row-by-column product summed in column order from the first term.
array2<double> dense_product(const array2<double>& a, const array2<double>& b) {
  array2<double> c(a.rows(), b.cols());
  for (index_t i = 1; i <= a.rows(); ++i)
    for (index_t j = 1; j <= b.cols(); ++j) {
      double s = 0.0;
      for (index_t k = 1; k <= a.cols(); ++k) s = s + a(i, k) * b(k, j);
      c(i, j) = s;
    }
  return c;
}

std::mt19937_64 rng(20240611);

// Non-zero values of either sign, so that no entry of a check is a signed zero.
double draw() {
  std::uniform_real_distribution<double> mag(0.5, 2.0);
  return (rng() & 1U) ? mag(rng) : -mag(rng);
}

template <class K>
std::vector<K> random_band(std::size_t n) {
  std::vector<K> a(n);
  for (K& e : a) {
    e.diag = draw();
    if constexpr (requires { e.off; }) e.off = draw();
    if constexpr (requires { e.lower; }) e.lower = draw();
    if constexpr (requires { e.upper; }) e.upper = draw();
  }
  return a;
}

array2<double> random_dense(index_t rows, index_t cols) {
  array2<double> m(rows, cols);
  for (double& x : m.storage()) x = draw();
  return m;
}

void expect_same(const array2<double>& got, const array2<double>& want, const std::string& what) {
  ASSERT_EQ(got.rows(), want.rows()) << what;
  ASSERT_EQ(got.cols(), want.cols()) << what;
  for (index_t j = 1; j <= got.cols(); ++j)
    for (index_t i = 1; i <= got.rows(); ++i) EXPECT_EQ(got(i, j), want(i, j)) << what << " at " << i << "," << j;
}

// --- result kinds -------------------------------------------------------------------

// Rows: left operand; columns: right operand; both s, D, LB, RB, ST, T.
const char* const sum_kinds[6][6] = {
    {"-", "D", "LB", "RB", "ST", "T"}, {"D", "D", "LB", "RB", "ST", "T"}, {"LB", "LB", "LB", "T", "T", "T"},
    {"RB", "RB", "T", "RB", "T", "T"}, {"ST", "ST", "T", "T", "ST", "T"}, {"T", "T", "T", "T", "T", "T"},
};
const char* const product_kinds[6][6] = {
    {"-", "D", "LB", "RB", "ST", "T"}, {"D", "D", "D", "D", "D", "D"},      {"LB", "D", "LB", "D", "LB", "LB"},
    {"RB", "D", "D", "RB", "RB", "RB"}, {"ST", "D", "LB", "RB", "ST", "T"}, {"T", "D", "LB", "RB", "T", "T"},
};

template <class Op, class L, class R>
concept element_exists = requires { typename element_fn<Op, L, R>; };

template <class Op>
void check_result_kinds(const char* const (&table)[6][6]) {
  int i = 0;
  for_each_type<operands>([&]<class L>(std::type_identity<L>) {
    int j = 0;
    for_each_type<operands>([&]<class R>(std::type_identity<R>) {
      if constexpr (std::is_same_v<L, double> && std::is_same_v<R, double>) {
        EXPECT_FALSE((element_exists<Op, double, double>));
      } else {
        using C = typename std::invoke_result_t<element_fn<Op, L, R>, operand_t<L>, operand_t<R>>::value_type;
        EXPECT_EQ(name_of<C>(), table[i][j]) << Op::name << " " << name_of<L>() << " " << name_of<R>();
      }
      ++j;
    });
    ++i;
  });
}

TEST(ResultKinds, SumAndDifferenceGiveTheJointBand) {
  check_result_kinds<op_sum>(sum_kinds);
  check_result_kinds<op_diff>(sum_kinds);
}

TEST(ResultKinds, ProductAndQuotientGiveTheSharedBand) {
  check_result_kinds<op_prod>(product_kinds);
  check_result_kinds<op_quot>(product_kinds);
}

TEST(ResultKinds, MatrixProductsExistExactlyForTheListedPairsWithTheirKinds) {
  using all = std::tuple<vec, dense, D, LB, RB, ST, T>;
  // The band-times-band products and their kinds; every vector or dense pairing with a
  // band exists too, which makes 31.
  const std::vector<std::string> listed = {"D*D=D",   "D*LB=LB", "D*RB=RB", "D*ST=T", "D*T=T",  "LB*D=LB",
                                           "LB*RB=T", "RB*D=RB", "RB*LB=T", "ST*D=T", "T*D=T"};
  std::vector<std::string> found;
  int count = 0;
  for_each_type<all>([&]<class L>(std::type_identity<L>) {
    for_each_type<all>([&]<class R>(std::type_identity<R>) {
      if constexpr (matmul_pair<L, R>) {
        ++count;
        if constexpr (band_kind<L> && band_kind<R>)
          found.push_back(name_of<L>() + "*" + name_of<R>() + "=" + name_of<matmul_kind_t<L, R>>());
      }
    });
  });
  EXPECT_EQ(count, 31);
  EXPECT_EQ(found, listed);
}

TEST(ResultKinds, ComparisonsExistForTheSevenPairsWithEqualBands) {
  std::vector<std::string> pairs;
  for_each_type<kinds>([&]<class L>(std::type_identity<L>) {
    for_each_type<kinds>([&]<class R>(std::type_identity<R>) {
      if constexpr (comparable_kinds<L, R>) pairs.push_back(name_of<L>() + "=" + name_of<R>());
    });
  });
  EXPECT_EQ(pairs, (std::vector<std::string>{"D=D", "LB=LB", "RB=RB", "ST=ST", "ST=T", "T=ST", "T=T"}));
}

// --- element operators ----------------------------------------------------------------

TEST(ElementOps, ScalarReachesOnlyTheStoredEntries) {
  std::vector<LB> lb{{1, 3}};
  auto r = 2 + lb;
  EXPECT_EQ(r[0].diag, 3.0);
  EXPECT_EQ(r[0].lower, 5.0);
  std::vector<ST> st{{2, 1}};
  auto q = s_diff_st_s(st, 1.0);
  EXPECT_EQ(q[0].diag, 1.0);
  EXPECT_EQ(q[0].off, 0.0);
}

TEST(ElementOps, ScalarKeepsItsSideOfTheOperation) {
  std::vector<T> t{{3, 4, 8}};
  auto minus = s_diff_s_t(1.0, t);
  EXPECT_EQ(minus[0].diag, -2.0);
  EXPECT_EQ(minus[0].lower, -3.0);
  EXPECT_EQ(minus[0].upper, -7.0);
  auto over = 1.0 / t;
  EXPECT_EQ(over[0].diag, 1.0 / 3.0);
  EXPECT_EQ(over[0].lower, 0.25);
  EXPECT_EQ(over[0].upper, 0.125);
  auto under = t / 2.0;
  EXPECT_EQ(under[0].upper, 4.0);
}

TEST(ElementOps, OneSidedEntriesAreCopiedOrNegated) {
  std::vector<LB> lb{{1, 2}, {3, 0}};
  std::vector<RB> rb{{5, 7}, {11, 13}};
  auto sum = s_sum_lb_rb(lb, rb);
  EXPECT_EQ(sum[0].diag, 6.0);
  EXPECT_EQ(sum[0].lower, 2.0);
  EXPECT_EQ(sum[0].upper, 7.0);
  auto diff = rb - lb;
  EXPECT_EQ(diff[0].lower, -2.0);
  EXPECT_EQ(diff[0].upper, 7.0);
  // negation, not 0 - l: a +0 lower entry comes back as -0
  EXPECT_TRUE(std::signbit(diff[1].lower));
}

TEST(ElementOps, SymmetricOffEntryServesBothSides) {
  std::vector<LB> lb{{1, 2}};
  std::vector<ST> st{{10, 0.5}};
  std::vector<T> t{{1, 3, 5}};
  auto a = lb + st;  // T: lower l + e, upper e
  EXPECT_EQ(a[0].lower, 2.5);
  EXPECT_EQ(a[0].upper, 0.5);
  auto b = st - t;  // T: lower e - l, upper e - u
  EXPECT_EQ(b[0].diag, 9.0);
  EXPECT_EQ(b[0].lower, -2.5);
  EXPECT_EQ(b[0].upper, -4.5);
  auto c = s_prod_st_t(st, t);  // T: e l', e u'
  EXPECT_EQ(c[0].lower, 1.5);
  EXPECT_EQ(c[0].upper, 2.5);
  auto d = s_prod_lb_rb(lb, std::vector<RB>{{4, 9}});  // only the diagonal is shared
  EXPECT_EQ(d[0].diag, 4.0);
  auto e = s_quot_rb_t(std::vector<RB>{{6, 10}}, t);
  EXPECT_EQ(e[0].diag, 6.0);
  EXPECT_EQ(e[0].upper, 2.0);
}

// Dense element-wise counterpart: sums and products agree everywhere (entries outside
// the result's band are zero on both sides), quotients on the result's band.
template <class Op, class L, class R>
void check_against_dense(std::size_t n) {
  auto a = random_band<L>(n);
  auto b = random_band<R>(n);
  auto c = element_fn<Op, L, R>{}(a, b);
  using C = typename decltype(c)::value_type;
  auto da = dense_of(a), db = dense_of(b), dc = dense_of(c);
  for (index_t j = 1; j <= da.cols(); ++j)
    for (index_t i = 1; i <= da.rows(); ++i) {
      if (!std::is_same_v<Op, op_quot> || in_band<C>(i, j)) {
        EXPECT_EQ(dc(i, j), Op::apply(da(i, j), db(i, j)))
            << Op::name << " " << name_of<L>() << " " << name_of<R>() << " n=" << n << " at " << i << "," << j;
      }
    }
  // element n is combined like every other element
  EXPECT_EQ(c[n - 1].diag, Op::apply(a[n - 1].diag, b[n - 1].diag));
}

TEST(ElementOps, AgreeWithDenseElementwiseOperationsForAllKindPairs) {
  for (std::size_t n = 1; n <= 9; ++n)
    for_each_type<kinds>([&]<class L>(std::type_identity<L>) {
      for_each_type<kinds>([&]<class R>(std::type_identity<R>) {
        check_against_dense<op_sum, L, R>(n);
        check_against_dense<op_diff, L, R>(n);
        check_against_dense<op_prod, L, R>(n);
        check_against_dense<op_quot, L, R>(n);
      });
    });
}

TEST(ElementOps, ScalarOperandsMatchDenseOnTheBandAndLeaveTheRestZero) {
  const double s = 0.375;
  for_each_type<kinds>([&]<class K>(std::type_identity<K>) {
    auto x = random_band<K>(5);
    auto dx = dense_of(x);
    auto check = [&](const array2<double>& got, auto want, const char* what) {
      for (index_t j = 1; j <= 5; ++j)
        for (index_t i = 1; i <= 5; ++i)
          EXPECT_EQ(got(i, j), in_band<K>(i, j) ? want(dx(i, j)) : 0.0) << what << " " << name_of<K>();
    };
    check(dense_of(s + x), [&](double v) { return s + v; }, "s+X");
    check(dense_of(x - s), [&](double v) { return v - s; }, "X-s");
    check(dense_of(s - x), [&](double v) { return s - v; }, "s-X");
    check(dense_of(x * s), [&](double v) { return v * s; }, "X*s");
    check(dense_of(s / x), [&](double v) { return s / v; }, "s/X");
    check(dense_of(x / s), [&](double v) { return v / s; }, "X/s");
  });
}

TEST(ElementOps, OperatorsAcceptSpansAndMatchTheNamedOperations) {
  auto a = random_band<T>(4);
  auto b = random_band<ST>(4);
  std::span<const T> sa(a);
  auto viaspan = sa * std::span<ST>(b);
  auto named = s_prod_t_st(a, b);
  for (std::size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(viaspan[i].lower, named[i].lower);
    EXPECT_EQ(viaspan[i].upper, named[i].upper);
  }
}

TEST(ElementOps, OperandsOfDifferentLengthsStop) {
  std::vector<LB> a(3);
  std::vector<RB> b(2);
  EXPECT_EXIT(s_sum_lb_rb(a, b), ::testing::ExitedWithCode(1),
              "^\\*\\* operand sizes differ \\[sparse_core::s_sum_lb_rb\\]\n$");
  EXPECT_EXIT(a == std::vector<LB>(4), ::testing::ExitedWithCode(1),
              "^\\*\\* operand sizes differ \\[sparse_core::s_eq_lb_lb\\]\n$");
}

// --- comparisons -------------------------------------------------------------------

TEST(Comparisons, GiveOneLogicalPerElement) {
  std::vector<ST> st{{1, 2}, {1, 2}, {1, 2}};
  std::vector<T> t{{1, 2, 2}, {1, 2, 3}, {0, 2, 2}};
  EXPECT_EQ(st == t, (std::vector<bool>{true, false, false}));
  EXPECT_EQ(t != st, (std::vector<bool>{false, true, true}));
  std::vector<D> nan{{std::numeric_limits<double>::quiet_NaN()}, {-0.0}};
  std::vector<D> other{{std::numeric_limits<double>::quiet_NaN()}, {0.0}};
  EXPECT_EQ(nan == other, (std::vector<bool>{false, true}));
  EXPECT_EQ(s_ne_d_d(nan, other), (std::vector<bool>{true, false}));
  std::vector<RB> r1{{1, 2}}, r2{{1, 3}};
  EXPECT_EQ(r1 == r2, std::vector<bool>{false});
  EXPECT_EQ(std::span<const RB>(r1) != r2, std::vector<bool>{true});
}

// --- matrix products ---------------------------------------------------------------

TEST(Matmul, LowerBidiagonalTimesOnes) {
  std::vector<LB> a{{1, 2}, {1, 3}, {1, 99}};
  EXPECT_EQ(s_matmul_lb_v(a, std::vector<double>{1, 1, 1}), (std::vector<double>{1, 3, 4}));
}

TEST(Matmul, OrderOneIgnoresTheOffDiagonalComponents) {
  const double nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<T> t{{3, nan, nan}};
  std::vector<double> x{2};
  EXPECT_EQ(matmul(t, x), std::vector<double>{6});
  EXPECT_EQ(matmul(x, t), std::vector<double>{6});
  auto p = s_matmul_t_d(t, std::vector<D>{{5}});
  EXPECT_EQ(p[0].diag, 15.0);
  EXPECT_EQ(p[0].lower, 0.0);
  EXPECT_EQ(p[0].upper, 0.0);
}

TEST(Matmul, ThreeTermsAreSummedLeftToRight) {
  // (1e16 - 1e16) + 1 = 1, whereas 1e16 + (-1e16 + 1) = 0
  std::vector<T> t{{0, 1e16, 0}, {-1e16, 0, 1}, {0, 0, 0}};
  std::vector<double> ones{1, 1, 1};
  EXPECT_EQ(s_matmul_t_v(t, ones)[1], 1.0);
  std::vector<T> u{{0, 0, 1e16}, {-1e16, 1, 0}, {0, 0, 0}};
  EXPECT_EQ(s_matmul_v_t(ones, u)[1], 1.0);
}

TEST(Matmul, SymmetricFromEitherSideAndAsGeneralTridiagonal) {
  for (std::size_t n = 1; n <= 9; ++n) {
    auto st = random_band<ST>(n);
    std::vector<T> t(n);
    for (std::size_t i = 0; i < n; ++i) t[i] = {st[i].diag, st[i].off, st[i].off};
    std::vector<double> x(n);
    for (double& v : x) v = draw();
    auto left = s_matmul_st_v(st, x);
    EXPECT_EQ(left, s_matmul_v_st(x, st));
    EXPECT_EQ(left, s_matmul_t_v(t, x));
  }
}

template <class L, class R>
void check_band_product(std::size_t n) {
  auto a = random_band<L>(n);
  auto b = random_band<R>(n);
  auto c = matmul_fn<L, R>{}(a, b);
  std::string what = name_of<L>() + "*" + name_of<R>() + " n=" + std::to_string(n);
  expect_same(dense_of(c), dense_product(dense_of(a), dense_of(b)), what);
  using C = typename decltype(c)::value_type;
  if constexpr (requires(C e) { e.lower; }) {
    EXPECT_EQ(c[n - 1].lower, 0.0) << what;
  }
  if constexpr (requires(C e) { e.upper; }) {
    EXPECT_EQ(c[n - 1].upper, 0.0) << what;
  }
}

template <class K>
void check_dense_operands(std::size_t n) {
  const auto m = static_cast<index_t>(n);
  auto a = random_band<K>(n);
  auto da = dense_of(a);
  std::string what = name_of<K>() + " n=" + std::to_string(n);
  std::vector<double> x(n);
  for (double& v : x) v = draw();
  array2<double> col(m, 1), row(1, m);
  for (index_t i = 1; i <= m; ++i) col(i, 1) = row(1, i) = x[static_cast<std::size_t>(i - 1)];
  EXPECT_EQ(matmul(a, x), dense_product(da, col).storage()) << what;
  EXPECT_EQ(matmul(x, a), dense_product(row, da).storage()) << what;
  auto right = random_dense(m, 3);
  auto left = random_dense(2, m);
  expect_same(matmul(a, right), dense_product(da, right), what + " * m");
  expect_same(matmul(left, a), dense_product(left, da), "m * " + what);
  auto at = transpose(a);
  auto dat = dense_of(at);
  for (index_t j = 1; j <= m; ++j)
    for (index_t i = 1; i <= m; ++i) EXPECT_EQ(dat(i, j), da(j, i)) << what;
  auto back = transpose(at);
  for (std::size_t i = 0; i < n; ++i) {
    EXPECT_EQ(back[i].diag, a[i].diag);
    if constexpr (stores_lower<K>) {
      EXPECT_EQ(below(back[i]), below(a[i])) << what;
    }
    if constexpr (stores_upper<K>) {
      EXPECT_EQ(above(back[i]), above(a[i])) << what;
    }
  }
}

TEST(Matmul, AgreesWithDenseProductsForAllKindsAndSizes) {
  for (std::size_t n = 1; n <= 9; ++n) {
    for_each_type<kinds>([&]<class L>(std::type_identity<L>) {
      check_dense_operands<L>(n);
      for_each_type<kinds>([&]<class R>(std::type_identity<R>) {
        if constexpr (band_product_exists<L, R>) check_band_product<L, R>(n);
      });
    });
  }
}

TEST(Matmul, AcceptsStridedVectorsAndPaddedMatrices) {
  auto a = random_band<T>(3);
  std::vector<double> storage{1, -1, 2, -1, 3};
  vector_view<const double> x(storage.data(), 3, 2);
  EXPECT_EQ(s_matmul_t_v(a, x), s_matmul_t_v(a, std::vector<double>{1, 2, 3}));
  std::vector<double> padded{1, 2, 3, 99, 4, 5, 6, 99};  // 3 x 2 in a leading dimension of 4
  matrix_view<const double> m(padded.data(), 3, 2, 4);
  auto r = s_matmul_t_m(a, m);
  EXPECT_EQ(r.col(2).to_vector(), s_matmul_t_v(a, std::vector<double>{4, 5, 6}));
}

TEST(Matmul, TransposeOfTridiagonalExchangesLowerAndUpperInEveryElement) {
  std::vector<T> t{{1, 2, 3}, {4, 5, 6}};
  auto r = s_transpose_t(t);
  EXPECT_EQ(r[1].lower, 6.0);
  EXPECT_EQ(r[1].upper, 5.0);
  auto back = s_transpose_t(r);
  EXPECT_EQ(back == t, (std::vector<bool>{true, true}));
  auto rb = s_transpose_lb(std::vector<LB>{{7, 8}});
  EXPECT_EQ(rb[0].upper, 8.0);
}

TEST(Matmul, MismatchedSizesStop) {
  std::vector<ST> st(3);
  EXPECT_EXIT(s_matmul_st_v(st, std::vector<double>(2)), ::testing::ExitedWithCode(1),
              "^\\*\\* operand sizes differ \\[sparse_core::s_matmul_st_v\\]\n$");
  array2<double> m(2, 3);
  EXPECT_EXIT(s_matmul_st_m(st, m.view()), ::testing::ExitedWithCode(1),
              "^\\*\\* operand sizes differ \\[sparse_core::s_matmul_st_m\\]\n$");
  EXPECT_EXIT(s_matmul_d_st(std::vector<D>(2), st), ::testing::ExitedWithCode(1),
              "^\\*\\* operand sizes differ \\[sparse_core::s_matmul_d_st\\]\n$");
  EXPECT_EQ(matmul(m, st).cols(), 3);  // 2 x 3 times 3 x 3 is fine
}

TEST(Matmul, EmptyOperandsGiveEmptyResults) {
  std::vector<T> none;
  EXPECT_TRUE(matmul(none, std::vector<double>{}).empty());
  EXPECT_TRUE(s_matmul_t_d(none, std::vector<D>{}).empty());
  EXPECT_EQ(matmul(none, array2<double>(0, 4)).cols(), 4);
}

}  // namespace
}  // namespace ltide::sparse
