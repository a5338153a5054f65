// Eigen-solution of the Aleph matrix in the mode order the run driver indexes by k.
#include <algorithm>
#include <cstring>
#include <span>

#include <ltide/common/constants.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/coriolis/terms.hpp>
#include <ltide/coriolis/columns.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/sort/sort.hpp>
#include <ltide/sparse/eigen.hpp>
#include <ltide/sparse/rotations.hpp>

namespace ltide::coriolis {

namespace {

using detail::real;

// New column j of B = old column idx(j), following the cycles of the permutation so that
// one column of n reals is the only copy.
void permute_columns(matrix_view<double> B, const std::vector<int32_t>& idx) {
  const index_t n = B.cols;
  std::vector<char> done(static_cast<std::size_t>(n), 0);
  std::vector<double> saved(static_cast<std::size_t>(B.rows));
  auto copy_col = [&](index_t to, index_t from) {
    std::copy_n(B.col(from).data, B.rows, B.col(to).data);
  };
  for (index_t start = 1; start <= n; ++start) {
    if (done[static_cast<std::size_t>(start - 1)]) continue;
    std::copy_n(B.col(start).data, B.rows, saved.data());
    index_t k = start;
    for (;;) {
      done[static_cast<std::size_t>(k - 1)] = 1;
      const index_t next = idx[static_cast<std::size_t>(k - 1)];
      if (next == start) {
        std::copy_n(saved.data(), B.rows, B.col(k).data);
        break;
      }
      copy_col(k, next);
      k = next;
    }
  }
}

// The mode order: descending eigenvalues, rotated left by the count of modes that
// m*nu > 0 lifted above the rest. Puts lambda into that order and returns the old
// position (from 1) of each new entry.
std::vector<int32_t> order_eigenvalues(int32_t m, bool even, int32_t n, double nu, vector_view<double> lambda) {
  std::vector<int32_t> idx = sort::s_index_sort_d(vector_view<const double>(lambda));
  std::reverse(idx.begin(), idx.end());
  const int64_t c = rotation_count(m, even, n, nu) % n;
  std::rotate(idx.begin(), idx.begin() + c, idx.end());

  const std::vector<double> old = lambda.to_vector();
  for (index_t j = 1; j <= n; ++j) lambda(j) = old[static_cast<std::size_t>(idx[static_cast<std::size_t>(j - 1)] - 1)];
  return idx;
}

}  // namespace

namespace detail {

// Column j of Q from column j of B: Q(i, j) = B(i, j) / (l_i a_j (l_i + 1)), rows `first` .. n.
// With a_j = 1/lambda this is Q_l = lambda B_l / (l(l+1)), the poloidal potential of xi_h
// from div_h xi_h = -lambda xi_r.
void fill_Q_column(int64_t l0, index_t first, index_t n, double aj, vector_view<const double> b, vector_view<double> q) {
  for (index_t i = first; i <= n; ++i) {
    const int64_t l = l0 + 2 * (i - 1);
    q(i) = b(i) / (real(l) * aj * real(l + 1));
  }
}

// The toroidal potential from the radial vorticity balance on degree p of the other parity:
// (p(p+1) - m nu) R_p = nu [(p^2-1) J_p Q_{p-1} + p(p+2) J_{p+1} Q_{p+1}], written in B.
r_weights weights_of_R(double nu, int32_t m, bool even, index_t n, bool full_j) {
  const double mnu = m_nu(m, nu);
  const int64_t am = abs_m(m);
  auto F = [&](int64_t p) { return nu / (1.0 - mnu / real(p * (p + 1))); };
  auto w = [&](int64_t p) { return (full_j ? detail::J_full(p, m) : detail::J(p, m)) / real(p * p); };
  const auto size = static_cast<std::size_t>(n);
  r_weights rw{even, std::vector<double>(size), std::vector<double>(size), std::vector<double>(size)};
  for (index_t i = 1; i <= n; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    if (even) {
      const int64_t p = am + 1 + 2 * (i - 1);  // p_i = l_i + 1, between l_i and l_{i+1}
      rw.self[k] = w(p);
      rw.next[k] = i < n ? w(p + 1) : 0.0;
      rw.f[k] = F(p);
    } else {
      const int64_t p = am + 2 * (i - 1);  // p_i = l_i - 1, between l_{i-1} and l_i
      rw.self[k] = w(p + 1);
      rw.next[k] = i > 1 ? w(p) : 0.0;
      // For m = 0 the lowest degree is p = 0, where 1 - m nu/(p(p+1)) is 0/0: F is nu.
      rw.f[k] = (i == 1 && m == 0) ? nu : F(p);
    }
  }
  return rw;
}

void fill_R_column(const r_weights& rw, double aj, vector_view<const double> b, vector_view<double> r) {
  const index_t n = b.size;
  for (index_t i = 1; i <= n; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    double s = rw.self[k] * b(i);
    if (rw.even && i < n) s = s + rw.next[k] * b(i + 1);
    if (!rw.even && i > 1) s = s + rw.next[k] * b(i - 1);
    r(i) = s * rw.f[k] / aj;
  }
}

}  // namespace detail

namespace {

// Column q of Q for entry j of the mode order (eigenvalue aj, column b of B). With degree 0
// apart its mode is entry 1, the first unit vector, and no other mode has a degree-0 part.
void fill_Q_of_entry(int64_t l0, bool degree0, index_t j, double aj, vector_view<const double> b,
                     vector_view<double> q) {
  const index_t n = q.size;
  if (!degree0) {
    detail::fill_Q_column(l0, 1, n, aj, b, q);
  } else if (j == 1) {
    q(1) = 1.0;
    for (index_t i = 2; i <= n; ++i) q(i) = 0.0;
  } else {
    q(1) = 0.0;
    detail::fill_Q_column(l0, 2, n, aj, b, q);
  }
}

}  // namespace

void Aleph_eigen(double nu, int32_t m, bool even, int32_t n, vector_view<double> lambda,
                 std::optional<matrix_view<double>> B, std::optional<matrix_view<double>> Q,
                 std::optional<matrix_view<double>> R, bool ordered) {
  const std::vector<sparse::ST> A = aleph_matrix(nu, m, even, n);
  // Degree 0 carries no tidal flow: its row is HUGE and is solved apart as the first
  // unit vector, and its coupling to degree 2 is dropped.
  const bool degree0 = degree0_apart(m, even);

  if (n >= 1) {
    if (!degree0) {
      sparse::s_eigen_ST(A, lambda, B);
    } else {
      const index_t k = n - 1;
      std::optional<matrix_view<double>> Bsub;
      if (B) Bsub = B->block(2, 2, k, k);
      sparse::s_eigen_ST(std::span<const sparse::ST>(A).subspan(1), lambda.sub(2, k), Bsub);
      if (B) {
        (*B)(1, 1) = 1.0;
        for (index_t j = 2; j <= n; ++j) (*B)(1, j) = 0.0;
        for (index_t i = 2; i <= n; ++i) (*B)(i, 1) = 0.0;
      }
      lambda(1) = HUGE_VALUE;
    }
    if (ordered) {
      const std::vector<int32_t> idx = order_eigenvalues(m, even, n, nu, lambda);
      if (B) permute_columns(*B, idx);
    }
  }

  const int64_t l0 = first_degree(m, even);
  if (Q) {
    if (!B) fatal("Cannot calculate Q without calculating B", "coriolis::Aleph_eigen");
    for (index_t j = 1; j <= n; ++j) fill_Q_of_entry(l0, degree0, j, lambda(j), B->col(j), Q->col(j));
  }
  if (R) {
    if (!B) fatal("Cannot calculate R without calculating B", "coriolis::Aleph_eigen");
    const detail::r_weights rw = detail::weights_of_R(nu, m, even, n, false);
    for (index_t j = 1; j <= n; ++j) detail::fill_R_column(rw, lambda(j), B->col(j), R->col(j));
  }
}

void w_eigen(double nu, int32_t m, bool even, int32_t n, vector_view<double> lambda,
             std::optional<matrix_view<double>> B, std::optional<matrix_view<double>> Q,
             std::optional<matrix_view<double>> R, bool ordered) {
  Aleph_eigen(nu, m, even, n, lambda, B, Q, R, ordered);
  for (index_t i = 1; i <= n; ++i) lambda(i) = 1.0 / lambda(i);
}

namespace {

bool same_double(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// The rows and columns of the Aleph matrix that go into the QL iteration: all but the
// degree-0 row, which is solved apart.
index_t first_solved_row(int32_t m, bool even) { return degree0_apart(m, even) ? 1 : 0; }

bool prepared_for(const mode_workspace::solve& s, double nu, int32_t m, bool even, int32_t n) {
  return s.ready && same_double(s.nu, nu) && s.m == m && s.even == even && s.n == n;
}

}  // namespace

bool mode_workspace::ready_for(double nu, int32_t m, bool even, int32_t n) const {
  return std::any_of(solves.begin(), solves.end(),
                     [&](const solve& s) { return prepared_for(s, nu, m, even, n); });
}

void w_eigen_mode_prepare(std::span<const double> nus, int32_t m, bool even, int32_t n, mode_workspace& work) {
  if (n < 1) return;
  if (work.solves.size() < nus.size()) work.solves.resize(nus.size());
  const index_t first = first_solved_row(m, even);
  const index_t k = n - first;
  // The logs as the sinks of the iterations.
  struct log_sink {
    sparse::rotation_log* log;
    [[gnu::always_inline]] void operator()(index_t i, double c, double s) const { (*log)(i, c, s); }
  };
  std::vector<sparse::ql_stepper> steppers;
  std::vector<log_sink> sinks;
  for (std::size_t j = 0; j < work.solves.size(); ++j) {
    mode_workspace::solve& s = work.solves[j];
    // Ready only once its iteration has run: a failure (out of memory in the logs) part
    // way must not leave a caller who carries on with unsolved entries marked ready.
    s.ready = false;
    if (j >= nus.size()) continue;
    s.nu = nus[j];
    s.m = m;
    s.n = n;
    s.even = even;
    const std::vector<sparse::ST> A = aleph_matrix(s.nu, m, even, n);
    s.d.resize(static_cast<std::size_t>(k));
    s.e.resize(static_cast<std::size_t>(k));
    for (index_t i = 0; i < k; ++i) {
      s.d[static_cast<std::size_t>(i)] = A[static_cast<std::size_t>(first + i)].diag;
      s.e[static_cast<std::size_t>(i)] = A[static_cast<std::size_t>(first + i)].off;
    }
    s.log.reset();
    steppers.emplace_back(s.d.data(), s.e.data(), k);
    sinks.push_back({&s.log});
  }
  sparse::ql_interleaved(std::span<sparse::ql_stepper>(steppers), std::span<log_sink>(sinks));
  for (std::size_t j = 0; j < nus.size(); ++j) {
    work.solves[j].failed = steppers[j].failed();
    work.solves[j].ready = true;
  }
}

void w_eigen_mode(double nu, int32_t m, bool even, int32_t n, int32_t i_mode, vector_view<double> lambda,
                  vector_view<double> b, vector_view<double> q, vector_view<double> r, mode_workspace* work) {
  if (n < 1) return;
  if (i_mode < 1 || i_mode > n) fatal("mode index out of range", "coriolis::w_eigen_mode");
  // As in Aleph_eigen: for degree 0 the QL problem is rows and columns 2 .. n.
  const bool degree0 = degree0_apart(m, even);
  const index_t first = first_solved_row(m, even);
  const index_t k = n - first;

  // The eigenvalue iteration of s_eigen_ST with its rotations kept instead of applied:
  // prepared in the workspace, or run now.
  mode_workspace local;
  mode_workspace& w = work ? *work : local;
  auto prepared = std::find_if(w.solves.begin(), w.solves.end(),
                               [&](const mode_workspace::solve& s) { return prepared_for(s, nu, m, even, n); });
  if (prepared == w.solves.end()) {
    w_eigen_mode_prepare(std::span<const double>(&nu, 1), m, even, n, w);
    prepared = w.solves.begin();
  }
  mode_workspace::solve& solved = *prepared;
  solved.ready = false;
  if (solved.failed) sparse::ql_too_many_iterations();
  const sparse::rotation_log& log = solved.log;
  for (index_t i = 0; i < k; ++i) lambda(first + i + 1) = solved.d[static_cast<std::size_t>(i)];
  if (degree0) lambda(1) = HUGE_VALUE;

  // Column i_mode of the ordered B is column `from` of the solver's B.
  const std::vector<int32_t> idx = order_eigenvalues(m, even, n, nu, lambda);
  const index_t from = idx[static_cast<std::size_t>(i_mode - 1)];
  if (!degree0) {
    sparse::rotated_identity_column(n, log.sequence(), from - 1, b);
  } else if (from == 1) {
    b(1) = 1.0;
    for (index_t i = 2; i <= n; ++i) b(i) = 0.0;
  } else {
    b(1) = 0.0;
    sparse::rotated_identity_column(k, log.sequence(), from - 2, b.sub(2, k));
  }

  const double a = lambda(i_mode);
  const int64_t l0 = first_degree(m, even);
  fill_Q_of_entry(l0, degree0, i_mode, a, b, q);
  detail::fill_R_column(detail::weights_of_R(nu, m, even, n, false), a, b, r);

  for (index_t i = 1; i <= n; ++i) lambda(i) = 1.0 / lambda(i);
}

}  // namespace ltide::coriolis
