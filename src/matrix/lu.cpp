#include <ltide/matrix/lu.hpp>

#include <bit>
#include <cmath>
#include <cstdint>
#include <string>
#include <string_view>
#include <utility>

#include <ltide/common/fatal.hpp>
#include <ltide/common/kinds.hpp>

namespace ltide::matrix {

namespace {

// Per-precision constants. `tiny` replaces an exactly zero pivot: the smallest normal
// number, written as its bit pattern so that no decimal rounding can move it. `wide`
// carries the complex divisions (see below).
template <real_kind R>
struct precision;
template <>
struct precision<float> {
  static constexpr float tiny = std::bit_cast<float>(std::uint32_t{0x00800000U});
  using wide = double;
};
template <>
struct precision<double> {
  static constexpr double tiny = std::bit_cast<double>(std::uint64_t{0x0010000000000000ULL});
  using wide = long double;
};
static_assert(precision<float>::tiny == 1.1754943508222875e-38F);
static_assert(precision<double>::tiny == 2.2250738585072014e-308);

// Per-kind names: the routine prefix and the decomposition's tag, which is shared by
// the two real and by the two complex kinds.
template <numeric_kind T>
struct kind_names;
template <>
struct kind_names<float> {
  static constexpr std::string_view letter = "s";
  static constexpr std::string_view decompose_tag = "matrix::r_lu_decompose";
};
template <>
struct kind_names<double> {
  static constexpr std::string_view letter = "d";
  static constexpr std::string_view decompose_tag = "matrix::r_lu_decompose";
};
template <>
struct kind_names<std::complex<float>> {
  static constexpr std::string_view letter = "c";
  static constexpr std::string_view decompose_tag = "matrix::c_lu_decompose";
};
template <>
struct kind_names<std::complex<double>> {
  static constexpr std::string_view letter = "z";
  static constexpr std::string_view decompose_tag = "matrix::c_lu_decompose";
};

template <numeric_kind T>
[[noreturn, gnu::cold]] void size_mismatch(std::string_view routine) {
  std::string tag = "matrix::";
  tag.append(kind_names<T>::letter);
  tag.append(routine);
  fatal("array sizes do not match", tag);
}

// Scalar steps. The real kinds use the plain operations. For the complex kinds the
// modulus, the reciprocal and the quotient are the textbook formulas on the parts,
// formed in the next wider type and rounded once to the element precision: in the
// element precision the square of the tiny pivot (2^-252, 2^-2044) flushes to zero
// and its reciprocal would be infinite, and the product s * conj(p) would flush for
// the same pivot. Double holds the single-precision case and the x87 extended type
// the double-precision one, both with room to spare.

template <real_kind R>
R magnitude(R v) {
  return std::abs(v);
}
template <real_kind R>
R magnitude(std::complex<R> v) {
  using W = typename precision<R>::wide;
  const W re = v.real();
  const W im = v.imag();
  return static_cast<R>(std::sqrt(re * re + im * im));
}

template <real_kind R>
bool is_zero(R v) {
  return v == R(0);
}
template <real_kind R>
bool is_zero(std::complex<R> v) {
  return v.real() == R(0) && v.imag() == R(0);
}

template <real_kind R>
R mul(R a, R b) {
  return a * b;
}
// (ar + i ai)(br + i bi) without the library's infinity recovery, so that every
// element is the same four products and two sums.
template <real_kind R>
std::complex<R> mul(std::complex<R> a, std::complex<R> b) {
  return {a.real() * b.real() - a.imag() * b.imag(), a.real() * b.imag() + a.imag() * b.real()};
}

template <real_kind R>
R reciprocal(R p) {
  return R(1) / p;
}
// conj(p) / |p|^2.
template <real_kind R>
std::complex<R> reciprocal(std::complex<R> p) {
  using W = typename precision<R>::wide;
  const W pr = p.real();
  const W pi = p.imag();
  const W norm2 = pr * pr + pi * pi;
  return {static_cast<R>(pr / norm2), static_cast<R>(-pi / norm2)};
}

template <real_kind R>
R divide(R s, R p) {
  return s / p;
}
// (s * conj(p)) / |p|^2, the squared parts summed before the division.
template <real_kind R>
std::complex<R> divide(std::complex<R> s, std::complex<R> p) {
  using W = typename precision<R>::wide;
  const W sr = s.real();
  const W si = s.imag();
  const W pr = p.real();
  const W pi = p.imag();
  const W norm2 = pr * pr + pi * pi;
  const W re = sr * pr + si * pi;
  const W im = si * pr - sr * pi;
  return {static_cast<R>(re / norm2), static_cast<R>(im / norm2)};
}

template <real_kind R>
R scaled_down(R v, R scale) {
  return v / scale;
}
template <real_kind R>
std::complex<R> scaled_down(std::complex<R> v, R scale) {
  return {v.real() / scale, v.imag() / scale};
}

template <numeric_kind T>
T tiny_pivot() {
  return T(precision<real_of<T>>::tiny);
}

template <numeric_kind T>
array2<T> unit(int32_t n) {
  array2<T> u(n, n, T(0));
  for (index_t i = 1; i <= u.rows(); ++i) u(i, i) = T(1);
  return u;
}

template <numeric_kind T>
void lu_decompose(matrix_view<T> a, std::vector<int32_t>& pivot_rows, T& parity) {
  using R = real_of<T>;
  const index_t n = extent(a.rows);
  if (a.cols < n) size_mismatch<T>("_lu_decompose");
  pivot_rows.assign(static_cast<std::size_t>(n), 0);
  // The sign is kept apart and written as (+-1, 0) for the complex kinds.
  R sign = R(1);
  parity = T(sign);

  // Implicit scaling: each row is weighed by the reciprocal of its largest element, so
  // the pivot choice does not depend on how the equations were scaled.
  std::vector<R> scale(static_cast<std::size_t>(n) + 1);
  for (index_t i = 1; i <= n; ++i) {
    R big = R(0);
    for (index_t j = 1; j <= n; ++j) {
      const R m = magnitude(a(i, j));
      if (m > big) big = m;
    }
    if (big == R(0)) fatal("singular matrix", kind_names<T>::decompose_tag);
    scale[static_cast<std::size_t>(i)] = R(1) / big;
  }

  for (index_t j = 1; j <= n; ++j) {
    for (index_t i = 1; i < j; ++i) {
      T s = a(i, j);
      for (index_t k = 1; k < i; ++k) s -= mul(a(i, k), a(k, j));
      a(i, j) = s;
    }
    // ">=" lets the later of equal candidates win; starting at j keeps the pivot a
    // valid row even when every candidate is NaN and no comparison succeeds.
    R best = R(0);
    index_t pivot = j;
    for (index_t i = j; i <= n; ++i) {
      T s = a(i, j);
      for (index_t k = 1; k < j; ++k) s -= mul(a(i, k), a(k, j));
      a(i, j) = s;
      const R t = scale[static_cast<std::size_t>(i)] * magnitude(s);
      if (t >= best) {
        best = t;
        pivot = i;
      }
    }
    if (pivot != j) {
      for (index_t k = 1; k <= n; ++k) std::swap(a(pivot, k), a(j, k));
      sign = -sign;
      scale[static_cast<std::size_t>(pivot)] = scale[static_cast<std::size_t>(j)];
    }
    pivot_rows[static_cast<std::size_t>(j - 1)] = static_cast<int32_t>(pivot);
    if (is_zero(a(j, j))) a(j, j) = tiny_pivot<T>();
    if (j < n) {
      const T r = reciprocal(a(j, j));
      for (index_t i = j + 1; i <= n; ++i) a(i, j) = mul(a(i, j), r);
    }
  }
  parity = T(sign);
}

// Forward and back substitution on x (n values, overwritten), after the sizes and
// the pivot rows were checked.
template <numeric_kind T>
void substitute_in_place(matrix_view<const T> a, vector_view<const int32_t> pivot_rows, T* x_data) {
  const index_t n = extent(a.rows);
  auto x = [x_data](index_t i) -> T& { return x_data[i - 1]; };
  // Leading zeros of the permuted right-hand side contribute nothing; the inner
  // products start at the first nonzero entry.
  index_t first = 0;
  for (index_t i = 1; i <= n; ++i) {
    const index_t p = pivot_rows(i);
    T s = x(p);
    x(p) = x(i);
    if (first != 0) {
      for (index_t k = first; k < i; ++k) s -= mul(a(i, k), x(k));
    } else if (!is_zero(s)) {
      first = i;
    }
    x(i) = s;
  }
  for (index_t i = n; i >= 1; --i) {
    T s = x(i);
    for (index_t k = i + 1; k <= n; ++k) s -= mul(a(i, k), x(k));
    x(i) = divide(s, a(i, i));
  }
}

// A pivot row outside 1..n would send the permutation outside the vector.
template <numeric_kind T>
void check_factors(matrix_view<const T> a, vector_view<const int32_t> pivot_rows, std::string_view routine) {
  const index_t n = extent(a.rows);
  if (a.cols < n || pivot_rows.size < n) size_mismatch<T>(routine);
  for (index_t i = 1; i <= n; ++i)
    if (pivot_rows(i) < 1 || pivot_rows(i) > n) size_mismatch<T>(routine);
}

template <numeric_kind T>
std::vector<T> lu_substitute_vec(matrix_view<const T> a, vector_view<const int32_t> pivot_rows,
                                 vector_view<const T> b) {
  check_factors(a, pivot_rows, "_lu_substitute_vec");
  const index_t n = extent(a.rows);
  if (b.size < n) size_mismatch<T>("_lu_substitute_vec");
  std::vector<T> x(static_cast<std::size_t>(n));
  for (index_t i = 1; i <= n; ++i) x[static_cast<std::size_t>(i - 1)] = b(i);
  substitute_in_place(a, pivot_rows, x.data());
  return x;
}

// Columns of `b` are solved one after the other, each as the vector form does.
template <numeric_kind T>
array2<T> substitute_columns(matrix_view<const T> a, vector_view<const int32_t> pivot_rows,
                             matrix_view<const T> b) {
  const index_t n = extent(a.rows);
  array2<T> x(n, b.cols);
  for (index_t k = 1; k <= x.cols(); ++k) {
    for (index_t i = 1; i <= n; ++i) x(i, k) = b(i, k);
    substitute_in_place(a, pivot_rows, x.col(k).data);
  }
  return x;
}

template <numeric_kind T>
array2<T> lu_substitute(matrix_view<const T> a, vector_view<const int32_t> pivot_rows, matrix_view<const T> b) {
  check_factors(a, pivot_rows, "_lu_substitute");
  if (b.rows < extent(a.rows)) size_mismatch<T>("_lu_substitute");
  return substitute_columns(a, pivot_rows, b);
}

// The leading n-by-n block of `a`, decomposed.
template <numeric_kind T>
struct factors {
  array2<T> lu;
  std::vector<int32_t> pivot_rows;
  T parity;
};

template <numeric_kind T>
factors<T> decompose_copy(matrix_view<const T> a, std::string_view routine) {
  const index_t n = extent(a.rows);
  if (a.cols < n) size_mismatch<T>(routine);
  factors<T> f{to_array2(a.block(1, 1, n, n)), {}, T(1)};
  lu_decompose(f.lu.view(), f.pivot_rows, f.parity);
  return f;
}

template <numeric_kind T>
std::vector<T> invmul_vec(matrix_view<const T> a, vector_view<const T> b) {
  if (b.size < extent(a.rows)) size_mismatch<T>("_invmul_vec");
  const factors<T> f = decompose_copy(a, "_invmul_vec");
  return lu_substitute_vec(f.lu.view(), vector_view<const int32_t>(f.pivot_rows), b);
}

template <numeric_kind T>
array2<T> invmul(matrix_view<const T> a, matrix_view<const T> b) {
  if (b.rows < extent(a.rows)) size_mismatch<T>("_invmul");
  const factors<T> f = decompose_copy(a, "_invmul");
  return substitute_columns(f.lu.view(), vector_view<const int32_t>(f.pivot_rows), b);
}

template <numeric_kind T>
array2<T> inverse(matrix_view<const T> a) {
  const index_t n = extent(a.rows);
  if (a.cols < n) size_mismatch<T>("_inverse");
  const array2<T> identity = unit<T>(static_cast<int32_t>(n));
  return invmul(a, identity.view());
}

template <numeric_kind T>
T det(matrix_view<const T> a, std::optional<real_of<T>> scale) {
  const factors<T> f = decompose_copy(a, "_det");
  T d = f.parity;
  for (index_t i = 1; i <= f.lu.rows(); ++i) {
    d = mul(d, f.lu(i, i));
    if (scale) d = scaled_down(d, *scale);
  }
  return d;
}

using cfloat = std::complex<float>;
using cdouble = std::complex<double>;

}  // namespace

array2<float> s_unit(int32_t n, float /*x*/) { return unit<float>(n); }
array2<double> d_unit(int32_t n, double /*x*/) { return unit<double>(n); }
array2<cfloat> c_unit(int32_t n, cfloat /*x*/) { return unit<cfloat>(n); }
array2<cdouble> z_unit(int32_t n, cdouble /*x*/) { return unit<cdouble>(n); }
array2<float> s_unit_(int32_t n) {
  array2<float> u = s_unit(n, 1.0F);
  return u;
}

void s_lu_decompose(matrix_view<float> a, std::vector<int32_t>& pivot_rows, float& parity) {
  lu_decompose(a, pivot_rows, parity);
}
void d_lu_decompose(matrix_view<double> a, std::vector<int32_t>& pivot_rows, double& parity) {
  lu_decompose(a, pivot_rows, parity);
}
void c_lu_decompose(matrix_view<cfloat> a, std::vector<int32_t>& pivot_rows, cfloat& parity) {
  lu_decompose(a, pivot_rows, parity);
}
void z_lu_decompose(matrix_view<cdouble> a, std::vector<int32_t>& pivot_rows, cdouble& parity) {
  lu_decompose(a, pivot_rows, parity);
}

std::vector<float> s_lu_substitute_vec(matrix_view<const float> a, vector_view<const int32_t> pivot_rows,
                                       vector_view<const float> b) {
  return lu_substitute_vec(a, pivot_rows, b);
}
std::vector<double> d_lu_substitute_vec(matrix_view<const double> a, vector_view<const int32_t> pivot_rows,
                                        vector_view<const double> b) {
  return lu_substitute_vec(a, pivot_rows, b);
}
std::vector<cfloat> c_lu_substitute_vec(matrix_view<const cfloat> a, vector_view<const int32_t> pivot_rows,
                                        vector_view<const cfloat> b) {
  return lu_substitute_vec(a, pivot_rows, b);
}
std::vector<cdouble> z_lu_substitute_vec(matrix_view<const cdouble> a, vector_view<const int32_t> pivot_rows,
                                         vector_view<const cdouble> b) {
  return lu_substitute_vec(a, pivot_rows, b);
}

array2<float> s_lu_substitute(matrix_view<const float> a, vector_view<const int32_t> pivot_rows,
                              matrix_view<const float> b) {
  return lu_substitute(a, pivot_rows, b);
}
array2<double> d_lu_substitute(matrix_view<const double> a, vector_view<const int32_t> pivot_rows,
                               matrix_view<const double> b) {
  return lu_substitute(a, pivot_rows, b);
}
array2<cfloat> c_lu_substitute(matrix_view<const cfloat> a, vector_view<const int32_t> pivot_rows,
                               matrix_view<const cfloat> b) {
  return lu_substitute(a, pivot_rows, b);
}
array2<cdouble> z_lu_substitute(matrix_view<const cdouble> a, vector_view<const int32_t> pivot_rows,
                                matrix_view<const cdouble> b) {
  return lu_substitute(a, pivot_rows, b);
}

std::vector<float> s_invmul_vec(matrix_view<const float> a, vector_view<const float> b) { return invmul_vec(a, b); }
std::vector<double> d_invmul_vec(matrix_view<const double> a, vector_view<const double> b) {
  return invmul_vec(a, b);
}
std::vector<cfloat> c_invmul_vec(matrix_view<const cfloat> a, vector_view<const cfloat> b) {
  return invmul_vec(a, b);
}
std::vector<cdouble> z_invmul_vec(matrix_view<const cdouble> a, vector_view<const cdouble> b) {
  return invmul_vec(a, b);
}

array2<float> s_invmul(matrix_view<const float> a, matrix_view<const float> b) { return invmul(a, b); }
array2<double> d_invmul(matrix_view<const double> a, matrix_view<const double> b) { return invmul(a, b); }
array2<cfloat> c_invmul(matrix_view<const cfloat> a, matrix_view<const cfloat> b) { return invmul(a, b); }
array2<cdouble> z_invmul(matrix_view<const cdouble> a, matrix_view<const cdouble> b) { return invmul(a, b); }

array2<float> s_inverse(matrix_view<const float> a) { return inverse(a); }
array2<double> d_inverse(matrix_view<const double> a) { return inverse(a); }
array2<cfloat> c_inverse(matrix_view<const cfloat> a) { return inverse(a); }
array2<cdouble> z_inverse(matrix_view<const cdouble> a) { return inverse(a); }

float s_det(matrix_view<const float> a, std::optional<float> scale) { return det(a, scale); }
double d_det(matrix_view<const double> a, std::optional<double> scale) { return det(a, scale); }
cfloat c_det(matrix_view<const cfloat> a, std::optional<float> scale) { return det(a, scale); }
cdouble z_det(matrix_view<const cdouble> a, std::optional<double> scale) { return det(a, scale); }

}  // namespace ltide::matrix
