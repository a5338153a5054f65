// The factor matrices of the Aleph matrix, their recomposition, the dense inverse and the
// single-eigenvalue solver.
#include <cstddef>

#include <ltide/coriolis/terms.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/matrix/lapack.hpp>
#include <ltide/matrix/lapack_wrapper.hpp>
#include <ltide/matrix/lu.hpp>
#include <ltide/sparse/core.hpp>
#include <ltide/sparse/invmul.hpp>

namespace ltide::coriolis {

namespace {

using detail::J;
using detail::real;

// Element i of a factor over degrees l_0 + 2(i-1): value(l).
template <class Fn>
std::vector<sparse::D> diagonal_factor(int64_t l0, int32_t n, Fn value) {
  std::vector<sparse::D> out(static_cast<std::size_t>(extent(n)));
  for (int64_t i = 1; i <= n; ++i) out[static_cast<std::size_t>(i - 1)].diag = value(l0 + 2 * (i - 1));
  return out;
}

// Bidiagonal factor: first(l) on the diagonal of every element, second(l) as the coupling
// of elements 1..n-1; the second component of element n stays 0.
template <class K, class First, class Second>
std::vector<K> bidiagonal_factor(int64_t l0, int32_t n, First first, Second second) {
  std::vector<K> out(static_cast<std::size_t>(extent(n)));
  for (int64_t i = 1; i <= n; ++i) {
    const int64_t l = l0 + 2 * (i - 1);
    K& e = out[static_cast<std::size_t>(i - 1)];
    e.diag = first(l);
    if (i < n) {
      if constexpr (requires { e.upper; })
        e.upper = second(l);
      else
        e.lower = second(l);
    }
  }
  return out;
}

// 1 - m nu / (s(s+1)): the Coriolis term of degree s relative to the inertia term.
double rotation_factor(double mnu, int64_t s) { return 1.0 - mnu / real(s * (s + 1)); }

int64_t even_l0(int32_t m) { return first_degree(m, true); }
int64_t odd_l0(int32_t m) { return first_degree(m, false); }

}  // namespace

std::vector<sparse::D> lambda_matrix(double, int32_t m, bool even, int32_t n) {
  return diagonal_factor(first_degree(m, even), n, [](int64_t l) { return real(l * (l + 1)); });
}

std::vector<sparse::D> l_matrix(double nu, int32_t m, bool even, int32_t n) {
  const double mnu = m_nu(m, nu);
  return diagonal_factor(first_degree(m, even), n, [&](int64_t l) { return rotation_factor(mnu, l); });
}

std::vector<sparse::D> ltilde_matrix(double nu, int32_t m, bool even, int32_t n) {
  const double mnu = m_nu(m, nu);
  const int64_t shift = even ? 1 : -1;
  return diagonal_factor(first_degree(m, even), n,
                         [&](int64_t l) { return rotation_factor(mnu, l + shift); });
}

std::vector<sparse::RB> m_matrix_even(double, int32_t m, int32_t n) {
  return bidiagonal_factor<sparse::RB>(
      even_l0(m), n, [m](int64_t l) { return real(l) * J(l + 1, m) / real(l + 1); },
      [m](int64_t l) { return real(l + 3) * J(l + 2, m) / real(l + 2); });
}

std::vector<sparse::LB> mtilde_matrix_even(double, int32_t m, int32_t n) {
  return bidiagonal_factor<sparse::LB>(
      even_l0(m), n, [m](int64_t l) { return real(l + 2) * J(l + 1, m) / real(l + 1); },
      [m](int64_t l) { return real(l + 1) * J(l + 2, m) / real(l + 2); });
}

std::vector<sparse::LB> m_matrix_odd(double, int32_t m, int32_t n) {
  return bidiagonal_factor<sparse::LB>(
      odd_l0(m), n, [m](int64_t l) { return real(l + 1) * J(l, m) / real(l); },
      [m](int64_t l) { return real(l) * J(l + 1, m) / real(l + 1); });
}

std::vector<sparse::RB> mtilde_matrix_odd(double, int32_t m, int32_t n) {
  return bidiagonal_factor<sparse::RB>(
      odd_l0(m), n, [m](int64_t l) { return real(l - 1) * J(l, m) / real(l); },
      [m](int64_t l) { return real(l + 2) * J(l + 1, m) / real(l + 1); });
}

std::vector<sparse::LB> c_matrix_even(double, int32_t m, int32_t n) {
  return bidiagonal_factor<sparse::LB>(
      even_l0(m), n, [m](int64_t l) { return -(real(l + 2) * J(l + 1, m)); },
      [m](int64_t l) { return real(l + 1) * J(l + 2, m); });
}

std::vector<sparse::RB> c_matrix_odd(double, int32_t m, int32_t n) {
  return bidiagonal_factor<sparse::RB>(
      odd_l0(m), n, [m](int64_t l) { return real(l + 1) * J(l, m); },
      [m](int64_t l) { return -(real(l + 2) * J(l + 1, m)); });
}

std::vector<sparse::RB> k_matrix_even(double, int32_t m, int32_t n) {
  return bidiagonal_factor<sparse::RB>(
      even_l0(m), n, [m](int64_t l) { return J(l + 1, m) / real(l + 1); },
      [m](int64_t l) { return -J(l + 2, m) / real(l + 2); });
}

std::vector<sparse::LB> k_matrix_odd(double, int32_t m, int32_t n) {
  return bidiagonal_factor<sparse::LB>(
      odd_l0(m), n, [m](int64_t l) { return -J(l, m) / real(l); },
      [m](int64_t l) { return J(l + 1, m) / real(l + 1); });
}

std::vector<sparse::T> aleph_test(double nu, int32_t m, bool even, int32_t n) {
  using namespace sparse;
  const std::vector<D> lambda = lambda_matrix(nu, m, even, n);
  const std::vector<D> lambda_inv = s_inverse_d(lambda);
  const std::vector<D> L = l_matrix(nu, m, even, n);
  const std::vector<D> Lt = ltilde_matrix(nu, m, even, n);

  // Y = Mtilde Ltilde^-1 M, the coupling through the other-parity series.
  std::vector<T> Y;
  if (even) {
    const std::vector<RB> M = m_matrix_even(nu, m, n);
    const std::vector<LB> Mt = mtilde_matrix_even(nu, m, n);
    const std::vector<RB> X = s_invmul_d_rb(Lt, M);
    Y = s_matmul_lb_rb(Mt, X);
  } else {
    const std::vector<LB> M = m_matrix_odd(nu, m, n);
    const std::vector<RB> Mt = mtilde_matrix_odd(nu, m, n);
    const std::vector<LB> X = s_invmul_d_lb(Lt, M);
    Y = s_matmul_rb_lb(Mt, X);
  }
  const std::vector<T> Z = s_diff_d_t(L, s_prod_s_t(nu * nu, Y));
  return s_matmul_t_d(Z, lambda_inv);
}

array2<double> w_matrix(double nu, int32_t m, bool even, int32_t n) {
  const std::vector<sparse::ST> A = aleph_matrix(nu, m, even, n);
  const array2<double> I = matrix::d_unit(n, 1.0);
  return sparse::s_invmul_st_m(A, I.view());
}

double w_lambda(double nu, int32_t m, int32_t k, int32_t n) {
  // LAPACK counts from the smallest eigenvalue, 1 .. n: the mode's descending position
  // from the other end.
  const mode_choice mode = select_mode(k, n);
  const bool even = mode.even;
  const auto j = static_cast<int32_t>(n - descending_position(m, even, n, nu, mode.i_mode));

  // The degree-0 row (m = 0, even) holds HUGE_VALUE. Handed to LAPACK it makes the solver
  // scale the whole matrix by about 1e-232, the squared couplings underflow and every
  // off-diagonal reads as a split, so the other eigenvalues come back as bare diagonal
  // entries. As in the full eigen-solution, degree 0 is therefore its own mode (the
  // largest Aleph eigenvalue, HUGE) and the rest come from the matrix without it.
  const std::vector<sparse::ST> A = aleph_matrix(nu, m, even, n);
  const bool degree0 = degree0_apart(m, even);
  if (degree0 && j == n) return 1.0 / A[0].diag;  // 1/HUGE: 0 in flush-to-zero mode
  const std::size_t skip = degree0 ? 1 : 0;
  const auto order = static_cast<int32_t>(n - static_cast<int32_t>(skip));
  const auto un = static_cast<std::size_t>(order);
  std::vector<double> d(un), e(un);
  for (std::size_t i = 0; i < un; ++i) {
    d[i] = A[i + skip].diag;
    e[i] = A[i + skip].off;
  }
  const double abstol = matrix::dlamch_wrap(1.0, 'S');
  const char jobz = 'N', range = 'I';
  const double vl = 0.0, vu = 0.0;
  const int32_t lwork = 20 * order, liwork = 10 * order, ldz = order;
  int32_t found = 0, info = 0;
  std::vector<double> w(un), z(un), work(static_cast<std::size_t>(lwork));
  std::vector<int32_t> iwork(static_cast<std::size_t>(liwork)), isuppz(2);
  dstevr_(&jobz, &range, &order, d.data(), e.data(), &vl, &vu, &j, &j, &abstol, &found, w.data(), z.data(), &ldz,
          isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1, 1);
  matrix::check_lapack_info(info, "dstevr", "coriolis::w_lambda");
  return 1.0 / w[0];
}

}  // namespace ltide::coriolis
