// Eigen-solution of the Aleph matrix in the mode order the run driver indexes by k.
#include <algorithm>
#include <span>

#include "common/constants.hpp"
#include "common/fatal.hpp"
#include "coriolis/basis.hpp"
#include "coriolis/coriolis.hpp"
#include "sort/sort.hpp"
#include "sparse/eigen.hpp"

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

// Descending eigenvalues, rotated left by the count of modes that m*nu > 0 lifted above
// the rest; lambda and the columns of B follow the same permutation.
void order_eigenpairs(int32_t m, bool even, int32_t n, double nu, vector_view<double> lambda,
                      std::optional<matrix_view<double>> B) {
  std::vector<int32_t> idx = sort::s_index_sort_d(vector_view<const double>(lambda));
  std::reverse(idx.begin(), idx.end());
  const int64_t c = detail::rotation_count(m, even, n, nu) % n;
  std::rotate(idx.begin(), idx.begin() + c, idx.end());

  const std::vector<double> old = lambda.to_vector();
  for (index_t j = 1; j <= n; ++j) lambda(j) = old[static_cast<std::size_t>(idx[static_cast<std::size_t>(j - 1)] - 1)];
  if (B) permute_columns(*B, idx);
}

// Q(i, j) = B(i, j) / (l_i a_j (l_i + 1)), from row `first` and column `first` on.
void fill_Q(int64_t l0, index_t first, index_t n, vector_view<const double> a, matrix_view<const double> B,
            matrix_view<double> Q) {
  for (index_t j = first; j <= n; ++j) {
    const double aj = a(j);
    for (index_t i = first; i <= n; ++i) {
      const int64_t l = l0 + 2 * (i - 1);
      Q(i, j) = B(i, j) / (real(l) * aj * real(l + 1));
    }
  }
}

// R over the other-parity degrees p_i. Each row combines the two neighbouring primary
// degrees p-1 and p+1 with weights J/p^2 and J/(p+1)^2 and the factor
// F(p) = nu / (1 - m nu / (p(p+1))), and is divided by the Aleph eigenvalue of its column.
void fill_R(double nu, int32_t m, bool even, index_t n, vector_view<const double> a, matrix_view<const double> B,
            matrix_view<double> R) {
  const double mnu = detail::m_nu(m, nu);
  const int64_t am = detail::abs_m(m);
  auto F = [&](int64_t p) { return nu / (1.0 - mnu / real(p * (p + 1))); };
  auto w = [&](int64_t p) { return detail::J(p, m) / real(p * p); };

  // Per row: the weight of B(i, j), that of the neighbour B(i + step, j) and F.
  std::vector<double> w_self(static_cast<std::size_t>(n)), w_next(static_cast<std::size_t>(n)),
      f(static_cast<std::size_t>(n));
  for (index_t i = 1; i <= n; ++i) {
    const auto k = static_cast<std::size_t>(i - 1);
    if (even) {
      const int64_t p = am + 1 + 2 * (i - 1);  // p_i = l_i + 1, between l_i and l_{i+1}
      w_self[k] = w(p);
      w_next[k] = i < n ? w(p + 1) : 0.0;
      f[k] = F(p);
    } else {
      const int64_t p = am + 2 * (i - 1);  // p_i = l_i - 1, between l_{i-1} and l_i
      w_self[k] = w(p + 1);
      w_next[k] = i > 1 ? w(p) : 0.0;
      // For m = 0 the lowest degree is p = 0, where 1 - m nu/(p(p+1)) is 0/0: F is nu.
      f[k] = (i == 1 && m == 0) ? nu : F(p);
    }
  }

  for (index_t j = 1; j <= n; ++j) {
    const double aj = a(j);
    for (index_t i = 1; i <= n; ++i) {
      const auto k = static_cast<std::size_t>(i - 1);
      double s = w_self[k] * B(i, j);
      if (even && i < n) s = s + w_next[k] * B(i + 1, j);
      if (!even && i > 1) s = s + w_next[k] * B(i - 1, j);
      R(i, j) = s * f[k] / aj;
    }
  }
}

}  // namespace

void Aleph_eigen(double nu, int32_t m, bool even, int32_t n, vector_view<double> lambda,
                 std::optional<matrix_view<double>> B, std::optional<matrix_view<double>> Q,
                 std::optional<matrix_view<double>> R, bool ordered) {
  const std::vector<sparse::ST> A = aleph_matrix(nu, m, even, n);
  // Degree 0 carries no tidal flow: its row is HUGE and is solved apart as the first
  // unit vector, and its coupling to degree 2 is dropped.
  const bool degree0 = even && m == 0;

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
    if (ordered) order_eigenpairs(m, even, n, nu, lambda, B);
  }

  const int64_t l0 = detail::first_degree(m, even);
  if (Q) {
    if (!B) fatal("Cannot calculate Q without calculating B", "coriolis::Aleph_eigen");
    if (!degree0) {
      fill_Q(l0, 1, n, lambda, *B, *Q);
    } else if (n >= 1) {
      (*Q)(1, 1) = 1.0;
      for (index_t j = 2; j <= n; ++j) (*Q)(1, j) = 0.0;
      for (index_t i = 2; i <= n; ++i) (*Q)(i, 1) = 0.0;
      fill_Q(l0, 2, n, lambda, *B, *Q);
    }
  }
  if (R) {
    if (!B) fatal("Cannot calculate R without calculating B", "coriolis::Aleph_eigen");
    fill_R(nu, m, even, n, lambda, *B, *R);
  }
}

void w_eigen(double nu, int32_t m, bool even, int32_t n, vector_view<double> lambda,
             std::optional<matrix_view<double>> B, std::optional<matrix_view<double>> Q,
             std::optional<matrix_view<double>> R, bool ordered) {
  Aleph_eigen(nu, m, even, n, lambda, B, Q, R, ordered);
  for (index_t i = 1; i <= n; ++i) lambda(i) = 1.0 / lambda(i);
}

}  // namespace ltide::coriolis
