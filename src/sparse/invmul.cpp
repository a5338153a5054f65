#include <ltide/sparse/invmul.hpp>

#include <concepts>
#include <cstddef>
#include <cstdint>

#include <ltide/matrix/lapack.hpp>
#include <ltide/matrix/lapack_wrapper.hpp>

namespace ltide::sparse {
namespace {

using std::size_t;

// The two off-diagonal entries of an element: lower = A(i+1, i), upper = A(i, i+1).
// A symmetric element has both equal to its off component.
double lower_of(const LB& x) { return x.lower; }
double lower_of(const ST& x) { return x.off; }
double lower_of(const T& x) { return x.lower; }
double upper_of(const RB& x) { return x.upper; }
double upper_of(const ST& x) { return x.off; }
double upper_of(const T& x) { return x.upper; }

template <class K>
concept has_lower = requires(const K& k) { k.lower; };
template <class K>
concept has_upper = requires(const K& k) { k.upper; };

// D^-1 times a banded matrix keeps the band, but scaling the rows of a symmetric matrix
// by different factors breaks the symmetry.
template <class K>
struct row_scaled {
  using type = K;
};
template <>
struct row_scaled<ST> {
  using type = T;
};

// Every entry of b divided by the diagonal entry of its row: the lower entry of element
// i sits in row i+1, the upper entry in row i.
template <class K>
std::vector<typename row_scaled<K>::type> divide_rows(std::span<const D> A, std::span<const K> b) {
  using R = typename row_scaled<K>::type;
  const size_t n = A.size();
  std::vector<R> x(n);
  for (size_t i = 0; i < n; ++i) {
    x[i].diag = b[i].diag / A[i].diag;
    if (i + 1 < n) {
      if constexpr (has_lower<R>) x[i].lower = lower_of(b[i]) / A[i + 1].diag;
      if constexpr (has_upper<R>) x[i].upper = upper_of(b[i]) / A[i].diag;
    }
  }
  return x;
}

// Column solvers: x[0..n) = A^-1 b with n = A.size() (n >= 1); g is work space of n.

void solve_column(std::span<const D> A, vector_view<const double> b, double* x, double*) {
  for (size_t i = 0; i < A.size(); ++i) x[i] = b[static_cast<index_t>(i)] / A[i].diag;
}

void solve_column(std::span<const LB> A, vector_view<const double> b, double* x, double*) {
  const size_t n = A.size();
  x[0] = b[0] / A[0].diag;
  for (size_t i = 1; i < n; ++i) x[i] = (b[static_cast<index_t>(i)] - A[i - 1].lower * x[i - 1]) / A[i].diag;
}

// Each term is divided by the diagonal separately (not (b - u x) / d): the result depends
// on this grouping in the last bits.
void solve_column(std::span<const RB> A, vector_view<const double> b, double* x, double*) {
  const size_t n = A.size();
  x[n - 1] = b[static_cast<index_t>(n - 1)] / A[n - 1].diag;
  for (size_t i = n - 1; i-- > 0;)
    x[i] = b[static_cast<index_t>(i)] / A[i].diag - A[i].upper * x[i + 1] / A[i].diag;
}

// Tridiagonal elimination without pivoting: forward pass with pivots p (kept as one
// running value) and multipliers g, the intermediate y held in x, then back substitution.
template <class K>
  requires std::same_as<K, ST> || std::same_as<K, T>
void solve_column(std::span<const K> A, vector_view<const double> b, double* x, double* g) {
  const size_t n = A.size();
  double p = A[0].diag;
  x[0] = b[0] / A[0].diag;
  for (size_t i = 1; i < n; ++i) {
    g[i] = upper_of(A[i - 1]) / p;
    p = A[i].diag - g[i] * lower_of(A[i - 1]);
    x[i] = (b[static_cast<index_t>(i)] - lower_of(A[i - 1]) * x[i - 1]) / p;
  }
  for (size_t i = n - 1; i-- > 0;) x[i] = x[i] - g[i + 1] * x[i + 1];
}

template <class K>
constexpr bool needs_multipliers = std::same_as<K, ST> || std::same_as<K, T>;

template <class K>
std::vector<double> solve_vector(std::span<const K> A, vector_view<const double> b) {
  std::vector<double> x(A.size());
  if (A.empty()) return x;
  std::vector<double> g(needs_multipliers<K> ? A.size() : 0);
  solve_column(A, b, x.data(), g.data());
  return x;
}

template <class K>
array2<double> solve_matrix(std::span<const K> A, matrix_view<const double> C) {
  const auto n = static_cast<index_t>(A.size());
  array2<double> X(n, C.cols);
  if (n == 0) return X;
  std::vector<double> g(needs_multipliers<K> ? A.size() : 0);
  for (index_t j = 1; j <= C.cols; ++j) solve_column(A, C.col(j), X.col(j).data, g.data());
  return X;
}

}  // namespace

std::vector<double> s_invmul_d_v(std::span<const D> A, vector_view<const double> b) { return solve_vector(A, b); }
array2<double> s_invmul_d_m(std::span<const D> A, matrix_view<const double> C) { return solve_matrix(A, C); }
std::vector<D> s_invmul_d_d(std::span<const D> A, std::span<const D> b) { return divide_rows(A, b); }
std::vector<LB> s_invmul_d_lb(std::span<const D> A, std::span<const LB> b) { return divide_rows(A, b); }
std::vector<RB> s_invmul_d_rb(std::span<const D> A, std::span<const RB> b) { return divide_rows(A, b); }
std::vector<T> s_invmul_d_st(std::span<const D> A, std::span<const ST> b) { return divide_rows(A, b); }
std::vector<T> s_invmul_d_t(std::span<const D> A, std::span<const T> b) { return divide_rows(A, b); }

std::vector<double> s_invmul_lb_v(std::span<const LB> A, vector_view<const double> b) { return solve_vector(A, b); }
array2<double> s_invmul_lb_m(std::span<const LB> A, matrix_view<const double> C) { return solve_matrix(A, C); }
std::vector<double> s_invmul_rb_v(std::span<const RB> A, vector_view<const double> b) { return solve_vector(A, b); }
array2<double> s_invmul_rb_m(std::span<const RB> A, matrix_view<const double> C) { return solve_matrix(A, C); }
std::vector<double> s_invmul_st_v(std::span<const ST> A, vector_view<const double> b) { return solve_vector(A, b); }
array2<double> s_invmul_st_m(std::span<const ST> A, matrix_view<const double> C) { return solve_matrix(A, C); }
std::vector<double> s_invmul_t_v(std::span<const T> A, vector_view<const double> b) { return solve_vector(A, b); }
array2<double> s_invmul_t_m(std::span<const T> A, matrix_view<const double> C) { return solve_matrix(A, C); }

std::vector<D> s_inverse_d(std::span<const D> A) {
  std::vector<D> x(A.size());
  for (size_t i = 0; i < A.size(); ++i) x[i].diag = 1.0 / A[i].diag;
  return x;
}

void s_eigen_ST_lapack(std::span<const ST> A, vector_view<double> lambda, std::optional<matrix_view<double>> V) {
  const size_t n = A.size();
  if (n == 0) return;  // LAPACK rejects zero-length work arrays (and would print about it)

  std::vector<double> d(n);
  std::vector<double> e(n);
  for (size_t i = 0; i < n; ++i) {
    d[i] = A[i].diag;
    e[i] = A[i].off;
  }
  const double abstol = matrix::dlamch_wrap(1.0, 'S');

  const auto order = static_cast<int32_t>(n);
  const char jobz = V ? 'V' : 'N';
  const char range = 'A';
  const double vl = 0.0;
  const double vu = 0.0;
  const int32_t il = 1;
  const int32_t iu = order;
  const auto lwork = static_cast<int32_t>(int64_t{20} * order);
  const auto liwork = static_cast<int32_t>(int64_t{10} * order);
  int32_t found = 0;
  int32_t info = 0;

  // LAPACK wants contiguous storage: strided or padded outputs go through temporaries.
  std::vector<double> w_copy;
  double* w = lambda.data;
  if (lambda.stride != 1) {
    w_copy.resize(n);
    w = w_copy.data();
  }
  double z_dummy = 0.0;
  double* z = &z_dummy;
  int32_t ldz = 1;
  array2<double> z_copy;
  const bool copy_z = V && V->ld != static_cast<index_t>(n);
  if (V) {
    ldz = order;
    if (copy_z) z_copy = array2<double>(order, order);
    z = copy_z ? z_copy.data() : V->data;
  }
  std::vector<int32_t> isuppz(2 * n);
  std::vector<double> work(static_cast<size_t>(lwork));
  std::vector<int32_t> iwork(static_cast<size_t>(liwork));

  dstevr_(&jobz, &range, &order, d.data(), e.data(), &vl, &vu, &il, &iu, &abstol, &found, w, z, &ldz,
          isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1, 1);
  matrix::check_lapack_info(info, "dstevr", "sparse::s_eigen_ST_lapack");

  if (w != lambda.data)
    for (size_t i = 0; i < n; ++i) lambda[static_cast<index_t>(i)] = w[i];
  if (copy_z)
    for (index_t j = 1; j <= order; ++j)
      for (index_t i = 1; i <= order; ++i) (*V)(i, j) = z_copy(i, j);
}

}  // namespace ltide::sparse
