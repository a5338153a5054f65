// The Aleph matrix: row i belongs to degree l_i; the Coriolis force couples it to the
// neighbouring degrees of the other parity, l-1 and l+1, which gives the diagonal
// coupling sums T1 and T2 and the off-diagonal through degree l+1.
#include <ltide/coriolis/terms.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/common/constants.hpp>

namespace ltide::coriolis {

namespace {

using detail::real;

// Full selects the coupling coefficient J in double precision instead of single.
template <bool Full>
struct aleph_terms {
  double nu2;  // nu*nu, formed once
  double mnu;  // m*nu
  int32_t m;

  double a(int64_t l) const { return real(l * (l - 1)) - mnu; }
  double b(int64_t l) const { return real((l + 1) * (l + 2)) - mnu; }

  // Coupling through degree l-1: (l^2-1) J(l)^2 (l-1) / (l a_l), left to right.
  double T1(int64_t l, double a_l) const {
    const double j = detail::J_of<Full>(l, m);
    return real(l * l - 1) * (j * j) * real(l - 1) / (real(l) * a_l);
  }
  // Coupling through degree l+1: l(l+2) J(l+1)^2 (l+2) / ((l+1) b_l).
  double T2(int64_t l, double b_l) const {
    const double j = detail::J_of<Full>(l + 1, m);
    return real(l * (l + 2)) * (j * j) * real(l + 2) / (real(l + 1) * b_l);
  }
  // Diagonal from a coupling sum t: [1 - nu^2 t - m nu/(l(l+1))] / (l(l+1)).
  double D(int64_t l, double t) const {
    const double ll1 = real(l * (l + 1));
    return (1.0 - nu2 * t - mnu / ll1) / ll1;
  }
  // Off-diagonal between degrees l and l+2 through l+1.
  double off(int64_t l, double b_l) const {
    return -(nu2 * detail::J_of<Full>(l + 1, m) * detail::J_of<Full>(l + 2, m)) / b_l;
  }
};

// Row of degree l >= 1 of the unbounded operator (every row but the last of a basis).
template <bool Full>
sparse::ST interior_row(const aleph_terms<Full>& t, int64_t l) {
  sparse::ST e;
  const double a = t.a(l);
  const double b = t.b(l);
  if (l == 0) {
    e.diag = HUGE_VALUE;
    e.off = t.off(0, b);
  } else if (l == 1) {
    // J(1) vanishes for |m| = 1 and the degree-0 coupling does not exist for m = 0,
    // so T1 is left out (it would be 0/0 at m*nu = 0). b_1 is not tested.
    e.diag = t.D(1, t.T2(1, b));
    e.off = t.off(1, b);
  } else if (b == 0.0) {
    e.diag = HUGE_VALUE;
    e.off = HUGE_VALUE;
  } else if (a != 0.0) {
    e.diag = t.D(l, t.T1(l, a) + t.T2(l, b));
    e.off = t.off(l, b);
  } else if (l == t.m) {
    // a_l = 0 at the lowest degree l = m: J(l) = 0, so there is no coupling through l-1.
    e.diag = t.D(l, t.T2(l, b));
    e.off = t.off(l, b);
  } else {
    e.diag = HUGE_VALUE;
    e.off = t.off(l, b);
  }
  return e;
}

// Diagonal of the last row of a basis, of degree l: the even series still couples through
// l + 1, the odd series does not (its other-parity degrees end at l - 1).
template <bool Full>
double last_diagonal(const aleph_terms<Full>& t, int64_t l, bool even) {
  const double a = t.a(l);
  const double b = t.b(l);
  if (l == 0) return HUGE_VALUE;
  if (l == 1) return (1.0 - t.mnu / 2.0) / 2.0;
  if (b == 0.0 || a == 0.0) return HUGE_VALUE;
  if (!even) return t.D(l, t.T1(l, a));
  return t.D(l, t.T1(l, a) + t.T2(l, b));
}

// Laplace's tidal equation projected on the degrees l_i: with xi_r = sum B_i Y_{l_i}, the
// divergence and radial vorticity of xi_h - i nu mu e_r x xi_h = grad_h xi_r, div_h xi_h =
// -lambda xi_r, reduce to A B = B / lambda, A = (L - nu^2 Mt Lt^-1 M) Lambda^-1 (docs/physics.md).
template <bool Full>
std::vector<sparse::ST> build_aleph(double nu, int32_t m, bool even, int32_t n) {
  std::vector<sparse::ST> A(static_cast<std::size_t>(extent(n)));
  if (n <= 0) return A;
  const aleph_terms<Full> t{nu * nu, m_nu(m, nu), m};
  const int64_t l0 = first_degree(m, even);
  for (int64_t i = 1; i <= n - 1; ++i) A[static_cast<std::size_t>(i - 1)] = interior_row(t, l0 + 2 * (i - 1));
  A[static_cast<std::size_t>(n - 1)].diag = last_diagonal(t, l0 + 2 * (static_cast<int64_t>(n) - 1), even);
  return A;
}

}  // namespace

double detail::aleph_last_diagonal(double nu, int32_t m, bool even, int64_t l, bool full) {
  const double nu2 = nu * nu, mnu = m_nu(m, nu);
  return full ? last_diagonal(aleph_terms<true>{nu2, mnu, m}, l, even)
              : last_diagonal(aleph_terms<false>{nu2, mnu, m}, l, even);
}

sparse::ST detail::aleph_row(double nu, int32_t m, int64_t l, bool full) {
  const double nu2 = nu * nu, mnu = m_nu(m, nu);
  return full ? interior_row(aleph_terms<true>{nu2, mnu, m}, l) : interior_row(aleph_terms<false>{nu2, mnu, m}, l);
}

std::vector<sparse::ST> aleph_matrix(double nu, int32_t m, bool even, int32_t n) {
  return build_aleph<false>(nu, m, even, n);
}

std::vector<sparse::ST> aleph_matrix_full(double nu, int32_t m, bool even, int32_t n) {
  return build_aleph<true>(nu, m, even, n);
}

}  // namespace ltide::coriolis
