// The single-mode solver: one eigenpair of the Aleph matrix built with J in double
// precision. The eigenvalue comes from bisection on Sturm counts at the position the mode
// order asks for, its eigenvector from a twisted factorisation at that eigenvalue; both
// cost O(n) per pass and O(n) memory.
#include <algorithm>
#include <cfloat>
#include <cmath>

#include <ltide/common/constants.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/common/target.hpp>
#include <ltide/coriolis/terms.hpp>
#include <ltide/coriolis/columns.hpp>
#include <ltide/coriolis/coriolis.hpp>

namespace ltide::coriolis {

namespace {

constexpr double EPS = DBL_EPSILON;

// The Aleph matrix without its decoupled rows, in w.d, w.e (w.e[k] couples kept rows k and
// k + 1, 0 across a removed row) and w.e2 = w.e^2, scaled by 2^-scale so that the largest
// element lies in [1, 2): the scaling is exact and keeps e^2 and the pivots far from
// overflow and underflow whatever nu is.
struct reduced {
  index_t n = 0;
  int scale = 0;
  double pivmin = 0.0;
  double lo = 0.0, hi = 0.0;  // Gershgorin bounds, widened by the rounding of the counts
};

// A row whose diagonal holds HUGE_VALUE stands for a zero denominator of the operator: its
// eigenvalue is HUGE_VALUE with the unit vector of that row (degree 0 for m = 0 is one),
// and its couplings are cut, which splits the rest. At singular spin parameters a zero
// denominator can also give an infinite diagonal; such a row is split off the same way,
// its eigenvalue infinite. Rows with a positive value go to w.huge_rows, the others (the
// smallest eigenvalues) to w.low_rows.
bool decoupled(double d) { return std::fabs(d) == HUGE_VALUE || std::isinf(d); }

reduced reduce(const std::vector<sparse::ST>& A, fast_workspace& w) {
  const auto n = static_cast<index_t>(A.size());
  const auto size = static_cast<std::size_t>(n);
  w.d.resize(size);
  w.e.resize(size);
  w.e2.resize(size);
  w.rows.resize(size);
  w.huge_rows.clear();
  w.low_rows.clear();
  index_t k = 0;
  double amax = 0.0;
  for (index_t i = 0; i < n; ++i) {
    const double di = A[static_cast<std::size_t>(i)].diag;
    if (decoupled(di)) {
      (di > 0.0 ? w.huge_rows : w.low_rows).push_back(i);
      continue;
    }
    const bool joined = k > 0 && w.rows[static_cast<std::size_t>(k - 1)] == i - 1;
    const double before = joined ? A[static_cast<std::size_t>(i - 1)].off : 0.0;
    if (!std::isfinite(di) || !std::isfinite(before))
      fatal("the tidal operator has a non-finite element", "coriolis::w_eigen_mode_fast");
    if (k > 0) w.e[static_cast<std::size_t>(k - 1)] = before;
    w.d[static_cast<std::size_t>(k)] = di;
    w.rows[static_cast<std::size_t>(k)] = i;
    amax = std::max({amax, std::fabs(di), std::fabs(before)});
    ++k;
  }
  reduced r;
  r.n = k;
  if (k == 0) return r;
  w.e[static_cast<std::size_t>(k - 1)] = 0.0;
  r.scale = amax > 0.0 ? std::ilogb(amax) : 0;
  double e2max = 0.0;
  for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) {
    w.d[i] = std::ldexp(w.d[i], -r.scale);
    w.e[i] = std::ldexp(w.e[i], -r.scale);
    w.e2[i] = w.e[i] * w.e[i];
    e2max = std::max(e2max, w.e2[i]);
  }
  r.pivmin = DBL_MIN * std::max(1.0, e2max);
  double lo = w.d[0], hi = w.d[0];
  for (std::size_t i = 0; i < static_cast<std::size_t>(k); ++i) {
    const double radius = std::fabs(w.e[i]) + (i > 0 ? std::fabs(w.e[i - 1]) : 0.0);
    lo = std::min(lo, w.d[i] - radius);
    hi = std::max(hi, w.d[i] + radius);
  }
  const double tnorm = std::max(std::fabs(lo), std::fabs(hi));
  const double fudge = 2.0 * tnorm * EPS * static_cast<double>(k) + 4.0 * r.pivmin;
  r.lo = lo - fudge;
  r.hi = hi + fudge;
  return r;
}

// A pivot of the LDL^T factorisation of T - x I smaller than pivmin in magnitude is taken
// as -pivmin: the count stays monotonic in x and no division by zero occurs.
inline double guarded(double p, double pivmin) { return std::fabs(p) < pivmin ? -pivmin : p; }

// Shifts per bisection pass: the interval is cut into SHIFTS + 1 parts at once. The
// recurrences of the shifts are independent chains of divisions, run side by side in the
// lanes of vector registers, so a pass costs about what one chain's latency costs: eight
// shifts narrow the interval by 9 (over 3 bits) per pass, where one would narrow it by 2.
constexpr int SHIFTS = 8;
using lanes = double __attribute__((vector_size(4 * sizeof(double))));
using lane_counts = int64_t __attribute__((vector_size(4 * sizeof(int64_t))));

// Eigenvalues of the reduced matrix below each shift x[s] (the negative pivots of T - x I),
// in two vectors of four lanes. Every lane does the scalar operations in the scalar order
// (no fused multiply-add: the build contracts nothing), so the clones for wider vector
// units give the same counts.
LTIDE_X86_CLONES("avx2", "default")
void count_below(const double* d, const double* e2, index_t n, const double* x, double pivmin, index_t* count) {
  lanes xa, xb, piv, neg;
  for (int s = 0; s < 4; ++s) xa[s] = x[s], xb[s] = x[s + 4], piv[s] = pivmin, neg[s] = -pivmin;
  const lanes zero = piv - piv;
  lanes pa = d[0] - xa, pb = d[0] - xb;
  pa = ((pa < piv) & (pa > neg)) ? neg : pa;
  pb = ((pb < piv) & (pb > neg)) ? neg : pb;
  lane_counts ca = -(pa < zero), cb = -(pb < zero);
  for (index_t i = 1; i < n; ++i) {
    const double di = d[i], t = e2[i - 1];
    pa = (di - xa) - t / pa;
    pb = (di - xb) - t / pb;
    pa = ((pa < piv) & (pa > neg)) ? neg : pa;
    pb = ((pb < piv) & (pb > neg)) ? neg : pb;
    ca -= (pa < zero);
    cb -= (pb < zero);
  }
  for (int s = 0; s < 4; ++s) count[s] = ca[s], count[s + 4] = cb[s];
}

// The eigenvalue of ascending index t (0-based) of the reduced matrix: the interval
// [lo, hi] keeps at most t eigenvalues below lo and more than t below hi, and shrinks by 9
// per pass until its width is two units in the last place of its ends (relative, so that
// small eigenvalues of a graded matrix keep their leading digits) or it stops shrinking.
double bisect(const fast_workspace& w, const reduced& r, index_t t) {
  double lo = r.lo, hi = r.hi;
  for (int pass = 0; pass < 2200; ++pass) {
    const double width = hi - lo;
    const double tol = std::max(2.0 * EPS * std::max(std::fabs(lo), std::fabs(hi)), DBL_MIN);
    if (!(width > tol)) break;
    double x[SHIFTS];
    for (int k = 0; k < SHIFTS; ++k) x[k] = lo + width * (static_cast<double>(k + 1) / static_cast<double>(SHIFTS + 1));
    index_t c[SHIFTS];
    count_below(w.d.data(), w.e2.data(), r.n, x, r.pivmin, c);
    for (int k = 1; k < SHIFTS; ++k) c[k] = std::max(c[k], c[k - 1]);  // monotonic, whatever the rounding
    const double old_lo = lo, old_hi = hi;
    // The first shift with more than t eigenvalues below it bounds the interval above.
    int k = 0;
    while (k < SHIFTS && c[k] <= t) ++k;
    if (k > 0) lo = x[k - 1];
    if (k < SHIFTS) hi = x[k];
    if (lo == old_lo && hi == old_hi) break;
  }
  return lo + (hi - lo) * 0.5;
}

// The eigenvector of the reduced matrix at its eigenvalue sigma, from the twisted
// factorisation T - sigma I = N_r Delta N_r^T: the pivots from the top (w.top) and from
// the bottom (w.bottom) meet at the row r where |gamma_r| is least, which is where the
// vector is large; z_r = 1 and the rest follows from the two bidiagonal factors alone.
// Returns z in w.z, of unit length, its largest element positive.
void twisted_vector(fast_workspace& w, const reduced& r, double sigma) {
  const index_t n = r.n;
  const auto size = static_cast<std::size_t>(n);
  w.top.resize(size);
  w.bottom.resize(size);
  w.z.resize(size);
  const double* d = w.d.data();
  const double* e = w.e.data();
  const double* e2 = w.e2.data();
  double* top = w.top.data();
  double* bottom = w.bottom.data();
  double* z = w.z.data();
  top[0] = guarded(d[0] - sigma, r.pivmin);
  for (index_t i = 1; i < n; ++i) top[i] = guarded((d[i] - sigma) - e2[i - 1] / top[i - 1], r.pivmin);
  bottom[n - 1] = guarded(d[n - 1] - sigma, r.pivmin);
  for (index_t i = n - 2; i >= 0; --i) bottom[i] = guarded((d[i] - sigma) - e2[i] / bottom[i + 1], r.pivmin);
  index_t twist = 0;
  double least = INFINITY;
  for (index_t i = 0; i < n; ++i) {
    const double gamma = std::fabs(top[i] + bottom[i] - (d[i] - sigma));
    if (gamma < least) {
      least = gamma;
      twist = i;
    }
  }
  z[twist] = 1.0;
  for (index_t i = twist - 1; i >= 0; --i) z[i] = -(e[i] / top[i]) * z[i + 1];
  for (index_t i = twist + 1; i < n; ++i) z[i] = -(e[i - 1] / bottom[i]) * z[i - 1];
  double sum = 0.0, big = 0.0;
  index_t at = twist;
  for (index_t i = 0; i < n; ++i) {
    sum = sum + z[i] * z[i];
    if (std::fabs(z[i]) > big) {
      big = std::fabs(z[i]);
      at = i;
    }
  }
  const double norm = z[at] < 0.0 ? -std::sqrt(sum) : std::sqrt(sum);
  for (index_t i = 0; i < n; ++i) z[i] = z[i] / norm;
}

}  // namespace

double w_eigen_mode_fast(double nu, int32_t m, bool even, int32_t n, int32_t i_mode, vector_view<double> b,
                         vector_view<double> q, vector_view<double> r, fast_workspace* work) {
  if (n < 1) return 0.0;
  if (i_mode < 1 || i_mode > n) fatal("mode index out of range", "coriolis::w_eigen_mode_fast");
  if (q.size > 0 && b.size == 0) fatal("Cannot calculate Q without calculating B", "coriolis::w_eigen_mode_fast");
  if (r.size > 0 && b.size == 0) fatal("Cannot calculate R without calculating B", "coriolis::w_eigen_mode_fast");
  fast_workspace local;
  fast_workspace& w = work ? *work : local;
  const std::vector<sparse::ST> A = aleph_matrix_full(nu, m, even, n);
  const reduced red = reduce(A, w);

  // Descending position j: the decoupled rows of positive value come first, in row order,
  // then the reduced matrix from its largest eigenvalue down, then the negative ones.
  const int64_t j = descending_position(m, even, n, nu, i_mode);
  const auto nh = static_cast<int64_t>(w.huge_rows.size());
  const int64_t nr = red.n;
  index_t row = -1;  // the decoupled row selected, if any
  double a = 0.0;
  if (j < nh) {
    row = w.huge_rows[static_cast<std::size_t>(j)];
  } else if (j >= nh + nr) {
    row = w.low_rows[static_cast<std::size_t>(j - nh - nr)];
  } else {
    a = std::ldexp(bisect(w, red, static_cast<index_t>(nr - 1 - (j - nh))), red.scale);
  }
  if (row >= 0) a = A[static_cast<std::size_t>(row)].diag;

  if (b.size > 0) {
    for (index_t i = 0; i < n; ++i) b[i] = 0.0;
    if (row >= 0) {
      b[row] = 1.0;
    } else {
      twisted_vector(w, red, std::ldexp(a, -red.scale));
      for (index_t k = 0; k < red.n; ++k) b[w.rows[static_cast<std::size_t>(k)]] = w.z[static_cast<std::size_t>(k)];
    }
  }
  if (q.size > 0) {
    // Q as the QL path forms it over every run of kept rows; a decoupled row has Q = B.
    const int64_t l0 = first_degree(m, even);
    for (index_t i = 0; i < n; ++i) q[i] = 0.0;
    for (const std::vector<index_t>* rows : {&w.huge_rows, &w.low_rows})
      for (const index_t i : *rows) q[i] = b[i];
    index_t k = 0;
    while (k < red.n) {
      index_t end = k;
      while (end + 1 < red.n && w.rows[static_cast<std::size_t>(end + 1)] == w.rows[static_cast<std::size_t>(end)] + 1)
        ++end;
      detail::fill_Q_column(l0, w.rows[static_cast<std::size_t>(k)] + 1, w.rows[static_cast<std::size_t>(end)] + 1, a, b,
                            q);
      k = end + 1;
    }
  }
  if (r.size > 0) detail::fill_R_column(detail::weights_of_R(nu, m, even, n, true), a, b, r);
  return 1.0 / a;
}

double w_lambda_fast(double nu, int32_t m, int32_t k, int32_t n) {
  const mode_choice mode = select_mode(k, n);
  return w_eigen_mode_fast(nu, m, mode.even, n, mode.i_mode);
}

}  // namespace ltide::coriolis
