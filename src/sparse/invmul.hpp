#pragma once
// Solving A x = b for banded A: each s_invmul_<A>_<b> returns A^-1 b without forming
// A^-1. The order n = A.size() is that of the right-hand side too (the caller keeps the
// lengths consistent; a dense right-hand side has n rows and any number of columns).
// No input is checked: a zero diagonal entry or pivot gives infinities or NaNs, and the
// tridiagonal solvers do not pivot. Banded results start from zero elements, so the
// off-diagonal components of their last element are 0.
#include <optional>
#include <span>
#include <vector>

#include <ltide/common/view.hpp>
#include <ltide/sparse/kinds.hpp>

namespace ltide::sparse {

// Diagonal A: every entry of b divided by the diagonal entry of its row.
std::vector<double> s_invmul_d_v(std::span<const D> A, vector_view<const double> b);
array2<double> s_invmul_d_m(std::span<const D> A, matrix_view<const double> C);
std::vector<D> s_invmul_d_d(std::span<const D> A, std::span<const D> b);
std::vector<LB> s_invmul_d_lb(std::span<const D> A, std::span<const LB> b);
std::vector<RB> s_invmul_d_rb(std::span<const D> A, std::span<const RB> b);
std::vector<T> s_invmul_d_st(std::span<const D> A, std::span<const ST> b);
std::vector<T> s_invmul_d_t(std::span<const D> A, std::span<const T> b);

// Bidiagonal A: forward (LB) or back (RB) substitution, column by column.
std::vector<double> s_invmul_lb_v(std::span<const LB> A, vector_view<const double> b);
array2<double> s_invmul_lb_m(std::span<const LB> A, matrix_view<const double> C);
std::vector<double> s_invmul_rb_v(std::span<const RB> A, vector_view<const double> b);
array2<double> s_invmul_rb_m(std::span<const RB> A, matrix_view<const double> C);

// Tridiagonal A: elimination without pivoting, column by column.
std::vector<double> s_invmul_st_v(std::span<const ST> A, vector_view<const double> b);
array2<double> s_invmul_st_m(std::span<const ST> A, matrix_view<const double> C);
std::vector<double> s_invmul_t_v(std::span<const T> A, vector_view<const double> b);
array2<double> s_invmul_t_m(std::span<const T> A, matrix_view<const double> C);

// Element i = 1 / A(i).diag.
std::vector<D> s_inverse_d(std::span<const D> A);

// Eigenvalues of the symmetric tridiagonal A in ascending order, by LAPACK's relatively
// robust solver; with V (n by n), orthonormal eigenvectors in its columns. Without V only
// eigenvalues are computed.
void s_eigen_ST_lapack(std::span<const ST> A, vector_view<double> lambda,
                       std::optional<matrix_view<double>> V = std::nullopt);

}  // namespace ltide::sparse
