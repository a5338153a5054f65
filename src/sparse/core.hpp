#pragma once
// Arithmetic of the banded kinds: element-wise sum, difference, product and quotient
// (with each other and with real scalars), element-wise equality, true matrix products
// with diagonal, banded, vector and dense operands, and the transpose.
//
// Every named operation s_<op>_<left>_<right> is a function object; its parameters are
// std::span<const kind> for a banded operand, double for a scalar,
// vector_view<const double> for a vector and matrix_view<const double> for a dense
// matrix. Banded results come back as std::vector<kind>, vectors as
// std::vector<double>, dense results as array2<double>. Comparisons give one bool per
// element as a std::vector<bool>.
//
// The same operations are bound to +, -, *, /, == and != on std::vector<kind> and
// std::span<kind> operands (a scalar may be any arithmetic value; it is converted to
// double), and to the overloaded matmul(a, b) and transpose(a).
//
// Element operators are not matrix algebra: LB * RB is the entry-wise product on the
// band both share (a D), and s + LB adds s only to the stored entries.
//
// Operands of different sizes stop the program ("operand sizes differ").
#include <cstddef>
#include <span>
#include <string_view>
#include <type_traits>
#include <vector>

#include <ltide/common/view.hpp>
#include <ltide/sparse/core_rules.hpp>
#include <ltide/sparse/kinds.hpp>

namespace ltide::sparse {

// Operand tags of the matrix products: a real vector and a dense real matrix.
struct vec {};
struct dense {};

template <class K>
struct operand_type {
  using type = std::span<const K>;
};
template <>
struct operand_type<double> {
  using type = double;
};
template <>
struct operand_type<vec> {
  using type = vector_view<const double>;
};
template <>
struct operand_type<dense> {
  using type = matrix_view<const double>;
};
template <class K>
using operand_t = typename operand_type<K>::type;

template <class K>
inline constexpr std::string_view letter_of = band_traits<K>::letter;
template <>
inline constexpr std::string_view letter_of<double> = "s";
template <>
inline constexpr std::string_view letter_of<vec> = "v";
template <>
inline constexpr std::string_view letter_of<dense> = "m";

// Stops with "** operand sizes differ [sparse_core::s_<operation>_<left>_<right>]".
[[noreturn]] void size_mismatch(std::string_view operation, std::string_view left, std::string_view right);

// ---------------------------------------------------------------------------------
// The operation templates

template <class Op, element_operand L, element_operand R>
  requires(band_kind<L> || band_kind<R>)
struct element_fn {
  std::vector<element_result_t<Op, L, R>> operator()(operand_t<L> a, operand_t<R> b) const {
    std::size_t n = 0;
    if constexpr (band_kind<L> && band_kind<R>) {
      if (a.size() != b.size()) size_mismatch(Op::name, letter_of<L>, letter_of<R>);
      n = a.size();
    } else if constexpr (band_kind<L>) {
      n = a.size();
    } else {
      n = b.size();
    }
    std::vector<element_result_t<Op, L, R>> c(n);
    for (std::size_t i = 0; i < n; ++i) c[i] = combine<Op>(pick(a, i), pick(b, i));
    return c;
  }

 private:
  static double pick(double s, std::size_t) { return s; }
  template <class K>
  static const K& pick(std::span<const K> a, std::size_t i) {
    return a[i];
  }
};

struct op_eq {
  static constexpr std::string_view name = "eq";
  static constexpr bool equal = true;
};
struct op_ne {
  static constexpr std::string_view name = "ne";
  static constexpr bool equal = false;
};

template <class Op, class L, class R>
  requires comparable_kinds<L, R>
struct compare_fn {
  std::vector<bool> operator()(std::span<const L> a, std::span<const R> b) const {
    if (a.size() != b.size()) size_mismatch(Op::name, letter_of<L>, letter_of<R>);
    std::vector<bool> r(a.size());
    for (std::size_t i = 0; i < a.size(); ++i) r[i] = same_entries(a[i], b[i]) == Op::equal;
    return r;
  }
};

template <class L, class R>
concept matmul_pair = band_product_exists<L, R> ||
                      (band_kind<L> && (std::same_as<R, vec> || std::same_as<R, dense>)) ||
                      (band_kind<R> && (std::same_as<L, vec> || std::same_as<L, dense>));

// The banded operand's order must equal the vector's length, the dense matrix's rows
// (banded on the left) or its columns (banded on the right). A dense result has the
// free dimension of the dense operand.
template <class L, class R>
  requires matmul_pair<L, R>
struct matmul_fn {
  auto operator()(operand_t<L> a, operand_t<R> b) const {
    if constexpr (band_kind<L> && band_kind<R>) {
      check(a.size() == b.size());
      return multiply_bands<L, R>(a, b);
    } else if constexpr (std::same_as<R, vec>) {
      const auto n = static_cast<index_t>(a.size());
      check(b.size == n);
      std::vector<double> r(a.size());
      apply_band<false>(a, b, vector_view<double>(r));
      return r;
    } else if constexpr (std::same_as<R, dense>) {
      const auto n = static_cast<index_t>(a.size());
      check(b.rows == n);
      array2<double> r(n, b.cols);
      for (index_t j = 1; j <= r.cols(); ++j) apply_band<false>(a, b.col(j), r.col(j));
      return r;
    } else if constexpr (std::same_as<L, vec>) {
      const auto n = static_cast<index_t>(b.size());
      check(a.size == n);
      std::vector<double> r(b.size());
      apply_band<true>(b, a, vector_view<double>(r));
      return r;
    } else {
      const auto n = static_cast<index_t>(b.size());
      check(a.cols == n);
      array2<double> r(a.rows, n);
      for (index_t i = 1; i <= r.rows(); ++i) apply_band<true>(b, a.row(i), r.view().row(i));
      return r;
    }
  }

 private:
  static void check(bool same) {
    if (!same) size_mismatch("matmul", letter_of<L>, letter_of<R>);
  }
};

template <band_kind K>
struct transpose_fn {
  std::vector<transpose_kind_t<K>> operator()(std::span<const K> a) const { return transpose_band(a); }
};

// ---------------------------------------------------------------------------------
// The named operations

inline constexpr element_fn<op_sum, double, D> s_sum_s_d{};
inline constexpr element_fn<op_sum, double, LB> s_sum_s_lb{};
inline constexpr element_fn<op_sum, double, RB> s_sum_s_rb{};
inline constexpr element_fn<op_sum, double, ST> s_sum_s_st{};
inline constexpr element_fn<op_sum, double, T> s_sum_s_t{};
inline constexpr element_fn<op_sum, D, double> s_sum_d_s{};
inline constexpr element_fn<op_sum, D, D> s_sum_d_d{};
inline constexpr element_fn<op_sum, D, LB> s_sum_d_lb{};
inline constexpr element_fn<op_sum, D, RB> s_sum_d_rb{};
inline constexpr element_fn<op_sum, D, ST> s_sum_d_st{};
inline constexpr element_fn<op_sum, D, T> s_sum_d_t{};
inline constexpr element_fn<op_sum, LB, double> s_sum_lb_s{};
inline constexpr element_fn<op_sum, LB, D> s_sum_lb_d{};
inline constexpr element_fn<op_sum, LB, LB> s_sum_lb_lb{};
inline constexpr element_fn<op_sum, LB, RB> s_sum_lb_rb{};
inline constexpr element_fn<op_sum, LB, ST> s_sum_lb_st{};
inline constexpr element_fn<op_sum, LB, T> s_sum_lb_t{};
inline constexpr element_fn<op_sum, RB, double> s_sum_rb_s{};
inline constexpr element_fn<op_sum, RB, D> s_sum_rb_d{};
inline constexpr element_fn<op_sum, RB, LB> s_sum_rb_lb{};
inline constexpr element_fn<op_sum, RB, RB> s_sum_rb_rb{};
inline constexpr element_fn<op_sum, RB, ST> s_sum_rb_st{};
inline constexpr element_fn<op_sum, RB, T> s_sum_rb_t{};
inline constexpr element_fn<op_sum, ST, double> s_sum_st_s{};
inline constexpr element_fn<op_sum, ST, D> s_sum_st_d{};
inline constexpr element_fn<op_sum, ST, LB> s_sum_st_lb{};
inline constexpr element_fn<op_sum, ST, RB> s_sum_st_rb{};
inline constexpr element_fn<op_sum, ST, ST> s_sum_st_st{};
inline constexpr element_fn<op_sum, ST, T> s_sum_st_t{};
inline constexpr element_fn<op_sum, T, double> s_sum_t_s{};
inline constexpr element_fn<op_sum, T, D> s_sum_t_d{};
inline constexpr element_fn<op_sum, T, LB> s_sum_t_lb{};
inline constexpr element_fn<op_sum, T, RB> s_sum_t_rb{};
inline constexpr element_fn<op_sum, T, ST> s_sum_t_st{};
inline constexpr element_fn<op_sum, T, T> s_sum_t_t{};

inline constexpr element_fn<op_diff, double, D> s_diff_s_d{};
inline constexpr element_fn<op_diff, double, LB> s_diff_s_lb{};
inline constexpr element_fn<op_diff, double, RB> s_diff_s_rb{};
inline constexpr element_fn<op_diff, double, ST> s_diff_s_st{};
inline constexpr element_fn<op_diff, double, T> s_diff_s_t{};
inline constexpr element_fn<op_diff, D, double> s_diff_d_s{};
inline constexpr element_fn<op_diff, D, D> s_diff_d_d{};
inline constexpr element_fn<op_diff, D, LB> s_diff_d_lb{};
inline constexpr element_fn<op_diff, D, RB> s_diff_d_rb{};
inline constexpr element_fn<op_diff, D, ST> s_diff_d_st{};
inline constexpr element_fn<op_diff, D, T> s_diff_d_t{};
inline constexpr element_fn<op_diff, LB, double> s_diff_lb_s{};
inline constexpr element_fn<op_diff, LB, D> s_diff_lb_d{};
inline constexpr element_fn<op_diff, LB, LB> s_diff_lb_lb{};
inline constexpr element_fn<op_diff, LB, RB> s_diff_lb_rb{};
inline constexpr element_fn<op_diff, LB, ST> s_diff_lb_st{};
inline constexpr element_fn<op_diff, LB, T> s_diff_lb_t{};
inline constexpr element_fn<op_diff, RB, double> s_diff_rb_s{};
inline constexpr element_fn<op_diff, RB, D> s_diff_rb_d{};
inline constexpr element_fn<op_diff, RB, LB> s_diff_rb_lb{};
inline constexpr element_fn<op_diff, RB, RB> s_diff_rb_rb{};
inline constexpr element_fn<op_diff, RB, ST> s_diff_rb_st{};
inline constexpr element_fn<op_diff, RB, T> s_diff_rb_t{};
inline constexpr element_fn<op_diff, ST, double> s_diff_st_s{};
inline constexpr element_fn<op_diff, ST, D> s_diff_st_d{};
inline constexpr element_fn<op_diff, ST, LB> s_diff_st_lb{};
inline constexpr element_fn<op_diff, ST, RB> s_diff_st_rb{};
inline constexpr element_fn<op_diff, ST, ST> s_diff_st_st{};
inline constexpr element_fn<op_diff, ST, T> s_diff_st_t{};
inline constexpr element_fn<op_diff, T, double> s_diff_t_s{};
inline constexpr element_fn<op_diff, T, D> s_diff_t_d{};
inline constexpr element_fn<op_diff, T, LB> s_diff_t_lb{};
inline constexpr element_fn<op_diff, T, RB> s_diff_t_rb{};
inline constexpr element_fn<op_diff, T, ST> s_diff_t_st{};
inline constexpr element_fn<op_diff, T, T> s_diff_t_t{};

inline constexpr element_fn<op_prod, double, D> s_prod_s_d{};
inline constexpr element_fn<op_prod, double, LB> s_prod_s_lb{};
inline constexpr element_fn<op_prod, double, RB> s_prod_s_rb{};
inline constexpr element_fn<op_prod, double, ST> s_prod_s_st{};
inline constexpr element_fn<op_prod, double, T> s_prod_s_t{};
inline constexpr element_fn<op_prod, D, double> s_prod_d_s{};
inline constexpr element_fn<op_prod, D, D> s_prod_d_d{};
inline constexpr element_fn<op_prod, D, LB> s_prod_d_lb{};
inline constexpr element_fn<op_prod, D, RB> s_prod_d_rb{};
inline constexpr element_fn<op_prod, D, ST> s_prod_d_st{};
inline constexpr element_fn<op_prod, D, T> s_prod_d_t{};
inline constexpr element_fn<op_prod, LB, double> s_prod_lb_s{};
inline constexpr element_fn<op_prod, LB, D> s_prod_lb_d{};
inline constexpr element_fn<op_prod, LB, LB> s_prod_lb_lb{};
inline constexpr element_fn<op_prod, LB, RB> s_prod_lb_rb{};
inline constexpr element_fn<op_prod, LB, ST> s_prod_lb_st{};
inline constexpr element_fn<op_prod, LB, T> s_prod_lb_t{};
inline constexpr element_fn<op_prod, RB, double> s_prod_rb_s{};
inline constexpr element_fn<op_prod, RB, D> s_prod_rb_d{};
inline constexpr element_fn<op_prod, RB, LB> s_prod_rb_lb{};
inline constexpr element_fn<op_prod, RB, RB> s_prod_rb_rb{};
inline constexpr element_fn<op_prod, RB, ST> s_prod_rb_st{};
inline constexpr element_fn<op_prod, RB, T> s_prod_rb_t{};
inline constexpr element_fn<op_prod, ST, double> s_prod_st_s{};
inline constexpr element_fn<op_prod, ST, D> s_prod_st_d{};
inline constexpr element_fn<op_prod, ST, LB> s_prod_st_lb{};
inline constexpr element_fn<op_prod, ST, RB> s_prod_st_rb{};
inline constexpr element_fn<op_prod, ST, ST> s_prod_st_st{};
inline constexpr element_fn<op_prod, ST, T> s_prod_st_t{};
inline constexpr element_fn<op_prod, T, double> s_prod_t_s{};
inline constexpr element_fn<op_prod, T, D> s_prod_t_d{};
inline constexpr element_fn<op_prod, T, LB> s_prod_t_lb{};
inline constexpr element_fn<op_prod, T, RB> s_prod_t_rb{};
inline constexpr element_fn<op_prod, T, ST> s_prod_t_st{};
inline constexpr element_fn<op_prod, T, T> s_prod_t_t{};

inline constexpr element_fn<op_quot, double, D> s_quot_s_d{};
inline constexpr element_fn<op_quot, double, LB> s_quot_s_lb{};
inline constexpr element_fn<op_quot, double, RB> s_quot_s_rb{};
inline constexpr element_fn<op_quot, double, ST> s_quot_s_st{};
inline constexpr element_fn<op_quot, double, T> s_quot_s_t{};
inline constexpr element_fn<op_quot, D, double> s_quot_d_s{};
inline constexpr element_fn<op_quot, D, D> s_quot_d_d{};
inline constexpr element_fn<op_quot, D, LB> s_quot_d_lb{};
inline constexpr element_fn<op_quot, D, RB> s_quot_d_rb{};
inline constexpr element_fn<op_quot, D, ST> s_quot_d_st{};
inline constexpr element_fn<op_quot, D, T> s_quot_d_t{};
inline constexpr element_fn<op_quot, LB, double> s_quot_lb_s{};
inline constexpr element_fn<op_quot, LB, D> s_quot_lb_d{};
inline constexpr element_fn<op_quot, LB, LB> s_quot_lb_lb{};
inline constexpr element_fn<op_quot, LB, RB> s_quot_lb_rb{};
inline constexpr element_fn<op_quot, LB, ST> s_quot_lb_st{};
inline constexpr element_fn<op_quot, LB, T> s_quot_lb_t{};
inline constexpr element_fn<op_quot, RB, double> s_quot_rb_s{};
inline constexpr element_fn<op_quot, RB, D> s_quot_rb_d{};
inline constexpr element_fn<op_quot, RB, LB> s_quot_rb_lb{};
inline constexpr element_fn<op_quot, RB, RB> s_quot_rb_rb{};
inline constexpr element_fn<op_quot, RB, ST> s_quot_rb_st{};
inline constexpr element_fn<op_quot, RB, T> s_quot_rb_t{};
inline constexpr element_fn<op_quot, ST, double> s_quot_st_s{};
inline constexpr element_fn<op_quot, ST, D> s_quot_st_d{};
inline constexpr element_fn<op_quot, ST, LB> s_quot_st_lb{};
inline constexpr element_fn<op_quot, ST, RB> s_quot_st_rb{};
inline constexpr element_fn<op_quot, ST, ST> s_quot_st_st{};
inline constexpr element_fn<op_quot, ST, T> s_quot_st_t{};
inline constexpr element_fn<op_quot, T, double> s_quot_t_s{};
inline constexpr element_fn<op_quot, T, D> s_quot_t_d{};
inline constexpr element_fn<op_quot, T, LB> s_quot_t_lb{};
inline constexpr element_fn<op_quot, T, RB> s_quot_t_rb{};
inline constexpr element_fn<op_quot, T, ST> s_quot_t_st{};
inline constexpr element_fn<op_quot, T, T> s_quot_t_t{};

inline constexpr compare_fn<op_eq, D, D> s_eq_d_d{};
inline constexpr compare_fn<op_eq, LB, LB> s_eq_lb_lb{};
inline constexpr compare_fn<op_eq, RB, RB> s_eq_rb_rb{};
inline constexpr compare_fn<op_eq, ST, ST> s_eq_st_st{};
inline constexpr compare_fn<op_eq, ST, T> s_eq_st_t{};
inline constexpr compare_fn<op_eq, T, ST> s_eq_t_st{};
inline constexpr compare_fn<op_eq, T, T> s_eq_t_t{};
inline constexpr compare_fn<op_ne, D, D> s_ne_d_d{};
inline constexpr compare_fn<op_ne, LB, LB> s_ne_lb_lb{};
inline constexpr compare_fn<op_ne, RB, RB> s_ne_rb_rb{};
inline constexpr compare_fn<op_ne, ST, ST> s_ne_st_st{};
inline constexpr compare_fn<op_ne, ST, T> s_ne_st_t{};
inline constexpr compare_fn<op_ne, T, ST> s_ne_t_st{};
inline constexpr compare_fn<op_ne, T, T> s_ne_t_t{};

inline constexpr matmul_fn<vec, D> s_matmul_v_d{};
inline constexpr matmul_fn<vec, LB> s_matmul_v_lb{};
inline constexpr matmul_fn<vec, RB> s_matmul_v_rb{};
inline constexpr matmul_fn<vec, ST> s_matmul_v_st{};
inline constexpr matmul_fn<vec, T> s_matmul_v_t{};
inline constexpr matmul_fn<dense, D> s_matmul_m_d{};
inline constexpr matmul_fn<dense, LB> s_matmul_m_lb{};
inline constexpr matmul_fn<dense, RB> s_matmul_m_rb{};
inline constexpr matmul_fn<dense, ST> s_matmul_m_st{};
inline constexpr matmul_fn<dense, T> s_matmul_m_t{};
inline constexpr matmul_fn<D, vec> s_matmul_d_v{};
inline constexpr matmul_fn<D, dense> s_matmul_d_m{};
inline constexpr matmul_fn<D, D> s_matmul_d_d{};
inline constexpr matmul_fn<D, LB> s_matmul_d_lb{};
inline constexpr matmul_fn<D, RB> s_matmul_d_rb{};
inline constexpr matmul_fn<D, ST> s_matmul_d_st{};
inline constexpr matmul_fn<D, T> s_matmul_d_t{};
inline constexpr matmul_fn<LB, vec> s_matmul_lb_v{};
inline constexpr matmul_fn<LB, dense> s_matmul_lb_m{};
inline constexpr matmul_fn<LB, D> s_matmul_lb_d{};
inline constexpr matmul_fn<LB, RB> s_matmul_lb_rb{};
inline constexpr matmul_fn<RB, vec> s_matmul_rb_v{};
inline constexpr matmul_fn<RB, dense> s_matmul_rb_m{};
inline constexpr matmul_fn<RB, D> s_matmul_rb_d{};
inline constexpr matmul_fn<RB, LB> s_matmul_rb_lb{};
inline constexpr matmul_fn<ST, vec> s_matmul_st_v{};
inline constexpr matmul_fn<ST, dense> s_matmul_st_m{};
inline constexpr matmul_fn<ST, D> s_matmul_st_d{};
inline constexpr matmul_fn<T, vec> s_matmul_t_v{};
inline constexpr matmul_fn<T, dense> s_matmul_t_m{};
inline constexpr matmul_fn<T, D> s_matmul_t_d{};

inline constexpr transpose_fn<D> s_transpose_d{};
inline constexpr transpose_fn<LB> s_transpose_lb{};
inline constexpr transpose_fn<RB> s_transpose_rb{};
inline constexpr transpose_fn<ST> s_transpose_st{};
inline constexpr transpose_fn<T> s_transpose_t{};

// ---------------------------------------------------------------------------------
// Operators and the overloaded matmul / transpose

template <class A>
struct operand_kind {};
template <band_kind K, class Alloc>
struct operand_kind<std::vector<K, Alloc>> {
  using type = K;
};
template <band_kind K, std::size_t E>
struct operand_kind<std::span<K, E>> {
  using type = K;
};
template <band_kind K, std::size_t E>
struct operand_kind<std::span<const K, E>> {
  using type = K;
};
template <class A>
  requires(std::is_arithmetic_v<A> && !std::same_as<A, bool>)
struct operand_kind<A> {
  using type = double;
};
template <class Alloc>
struct operand_kind<std::vector<double, Alloc>> {
  using type = vec;
};
template <class X>
  requires std::same_as<std::remove_const_t<X>, double>
struct operand_kind<vector_view<X>> {
  using type = vec;
};
template <class X>
  requires std::same_as<std::remove_const_t<X>, double>
struct operand_kind<matrix_view<X>> {
  using type = dense;
};
template <>
struct operand_kind<array2<double>> {
  using type = dense;
};
template <class A>
using operand_kind_t = typename operand_kind<A>::type;

template <class A>
concept band_array = requires { typename operand_kind<A>::type; } && band_kind<operand_kind_t<A>>;

template <class A, class B>
concept element_operands = requires {
  typename operand_kind_t<A>;
  typename operand_kind_t<B>;
} && (band_array<A> || band_array<B>) && element_operand<operand_kind_t<A>> && element_operand<operand_kind_t<B>>;

template <class A, class B>
concept comparable_arrays = band_array<A> && band_array<B> && comparable_kinds<operand_kind_t<A>, operand_kind_t<B>>;

template <class A, class B>
  requires element_operands<A, B>
auto operator+(const A& a, const B& b) {
  return element_fn<op_sum, operand_kind_t<A>, operand_kind_t<B>>{}(a, b);
}
template <class A, class B>
  requires element_operands<A, B>
auto operator-(const A& a, const B& b) {
  return element_fn<op_diff, operand_kind_t<A>, operand_kind_t<B>>{}(a, b);
}
template <class A, class B>
  requires element_operands<A, B>
auto operator*(const A& a, const B& b) {
  return element_fn<op_prod, operand_kind_t<A>, operand_kind_t<B>>{}(a, b);
}
template <class A, class B>
  requires element_operands<A, B>
auto operator/(const A& a, const B& b) {
  return element_fn<op_quot, operand_kind_t<A>, operand_kind_t<B>>{}(a, b);
}

template <class A, class B>
  requires comparable_arrays<A, B>
std::vector<bool> operator==(const A& a, const B& b) {
  return compare_fn<op_eq, operand_kind_t<A>, operand_kind_t<B>>{}(a, b);
}
template <class A, class B>
  requires comparable_arrays<A, B>
std::vector<bool> operator!=(const A& a, const B& b) {
  return compare_fn<op_ne, operand_kind_t<A>, operand_kind_t<B>>{}(a, b);
}
// std::vector's own == (one bool for the whole array) is more specialised than the
// templates above; these have its exact form plus a constraint, so they win for two
// std::vectors of the same kind.
template <class K, class Alloc>
  requires band_kind<K>
std::vector<bool> operator==(const std::vector<K, Alloc>& a, const std::vector<K, Alloc>& b) {
  return compare_fn<op_eq, K, K>{}(a, b);
}
template <class K, class Alloc>
  requires band_kind<K>
std::vector<bool> operator!=(const std::vector<K, Alloc>& a, const std::vector<K, Alloc>& b) {
  return compare_fn<op_ne, K, K>{}(a, b);
}

inline matrix_view<const double> as_operand(const array2<double>& m) { return m.view(); }
template <class A>
const A& as_operand(const A& a) {
  return a;
}

template <class A, class B>
  requires matmul_pair<operand_kind_t<A>, operand_kind_t<B>>
auto matmul(const A& a, const B& b) {
  return matmul_fn<operand_kind_t<A>, operand_kind_t<B>>{}(as_operand(a), as_operand(b));
}

template <class A>
  requires band_array<A>
auto transpose(const A& a) {
  return transpose_fn<operand_kind_t<A>>{}(a);
}

}  // namespace ltide::sparse
