#include <ltide/sparse/eigen.hpp>

#include <cstddef>
#include <vector>

#include <ltide/sparse/ql.hpp>
#include <ltide/sparse/rotations.hpp>

namespace ltide::sparse {
namespace {

void set_identity(matrix_view<double> V, index_t n) {
  for (index_t j = 1; j <= n; ++j)
    for (index_t i = 1; i <= n; ++i) V(i, j) = i == j ? 1.0 : 0.0;
}

}  // namespace

void s_eigen_ST(std::span<const ST> A, vector_view<double> lambda, std::optional<matrix_view<double>> V,
                bool keep_V) {
  const auto n = static_cast<index_t>(A.size());
  if (n == 0) return;

  // Work on copies: e is overwritten by the iteration, and lambda may be strided.
  std::vector<double> e(static_cast<std::size_t>(n));
  std::vector<double> d_work;
  for (index_t i = 0; i < n; ++i) e[static_cast<std::size_t>(i)] = A[static_cast<std::size_t>(i)].off;
  double* d = lambda.data;
  if (lambda.stride != 1) {
    d_work.resize(static_cast<std::size_t>(n));
    d = d_work.data();
  }
  for (index_t i = 0; i < n; ++i) d[i] = A[static_cast<std::size_t>(i)].diag;

  if (V) {
    if (!keep_V) set_identity(*V, n);
    if (n >= ql_blocked_min_order) {
      ql_implicit_blocked(d, e.data(), n, *V);
    } else {
      ql_implicit(d, e.data(), n, ql_rotate_columns{*V, n});
    }
  } else {
    ql_implicit(d, e.data(), n, ql_discard{});
  }

  if (d != lambda.data)
    for (index_t i = 0; i < n; ++i) lambda[i] = d[i];
}

void s_eigen_d(std::span<const D> A, vector_view<double> lambda, std::optional<matrix_view<double>> V) {
  const auto n = static_cast<index_t>(A.size());
  for (index_t i = 0; i < n; ++i) lambda[i] = A[static_cast<std::size_t>(i)].diag;
  if (V) set_identity(*V, n);
}

}  // namespace ltide::sparse
