#pragma once
// Dense LU decomposition (Crout's method with implicit row scaling and partial
// pivoting), solving, inversion and determinants for the kinds s, d, c, z.
//
// A routine works on n = the number of rows of `a` and treats `a` as n x n. Row
// numbers in `pivot_rows` count from 1. A matrix with an all-zero row stops the run
// with "** singular matrix [matrix::r_lu_decompose]" (real kinds) or
// "... [matrix::c_lu_decompose]" (complex kinds); any other singular matrix gets tiny
// pivots and no message. Arguments too small for n rows stop the run with
// "** array sizes do not match [matrix::<routine>]".
#include <complex>
#include <cstdint>
#include <optional>
#include <vector>

#include <ltide/common/view.hpp>

namespace ltide::matrix {

// The n-by-n identity; `x` only selects the kind.
array2<float> s_unit(int32_t n, float x);
array2<double> d_unit(int32_t n, double x);
array2<std::complex<float>> c_unit(int32_t n, std::complex<float> x);
array2<std::complex<double>> z_unit(int32_t n, std::complex<double> x);
// The single-precision identity, a copy of s_unit(n, 1).
array2<float> s_unit_(int32_t n);

// Decomposes `a` in place: U on and above the diagonal, the multipliers of L below.
// `pivot_rows` is resized to n; `parity` is +1 or -1 (complex: (+-1, 0)).
void s_lu_decompose(matrix_view<float> a, std::vector<int32_t>& pivot_rows, float& parity);
void d_lu_decompose(matrix_view<double> a, std::vector<int32_t>& pivot_rows, double& parity);
void c_lu_decompose(matrix_view<std::complex<float>> a, std::vector<int32_t>& pivot_rows,
                    std::complex<float>& parity);
void z_lu_decompose(matrix_view<std::complex<double>> a, std::vector<int32_t>& pivot_rows,
                    std::complex<double>& parity);

// x with A x = b, from `a` and `pivot_rows` as left by the decomposition.
std::vector<float> s_lu_substitute_vec(matrix_view<const float> a, vector_view<const int32_t> pivot_rows,
                                       vector_view<const float> b);
std::vector<double> d_lu_substitute_vec(matrix_view<const double> a, vector_view<const int32_t> pivot_rows,
                                        vector_view<const double> b);
std::vector<std::complex<float>> c_lu_substitute_vec(matrix_view<const std::complex<float>> a,
                                                     vector_view<const int32_t> pivot_rows,
                                                     vector_view<const std::complex<float>> b);
std::vector<std::complex<double>> z_lu_substitute_vec(matrix_view<const std::complex<double>> a,
                                                      vector_view<const int32_t> pivot_rows,
                                                      vector_view<const std::complex<double>> b);

// The same for each column of an n-by-m right-hand side.
array2<float> s_lu_substitute(matrix_view<const float> a, vector_view<const int32_t> pivot_rows,
                              matrix_view<const float> b);
array2<double> d_lu_substitute(matrix_view<const double> a, vector_view<const int32_t> pivot_rows,
                               matrix_view<const double> b);
array2<std::complex<float>> c_lu_substitute(matrix_view<const std::complex<float>> a,
                                            vector_view<const int32_t> pivot_rows,
                                            matrix_view<const std::complex<float>> b);
array2<std::complex<double>> z_lu_substitute(matrix_view<const std::complex<double>> a,
                                             vector_view<const int32_t> pivot_rows,
                                             matrix_view<const std::complex<double>> b);

// A^-1 b, decomposing a private copy of `a`.
std::vector<float> s_invmul_vec(matrix_view<const float> a, vector_view<const float> b);
std::vector<double> d_invmul_vec(matrix_view<const double> a, vector_view<const double> b);
std::vector<std::complex<float>> c_invmul_vec(matrix_view<const std::complex<float>> a,
                                              vector_view<const std::complex<float>> b);
std::vector<std::complex<double>> z_invmul_vec(matrix_view<const std::complex<double>> a,
                                               vector_view<const std::complex<double>> b);

// A^-1 B for an n-by-m `b`, decomposing a private copy of `a`.
array2<float> s_invmul(matrix_view<const float> a, matrix_view<const float> b);
array2<double> d_invmul(matrix_view<const double> a, matrix_view<const double> b);
array2<std::complex<float>> c_invmul(matrix_view<const std::complex<float>> a,
                                     matrix_view<const std::complex<float>> b);
array2<std::complex<double>> z_invmul(matrix_view<const std::complex<double>> a,
                                      matrix_view<const std::complex<double>> b);

// A^-1, as the solve against the identity.
array2<float> s_inverse(matrix_view<const float> a);
array2<double> d_inverse(matrix_view<const double> a);
array2<std::complex<float>> c_inverse(matrix_view<const std::complex<float>> a);
array2<std::complex<double>> z_inverse(matrix_view<const std::complex<double>> a);

// The determinant of `a` (a copy is decomposed); with `scale`, det / scale^n, the
// division applied after each diagonal factor so that large matrices stay in range.
float s_det(matrix_view<const float> a, std::optional<float> scale = std::nullopt);
double d_det(matrix_view<const double> a, std::optional<double> scale = std::nullopt);
std::complex<float> c_det(matrix_view<const std::complex<float>> a, std::optional<float> scale = std::nullopt);
std::complex<double> z_det(matrix_view<const std::complex<double>> a, std::optional<double> scale = std::nullopt);

}  // namespace ltide::matrix
