#pragma once
// The QL iteration with implicit shifts on a symmetric tridiagonal matrix, split into
// the eigenvalue iteration (which touches only d and e) and the accumulation of its
// plane rotations into an eigenvector matrix. The iteration reports every rotation it
// performs, in order, to a sink; applying those rotations in the same order to any
// matrix gives the same bits as applying them while iterating, so the accumulation can
// be recorded and replayed in whatever blocking suits the cache.
#include <cmath>

#include "common/fatal.hpp"
#include "common/view.hpp"

namespace ltide::sparse {

// sqrt(a^2 + b^2) as functions::f_pythag_d forms it, bit for bit: |a| sqrt(1 + (|b|/|a|)^2)
// with |a| the larger magnitude, 0 when both are 0. Inline here because the iteration is
// one chain of dependent divisions and square roots; a call in the middle of it costs
// more than the arithmetic around it.
inline double ql_pythag(double a, double b) {
  const double aa = std::fabs(a);
  const double bb = std::fabs(b);
  if (aa > bb) {
    const double t = bb / aa;
    return std::sqrt(t * t + 1.0) * aa;
  }
  if (bb == 0.0) return 0.0;
  const double t = aa / bb;
  return std::sqrt(t * t + 1.0) * bb;
}

// An eigenvalue usually converges in two or three sweeps; in practice only non-finite
// entries keep the iteration going this long.
inline constexpr int ql_max_sweeps = 30;

// Eigenvalues of the tridiagonal matrix with diagonal d[0..n) and off-diagonal e[0..n-1)
// (e[i] couples rows i and i+1), developed in place in d. e is destroyed; e[n-1] is only
// ever written. Each rotation is reported as sink(i, c, s): columns i and i+1 (counted
// from 0) of the eigenvector matrix are to be rotated by cosine c and sine s. Rotations
// with c = 1, s = 0 are reported too, since applying them can still flip the sign of a
// zero. Stops the program when one eigenvalue needs more than ql_max_sweeps sweeps.
template <class Sink>
void ql_implicit(double* d, double* e, index_t n, Sink&& sink) {
  for (index_t l = 0; l < n; ++l) {
    int sweeps = 0;
    for (;;) {
      // The first off-diagonal entry below which the matrix splits: one so small that
      // adding it to its two diagonal neighbours changes nothing in floating point.
      index_t m = l;
      for (; m < n - 1; ++m) {
        const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
        if (std::fabs(e[m]) + dd == dd) break;
      }
      if (m == l) break;  // d[l] is an eigenvalue
      if (sweeps == ql_max_sweeps) fatal("too many iterations in QL algorithm", "sparse::s_eigen_ST");
      ++sweeps;

      // Shift from the leading 2-by-2 block. sigma takes the sign of g with -0.0 counting
      // as non-negative, which keeps g + sigma away from cancellation.
      double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
      double r = ql_pythag(g, 1.0);
      const double sigma = g >= 0.0 ? std::fabs(r) : -std::fabs(r);
      g = d[m] - d[l] + e[l] / (g + sigma);

      double s = 1.0;
      double c = 1.0;
      double p = 0.0;
      bool split = false;
      for (index_t i = m - 1; i >= l; --i) {
        const double f = s * e[i];
        const double b = c * e[i];
        r = ql_pythag(f, g);
        e[i + 1] = r;
        if (r == 0.0) {
          // The matrix split exactly at i: undo the pending shift and start over.
          d[i + 1] = d[i + 1] - p;
          e[m] = 0.0;
          split = true;
          break;
        }
        s = f / r;
        c = g / r;
        g = d[i + 1] - p;
        r = (d[i] - g) * s + 2.0 * c * b;
        p = s * r;
        d[i + 1] = g + p;
        g = c * r - b;
        sink(i, c, s);
      }
      if (split) continue;
      d[l] = d[l] - p;
      e[l] = g;
      e[m] = 0.0;
    }
  }
}

// The sink for eigenvalues only.
struct ql_discard {
  void operator()(index_t, double, double) const noexcept {}
};

// The sink that rotates columns i and i+1 of V over its first `rows` rows:
// V(k,i+1) = s*V(k,i) + c*t and V(k,i) = c*V(k,i) - s*t, with t the old V(k,i+1).
struct ql_rotate_columns {
  matrix_view<double> V;
  index_t rows;

  void operator()(index_t i, double c, double s) const noexcept {
    double* const a = V.data + i * V.ld;
    double* const b = a + V.ld;
    for (index_t k = 0; k < rows; ++k) {
      const double t = b[k];
      b[k] = s * a[k] + c * t;
      a[k] = c * a[k] - s * t;
    }
  }
};

}  // namespace ltide::sparse
