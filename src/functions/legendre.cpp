// Associated Legendre functions, factorial, spherical harmonics and the coupling
// coefficient. Operations are grouped exactly as the recurrences are written: the
// grouping fixes the last bits, and every operator matrix of the system is built on them.
#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "common/constants.hpp"
#include "common/fatal.hpp"
#include "functions/functions.hpp"

namespace ltide::functions {
namespace {

void check_legendre_arguments(int64_t l, int64_t m, double x) {
  // A NaN x passes: it is not greater than 1.
  if (m < 0 || m > l || std::abs(x) > 1.0) fatal("bad arguments", "functions::f_legendre_Plm");
}

// Upward recurrence in the degree from P_m^m to P_l^m. `sink(ll, value)` receives every
// degree in turn, so the single-degree and all-degree forms run the same operations.
// Degrees are 64-bit so that 2ll - 1 and ll + m - 1 never wrap.
template <class Sink>
void legendre_sweep(int64_t l, int64_t m, double x, Sink&& sink) {
  double p_mm = 1.0;
  if (m > 0) {
    const double s = std::sqrt((1.0 - x) * (1.0 + x));
    double f = 1.0;
    // (0 - s) rather than -s: at |x| = 1 the factor is +0, not -0.
    for (int64_t i = 1; i <= m; ++i) {
      p_mm = (p_mm * f) * (0.0 - s);
      f = f + 2.0;
    }
  }
  sink(m, p_mm);
  if (l == m) return;
  double p_m1 = (static_cast<double>(2 * m + 1) * x) * p_mm;
  sink(m + 1, p_m1);
  for (int64_t ll = m + 2; ll <= l; ++ll) {
    const double p_ll = ((static_cast<double>(2 * ll - 1) * x) * p_m1 - static_cast<double>(ll + m - 1) * p_mm) /
                        static_cast<double>(ll - m);
    p_mm = p_m1;
    p_m1 = p_ll;
    sink(ll, p_ll);
  }
}

double legendre_plm(int64_t l, int64_t m, double x) {
  check_legendre_arguments(l, m, x);
  double result = 0.0;
  legendre_sweep(l, m, x, [&](int64_t, double p) { result = p; });
  return result;
}

// The product (n2 + 1)(n2 + 2)...n1 in ascending order, n1 >= 0 and n2 <= n1.
double factorial_product(int64_t n2, int64_t n1) {
  double r = 1.0;
  for (int64_t i = n2 + 1; i <= n1; ++i) {
    r = r * static_cast<double>(i);
    // Once the product is 0, infinite or NaN, the remaining factors (all >= 1 from here
    // on) cannot change a single bit of it: stop instead of looping up to 2^31 times.
    // An infinite product still short of the factor 0 becomes NaN there (inf * 0).
    if (r == 0.0 || !std::isfinite(r)) {
      if (i >= 0 || std::isnan(r)) break;
      r = r * 0.0;
      break;
    }
  }
  return r;
}

// (l + a)!/(l - a)! with the factorial's own checks, in 64 bits so that l + |m| cannot wrap.
double factorial_ratio(int64_t n1, int64_t n2) {
  if (n1 < 0) fatal("invalid negative factorial", "functions::f_factorial");
  if (n2 > n1) fatal_line("*** n2 is greater than n1 [functions::f_factorial]");
  return factorial_product(n2, n1);
}

double ylm_norm(int64_t l, int64_t m) {
  const int64_t a = m < 0 ? -m : m;
  const double q = factorial_ratio(l + a, l - a);
  double n = std::sqrt((static_cast<double>(2 * l + 1) / FOUR_PI) / q);
  if (m < 0) n = n * (a % 2 == 0 ? 1.0 : -1.0);
  return n;
}

}  // namespace

double f_legendre_plm(int32_t l, int32_t m, double x) { return legendre_plm(l, m, x); }

std::vector<double> f_legendre_plm_vec(int32_t l, int32_t m, vector_view<const double> x) {
  std::vector<double> out(static_cast<std::size_t>(extent(x.size)));
  for (index_t i = 0; i < x.size; ++i) out[static_cast<std::size_t>(i)] = legendre_plm(l, m, x[i]);
  return out;
}

void f_legendre_plm_upto(int32_t lmax, int32_t m, double x, std::span<double> out) {
  check_legendre_arguments(lmax, m, x);
  const auto count = static_cast<std::size_t>(static_cast<int64_t>(lmax) - m + 1);
  if (out.size() < count) fatal("output array too short", "functions::f_legendre_plm_upto");
  legendre_sweep(lmax, m, x, [&](int64_t ll, double p) { out[static_cast<std::size_t>(ll - m)] = p; });
}

double f_legendre_pl(int32_t l, double x) { return f_legendre_plm(l, 0, x); }

std::vector<double> f_legendre_pl_vec(int32_t l, vector_view<const double> x) { return f_legendre_plm_vec(l, 0, x); }

double f_factorial(int32_t n1, std::optional<int32_t> n2) {
  if (n1 < 0) fatal("invalid negative factorial", "functions::f_factorial");
  if (!n2) return factorial_product(0, n1);
  return factorial_ratio(n1, *n2);
}

double f_spherical_ylm_norm(int32_t l, int32_t m) { return ylm_norm(l, m); }

double f_spherical_ylm(int32_t l, int32_t m, double theta, double phi) {
  const double n = ylm_norm(l, m);
  const double mu = std::cos((theta * PI) / 180.0);
  const double p = legendre_plm(l, std::abs(static_cast<int64_t>(m)), mu);
  const double c = std::cos(((static_cast<double>(m) * phi) * PI) / 180.0);
  return (n * p) * c;
}

std::vector<double> f_spherical_ylm_vec(int32_t l, int32_t m, vector_view<const double> theta,
                                        vector_view<const double> phi) {
  // The normalisation comes first, even for empty arrays, so a negative l + |m| stops
  // in the factorial before anything else.
  const double n = ylm_norm(l, m);
  if (phi.size < theta.size) fatal("phi shorter than theta", "functions::f_spherical_ylm_vec");
  const int64_t a = std::abs(static_cast<int64_t>(m));
  const double dm = static_cast<double>(m);
  std::vector<double> out(static_cast<std::size_t>(extent(theta.size)));
  for (index_t i = 0; i < theta.size; ++i) {
    const double mu = std::cos((theta[i] * PI) / 180.0);
    const double p = legendre_plm(l, a, mu);
    const double c = std::cos(((phi[i] * dm) * PI) / 180.0);
    out[static_cast<std::size_t>(i)] = (p * n) * c;
  }
  return out;
}

double f_spherical_jlm(int32_t l, int32_t m) {
  const int64_t ll = l;
  const int64_t mm = m;
  if ((mm < 0 ? -mm : mm) >= ll) return 0.0;
  // Single precision throughout: the operator matrices carry exactly these values
  // (J_1^0 = 0.5773502588272095, not 0.5773502691896257). The integer product is exact.
  const float s = static_cast<float>(2 * ll);
  const float num = static_cast<float>((ll - mm) * (ll + mm));
  const float den = (1.0F + s) * (s - 1.0F);
  const float j = std::sqrt(num / den);
  return static_cast<double>(j);
}

}  // namespace ltide::functions
