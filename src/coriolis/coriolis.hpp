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
#include <span>
#include <vector>

#include <ltide/common/view.hpp>
#include <ltide/coriolis/degrees.hpp>
#include <ltide/sparse/kinds.hpp>
#include <ltide/sparse/rotations.hpp>

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

// What w_eigen_mode keeps between calls: the eigenvalue iterations of spin parameters
// prepared ahead (their eigenvalues and rotations, about 16 n^2 bytes each), and their
// memory for reuse, so that a loop over spin parameters allocates only while its solves
// grow.
struct mode_workspace {
  struct solve {
    double nu = 0.0;
    int32_t m = 0, n = 0;
    bool even = false;
    bool ready = false;  // prepared and not yet used
    bool failed = false;  // the iteration did not converge
    std::vector<double> d, e;
    sparse::rotation_log log;
  };
  std::vector<solve> solves;

  // Whether an iteration for exactly this nu (bit for bit), m, even and n waits here.
  bool ready_for(double nu, int32_t m, bool even, int32_t n) const;
};

// Runs the QL eigenvalue iterations of several spin parameters at once (same m, even, n),
// keeping each one's eigenvalues and rotations in work for the w_eigen_mode call of that
// spin parameter. Each iteration gives the bits it gives alone; side by side their chains
// of dependent divisions overlap, so a few prepared together cost little more than one.
// A failed iteration stops the program only when w_eigen_mode asks for it.
void w_eigen_mode_prepare(std::span<const double> nus, int32_t m, bool even, int32_t n, mode_workspace& work);

// The driver's eigen-solution: w_eigen with `ordered` for all n eigenvalues into lambda,
// but only column i_mode (1 .. n) of B, Q and R, into b, q and r (n values each). Every
// value is bit for bit the one w_eigen returns. Only the rotations of the QL iteration
// that can reach that column are applied. With a workspace, an iteration prepared there
// for this nu (bit for bit) is used. Stops the program when i_mode is out of range, and
// with the QL message when the iteration does not converge.
void w_eigen_mode(double nu, int32_t m, bool even, int32_t n, int32_t i_mode, vector_view<double> lambda,
                  vector_view<double> b, vector_view<double> q, vector_view<double> r,
                  mode_workspace* work = nullptr);

// Estimates above this leave the printed six digits of a tidal eigenvalue in doubt (see
// docs/resolution.md for the measurements behind the value).
inline constexpr double RESOLUTION_THRESHOLD = 1.0e-7;

// Whether an estimate of truncation_error says the basis resolves the mode: false for NaN.
inline bool mode_resolved(double estimate) { return estimate <= RESOLUTION_THRESHOLD; }

// Estimated relative error that the truncation of the basis at n degrees causes in the
// eigenvalue of mode k, taken from the ordered list as w_lambda takes it, whose Aleph
// eigenvalue is a: |a' - a| / |a|, a' the eigenvalue of the untruncated operator near a,
// to first order also the relative error of the tidal eigenvalue 1/a. Infinity when a
// larger basis puts another mode at that place of the list (however accurate a is as an
// eigenvalue), for a = 0 or a non-finite a, and for HUGE elements in the basis (singular
// nu). The degree-0 mode (m = 0, even, a HUGE or infinite) is exact: 0. Needs only a, so
// any solver's eigenvalue of the mode gives the same answer; O(n) time and memory. `full`
// takes the operator with J in double precision, the one the single-mode solver solves.
double truncation_error(double nu, int32_t m, int32_t k, int32_t n, double a, bool full = false);

// ---------------------------------------------------------------------------------
// The factors of the Aleph matrix, A = (L - nu^2 Mtilde Ltilde^-1 M) Lambda^-1. M takes
// the primary series to the other-parity one (degrees l_i + 1 for the even series,
// l_i - 1 for the odd one) and Mtilde takes it back. Degree 0 (m = 0) is not guarded:
// its elements come out as 0/0 or infinities.

// Lambda: l_i(l_i + 1) (nu is not used).
std::vector<sparse::D> lambda_matrix(double nu, int32_t m, bool even, int32_t n);
// L: 1 - m nu / (l_i(l_i + 1)).
std::vector<sparse::D> l_matrix(double nu, int32_t m, bool even, int32_t n);
// Ltilde: 1 - m nu / (s_i(s_i + 1)) on the other-parity degrees s_i.
std::vector<sparse::D> ltilde_matrix(double nu, int32_t m, bool even, int32_t n);

// Bidiagonal factors over l_i = |m| + 2(i-1) (_even) or |m| + 1 + 2(i-1) (_odd); nu is
// accepted for a uniform signature and not used.
std::vector<sparse::RB> m_matrix_even(double nu, int32_t m, int32_t n);
std::vector<sparse::LB> mtilde_matrix_even(double nu, int32_t m, int32_t n);
std::vector<sparse::LB> m_matrix_odd(double nu, int32_t m, int32_t n);
std::vector<sparse::RB> mtilde_matrix_odd(double nu, int32_t m, int32_t n);
// C maps the other-parity series back to the primary one, as Mtilde does; K = (Mtilde^T - M)/2
// entry for entry, so it has the band of M.
std::vector<sparse::LB> c_matrix_even(double nu, int32_t m, int32_t n);
std::vector<sparse::RB> c_matrix_odd(double nu, int32_t m, int32_t n);
std::vector<sparse::RB> k_matrix_even(double nu, int32_t m, int32_t n);
std::vector<sparse::LB> k_matrix_odd(double nu, int32_t m, int32_t n);

// The Aleph matrix recomposed from the factors with the banded operators; equal to
// aleph_matrix up to rounding wherever no denominator vanishes (m != 0).
std::vector<sparse::T> aleph_test(double nu, int32_t m, bool even, int32_t n);

// The dense inverse of the Aleph matrix; its eigenvalues are the tidal eigenvalues.
array2<double> w_matrix(double nu, int32_t m, bool even, int32_t n);

// The tidal eigenvalue of mode k alone (LAPACK bisection for one eigenvalue), the same mode
// that w_eigen with `ordered` and the run's choice of entry for k select.
double w_lambda(double nu, int32_t m, int32_t k, int32_t n);

// ---------------------------------------------------------------------------------
// The single-mode solver. The operator above takes the coupling coefficient J in single
// precision, which leaves relative errors near 1e-7 in the tidal eigenvalues; this solver
// builds it with J in double precision (every other formula unchanged) and finds only the
// selected eigenpair: the eigenvalue by bisection on Sturm counts, to a few units in the
// last place of its own size, and its eigenvector from a twisted factorisation. Cost O(n)
// per bisection pass (about 50 passes) and O(n) memory, against O(n^2) and more for QL.

// The Aleph matrix as aleph_matrix writes it, with J in double precision.
std::vector<sparse::ST> aleph_matrix_full(double nu, int32_t m, bool even, int32_t n);

// Memory of w_eigen_mode_fast kept between calls, O(n).
struct fast_workspace {
  std::vector<double> d, e, e2, top, bottom, z;
  std::vector<index_t> rows, huge_rows, low_rows;
};

// The tidal eigenvalue of entry i_mode (1 .. n) of the mode order (as w_eigen with
// `ordered` counts it) of the matrix aleph_matrix_full. With b (n values) also its unit
// eigenvector, the largest element positive; with q and r (n values each, b required)
// the columns of Q and R formed from it as Aleph_eigen forms them (R with J in double
// precision too). Empty views are not computed. A row whose diagonal is HUGE_VALUE or
// infinite (degree 0 for m = 0 and even, and the zero denominators at singular spin
// parameters) is split off as its own mode, eigenvalue that diagonal (tidal 0) with that
// row's unit vector. Stops the program when i_mode is out of range or another element is
// not finite.
double w_eigen_mode_fast(double nu, int32_t m, bool even, int32_t n, int32_t i_mode, vector_view<double> b = {},
                         vector_view<double> q = {}, vector_view<double> r = {}, fast_workspace* work = nullptr);

// w_lambda for the operator of aleph_matrix_full: the tidal eigenvalue of mode k alone,
// by the single-mode solver (the library's choice of the `fast` solver).
double w_lambda_fast(double nu, int32_t m, int32_t k, int32_t n);

}  // namespace ltide::coriolis
