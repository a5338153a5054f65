#pragma once
// Eigen-solutions of symmetric tridiagonal and diagonal matrices.
#include <optional>
#include <span>

#include <ltide/common/view.hpp>
#include <ltide/sparse/kinds.hpp>

namespace ltide::sparse {

// Eigenvalues of the symmetric tridiagonal A (order n = A.size()) into lambda(1..n), in
// the order the QL iteration leaves them (unsorted). With V (n by n), column j receives
// the unit eigenvector of lambda(j). V starts from the identity unless keep_V is true, in
// which case the rotations are applied to V as passed (V on return = V on entry times the
// eigenvector matrix). The off component of A's last element is not used. Stops the
// program when one eigenvalue needs more than 30 sweeps.
void s_eigen_ST(std::span<const ST> A, vector_view<double> lambda,
                std::optional<matrix_view<double>> V = std::nullopt, bool keep_V = false);

// lambda(i) = A(i).diag in element order; V, when given, becomes the n-by-n identity.
void s_eigen_d(std::span<const D> A, vector_view<double> lambda, std::optional<matrix_view<double>> V = std::nullopt);

}  // namespace ltide::sparse
