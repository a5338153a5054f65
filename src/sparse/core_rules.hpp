#pragma once
// The rules behind the banded operators. Each kind is described only by which
// off-diagonal bands it stores (and whether one stored value serves both, as for ST);
// the result kind of every operation and every result entry follow from that
// description, so the named operators in core.hpp are thin instances of the templates
// here.
#include <cstddef>
#include <span>
#include <string_view>
#include <tuple>
#include <type_traits>
#include <utility>
#include <vector>

#include <ltide/common/view.hpp>
#include <ltide/sparse/kinds.hpp>

namespace ltide::sparse {

// The operand kinds of the tables below, in their row and column order (scalar first).
enum class kind_id : unsigned char { none, s, d, lb, rb, st, t };

// Where each kind keeps its off-diagonal entries: `lower` points at the component
// holding A(i+1, i), `upper` at A(i, i+1), nullptr when the kind has no such band.
// ST points both at `off`: the shared storage is what makes the kind symmetric.
template <class K>
struct band_traits;

template <>
struct band_traits<D> {
  static constexpr double D::*lower = nullptr;
  static constexpr double D::*upper = nullptr;
  static constexpr kind_id id = kind_id::d;
  static constexpr std::string_view letter = "d";
};
template <>
struct band_traits<LB> {
  static constexpr double LB::*lower = &LB::lower;
  static constexpr double LB::*upper = nullptr;
  static constexpr kind_id id = kind_id::lb;
  static constexpr std::string_view letter = "lb";
};
template <>
struct band_traits<RB> {
  static constexpr double RB::*lower = nullptr;
  static constexpr double RB::*upper = &RB::upper;
  static constexpr kind_id id = kind_id::rb;
  static constexpr std::string_view letter = "rb";
};
template <>
struct band_traits<ST> {
  static constexpr double ST::*lower = &ST::off;
  static constexpr double ST::*upper = &ST::off;
  static constexpr kind_id id = kind_id::st;
  static constexpr std::string_view letter = "st";
};
template <>
struct band_traits<T> {
  static constexpr double T::*lower = &T::lower;
  static constexpr double T::*upper = &T::upper;
  static constexpr kind_id id = kind_id::t;
  static constexpr std::string_view letter = "t";
};

template <class K>
concept band_kind = requires { band_traits<K>::id; };

// A real scalar operand is a double; it combines with every stored component.
template <class K>
concept element_operand = band_kind<K> || std::same_as<K, double>;

template <band_kind K>
inline constexpr bool has_lower = band_traits<K>::lower != nullptr;
template <band_kind K>
inline constexpr bool has_upper = band_traits<K>::upper != nullptr;
template <band_kind K>
inline constexpr bool is_shared = has_lower<K> && band_traits<K>::lower == band_traits<K>::upper;

template <band_kind K>
constexpr double lower_of(const K& e) {
  return e.*band_traits<K>::lower;
}
template <band_kind K>
constexpr double upper_of(const K& e) {
  return e.*band_traits<K>::upper;
}

// ---------------------------------------------------------------------------------
// Result kinds

struct band_shape {
  bool lower = false;
  bool upper = false;
  bool shared = false;  // only meaningful with both bands
};

template <band_kind K>
inline constexpr band_shape shape_of{has_lower<K>, has_upper<K>, is_shared<K>};

constexpr std::size_t kind_index(band_shape s) {
  if (!s.lower && !s.upper) return 0;
  if (!s.upper) return 1;
  if (!s.lower) return 2;
  return s.shared ? 3 : 4;
}

// The kind with a given band: kind_at<kind_index(shape)>.
template <std::size_t I>
using kind_at = std::tuple_element_t<I, std::tuple<D, LB, RB, ST, T>>;

// Sum and difference keep every entry either operand has. The result is still
// symmetric only when neither operand has a one-sided band.
constexpr band_shape joint_band(band_shape a, band_shape b) {
  auto symmetric = [](band_shape s) { return s.shared || (!s.lower && !s.upper); };
  band_shape r{a.lower || b.lower, a.upper || b.upper, false};
  r.shared = r.lower && r.upper && symmetric(a) && symmetric(b);
  return r;
}

// Product and quotient act entry by entry, so only the entries both operands have survive.
constexpr band_shape shared_band(band_shape a, band_shape b) {
  return {a.lower && b.lower, a.upper && b.upper, a.shared && b.shared};
}

// A scalar leaves the kind of the other operand unchanged.
template <class L, class R>
struct joint_kind {
  using type = kind_at<kind_index(joint_band(shape_of<L>, shape_of<R>))>;
};
template <band_kind R>
struct joint_kind<double, R> {
  using type = R;
};
template <band_kind L>
struct joint_kind<L, double> {
  using type = L;
};
template <class L, class R>
struct shared_kind {
  using type = kind_at<kind_index(shared_band(shape_of<L>, shape_of<R>))>;
};
template <band_kind R>
struct shared_kind<double, R> {
  using type = R;
};
template <band_kind L>
struct shared_kind<L, double> {
  using type = L;
};
template <class L, class R>
using joint_kind_t = typename joint_kind<L, R>::type;
template <class L, class R>
using shared_kind_t = typename shared_kind<L, R>::type;

// The result kinds written out; rows are the left operand, columns the right one.
namespace result_tables {
using enum kind_id;
inline constexpr kind_id operand_order[6] = {s, d, lb, rb, st, t};

// Sum and difference: the band that holds both operands.
inline constexpr kind_id sum[6][6] = {
    //  s     d   lb  rb  st  t
    {none, d, lb, rb, st, t},  // s
    {d, d, lb, rb, st, t},     // d
    {lb, lb, lb, t, t, t},     // lb
    {rb, rb, t, rb, t, t},     // rb
    {st, st, t, t, st, t},     // st
    {t, t, t, t, t, t},        // t
};

// Product and quotient: the band that both operands share.
inline constexpr kind_id product[6][6] = {
    //  s     d  lb  rb  st  t
    {none, d, lb, rb, st, t},  // s
    {d, d, d, d, d, d},        // d
    {lb, d, lb, d, lb, lb},    // lb
    {rb, d, d, rb, rb, rb},    // rb
    {st, d, lb, rb, st, t},    // st
    {t, d, lb, rb, t, t},      // t
};
}  // namespace result_tables

template <class K>
inline constexpr kind_id id_of = band_traits<K>::id;
template <>
inline constexpr kind_id id_of<double> = kind_id::s;

using operand_kinds = std::tuple<double, D, LB, RB, ST, T>;

template <template <class, class> class Result, std::size_t I, std::size_t J>
constexpr kind_id derived_kind() {
  if constexpr (I == 0 && J == 0) {
    return kind_id::none;
  } else {
    return id_of<Result<std::tuple_element_t<I, operand_kinds>, std::tuple_element_t<J, operand_kinds>>>;
  }
}

template <template <class, class> class Result>
constexpr bool follows_table(const kind_id (&table)[6][6]) {
  return []<std::size_t... IJ>(const kind_id(&tab)[6][6], std::index_sequence<IJ...>) {
    return ((tab[IJ / 6][IJ % 6] == derived_kind<Result, IJ / 6, IJ % 6>()) && ...);
  }(table, std::make_index_sequence<36>{});
}

static_assert(follows_table<joint_kind_t>(result_tables::sum));
static_assert(follows_table<shared_kind_t>(result_tables::product));

// A true matrix product stays tridiagonal only when at most one factor reaches below
// the diagonal and at most one above it; the result has the band of both factors and
// is never symmetric in general (D times ST is not).
template <class L, class R>
concept band_product_exists = band_kind<L> && band_kind<R> && !(has_lower<L> && has_lower<R>) &&
                              !(has_upper<L> && has_upper<R>);

template <class L, class R>
  requires band_product_exists<L, R>
using matmul_kind_t = kind_at<kind_index({has_lower<L> || has_lower<R>, has_upper<L> || has_upper<R>, false})>;

template <band_kind K>
using transpose_kind_t = kind_at<kind_index({has_upper<K>, has_lower<K>, is_shared<K>})>;

// Comparisons exist between kinds storing the same positions (ST against T included).
template <class L, class R>
concept comparable_kinds = band_kind<L> && band_kind<R> && has_lower<L> == has_lower<R> &&
                           has_upper<L> == has_upper<R>;

// ---------------------------------------------------------------------------------
// Element operators, one element at a time

struct op_sum {
  static constexpr std::string_view name = "sum";
  template <class L, class R>
  using result = joint_kind_t<L, R>;
  static constexpr double apply(double a, double b) { return a + b; }
  static constexpr double right_only(double b) { return b; }
};
struct op_diff {
  static constexpr std::string_view name = "diff";
  template <class L, class R>
  using result = joint_kind_t<L, R>;
  static constexpr double apply(double a, double b) { return a - b; }
  // Negated, not subtracted from zero: a +0 entry becomes -0.
  static constexpr double right_only(double b) { return -b; }
};
// Product and quotient never see an entry that only one operand has.
struct op_prod {
  static constexpr std::string_view name = "prod";
  template <class L, class R>
  using result = shared_kind_t<L, R>;
  static constexpr double apply(double a, double b) { return a * b; }
};
struct op_quot {
  static constexpr std::string_view name = "quot";
  template <class L, class R>
  using result = shared_kind_t<L, R>;
  static constexpr double apply(double a, double b) { return a / b; }
};

template <class Op, class L, class R>
using element_result_t = typename Op::template result<L, R>;

// Visits the member pointer of every stored component: diag, then the off-diagonal
// ones (the shared one of ST once).
template <band_kind K, class F>
constexpr void for_each_stored(F&& f) {
  f(&K::diag);
  if constexpr (has_lower<K>) f(band_traits<K>::lower);
  if constexpr (has_upper<K> && !is_shared<K>) f(band_traits<K>::upper);
}

struct lower_side {
  template <band_kind K>
  static constexpr double K::*member = band_traits<K>::lower;
};
struct upper_side {
  template <band_kind K>
  static constexpr double K::*member = band_traits<K>::upper;
};

// One off-diagonal entry of a sum, difference, product or quotient of two kinds.
template <class Op, class Side, band_kind L, band_kind R>
constexpr double band_entry(const L& a, const R& b) {
  constexpr auto ml = Side::template member<L>;
  constexpr auto mr = Side::template member<R>;
  if constexpr (ml != nullptr && mr != nullptr) {
    return Op::apply(a.*ml, b.*mr);
  } else if constexpr (ml != nullptr) {
    return a.*ml;
  } else {
    return Op::right_only(b.*mr);
  }
}

// The operand order is kept in every operation: s - X is s minus each component,
// X / s each component divided by s.
template <class Op, element_operand L, element_operand R>
constexpr element_result_t<Op, L, R> combine(const L& a, const R& b) {
  using C = element_result_t<Op, L, R>;
  C c{};
  if constexpr (std::same_as<L, double>) {
    for_each_stored<C>([&](double C::*m) { c.*m = Op::apply(a, b.*m); });
  } else if constexpr (std::same_as<R, double>) {
    for_each_stored<C>([&](double C::*m) { c.*m = Op::apply(a.*m, b); });
  } else {
    c.diag = Op::apply(a.diag, b.diag);
    if constexpr (has_lower<C>) c.*band_traits<C>::lower = band_entry<Op, lower_side>(a, b);
    if constexpr (has_upper<C> && !is_shared<C>) c.*band_traits<C>::upper = band_entry<Op, upper_side>(a, b);
  }
  return c;
}

// Every stored entry equal; for ST against T the off value must equal both sides.
template <band_kind L, band_kind R>
  requires comparable_kinds<L, R>
constexpr bool same_entries(const L& a, const R& b) {
  bool eq = a.diag == b.diag;
  if constexpr (has_lower<L>) eq = eq && lower_of(a) == lower_of(b);
  if constexpr (has_upper<L>) eq = eq && upper_of(a) == upper_of(b);
  return eq;
}

// ---------------------------------------------------------------------------------
// Matrix products. The off-diagonal components of element n are outside the matrix
// and are never read.

// Entry i of A x, or of x A when Transposed (x a row vector), uses entries i-1, i, i+1
// of x in that order, summed left to right: l_{i-1} x_{i-1} + d_i x_i + u_i x_{i+1} for
// A x and x_{i-1} u_{i-1} + x_i d_i + x_{i+1} l_i for x A.
template <bool Transposed, band_kind K>
void apply_band(std::span<const K> a, vector_view<const double> x, vector_view<double> r) {
  auto times = [](double entry, double xi) {
    if constexpr (Transposed) {
      return xi * entry;
    } else {
      return entry * xi;
    }
  };
  constexpr bool before = Transposed ? has_upper<K> : has_lower<K>;
  constexpr bool after = Transposed ? has_lower<K> : has_upper<K>;
  const auto n = static_cast<index_t>(a.size());
  for (index_t i = 0; i < n; ++i) {
    const auto k = static_cast<std::size_t>(i);
    double s = times(a[k].diag, x[i]);
    if constexpr (before) {
      if (i > 0) {
        if constexpr (Transposed) {
          s = times(upper_of(a[k - 1]), x[i - 1]) + s;
        } else {
          s = times(lower_of(a[k - 1]), x[i - 1]) + s;
        }
      }
    }
    if constexpr (after) {
      if (i + 1 < n) {
        if constexpr (Transposed) {
          s = s + times(lower_of(a[k]), x[i + 1]);
        } else {
          s = s + times(upper_of(a[k]), x[i + 1]);
        }
      }
    }
    r[i] = s;
  }
}

// A B for two banded factors whose product stays tridiagonal. With at most one factor
// reaching below and one above the diagonal, each off-diagonal entry has one term and
// the diagonal at most two, the diagonal product first:
// C(i,i) = d_i d'_i + l_{i-1} u'_{i-1} (LB RB) or d_i d'_i + u_i l'_i (RB LB).
template <band_kind L, band_kind R>
  requires band_product_exists<L, R>
std::vector<matmul_kind_t<L, R>> multiply_bands(std::span<const L> a, std::span<const R> b) {
  using C = matmul_kind_t<L, R>;
  const std::size_t n = a.size();
  std::vector<C> c(n);  // zero elements: the off-diagonal of element n stays 0
  for (std::size_t i = 0; i < n; ++i) {
    double s = a[i].diag * b[i].diag;
    if constexpr (has_lower<L> && has_upper<R>) {
      if (i > 0) s = s + lower_of(a[i - 1]) * upper_of(b[i - 1]);
    }
    if constexpr (has_upper<L> && has_lower<R>) {
      if (i + 1 < n) s = s + upper_of(a[i]) * lower_of(b[i]);
    }
    c[i].diag = s;
  }
  for (std::size_t i = 0; i + 1 < n; ++i) {
    // C(i+1, i) = A(i+1, i) B(i, i) + A(i+1, i+1) B(i+1, i), one of them present.
    if constexpr (has_lower<L>) {
      c[i].lower = lower_of(a[i]) * b[i].diag;
    } else if constexpr (has_lower<R>) {
      c[i].lower = a[i + 1].diag * lower_of(b[i]);
    }
    // C(i, i+1) = A(i, i) B(i, i+1) + A(i, i+1) B(i+1, i+1), one of them present.
    if constexpr (has_upper<R>) {
      c[i].upper = a[i].diag * upper_of(b[i]);
    } else if constexpr (has_upper<L>) {
      c[i].upper = upper_of(a[i]) * b[i + 1].diag;
    }
  }
  return c;
}

// Every element is transposed, element n included: the lower entry becomes the upper.
template <band_kind K>
std::vector<transpose_kind_t<K>> transpose_band(std::span<const K> a) {
  using C = transpose_kind_t<K>;
  std::vector<C> c(a.size());
  for (std::size_t i = 0; i < a.size(); ++i) {
    c[i].diag = a[i].diag;
    if constexpr (has_lower<C>) c[i].*band_traits<C>::lower = upper_of(a[i]);
    if constexpr (has_upper<C> && !is_shared<C>) c[i].*band_traits<C>::upper = lower_of(a[i]);
  }
  return c;
}

}  // namespace ltide::sparse
