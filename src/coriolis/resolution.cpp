// How far the truncation of the basis at n degrees moves one mode's eigenvalue.
//
// The operator is the leading n rows of an unbounded tridiagonal matrix, except that the
// last row of the odd series leaves out its coupling through degree l_n + 1. Two estimates
// of a' - a, for the eigenvalue a' of the unbounded matrix near the basis' eigenvalue a:
//
// * perturbation: splitting the unbounded matrix after row n, a' is exactly an eigenvalue
//   of A_n + (delta + e_n^2 g(a')) e_n e_n^T, with delta what the last diagonal element
//   lacks, e_n the coupling of row n to row n + 1 and g(a) = ((a - A_tail)^-1)_11 the
//   resolvent of the rows beyond n, a continued fraction. To first order,
//   a' - a = b_n^2 (delta + e_n^2 g(a)), b_n the last coefficient of the unit eigenvector.
//   A mode the basis does not hold has b_n of order one and this is large.
// * Rayleigh quotient: the basis extended by another n degrees, one step of Rayleigh-quotient
//   iteration from a. Near resolution the first-order term misses the mode's tail that the
//   truncation suppressed (it is low by up to a factor 10); this step is accurate to second
//   order in a' - a.
//
// The estimate is the larger of the two, relative to |a| (the relative error of the tidal
// eigenvalue 1/a to first order). Both need only a, so any solver gets the same estimate.
#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <span>
#include <vector>

#include <ltide/common/constants.hpp>
#include <ltide/coriolis/terms.hpp>
#include <ltide/coriolis/coriolis.hpp>

namespace ltide::coriolis {

namespace {

// A zero pivot of the factorisations is moved off zero by a rounding error of its row.
double nonzero_pivot(double p, double c, double e_below, double e_above) {
  if (p != 0.0) return p;
  const double tiny = DBL_EPSILON * (std::fabs(c) + std::fabs(e_below) + std::fabs(e_above));
  return tiny > DBL_MIN ? tiny : DBL_MIN;
}

// The twisted factorisation of T - a I (T symmetric tridiagonal, the diagonal of its last
// row replaced by last_diag): the top-down and bottom-up LDL^T pivots meet at the row r
// where the twist element gamma_r = 1 / ((T - a I)^-1)_rr is smallest, and z = (T - a I)^-1
// e_r gamma_r follows outwards from z_r = 1 through the pivot ratios. Each side recurs in
// its stable direction, so a coefficient that decays to 1e-100 keeps its relative accuracy
// (one inverse-iteration solve would bury it under the rounding of the leading ones).
// For an eigenvalue a, z is the eigenvector; otherwise a + gamma_r / |z|^2 is z's Rayleigh
// quotient. O(N).
struct twisted {
  double gamma = 0.0;  // gamma_r
  double norm2 = 1.0;  // |z|^2
  double last = 1.0;   // z_N
};

twisted twisted_factorisation(std::span<const sparse::ST> T, double last_diag, double a) {
  const std::size_t N = T.size();
  auto c = [&](std::size_t i) { return (i + 1 < N ? T[i].diag : last_diag) - a; };
  auto e = [&](std::size_t i) { return T[i].off; };  // couples rows i and i + 1
  if (N == 1) return {c(0), 1.0, 1.0};
  std::vector<double> dp(N), dm(N);
  dp[0] = nonzero_pivot(c(0), c(0), 0.0, e(0));
  for (std::size_t i = 1; i < N; ++i) {
    const double above = i + 1 < N ? e(i) : 0.0;
    dp[i] = nonzero_pivot(c(i) - (e(i - 1) * e(i - 1)) / dp[i - 1], c(i), e(i - 1), above);
  }
  dm[N - 1] = nonzero_pivot(c(N - 1), c(N - 1), e(N - 2), 0.0);
  for (std::size_t i = N - 1; i-- > 0;) {
    const double below = i > 0 ? e(i - 1) : 0.0;
    dm[i] = nonzero_pivot(c(i) - (e(i) * e(i)) / dm[i + 1], c(i), below, e(i));
  }
  twisted t;
  std::size_t r = N - 1;
  double smallest = std::numeric_limits<double>::infinity();
  for (std::size_t i = 0; i < N; ++i) {
    const double gamma = (dp[i] + dm[i]) - c(i);
    if (std::fabs(gamma) < smallest) {
      smallest = std::fabs(gamma);
      r = i;
      t.gamma = gamma;
    }
  }
  if (!(smallest < std::numeric_limits<double>::infinity())) return {std::nan(""), 1.0, std::nan("")};
  double x = 1.0;
  for (std::size_t i = r; i-- > 0;) {
    x = -(e(i) / dp[i]) * x;
    t.norm2 = t.norm2 + x * x;
  }
  x = 1.0;
  for (std::size_t i = r + 1; i < N; ++i) {
    x = -(e(i - 1) / dm[i]) * x;
    t.norm2 = t.norm2 + x * x;
  }
  t.last = x;
  return t;
}

bool finite_row(const sparse::ST& row) {
  return std::fabs(row.diag) < HUGE_VALUE && std::fabs(row.off) < HUGE_VALUE;
}

// Number of eigenvalues of T (last diagonal replaced) below x: the negative LDL^T pivots of
// T - x I (Sylvester's law of inertia).
int64_t count_below(std::span<const sparse::ST> T, double last_diag, double x) {
  const std::size_t N = T.size();
  int64_t count = 0;
  double p = 1.0, e_prev = 0.0;
  for (std::size_t i = 0; i < N; ++i) {
    const double c = (i + 1 < N ? T[i].diag : last_diag) - x;
    const double e_next = i + 1 < N ? T[i].off : 0.0;
    p = nonzero_pivot(i == 0 ? c : c - (e_prev * e_prev) / p, c, e_prev, e_next);
    if (p < 0.0) ++count;
    e_prev = e_next;
  }
  return count;
}

}  // namespace

double truncation_error(double nu, int32_t m, int32_t k, int32_t n, double a, bool full) {
  if (n < 1) return 0.0;
  const bool even = select_mode(k, n).even;
  const bool degree0 = degree0_apart(m, even);
  // The degree-0 mode is the first unit vector at every n.
  if (degree0 && !(std::fabs(a) < HUGE_VALUE)) return 0.0;
  const double unknown = std::numeric_limits<double>::infinity();
  if (!(std::fabs(a) < HUGE_VALUE) || a == 0.0) return unknown;
  const int64_t first = degree0 ? 1 : 0;  // the degree-0 row is solved apart
  if (first >= n) return 0.0;
  const int64_t l0 = first_degree(m, even);
  const int64_t l_n = l0 + 2 * int64_t{n - 1};

  // Where the run takes mode k in the ordered list: k >= 0 counts from the top past the c
  // modes that m nu > 0 raises (and moves to the end), k < 0 from the end, which for
  // j = (|k| - 1)/2 < c lies among those raised modes, counted from the top again.
  // A basis that ends below the degrees m nu raises, or holds fewer than k/2 + 1 modes
  // past the raised ones, puts another mode at that place than a larger basis does.
  const int64_t c = rotation_count(m, even, n, nu);
  const double mnu = m_nu(m, nu);
  if (mnu > 0.0 && detail::real((l_n + 3) * (l_n + 4)) < mnu) return unknown;
  const int64_t ak = abs_m(k);
  if (k >= 0 && ak / 2 + 1 + c > n) return unknown;
  const bool from_top = k >= 0 || (ak - 1) / 2 < c;

  // Rows first .. n - 1 of the basis with the untruncated last one, then up to n more
  // rows (their degrees kept 32-bit), ending before a row with HUGE elements.
  const int64_t depth = std::max<int64_t>(0, std::min<int64_t>(n, (int64_t{INT32_MAX} - 2 - l_n) / 2));
  std::vector<sparse::ST> T;
  T.reserve(static_cast<std::size_t>(n - first + depth));
  for (int64_t i = first; i < n; ++i) {
    T.push_back(detail::aleph_row(nu, m, l0 + 2 * i, full));
    if (!finite_row(T.back())) return unknown;
  }
  const double last_diag = detail::aleph_last_diagonal(nu, m, even, l_n, full);
  if (!(std::fabs(last_diag) < HUGE_VALUE)) return unknown;
  for (int64_t j = 1; j <= depth; ++j) {
    const sparse::ST row = detail::aleph_row(nu, m, l_n + 2 * j, full);
    if (!finite_row(row)) break;
    T.push_back(row);
  }
  const auto basis_rows = static_cast<std::size_t>(n - first);
  const std::span<const sparse::ST> rows(T);
  const std::span<const sparse::ST> basis = rows.first(basis_rows);

  // First order: b_n of the basis' eigenvector, the tail's resolvent from the deepest row up.
  const twisted in_basis = twisted_factorisation(basis, last_diag, a);
  const double b_n = in_basis.last / std::sqrt(in_basis.norm2);
  double g = 0.0;
  for (std::size_t i = rows.size(); i-- > basis_rows;) g = 1.0 / ((a - rows[i].diag) - (rows[i].off * rows[i].off) * g);
  const sparse::ST& row_n = rows[basis_rows - 1];
  const double first_order = (b_n * b_n) * ((row_n.diag - last_diag) + (row_n.off * row_n.off) * g);

  // One Rayleigh-quotient step in the extended basis, less the same step in the basis
  // itself: what the extension moves, not how far a is from the basis' own eigenvalue
  // (the solver's rounding, which for an eigenvalue 1e-7 of the operator's norm reaches
  // 1e-6 relative and has nothing to do with the truncation).
  const twisted extended = twisted_factorisation(rows, rows.back().diag, a);
  const double rayleigh = extended.gamma / extended.norm2 - in_basis.gamma / in_basis.norm2;
  if (std::isnan(first_order) || std::isnan(rayleigh)) return unknown;
  const double estimate = std::max(std::fabs(first_order), std::fabs(rayleigh)) / std::fabs(a);
  if (!mode_resolved(estimate)) return estimate;

  // An accurate eigenpair may still be another mode than the larger basis has at this
  // place: the extension must not add eigenvalues on the counted side of the mode. The
  // margin keeps the mode itself, moved by at most the threshold, out of the counts.
  const double margin = 4.0 * RESOLUTION_THRESHOLD * std::fabs(a);
  const double x = from_top ? a + margin : a - margin;
  const int64_t below_basis = count_below(basis, last_diag, x);
  const int64_t below_extended = count_below(rows, rows.back().diag, x);
  const int64_t basis_count = from_top ? static_cast<int64_t>(basis.size()) - below_basis : below_basis;
  const int64_t extended_count = from_top ? static_cast<int64_t>(rows.size()) - below_extended : below_extended;
  return basis_count == extended_count ? estimate : unknown;
}

}  // namespace ltide::coriolis
