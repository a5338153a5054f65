#pragma once
// Laplace's tidal equation (traditional approximation) for azimuthal order m and spin
// parameter nu, written in a basis of n spherical-harmonic degrees of one parity:
// l_i = |m| + 2(i-1) when `even` is true, |m| + 1 + 2(i-1) when it is false. The other
// parity series, which the Coriolis coupling passes through, also has n degrees.
//
// The Aleph matrix is symmetric tridiagonal; its eigenvalues a are the reciprocals of
// the tidal eigenvalues lambda and its eigenvectors the expansion coefficients.
#include <cstdint>
#include <optional>
#include <vector>

#include "common/view.hpp"
#include "sparse/kinds.hpp"

namespace ltide::coriolis {

// The Aleph matrix of order n. Elements whose formula has a zero denominator hold
// HUGE_VALUE (degree 0 in particular); the off of element n is 0.
std::vector<sparse::ST> aleph_matrix(double nu, int32_t m, bool even, int32_t n);

// Eigenvalues a of the Aleph matrix into lambda(1..n); optionally its unit eigenvectors
// (columns of B), Q(i, j) = B(i, j) / (l_i a_j (l_i + 1)) and R, the coefficients over
// the degrees of the other parity. Every matrix is n by n. With `ordered` the pairs are
// put into mode order: descending a, rotated so that the modes whose a was raised past
// the others by m*nu > 0 come last. Q or R without B is a fatal error. For m = 0 and
// `even` the degree-0 row is left out of the eigenproblem and lambda(1) = HUGE_VALUE.
void Aleph_eigen(double nu, int32_t m, bool even, int32_t n, vector_view<double> lambda,
                 std::optional<matrix_view<double>> B = std::nullopt,
                 std::optional<matrix_view<double>> Q = std::nullopt,
                 std::optional<matrix_view<double>> R = std::nullopt, bool ordered = false);

// As Aleph_eigen, then lambda(i) = 1 / lambda(i): the tidal eigenvalues.
void w_eigen(double nu, int32_t m, bool even, int32_t n, vector_view<double> lambda,
             std::optional<matrix_view<double>> B = std::nullopt,
             std::optional<matrix_view<double>> Q = std::nullopt,
             std::optional<matrix_view<double>> R = std::nullopt, bool ordered = false);

}  // namespace ltide::coriolis
