#pragma once
// The LAPACK routines the library calls, with 32-bit integers. Fortran passes the length
// of every character argument as a hidden trailing value.
#include <complex>
#include <cstddef>
#include <cstdint>

extern "C" {
void sgesv_(const int32_t* n, const int32_t* nrhs, float* a, const int32_t* lda, int32_t* ipiv, float* b,
            const int32_t* ldb, int32_t* info);
void dgesv_(const int32_t* n, const int32_t* nrhs, double* a, const int32_t* lda, int32_t* ipiv, double* b,
            const int32_t* ldb, int32_t* info);
void cgesv_(const int32_t* n, const int32_t* nrhs, std::complex<float>* a, const int32_t* lda, int32_t* ipiv,
            std::complex<float>* b, const int32_t* ldb, int32_t* info);
void zgesv_(const int32_t* n, const int32_t* nrhs, std::complex<double>* a, const int32_t* lda, int32_t* ipiv,
            std::complex<double>* b, const int32_t* ldb, int32_t* info);

void ssteqr_(const char* compz, const int32_t* n, float* d, float* e, float* z, const int32_t* ldz, float* work,
             int32_t* info, std::size_t compz_len);
void dsteqr_(const char* compz, const int32_t* n, double* d, double* e, double* z, const int32_t* ldz,
             double* work, int32_t* info, std::size_t compz_len);

void sstegr_(const char* jobz, const char* range, const int32_t* n, float* d, float* e, const float* vl,
             const float* vu, const int32_t* il, const int32_t* iu, const float* abstol, int32_t* m, float* w,
             float* z, const int32_t* ldz, int32_t* isuppz, float* work, const int32_t* lwork, int32_t* iwork,
             const int32_t* liwork, int32_t* info, std::size_t jobz_len, std::size_t range_len);
void dstegr_(const char* jobz, const char* range, const int32_t* n, double* d, double* e, const double* vl,
             const double* vu, const int32_t* il, const int32_t* iu, const double* abstol, int32_t* m, double* w,
             double* z, const int32_t* ldz, int32_t* isuppz, double* work, const int32_t* lwork, int32_t* iwork,
             const int32_t* liwork, int32_t* info, std::size_t jobz_len, std::size_t range_len);

void dstevr_(const char* jobz, const char* range, const int32_t* n, double* d, double* e, const double* vl,
             const double* vu, const int32_t* il, const int32_t* iu, const double* abstol, int32_t* m, double* w,
             double* z, const int32_t* ldz, int32_t* isuppz, double* work, const int32_t* lwork, int32_t* iwork,
             const int32_t* liwork, int32_t* info, std::size_t jobz_len, std::size_t range_len);

double dlamch_(const char* cmach, std::size_t cmach_len);
float slamch_(const char* cmach, std::size_t cmach_len);
}

#include <string_view>

namespace ltide::matrix {

// To be called with INFO after every LAPACK call. INFO < 0 (an illegal argument, which
// LAPACK's error handler xerbla_ has recorded) throws "** On entry to <ROUTINE> parameter
// number <i> had an illegal value [lapack_wrapper::xerbla]". INFO > 0 throws
// "** <routine> failed with INFO = <i> [tag]" unless `positive_ok`, when the caller reads
// it (a singular solve, an iteration that did not converge).
void check_lapack_info(int32_t info, std::string_view routine, std::string_view tag, bool positive_ok = false);

}  // namespace ltide::matrix
