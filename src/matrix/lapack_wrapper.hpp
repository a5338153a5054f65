#pragma once
// Array-shaped calling forms of a few LAPACK routines: general solves, symmetric
// tridiagonal eigenproblems and machine constants.
//
// Each wrapper derives N, NRHS and the leading dimensions from the shapes of its
// arguments and hands LAPACK contiguous storage: a strided view is copied into a
// temporary, and copied back after the call when LAPACK may have written it. LAPACK's
// INFO > 0 reaches the caller only through the optional `info` argument (dstegr_wrap,
// which has none, throws it); the wrappers print nothing. Arguments too small for the
// sizes derived from them throw "** array sizes do not match [lapack_wrapper::<routine>]";
// an argument LAPACK finds illegal (INFO < 0) throws "** On entry to <ROUTINE> parameter
// number <i> had an illegal value [lapack_wrapper::xerbla]".
#include <complex>
#include <cstdint>
#include <functional>
#include <optional>

#include <ltide/common/view.hpp>

namespace ltide::matrix {

// An optional integer output: pass an int32_t lvalue, or nothing.
using info_out = std::optional<std::reference_wrapper<int32_t>>;
using pivots_out = std::optional<vector_view<int32_t>>;

// Solves A X = B for `a` n-by-n and `b` n-by-nrhs (n = rows of `a`). On return `a`
// holds LAPACK's LU factors and `b` the solution. `ipiv` receives its first
// min(size, n) pivot indices.
void sgesv_wrap(matrix_view<float> a, matrix_view<float> b, pivots_out ipiv = std::nullopt,
                info_out info = std::nullopt);
void dgesv_wrap(matrix_view<double> a, matrix_view<double> b, pivots_out ipiv = std::nullopt,
                info_out info = std::nullopt);
void cgesv_wrap(matrix_view<std::complex<float>> a, matrix_view<std::complex<float>> b,
                pivots_out ipiv = std::nullopt, info_out info = std::nullopt);
void zgesv_wrap(matrix_view<std::complex<double>> a, matrix_view<std::complex<double>> b,
                pivots_out ipiv = std::nullopt, info_out info = std::nullopt);

// The same with one right-hand side.
void sgesv_vec_wrap(matrix_view<float> a, vector_view<float> b, pivots_out ipiv = std::nullopt,
                    info_out info = std::nullopt);
void dgesv_vec_wrap(matrix_view<double> a, vector_view<double> b, pivots_out ipiv = std::nullopt,
                    info_out info = std::nullopt);
void cgesv_vec_wrap(matrix_view<std::complex<float>> a, vector_view<std::complex<float>> b,
                    pivots_out ipiv = std::nullopt, info_out info = std::nullopt);
void zgesv_vec_wrap(matrix_view<std::complex<double>> a, vector_view<std::complex<double>> b,
                    pivots_out ipiv = std::nullopt, info_out info = std::nullopt);

// Symmetric tridiagonal eigenproblem by implicit QL/QR. `compz` goes to LAPACK as
// given ('N' without `z`; 'I' or 'V' with it). `d` (n values) returns the eigenvalues,
// `e` (n - 1 values) is destroyed, `z` (at least n-by-n; LDZ = its rows) returns the
// eigenvectors, `work` needs max(1, 2n - 2) values (a private one is used when it is
// omitted or shorter).
void ssteqr_wrap(char compz, vector_view<float> d, vector_view<float> e,
                 std::optional<matrix_view<float>> z = std::nullopt,
                 std::optional<vector_view<float>> work = std::nullopt, info_out info = std::nullopt);
void dsteqr_wrap(char compz, vector_view<double> d, vector_view<double> e,
                 std::optional<matrix_view<double>> z = std::nullopt,
                 std::optional<vector_view<double>> work = std::nullopt, info_out info = std::nullopt);

// All eigenvalues (into `w`, n values) and, when `z` (n-by-n) is given, eigenvectors
// of the symmetric tridiagonal matrix by the relatively robust representation method.
// `d` is copied back as LAPACK leaves it; `e` needs n values (LAPACK's workspace).
// The eigenvalue count is not returned; INFO > 0 (an internal failure) throws
// "** <s|d>stegr failed with INFO = <i> [lapack_wrapper::<s|d>stegr_wrap]".
void sstegr_wrap(vector_view<float> d, vector_view<float> e, vector_view<float> w,
                 std::optional<matrix_view<float>> z = std::nullopt);
void dstegr_wrap(vector_view<double> d, vector_view<double> e, vector_view<double> w,
                 std::optional<matrix_view<double>> z = std::nullopt);

// LAPACK's machine constant for `cmach` ('S' is the safe minimum). `x` only selects
// the precision; its value is not used.
double dlamch_wrap(double x, char cmach);
float slamch_wrap(float x, char cmach);

}  // namespace ltide::matrix
