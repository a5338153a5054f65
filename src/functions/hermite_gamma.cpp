// Hermite polynomials, the gamma function, Legendre moments and the hypotenuse.
#include <array>
#include <cmath>
#include <cstdint>
#include <limits>

#include <ltide/common/fatal.hpp>
#include <ltide/common/kinds.hpp>
#include <ltide/functions/functions.hpp>

namespace ltide::functions {
namespace {

// A * sqrt(1 + (B/A)^2) with A the larger magnitude: the only square formed is of a
// ratio <= 1, so the result neither overflows nor underflows where a^2 + b^2 would.
// Non-finite arguments follow hypot: an infinite one gives +inf (even beside a NaN),
// else a NaN gives NaN. The first branch sees a non-finite argument only as
// (inf, finite), which it gets right; for finite arguments the early returns give only
// +0 for (0, 0), so their results do not depend on the non-finite cases.
template <real_kind T>
T pythag(T a, T b) {
  const T aa = std::abs(a);
  const T bb = std::abs(b);
  if (aa > bb) {
    const T t = bb / aa;
    return std::sqrt(t * t + T(1)) * aa;
  }
  // Here aa <= bb, or one of them is NaN.
  // Not aa itself: under denormals-are-zero a subnormal aa compares equal to 0 but is not.
  if (bb == T(0)) return std::isnan(aa) ? aa : T(0);
  if (std::isinf(aa) || std::isinf(bb)) return std::numeric_limits<T>::infinity();
  const T t = aa / bb;
  return std::sqrt(t * t + T(1)) * bb;
}

}  // namespace

double f_hermite_hn(int32_t n, double x) {
  if (n < 0) return 0.0;
  if (n == 0) return 1.0;
  if (n == 1) return 2.0 * x;
  // H_{j+1} = 2x H_j - 2j H_{j-1}, with k = 2j carried as the integer it is.
  const double t = 2.0 * x;
  double h_prev = 1.0;
  double h = t;
  const int64_t k_last = 2 * static_cast<int64_t>(n) - 2;
  for (int64_t k = 2; k <= k_last; k += 2) {
    const double h_new = (h * t) - (static_cast<double>(k) * h_prev);
    h_prev = h;
    h = h_new;
  }
  return h;
}

std::vector<double> f_hermite_hn_vec(int32_t n, vector_view<const double> x) {
  std::vector<double> out(static_cast<std::size_t>(extent(x.size)));
  for (index_t i = 0; i < x.size; ++i) out[static_cast<std::size_t>(i)] = f_hermite_hn(n, x[i]);
  return out;
}

double f_gamma_ln(double x) {
  static constexpr std::array<double, 6> cof{76.18009172947146,     -86.50532032941678,
                                             24.01409824083091,     -1.231739572450155,
                                             0.001208650973866179, -5.395239384953e-06};
  const double t = x + 5.5;
  const double head = (x + 0.5) * std::log(t) - t;
  double ser = 1.000000000190015;
  // Denominators x + j, not a running x + 1 + 1 + ...: each is one rounding from x.
  for (int j = 1; j <= 6; ++j) ser = ser + cof[static_cast<std::size_t>(j - 1)] / (x + static_cast<double>(j));
  return head + std::log((ser * 2.5066282746310007) / x);
}

double f_gamma(double x) { return std::exp(f_gamma_ln(x)); }

double f_legendre_xl(int32_t l, double x) {
  if (l < 0) fatal("l must be zero or greater", "functions::f_legendre_Xl");
  double r = 0.0;
  int64_t i = 0;
  if (l % 2 == 0) {
    r = 1.0 / (1.0 + x);
  } else {
    r = 1.0 / (2.0 + x);
    i = 1;
  }
  int64_t k = i + 3;
  while (i != l) {
    r = (r * (x - static_cast<double>(i))) / (static_cast<double>(k) + x);
    k = k + 2;
    i = i + 2;
  }
  return r;
}

double f_pythag_d(double a, double b) { return pythag(a, b); }

float f_pythag_s(float a, float b) { return pythag(a, b); }

}  // namespace ltide::functions
