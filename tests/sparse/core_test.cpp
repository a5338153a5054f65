#include "sparse/core.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <tuple>
#include <vector>

#include "banded.hpp"

namespace ltide::sparse {
namespace {

using namespace test;

template <class Tuple, class F>
void for_each_type(F&& f) {
  [&]<class... X>(std::tuple<X...>*) { (f(std::type_identity<X>{}), ...); }(static_cast<Tuple*>(nullptr));
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
  using operands = std::tuple<double, D, LB, RB, ST, T>;
  const auto random = []<class K>(std::type_identity<K>, std::size_t n) {
    if constexpr (std::is_same_v<K, double>) return draw(); else return random_band<K>(n);
  };
  const auto at = [](const auto& x, std::size_t k) {
    if constexpr (std::is_same_v<std::decay_t<decltype(x)>, double>) return entries(x); else return entries(x[k]);
  };
  int i = 0;
  for_each_type<operands>([&]<class L>(std::type_identity<L> l) {
    int j = 0;
    for_each_type<operands>([&]<class R>(std::type_identity<R> r) {
      if constexpr (std::is_same_v<L, double> && std::is_same_v<R, double>) {
        EXPECT_FALSE((requires { typename element_fn<Op, double, double>; }));
      } else {
        for (std::size_t n = 0; n <= 9; ++n) {
          const auto a = random(l, n), b = random(r, n);
          const auto c = element_fn<Op, L, R>{}(a, b);
          using C = typename decltype(c)::value_type;
          const std::string what = std::string(Op::name) + " " + name_of<L> + " " + name_of<R>;
          EXPECT_EQ(name_of<C>, table[i][j]) << what;
          ASSERT_EQ(c.size(), n) << what;
          for (std::size_t k = 0; k < n; ++k)
            for (int s = 0; s < 3; ++s) {
              const double want = stored<C>[s] ? Op::apply(at(a, k)[s], at(b, k)[s]) : 0.0;
              EXPECT_EQ(entries(c[k])[s], want) << what << " n=" << n << " @" << k << "," << s;
            }
        }
      }
      ++j;
    });
    ++i;
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
    for_each_type<std::tuple<D, LB, RB, ST, T>>([&]<class L>(std::type_identity<L>) {
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
      for_each_type<std::tuple<D, LB, RB, ST, T>>([&]<class R>(std::type_identity<R>) {
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
  const double nan = std::numeric_limits<double>::quiet_NaN();
  const std::vector<double> ones{1, 1, 1}, strided{1, -1, 2, -1, 3}, padded{1, 2, 3, 99, 4, 5, 6, 99};
  const std::vector<T> t3{{1, 2, 3}, {4, 5, 6}, {7, 8, 9}}, t{{1, 2, 2}, {1, 2, 3}, {0, 2, 2}};
  const std::vector<T> cancel{{0, 1e16, 0}, {-1e16, 0, 1}, {}};  // (1e16 - 1e16) + 1, not 1e16 + (-1e16 + 1)
  const std::vector<ST> st{{1, 2}, {1, 2}, {1, 2}};
  const std::vector<D> nans{{nan}, {-0.0}}, zeros{{nan}, {0.0}};
  const struct { const char* what; std::vector<double> got, want; } cases[] = {
      {"RB - LB negates (+0 becomes -0)", flat(std::vector<RB>{{5, 7}} - std::vector<LB>{{1, 0}}), {4, -0.0, 7}},
      {"ST == T needs off on both sides", flat(st == t), {1, 0, 0}},
      {"NaN is unequal, -0 equals +0", flat(nans == zeros), {0, 1}},
      {"D != D", flat(s_ne_d_d(nans, zeros)), {1, 0}},
      {"vector == vector is per element", flat(std::vector<RB>{{1, 2}} == std::vector<RB>{{1, 3}}), {0}},
      {"T v summed left to right", flat(s_matmul_t_v(cancel, ones)), {0, 1, 0}},
      {"v T summed left to right", flat(s_matmul_v_t(ones, transpose(cancel))), {0, 1, 0}},
      {"strided vector", flat(s_matmul_t_v(t3, vector_view<const double>(strided.data(), 3, 2))), {7, 28, 31}},
      {"padded matrix", s_matmul_t_m(t3, matrix_view<const double>(padded.data(), 3, 2, 4)).storage(),
       {7, 28, 31, 19, 64, 67}},
      {"span operands", flat(std::span<const T>(t) * std::span<const ST>(st)), flat(s_prod_t_st(t, st))},
      {"empty operands", flat(matmul(std::vector<T>{}, std::vector<double>{})), {}},
  };
  const auto same_bits = [](double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; };  // -0 is not +0
  for (const auto& c : cases)
    EXPECT_TRUE(std::equal(c.got.begin(), c.got.end(), c.want.begin(), c.want.end(), same_bits))
        << c.what << ": " << ::testing::PrintToString(c.got);
}

TEST(BandedOperatorsDeathTest, OperandsOfDifferentSizesStop) {
  const std::vector<ST> st(3);
  EXPECT_EXIT(s_sum_lb_rb(std::vector<LB>(3), std::vector<RB>(2)), ::testing::ExitedWithCode(1),
              "^\\*\\* operand sizes differ \\[sparse_core::s_sum_lb_rb\\]\n$");
  EXPECT_EXIT(s_matmul_st_m(st, array2<double>(2, 3).view()), ::testing::ExitedWithCode(1),
              "\\[sparse_core::s_matmul_st_m\\]");
  EXPECT_EQ(matmul(array2<double>(2, 3), st).cols(), 3);  // 2 x 3 times 3 x 3 is fine
}

}  // namespace
}  // namespace ltide::sparse
