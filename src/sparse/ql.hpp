#pragma once
// The QL iteration with implicit shifts on a symmetric tridiagonal matrix, split into
// the eigenvalue iteration (which touches only d and e) and the accumulation of its
// plane rotations into an eigenvector matrix. The iteration reports every rotation it
// performs, in order, to a sink; applying those rotations in the same order to any
// matrix gives the same bits as applying them while iterating, so the accumulation can
// be recorded and replayed in whatever blocking suits the cache.
#include <cmath>
#include <cstddef>
#include <span>

#include <ltide/common/fatal.hpp>
#include <ltide/common/view.hpp>

namespace ltide::sparse {

// sqrt(a^2 + b^2) as functions::f_pythag_d forms it for finite arguments, bit for bit:
// |a| sqrt(1 + (|b|/|a|)^2) with |a| the larger magnitude, 0 when |b| is 0 and not the
// larger. A NaN beside 0 gives 0 and two infinities NaN here (the library function gives
// NaN and inf): only an operator that is already non-finite meets them, and such a run
// keeps the iteration it always had. Inline and without branches on the data: the
// iteration is one chain of dependent divisions and square roots, and which of f and g
// is larger changes from rotation to rotation, so a branch there is mispredicted often
// and each miss throws away work done alongside the chain.
inline double ql_pythag(double a, double b) {
  const double aa = std::fabs(a);
  const double bb = std::fabs(b);
  const bool a_larger = aa > bb;
  const double big = a_larger ? aa : bb;
  const double small = a_larger ? bb : aa;
  const double t = small / big;
  const double r = std::sqrt(t * t + 1.0) * big;
  return !a_larger && bb == 0.0 ? 0.0 : r;
}

// An eigenvalue usually converges in two or three sweeps; in practice only non-finite
// entries keep the iteration going this long.
inline constexpr int ql_max_sweeps = 30;

// The QL iteration as a resumable computation: each step() carries it to its next
// rotation (reported to the sink) or to its end, so that other, independent work can be
// done between two rotations. The iteration is one long chain of dependent divisions and
// square roots; work put between its steps runs in the gaps of that chain.
//
// Eigenvalues of the tridiagonal matrix with diagonal d[0..n) and off-diagonal e[0..n-1)
// (e[i] couples rows i and i+1), developed in place in d. e is destroyed; e[n-1] is only
// ever written. Each rotation is reported as sink(i, c, s): columns i and i+1 (counted
// from 0) of the eigenvector matrix are to be rotated by cosine c and sine s. Rotations
// with c = 1, s = 0 are reported too, since applying them can still flip the sign of a
// zero. When one eigenvalue would need more than ql_max_sweeps sweeps the iteration ends
// with failed() true.
class ql_stepper {
 public:
  ql_stepper() = default;
  ql_stepper(double* d, double* e, index_t n) : d_(d), e_(e), n_(n) {}

  bool running() const { return phase_ == phase::search || phase_ == phase::sweep; }
  bool failed() const { return phase_ == phase::failed; }

  // Returns false once the iteration has ended (then no rotation was reported).
  template <class Sink>
  [[gnu::always_inline]] bool step(Sink&& sink) {
    double* const d = d_;
    double* const e = e_;
    for (;;) {
      if (phase_ == phase::sweep) {
        const index_t i = i_;
        const double f = s_ * e[i];
        const double b = c_ * e[i];
        double r = ql_pythag(f, g_);
        e[i + 1] = r;
        if (r == 0.0) {
          // The matrix split exactly at i: undo the pending shift and start over.
          d[i + 1] = d[i + 1] - p_;
          e[m_] = 0.0;
          phase_ = phase::search;
          continue;
        }
        s_ = f / r;
        c_ = g_ / r;
        double g = d[i + 1] - p_;
        r = (d[i] - g) * s_ + 2.0 * c_ * b;
        p_ = s_ * r;
        d[i + 1] = g + p_;
        g_ = c_ * r - b;
        sink(i, c_, s_);
        if (--i_ < l_) {
          d[l_] = d[l_] - p_;
          e[l_] = g_;
          e[m_] = 0.0;
          phase_ = phase::search;
        }
        return true;
      }
      if (phase_ != phase::search) return false;
      if (l_ >= n_) {
        phase_ = phase::done;
        return false;
      }
      // The first off-diagonal entry below which the matrix splits: one so small that
      // adding it to its two diagonal neighbours changes nothing in floating point.
      index_t m = l_;
      for (; m < n_ - 1; ++m) {
        const double dd = std::fabs(d[m]) + std::fabs(d[m + 1]);
        if (std::fabs(e[m]) + dd == dd) break;
      }
      if (m == l_) {  // d[l] is an eigenvalue
        ++l_;
        sweeps_ = 0;
        continue;
      }
      if (sweeps_ == ql_max_sweeps) {
        phase_ = phase::failed;
        return false;
      }
      ++sweeps_;
      // Shift from the leading 2-by-2 block. sigma takes the sign of g with -0.0 counting
      // as non-negative, which keeps g + sigma away from cancellation.
      const index_t l = l_;
      double g = (d[l + 1] - d[l]) / (2.0 * e[l]);
      const double r = ql_pythag(g, 1.0);
      const double sigma = g >= 0.0 ? std::fabs(r) : -std::fabs(r);
      g_ = d[m] - d[l] + e[l] / (g + sigma);
      s_ = 1.0;
      c_ = 1.0;
      p_ = 0.0;
      m_ = m;
      i_ = m - 1;
      phase_ = phase::sweep;
    }
  }

 private:
  enum class phase { search, sweep, done, failed };
  double* d_ = nullptr;
  double* e_ = nullptr;
  index_t n_ = 0;
  index_t l_ = 0, m_ = 0, i_ = 0;
  int sweeps_ = 0;
  double s_ = 1.0, c_ = 1.0, p_ = 0.0, g_ = 0.0;
  phase phase_ = phase::search;
};

[[noreturn]] inline void ql_too_many_iterations() {
  fatal("too many iterations in QL algorithm", "sparse::s_eigen_ST");
}

// The whole iteration in one go; stops the program when it fails.
template <class Sink>
void ql_implicit(double* d, double* e, index_t n, Sink&& sink) {
  ql_stepper q(d, e, n);
  while (q.step(sink)) {
  }
  if (q.failed()) ql_too_many_iterations();
}

// Several QL iterations at once, one rotation of each in turn, until all have ended.
// Each is the same computation as alone (the same bits and rotations); the point is that
// one iteration is a chain of dependent divisions and square roots that leaves the
// processor mostly idle, and independent chains side by side fill those gaps.
template <class Sink>
void ql_interleaved(std::span<ql_stepper> q, std::span<Sink> sinks) {
  for (bool any = true; any;) {
    any = false;
    for (std::size_t k = 0; k < q.size(); ++k)
      if (q[k].running()) any = q[k].step(sinks[k]) || any;
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
