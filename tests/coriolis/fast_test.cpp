// The single-mode solver against a long-double reference on the same double-precision
// operator elements (plain bisection for the eigenvalue, inverse iteration with pivoting
// for the vector), and against the QL solution, whose only difference should be the
// single-precision J.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <ltide/common/constants.hpp>
#include <ltide/coriolis/coriolis.hpp>

namespace ltide::coriolis {
namespace {

using ld = long double;

// The operator without its HUGE rows (their couplings cut), in long double.
struct ref_matrix {
  std::vector<ld> d, e;  // e[i] couples i and i + 1
  std::vector<index_t> rows;
  index_t huge = 0, low = 0;  // decoupled rows: HUGE or infinite diagonals, by sign
};
ref_matrix reference_matrix(const std::vector<sparse::ST>& A) {
  ref_matrix r;
  for (std::size_t i = 0; i < A.size(); ++i) {
    if (std::fabs(A[i].diag) >= HUGE_VALUE) {
      ++(A[i].diag > 0 ? r.huge : r.low);
      continue;
    }
    if (!r.rows.empty()) r.e.push_back(r.rows.back() + 1 == static_cast<index_t>(i) ? A[i - 1].off : 0.0);
    r.d.push_back(A[i].diag);
    r.rows.push_back(static_cast<index_t>(i));
  }
  r.e.push_back(0.0L);
  return r;
}
index_t below(const ref_matrix& t, ld x) {
  index_t c = 0;
  ld p = 1.0L;
  for (std::size_t i = 0; i < t.d.size(); ++i) {
    p = (t.d[i] - x) - (i > 0 ? t.e[i - 1] * t.e[i - 1] / p : 0.0L);
    if (p == 0.0L) p = -1e-4000L;
    c += p < 0.0L;
  }
  return c;
}
ld norm_of(const ref_matrix& t) {
  ld s = 0.0L;
  for (std::size_t i = 0; i < t.d.size(); ++i)
    s = std::max(s, std::fabs(t.d[i]) + std::fabs(t.e[i]) + (i > 0 ? std::fabs(t.e[i - 1]) : 0.0L));
  return s;
}
// Ascending index j (0-based) by bisection to the last bit of long double.
ld eigenvalue(const ref_matrix& t, index_t j) {
  const ld s = norm_of(t);
  ld lo = -s * 1.01L - 1e-300L, hi = s * 1.01L + 1e-300L;
  for (int it = 0; it < 20000; ++it) {
    const ld mid = (lo + hi) / 2;
    if (mid == lo || mid == hi) break;
    (below(t, mid) > j ? hi : lo) = mid;
  }
  return (lo + hi) / 2;
}
// Unit eigenvector at the eigenvalue sigma: inverse iteration, Gaussian elimination with
// row interchanges on the tridiagonal T - sigma I.
std::vector<ld> eigenvector(const ref_matrix& t, ld sigma) {
  const std::size_t n = t.d.size();
  std::vector<ld> x(n, 1.0L);
  for (int it = 0; it < 3; ++it) {
    // Row i of U: a[i] on the diagonal, b[i] and c[i] on the next two columns.
    std::vector<ld> a(n), b(n), c(n, 0.0L), y = x;
    for (std::size_t i = 0; i < n; ++i) a[i] = t.d[i] - sigma, b[i] = t.e[i];
    for (std::size_t i = 0; i + 1 < n; ++i) {
      ld p0 = a[i], p1 = b[i], p2 = 0.0L, yi = y[i];     // row i, from column i
      ld r0 = t.e[i], r1 = a[i + 1], r2 = b[i + 1], yn = y[i + 1];  // row i + 1
      if (std::fabs(r0) > std::fabs(p0)) std::swap(p0, r0), std::swap(p1, r1), std::swap(p2, r2), std::swap(yi, yn);
      if (p0 == 0.0L) p0 = 1e-4000L;
      const ld f = r0 / p0;
      a[i] = p0, b[i] = p1, c[i] = p2, y[i] = yi;
      a[i + 1] = r1 - f * p1, b[i + 1] = r2 - f * p2, y[i + 1] = yn - f * yi;
    }
    if (a[n - 1] == 0.0L) a[n - 1] = 1e-4000L;
    for (std::size_t k = n; k-- > 0;)
      y[k] = (y[k] - (k + 1 < n ? b[k] * y[k + 1] : 0.0L) - (k + 2 < n ? c[k] * y[k + 2] : 0.0L)) / a[k];
    ld s = 0.0L;
    for (ld v : y) s += v * v;
    s = std::sqrt(s);
    for (std::size_t i = 0; i < n; ++i) x[i] = y[i] / s;
  }
  return x;
}

// Entries lifted past the others by m nu > 0: the mode order rotates the descending list by them.
int64_t lifted(int32_t m, bool even, int32_t n, double nu) {
  int64_t c = !even && std::abs(m) * (std::abs(m) + 1.0) < m * nu;
  for (int64_t i = 0; i < n; ++i) {
    const int64_t l = std::abs(m) + (even ? 0 : 1) + 2 * i;
    c += static_cast<double>((l + 1) * (l + 2)) < m * nu;
  }
  return c;
}

// One case: lambda within 1e-13 relative or the eigenvalue's condition bound of the
// reference, within the difference the single-precision J makes of QL's; the vector within
// its perturbation bound eps ||A|| / gap.
void check_case(double nu, int32_t m, bool even, int32_t n, int32_t i_mode, const std::string& where) {
  const auto A = aleph_matrix_full(nu, m, even, n);
  const ref_matrix t = reference_matrix(A);
  const index_t nr = static_cast<index_t>(t.d.size());
  const int64_t j = (i_mode - 1 + lifted(m, even, n, nu) % n) % n;  // descending
  std::vector<double> b(n);
  const double lambda = w_eigen_mode_fast(nu, m, even, n, i_mode, b);
  if (j < t.huge || j >= t.huge + nr) {  // a decoupled row
    EXPECT_EQ(lambda, 0.0) << where;
    return;
  }
  const index_t asc = nr - 1 - static_cast<index_t>(j - t.huge);
  const ld a = eigenvalue(t, asc), norm = norm_of(t);
  const ld eps = 2.220446049250313e-16L;
  const ld rel = std::fabs((1.0L / lambda - a) / a);
  const ld bound = std::max(1e-13L, 4.0L * eps * norm / std::fabs(a));
  EXPECT_LE(rel, bound) << where << " lambda " << lambda << " reference " << static_cast<double>(1.0L / a);

  // The vector, against the reference with the same sign.
  ld gap = norm;
  if (asc > 0) gap = std::min(gap, a - eigenvalue(t, asc - 1));
  if (asc + 1 < nr) gap = std::min(gap, eigenvalue(t, asc + 1) - a);
  const std::vector<ld> x = eigenvector(t, a);
  ld dot = 0.0L;
  for (index_t k = 0; k < nr; ++k) dot += x[k] * b[t.rows[k]];
  ld err = 0.0L;
  for (index_t k = 0; k < nr; ++k) err = std::max(err, std::fabs(b[t.rows[k]] - (dot < 0 ? -x[k] : x[k])));
  const ld vbound = std::max(1e-13L, 16.0L * eps * norm / gap);
  EXPECT_LE(err, vbound) << where << " gap/norm " << gap / norm;
  // QL on the single-precision operator: Weyl's bound with the difference of the matrices.
  const auto As = aleph_matrix(nu, m, even, n);
  bool other_huge = false;
  ld diff = 0.0L;
  for (std::size_t i = 0; i < As.size(); ++i) {
    if (std::fabs(As[i].diag) >= HUGE_VALUE) {
      other_huge = other_huge || !(m == 0 && even && i == 0);
      continue;
    }
    ld row = std::fabs(ld(As[i].diag) - A[i].diag) + std::fabs(ld(As[i].off) - A[i].off);
    if (i > 0) row += std::fabs(ld(As[i - 1].off) - A[i - 1].off);
    diff = std::max(diff, row);
  }
  if (!other_huge) {
    std::vector<double> lql(n), bq(n), qq(n), rq(n);
    w_eigen_mode(nu, m, even, n, i_mode, lql, bq, qq, rq);
    const ld qrel = std::fabs((1.0L / lql[i_mode - 1] - a) / a);
    const ld qbound = (1.05L * diff + 8.0L * eps * norm) / std::fabs(a);
    EXPECT_LE(qrel, qbound) << where << " QL " << lql[i_mode - 1] << " fast " << lambda;
  }
}

std::string describe(double nu, int32_t m, bool even, int32_t n, int32_t i_mode) {
  char s[160];
  std::snprintf(s, sizeof s, "m=%d %s nu=%.17g n=%d i_mode=%d", m, even ? "even" : "odd", nu, n, i_mode);
  return s;
}

// The table: every parity, k < 0 (entries from the back), m = 0 (degree 0 split off), the
// singular spin parameters (HUGE rows) and spin parameters just beside them, where a Rossby
// mode's eigenvalue passes through zero, |nu| up to 1000, and for some matrices the mode
// whose eigenvalue lies closest to its neighbour.
TEST(FastSolver, SelectedEigenpairAgainstLongDoubleReferenceAndQL) {
  const auto run = [](double nu, int32_t m, bool even, int32_t n, int32_t i_mode) {
    check_case(nu, m, even, n, i_mode, describe(nu, m, even, n, i_mode));
  };
  for (int32_t m : {-2, -1, 0, 1, 3})
    for (double nu : {-1000.0, -95.5, -20.05, -3.3, -0.5, 0.0, 0.3, 2.7, 19.95, 140.0, 1000.0})
      for (int32_t n : {30, 120})
        for (int32_t k : {-3, -2, -1, 0, 1, 2, 5}) {
          const int64_t ak = std::abs(k);
          run(nu, m, ak % 2 == 0, n, static_cast<int32_t>(k >= 0 ? ak / 2 + 1 : n - (ak - 1) / 2));
        }
  // Singular spin parameters and their neighbours: m nu = (l+1)(l+2) or l(l-1).
  for (const double mnu : {6.0, 12.0, 20.0, 30.0, 42.0})
    for (int32_t m : {-2, -1, 1, 2})
      for (const double shift : {0.0, 1e-9, -1e-9})
        for (bool even : {true, false})
          for (int32_t i_mode : {1, 2, 40})
            run(mnu / m * (1.0 + shift), m, even, 40, i_mode);
  // Closest pairs: the mode nearer its neighbour than any other of the matrix.
  for (int32_t m : {0, 1, 2})
    for (double nu : {-300.0, -40.0, 7.5, 60.0})
      for (bool even : {true, false}) {
        const int32_t n = 80;
        std::vector<double> w(n);
        Aleph_eigen(nu, m, even, n, w, std::nullopt, std::nullopt, std::nullopt, true);
        int32_t best = 1;
        double sep = INFINITY;
        for (int32_t i = 1; i <= n; ++i)
          for (int32_t k = 1; k <= n; ++k)
            if (k != i && w[i - 1] != HUGE_VALUE && std::fabs(w[i - 1] - w[k - 1]) < sep)
              sep = std::fabs(w[i - 1] - w[k - 1]), best = i;
        run(nu, m, even, n, best);
      }
}

// The library's two choices for one mode agree to the effect of the single-precision J.
TEST(FastSolver, WLambdaFastAgreesWithWLambda) {
  const struct { double nu; int32_t m, k, n; } rows[] = {{5.0, 2, 0, 60}, {-3.5, 1, 1, 40}, {7.5, 1, -2, 40},
                                                         {2.5, 0, 2, 30}, {-20.5, -1, 0, 80}};
  for (const auto& r : rows) {
    const double ql = w_lambda(r.nu, r.m, r.k, r.n);
    EXPECT_NEAR(w_lambda_fast(r.nu, r.m, r.k, r.n), ql, 2e-6 * std::fabs(ql)) << r.nu << " " << r.m << " " << r.k;
  }
}

}  // namespace
}  // namespace ltide::coriolis
