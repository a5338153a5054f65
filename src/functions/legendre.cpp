// Associated Legendre functions, factorial, spherical harmonics and the coupling
// coefficient. Operations are grouped exactly as the recurrences are written: the
// grouping fixes the last bits, and every operator matrix of the system is built on them.
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <limits>
#include <numbers>

#include <ltide/common/constants.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/functions/functions.hpp>

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

// The normalisation as the product form writes it, N = sqrt(((2l + 1) / 4 PI) / q) with
// q = (l + |m|)!/(l - |m|)!, and whether that form is used. It is used unless the radicand
// is below the normal range: q overflows for |m| >= 86 (and at lower orders from some
// degree on), and a radicand that is subnormal or flushed to zero gives N = 0 or N with
// few digits. A NaN or infinite radicand (l < |m|) stays with the product form, whose
// Legendre function then refuses the degree.
struct direct_norm {
  double n;
  bool direct;
};

direct_norm ylm_norm_direct(int64_t l, int64_t m) {
  const int64_t a = m < 0 ? -m : m;
  const double q = factorial_ratio(l + a, l - a);
  const double radicand = (static_cast<double>(2 * l + 1) / FOUR_PI) / q;
  double n = std::sqrt(radicand);
  if (m < 0) n = n * (a % 2 == 0 ? 1.0 : -1.0);
  return {n, !(std::fabs(radicand) < std::numeric_limits<double>::min())};
}

// A value held as mant * 2^exp: the harmonics of high order are products far outside
// the double range (s^|m| near the poles, (2|m|)! in the normalisation) whose results are not.
struct scaled {
  double mant;
  int64_t exp;
};

// Brings the mantissa to [0.5, 1) (exact: only the exponent moves).
void renormalise(scaled& v) {
  int e = 0;
  v.mant = std::frexp(v.mant, &e);
  v.exp += e;
}

// The double mant * 2^exp; results below the normal range are (signed) zero whether or
// not flush-to-zero is on.
double unscale(scaled v) {
  const int64_t bound = 4096;  // the mantissas stay within 2^+-300: beyond, the result is 0 anyway
  const auto e = static_cast<int>(std::clamp(v.exp, -bound, bound));
  const double r = std::ldexp(v.mant, e);
  return std::fabs(r) < std::numeric_limits<double>::min() ? std::copysign(0.0, r) : r;
}

// s^a for s >= 0 by repeated squaring: log2(a) products instead of a.
scaled scaled_power(double s, int64_t a) {
  scaled r{1.0, 0}, b{s, 0};
  renormalise(b);
  for (; a > 0; a >>= 1) {
    if ((a & 1) != 0) {
      r = {r.mant * b.mant, r.exp + b.exp};
      renormalise(r);
    }
    b = {b.mant * b.mant, 2 * b.exp};
    renormalise(b);
  }
  return r;
}

// (2a + 1)!!/(2a)!! = prod (2i + 1)/(2i), which grows only like sqrt(a). Up to 4096 the
// product itself; beyond, Gamma(a + 3/2)/(Gamma(3/2) Gamma(a + 1)) from the asymptotic
// series of Gamma(x + 1/2)/Gamma(x) at x = a + 1, whose next term is below 1e-21 there.
double double_factorial_quotient(int64_t a) {
  if (a <= 4096) {
    double r = 1.0;
    for (int64_t i = 1; i <= a; ++i) r = r * (static_cast<double>(2 * i + 1) / static_cast<double>(2 * i));
    return r;
  }
  const double x = static_cast<double>(a + 1), u = 1.0 / x;
  const double series = 1.0 + u * (-1.0 / 8.0 + u * (1.0 / 128.0 + u * (5.0 / 1024.0 + u * (-21.0 / 32768.0))));
  return (2.0 / std::sqrt(std::numbers::pi)) * (std::sqrt(x) * series);
}

// The normalised harmonic N_l^a P_l^a(x) for l = a .. lmax with the Condon-Shortley sign,
// `sink(l, value)` receiving each degree. The sectoral value
//   Y_a^a = (-1)^a sqrt((2a + 1)!!/(2a)!! / 4 PI) s^a,  s = sqrt(1 - x^2),
// then x Y_l = J_(l+1) Y_(l+1) + J_l Y_(l-1) upward, with J in double. Both values of the
// recurrence share one power-of-two exponent, rescaled when they leave 2^+-256, so the
// values keep full precision however far the sectoral value lies below the normal range.
template <class Sink>
void scaled_sweep(int64_t lmax, int64_t a, double x, Sink&& sink) {
  const double s = std::sqrt((1.0 - x) * (1.0 + x));
  scaled y = scaled_power(s, a);
  y.mant = y.mant * std::sqrt(double_factorial_quotient(a) / FOUR_PI);
  if (a % 2 != 0) y.mant = -y.mant;
  sink(a, unscale(y));
  double below = 0.0, j_l = 0.0;  // Y_(l-1) on the exponent of y; J_a = 0
  for (int64_t l = a; l < lmax; ++l) {
    const auto up = static_cast<double>(l + 1);
    const double j_up = std::sqrt((static_cast<double>(l + 1 - a) / (2.0 * up - 1.0)) *
                                  (static_cast<double>(l + 1 + a) / (2.0 * up + 1.0)));
    const double next = (x * y.mant - j_l * below) / j_up;
    below = y.mant;
    y.mant = next;
    j_l = j_up;
    const double big = std::max(std::fabs(y.mant), std::fabs(below));
    if (big > 0x1p256 || (big < 0x1p-256 && big > 0.0)) {
      int e = 0;
      std::frexp(big, &e);
      y.mant = std::ldexp(y.mant, -e);
      below = std::ldexp(below, -e);
      y.exp += e;
    }
    sink(l + 1, unscale(y));
  }
}

// N_l^m from q held in scaled form, for the degrees whose product form leaves the normal
// range. The factors of q are >= 1 here (l >= |m|), so once q passes 2^2300 the result
// is certainly below the normal range and the remaining factors are skipped.
double ylm_norm_scaled(int64_t l, int64_t m) {
  const int64_t a = m < 0 ? -m : m;
  scaled q{1.0, 0};
  for (int64_t i = l - a + 1; i <= l + a && q.exp <= 2300; ++i) {
    q.mant = q.mant * static_cast<double>(i);
    renormalise(q);
  }
  // sqrt(r 2^-e) with an even exponent: r * 2 for an odd e.
  scaled r{(static_cast<double>(2 * l + 1) / FOUR_PI) / q.mant, -q.exp};
  if (r.exp % 2 != 0) r = {r.mant * 2.0, r.exp - 1};
  double n = unscale({std::sqrt(r.mant), r.exp / 2});
  if (m < 0 && a % 2 != 0) n = -n;
  return n;
}

double ylm_norm(int64_t l, int64_t m) {
  const direct_norm d = ylm_norm_direct(l, m);
  return d.direct ? d.n : ylm_norm_scaled(l, m);
}

// N_l^m P_l^|m|(x) of one degree by the scaled recurrence, the sign of negative orders included.
double ylm_scaled(int64_t l, int64_t m, double x) {
  const int64_t a = m < 0 ? -m : m;
  double v = 0.0;
  scaled_sweep(l, a, x, [&](int64_t, double y) { v = y; });
  return v * (m < 0 && a % 2 != 0 ? -1.0 : 1.0);
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

std::optional<double> f_spherical_ylm_norm_direct(int32_t l, int32_t m) {
  const direct_norm d = ylm_norm_direct(l, m);
  if (!d.direct) return std::nullopt;
  return d.n;
}

void f_spherical_ylm_scaled_upto(int32_t lmax, int32_t m, double x, std::span<double> out) {
  const int64_t a = std::abs(static_cast<int64_t>(m));
  // The same refusals as the Legendre function of order |m|.
  if (a > lmax || std::abs(x) > 1.0) fatal("bad arguments", "functions::f_legendre_Plm");
  const auto count = static_cast<std::size_t>(static_cast<int64_t>(lmax) - a + 1);
  if (out.size() < count) fatal("output array too short", "functions::f_spherical_ylm_scaled_upto");
  const double sign = m < 0 && a % 2 != 0 ? -1.0 : 1.0;
  scaled_sweep(lmax, a, x, [&](int64_t l, double y) { out[static_cast<std::size_t>(l - a)] = y * sign; });
}

// Where the normalisation is a normal double the harmonic is the product of the two
// factors as written; elsewhere the scaled recurrence gives it.
double f_spherical_ylm(int32_t l, int32_t m, double theta, double phi) {
  const direct_norm d = ylm_norm_direct(l, m);
  const double mu = std::cos((theta * PI) / 180.0);
  const int64_t a = std::abs(static_cast<int64_t>(m));
  const double c = std::cos(((static_cast<double>(m) * phi) * PI) / 180.0);
  if (!d.direct) return ylm_scaled(l, m, mu) * c;
  const double p = legendre_plm(l, a, mu);
  return (d.n * p) * c;
}

std::vector<double> f_spherical_ylm_vec(int32_t l, int32_t m, vector_view<const double> theta,
                                        vector_view<const double> phi) {
  // The normalisation comes first, even for empty arrays, so a negative l + |m| stops
  // in the factorial before anything else.
  const direct_norm d = ylm_norm_direct(l, m);
  if (phi.size < theta.size) fatal("phi shorter than theta", "functions::f_spherical_ylm_vec");
  const int64_t a = std::abs(static_cast<int64_t>(m));
  const double dm = static_cast<double>(m);
  std::vector<double> out(static_cast<std::size_t>(extent(theta.size)));
  for (index_t i = 0; i < theta.size; ++i) {
    const double mu = std::cos((theta[i] * PI) / 180.0);
    const double c = std::cos(((phi[i] * dm) * PI) / 180.0);
    out[static_cast<std::size_t>(i)] = d.direct ? (legendre_plm(l, a, mu) * d.n) * c : ylm_scaled(l, m, mu) * c;
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
