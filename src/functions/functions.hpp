#pragma once
// Closed-form special functions: associated Legendre functions, spherical harmonics and
// their coupling coefficient, factorial, Hermite polynomials, gamma function, Legendre
// moments and the overflow-safe hypotenuse. No state; a bad argument stops the run.
//
// Angles are in degrees and are converted with the single-precision PI, and the
// harmonic normalisation divides by the single-precision 4 PI: every result built on
// them differs from an exact-pi value in the eighth significant digit, on purpose.
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include <ltide/common/view.hpp>

namespace ltide::functions {

// P_l^m(x) with the Condon-Shortley factor (-1)^m, by upward recurrence in the degree.
// Stops with "bad arguments" for m < 0, m > l or |x| > 1.
double f_legendre_plm(int32_t l, int32_t m, double x);
std::vector<double> f_legendre_plm_vec(int32_t l, int32_t m, vector_view<const double> x);

// Every degree of one order in one sweep: out[l - m] = P_l^m(x) for l = m .. lmax,
// bit-identical to f_legendre_plm(l, m, x). out must hold at least lmax - m + 1 values.
void f_legendre_plm_upto(int32_t lmax, int32_t m, double x, std::span<double> out);

// The Legendre polynomial P_l(x) = P_l^0(x).
double f_legendre_pl(int32_t l, double x);
std::vector<double> f_legendre_pl_vec(int32_t l, vector_view<const double> x);

// n1! without n2, n1!/n2! = (n2+1)(n2+2)...n1 with n2; accumulated in double.
double f_factorial(int32_t n1, std::optional<int32_t> n2 = std::nullopt);

// N_l^m = sqrt((2l+1)/(4 PI) (l-|m|)!/(l+|m|)!), times (-1)^|m| for negative m. Formed
// from the factorial quotient while the radicand is a normal double (the value of
// f_spherical_ylm_norm_direct); beyond, from the quotient in scaled form, and 0 only where
// N_l^m itself is below the normal range.
double f_spherical_ylm_norm(int32_t l, int32_t m);

// N_l^m as the product form of the harmonic uses it, or nothing where its radicand
// ((2l+1)/(4 PI))/q, q = (l+|m|)!/(l-|m|)!, is below the normal range (q overflows for
// |m| >= 86, and at smaller orders from some degree on). Absent from one degree on, since
// the radicand decreases with l.
std::optional<double> f_spherical_ylm_norm_direct(int32_t l, int32_t m);

// N_l^m P_l^|m|(x) (the harmonic at longitude 0) for l = |m| .. lmax into out[l - |m|], by
// the normalised recurrence with a separate power-of-two exponent: accurate at any order,
// and 0 only where the value is below the normal range. Stops with "bad arguments" like
// f_legendre_plm; out must hold at least lmax - |m| + 1 values.
void f_spherical_ylm_scaled_upto(int32_t lmax, int32_t m, double x, std::span<double> out);

// Real spherical harmonic N_l^m P_l^|m|(cos theta) cos(m phi), angles in degrees: the
// product of the direct normalisation and f_legendre_plm where the former exists, else
// the scaled recurrence times the cosine.
double f_spherical_ylm(int32_t l, int32_t m, double theta, double phi);
// Element i from theta[i] and phi[i]; phi must be at least as long as theta.
std::vector<double> f_spherical_ylm_vec(int32_t l, int32_t m, vector_view<const double> theta,
                                        vector_view<const double> phi);

// J_l^m = sqrt((l^2 - m^2)/(4 l^2 - 1)) for |m| < l, else 0; formed in single precision.
double f_spherical_jlm(int32_t l, int32_t m);

// Physicists' Hermite polynomial H_n(x) (H_1 = 2x); 0 for negative n.
double f_hermite_hn(int32_t n, double x);
std::vector<double> f_hermite_hn_vec(int32_t n, vector_view<const double> x);

// Gamma(x) and ln Gamma(x) for x > 0 (six-term Lanczos series).
double f_gamma(double x);
double f_gamma_ln(double x);

// X_l(x), the integral of mu^x P_l(mu) over [0, 1] for x > -1, as a closed-form product.
double f_legendre_xl(int32_t l, double x);

// sqrt(a^2 + b^2) without forming a square of an argument. As hypot: +inf when an
// argument is infinite (even if the other is NaN), else NaN when one is NaN.
double f_pythag_d(double a, double b);
float f_pythag_s(float a, float b);

}  // namespace ltide::functions
