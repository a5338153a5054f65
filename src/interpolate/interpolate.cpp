#include <ltide/interpolate/interpolate.hpp>

#include <cmath>
#include <complex>
#include <string_view>
#include <vector>

#include <ltide/common/fatal.hpp>
#include <ltide/common/kinds.hpp>
#include <ltide/interpolate/spline.hpp>

namespace ltide::interpolate {
namespace {

constexpr std::string_view outside_text = "interpolation outside source x-array";
constexpr std::string_view bad_x_text = "bad source x-array";
constexpr std::string_view bad_y_text = "bad source y-array";

// ---------------------------------------------------------------------------------------
// Per-kind table: message tags and the start indices saved between calls (per thread). The hunt is
// chosen by the abscissa type, so kinds c and z report the range through s_hunt / d_hunt.
// The derivative tags of the complex kinds read c_calc_c_1 / z_calc_c_1 on purpose: those
// are the texts users already match on.

template <real_kind X>
struct hunt_traits;
template <>
struct hunt_traits<float> {
  static constexpr std::string_view tag = "interpolate::s_hunt";
};
template <>
struct hunt_traits<double> {
  static constexpr std::string_view tag = "interpolate::d_hunt";
};

template <numeric_kind Y>
struct kind_traits;
template <>
struct kind_traits<float> {
  static constexpr std::string_view table = "interpolate::s_calc_y_2";
  static constexpr std::string_view value = "interpolate::s_calc_y";
  static constexpr std::string_view deriv = "interpolate::s_calc_y_1";
  static constexpr std::string_view lin = "interpolate::s_interpolate_lin";
  static inline thread_local saved_start saved{};
};
template <>
struct kind_traits<double> {
  static constexpr std::string_view table = "interpolate::d_calc_y_2";
  static constexpr std::string_view value = "interpolate::d_calc_y";
  static constexpr std::string_view deriv = "interpolate::d_calc_y_1";
  static constexpr std::string_view lin = "interpolate::d_interpolate_lin";
  static inline thread_local saved_start saved{};
};
template <>
struct kind_traits<std::complex<float>> {
  static constexpr std::string_view table = "interpolate::c_calc_y_2";
  static constexpr std::string_view value = "interpolate::c_calc_y";
  static constexpr std::string_view deriv = "interpolate::c_calc_c_1";
  static constexpr std::string_view lin = "interpolate::c_interpolate_lin";
  static inline thread_local saved_start saved{};
};
template <>
struct kind_traits<std::complex<double>> {
  static constexpr std::string_view table = "interpolate::z_calc_y_2";
  static constexpr std::string_view value = "interpolate::z_calc_y";
  static constexpr std::string_view deriv = "interpolate::z_calc_c_1";
  static constexpr std::string_view lin = "interpolate::z_interpolate_lin";
  static inline thread_local saved_start saved{};
};

// ---------------------------------------------------------------------------------------
// Ordinate arithmetic. Real kinds compute on the ordinate type itself. Complex kinds
// compute on `cplx`, whose operations are written out on the parts so that no step depends
// on how the compiler or library expands complex operators:
//  - sums, differences, real weights times ordinates and ordinates over real divisors act
//    on each part separately (a real constant c in c - y is the complex (c, 0));
//  - the product of two ordinates is the textbook (ac - bd, ad + bc);
//  - the quotient of two ordinates is the range-reduced (Smith) quotient, and a real over
//    an ordinate is the same quotient with a zero imaginary numerator.
// The only ordinate-by-ordinate operations are the division by the pivot p of the spline
// system and the product y2(k) * y2(k+1) of its back-substitution, and in both the first
// factor or the divisor has a zero imaginary part for finite data. Smith's quotient then
// divides both parts by the real divisor exactly, and the product multiplies both parts by
// the real factor exactly, so a complex table gives bit for bit what the real kind gives
// on its real and imaginary parts separately (up to the sign of zeros).

template <real_kind R>
struct cplx {
  R re = 0;
  R im = 0;
};

template <real_kind R>
cplx<R> operator+(cplx<R> a, cplx<R> b) {
  return {a.re + b.re, a.im + b.im};
}
template <real_kind R>
cplx<R> operator-(cplx<R> a, cplx<R> b) {
  return {a.re - b.re, a.im - b.im};
}
template <real_kind R>
cplx<R> operator+(cplx<R> a, R c) {
  return {a.re + c, a.im};
}
template <real_kind R>
cplx<R> operator-(R c, cplx<R> a) {
  return {c - a.re, R(0) - a.im};
}
template <real_kind R>
cplx<R> operator*(R w, cplx<R> a) {
  return {w * a.re, w * a.im};
}
template <real_kind R>
cplx<R> operator*(cplx<R> a, R w) {
  return {a.re * w, a.im * w};
}
template <real_kind R>
cplx<R> operator/(cplx<R> a, R d) {
  return {a.re / d, a.im / d};
}
template <real_kind R>
cplx<R> operator*(cplx<R> a, cplx<R> b) {
  return {a.re * b.re - a.im * b.im, a.re * b.im + a.im * b.re};
}

// Smith's quotient a / b: scale by the ratio of the smaller to the larger part of b, so
// that nothing overflows needlessly and a real b divides each part exactly.
template <real_kind R>
cplx<R> operator/(cplx<R> a, cplx<R> b) {
  if (std::fabs(b.re) < std::fabs(b.im)) {
    const R ratio = b.re / b.im;
    const R div = (b.re * ratio) + b.im;
    return {((a.re * ratio) + a.im) / div, ((a.im * ratio) - a.re) / div};
  }
  const R ratio = b.im / b.re;
  const R div = (b.im * ratio) + b.re;
  return {((a.im * ratio) + a.re) / div, (a.im - (a.re * ratio)) / div};
}

// Real over complex: Smith's quotient with a zero imaginary numerator.
template <real_kind R>
cplx<R> operator/(R a, cplx<R> b) {
  if (std::fabs(b.re) < std::fabs(b.im)) {
    const R ratio = b.re / b.im;
    const R div = (b.re * ratio) + b.im;
    return {(a * ratio) / div, (R(0) - a) / div};
  }
  const R ratio = b.im / b.re;
  const R div = (b.im * ratio) + b.re;
  return {a / div, (R(0) - (a * ratio)) / div};
}

// The working type of an ordinate kind, and the conversions at the boundary.
template <class Y>
struct work_type {
  using type = Y;
};
template <real_kind R>
struct work_type<std::complex<R>> {
  using type = cplx<R>;
};
template <class Y>
using work_t = typename work_type<Y>::type;

template <real_kind R>
R work(R v) {
  return v;
}
template <real_kind R>
cplx<R> work(std::complex<R> v) {
  return {v.real(), v.imag()};
}

template <real_kind Y>
Y ordinate(Y v) {
  return v;
}
template <real_kind R>
std::complex<R> ordinate(cplx<R> v) {
  return {v.re, v.im};
}

// ---------------------------------------------------------------------------------------
// Checks shared by the public routines.

// A spline or linear interpolant needs at least one interval; the ordinates must cover
// every abscissa (a short y would be read past its end).
template <class X, class Y>
void check_table(vector_view<const X> x, vector_view<const Y> y, std::string_view tag) {
  if (x.size < 2) fatal(bad_x_text, tag);
  if (y.size < x.size) fatal(bad_y_text, tag);
}

// ---------------------------------------------------------------------------------------
// The algorithms, one template each.

template <real_kind X>
void hunt(vector_view<const X> x, X q, index_t& jlo) {
  const index_t n = x.size;
  if (n < 2) fatal(outside_text, hunt_traits<X>::tag);  // no interval can hold q
  const bool asc = x(n) > x(1);
  // Stated as "inside" so that a q that is not a number is outside.
  const bool inside = asc ? (q >= x(1) && q <= x(n)) : (q >= x(n) && q <= x(1));
  if (!inside) fatal(outside_text, hunt_traits<X>::tag);
  if (q == x(1)) {
    jlo = 1;
    return;
  }
  if (q == x(n)) {
    jlo = n - 1;
    return;
  }

  index_t jhi = 0;
  if (jlo < 1 || jlo > n) {
    jlo = 0;
    jhi = n + 1;
  } else if ((q >= x(jlo)) == asc) {  // hunt upwards with doubling steps
    index_t inc = 1;
    jhi = jlo + inc;
    for (;;) {
      if (jhi > n) {
        jhi = n + 1;
        break;
      }
      if ((q < x(jhi)) == asc) break;
      jlo = jhi;
      inc = 2 * inc;
      jhi = jlo + inc;
    }
  } else {  // hunt downwards
    index_t inc = 1;
    jhi = jlo;
    jlo = jhi - inc;
    for (;;) {
      if (jlo < 1) {
        jlo = 0;
        break;
      }
      if ((q >= x(jlo)) == asc) break;
      jhi = jlo;
      inc = 2 * inc;
      jlo = jhi - inc;
    }
  }
  // The strict test leaves an interior node that q equals as the upper end of the
  // interval for increasing tables and as the lower end for decreasing ones.
  while (jhi - jlo != 1) {
    const index_t jm = (jhi + jlo) / 2;
    if ((q > x(jm)) == asc)
      jlo = jm;
    else
      jhi = jm;
  }
}

// Natural spline: the tridiagonal system for the interior second derivatives, solved by
// one forward sweep (y2 holds the elimination factors, u the right-hand sides) and back
// substitution. A local table serves each call; nothing of it outlives the call.
template <real_kind X, numeric_kind Y>
std::vector<Y> calc_y_2(vector_view<const X> x, vector_view<const Y> y) {
  const index_t n = extent(x.size);
  if (y.size < n) fatal(bad_y_text, kind_traits<Y>::table);
  if (n == 0) return {};
  std::vector<work_t<Y>> y2(static_cast<std::size_t>(n)), u(static_cast<std::size_t>(n));  // zeros
  auto Y2 = [&](index_t i) -> work_t<Y>& { return y2[static_cast<std::size_t>(i - 1)]; };
  auto U = [&](index_t i) -> work_t<Y>& { return u[static_cast<std::size_t>(i - 1)]; };
  auto Yv = [&](index_t i) { return work(y(i)); };

  Y2(1) = work_t<Y>{};
  U(1) = work_t<Y>{};
  for (index_t i = 2; i <= n - 1; ++i) {
    const X sig = (x(i) - x(i - 1)) / (x(i + 1) - x(i - 1));
    const work_t<Y> p = sig * Y2(i - 1) + X(2);
    Y2(i) = (sig - X(1)) / p;
    const work_t<Y> slope_hi = (Yv(i + 1) - Yv(i)) / (x(i + 1) - x(i));
    const work_t<Y> slope_lo = (Yv(i) - Yv(i - 1)) / (x(i) - x(i - 1));
    U(i) = (((slope_hi - slope_lo) * X(6)) / (x(i + 1) - x(i - 1)) - sig * U(i - 1)) / p;
  }
  Y2(n) = work_t<Y>{};
  for (index_t k = n - 1; k >= 1; --k) Y2(k) = Y2(k) * Y2(k + 1) + U(k);

  std::vector<Y> out(static_cast<std::size_t>(n));
  for (std::size_t i = 0; i < out.size(); ++i) out[i] = ordinate(y2[i]);
  return out;
}

// The interval for q, found from and stored back into the saved index `jlo`; stops with
// the kind's message `tag` when the interval has zero width. Returns klo.
template <real_kind X>
index_t bracket(vector_view<const X> x, X q, index_t& jlo, X& h, std::string_view tag) {
  hunt(x, q, jlo);
  h = x(jlo + 1) - x(jlo);
  if (h == X(0)) fatal(bad_x_text, tag);
  return jlo;
}

template <real_kind X, numeric_kind Y>
Y value_at(vector_view<const X> x, vector_view<const Y> y, vector_view<const Y> y2, X q) {
  X h = 0;
  const index_t klo = bracket(x, q, kind_traits<Y>::saved.value, h, kind_traits<Y>::value);
  const index_t khi = klo + 1;
  const X a = (x(khi) - q) / h;
  const X b = (q - x(klo)) / h;
  const work_t<Y> linear = a * work(y(klo)) + b * work(y(khi));
  const work_t<Y> cubic = ((a * a * a - a) * work(y2(klo)) + (b * b * b - b) * work(y2(khi))) * (h * h);
  return ordinate(linear + cubic / X(6));
}

template <real_kind X, numeric_kind Y>
Y slope_at(vector_view<const X> x, vector_view<const Y> y, vector_view<const Y> y2, X q) {
  X h = 0;
  const index_t klo = bracket(x, q, kind_traits<Y>::saved.deriv, h, kind_traits<Y>::deriv);
  const index_t khi = klo + 1;
  const X a = (x(khi) - q) / h;
  const X b = (q - x(klo)) / h;
  const X r = X(1) / h;
  // (y(khi) - y(klo))/h - (3a^2 - 1) h y2(klo)/6 + (3b^2 - 1) h y2(khi)/6, in the grouping
  // that fixes the rounding: both ends scaled by r = 1/h, and 0 - v rather than -v.
  const work_t<Y> chord = (X(0) - work(y(klo))) * r + work(y(khi)) * r;
  const X w_lo = ((a * a) * X(3) - X(1)) * r;
  const X w_hi = r * ((b * b) * X(3) - X(1));
  const work_t<Y> cubic = (w_lo * (X(0) - work(y2(klo))) + w_hi * work(y2(khi))) * (h * h);
  return ordinate(chord + cubic / X(6));
}

template <real_kind X, numeric_kind Y>
Y linear_at(vector_view<const X> x, vector_view<const Y> y, X q) {
  X h = 0;
  const index_t klo = bracket(x, q, kind_traits<Y>::saved.lin, h, kind_traits<Y>::lin);
  const index_t khi = klo + 1;
  return ordinate(((x(khi) - q) / h) * work(y(klo)) + ((q - x(klo)) / h) * work(y(khi)));
}

template <real_kind X, numeric_kind Y>
Y calc_y_checked(vector_view<const X> x, vector_view<const Y> y, vector_view<const Y> y2, X q) {
  check_table(x, y, kind_traits<Y>::value);
  if (y2.size < x.size) fatal(bad_y_text, kind_traits<Y>::value);
  return value_at(x, y, y2, q);
}

template <real_kind X, numeric_kind Y>
Y calc_y_1_checked(vector_view<const X> x, vector_view<const Y> y, vector_view<const Y> y2, X q) {
  check_table(x, y, kind_traits<Y>::deriv);
  if (y2.size < x.size) fatal(bad_y_text, kind_traits<Y>::deriv);
  return slope_at(x, y, y2, q);
}

template <real_kind X, numeric_kind Y>
Y interpolate_data(vector_view<const X> x, vector_view<const Y> y, X q) {
  check_table(x, y, kind_traits<Y>::value);
  const std::vector<Y> y2 = calc_y_2(x, y);
  return value_at(x, y, vector_view<const Y>(y2), q);
}

template <real_kind X, numeric_kind Y>
Y interpolate_deriv(vector_view<const X> x, vector_view<const Y> y, X q) {
  check_table(x, y, kind_traits<Y>::deriv);
  const std::vector<Y> y2 = calc_y_2(x, y);
  return slope_at(x, y, vector_view<const Y>(y2), q);
}

// The table is set up once; the points are taken in order so that the saved index makes
// ordered queries cheap.
template <real_kind X, numeric_kind Y>
std::vector<Y> interpolate_data_vec(vector_view<const X> x, vector_view<const Y> y, vector_view<const X> q) {
  check_table(x, y, kind_traits<Y>::value);
  const std::vector<Y> y2 = calc_y_2(x, y);
  std::vector<Y> out(static_cast<std::size_t>(extent(q.size)));
  for (index_t i = 1; i <= q.size; ++i)
    out[static_cast<std::size_t>(i - 1)] = value_at(x, y, vector_view<const Y>(y2), q(i));
  return out;
}

template <real_kind X, numeric_kind Y>
std::vector<Y> interpolate_deriv_vec(vector_view<const X> x, vector_view<const Y> y, vector_view<const X> q) {
  check_table(x, y, kind_traits<Y>::deriv);
  const std::vector<Y> y2 = calc_y_2(x, y);
  std::vector<Y> out(static_cast<std::size_t>(extent(q.size)));
  for (index_t i = 1; i <= q.size; ++i)
    out[static_cast<std::size_t>(i - 1)] = slope_at(x, y, vector_view<const Y>(y2), q(i));
  return out;
}

template <real_kind X, numeric_kind Y>
Y interpolate_lin(vector_view<const X> x, vector_view<const Y> y, X q) {
  check_table(x, y, kind_traits<Y>::lin);
  return linear_at(x, y, q);
}

template <real_kind X, numeric_kind Y>
std::vector<Y> interpolate_lin_vec(vector_view<const X> x, vector_view<const Y> y, vector_view<const X> q) {
  check_table(x, y, kind_traits<Y>::lin);
  std::vector<Y> out(static_cast<std::size_t>(extent(q.size)));
  for (index_t i = 1; i <= q.size; ++i) out[static_cast<std::size_t>(i - 1)] = linear_at(x, y, q(i));
  return out;
}

}  // namespace

// ---------------------------------------------------------------------------------------
// The named routines.

void s_hunt(vector_view<const float> x, float q, index_t& jlo) { hunt(x, q, jlo); }
void d_hunt(vector_view<const double> x, double q, index_t& jlo) { hunt(x, q, jlo); }

using cf = std::complex<float>;
using zd = std::complex<double>;
template <class T>
using cv = vector_view<const T>;

std::vector<float> s_calc_y_2(cv<float> x, cv<float> y) { return calc_y_2(x, y); }
std::vector<double> d_calc_y_2(cv<double> x, cv<double> y) { return calc_y_2(x, y); }
std::vector<cf> c_calc_y_2(cv<float> x, cv<cf> y) { return calc_y_2(x, y); }
std::vector<zd> z_calc_y_2(cv<double> x, cv<zd> y) { return calc_y_2(x, y); }

float s_calc_y(cv<float> x, cv<float> y, cv<float> y2, float q) { return calc_y_checked(x, y, y2, q); }
double d_calc_y(cv<double> x, cv<double> y, cv<double> y2, double q) { return calc_y_checked(x, y, y2, q); }
cf c_calc_y(cv<float> x, cv<cf> y, cv<cf> y2, float q) { return calc_y_checked(x, y, y2, q); }
zd z_calc_y(cv<double> x, cv<zd> y, cv<zd> y2, double q) { return calc_y_checked(x, y, y2, q); }

float s_calc_y_1(cv<float> x, cv<float> y, cv<float> y2, float q) { return calc_y_1_checked(x, y, y2, q); }
double d_calc_y_1(cv<double> x, cv<double> y, cv<double> y2, double q) {
  return calc_y_1_checked(x, y, y2, q);
}
cf c_calc_y_1(cv<float> x, cv<cf> y, cv<cf> y2, float q) { return calc_y_1_checked(x, y, y2, q); }
zd z_calc_y_1(cv<double> x, cv<zd> y, cv<zd> y2, double q) { return calc_y_1_checked(x, y, y2, q); }

saved_start& s_saved_start() { return kind_traits<float>::saved; }
saved_start& d_saved_start() { return kind_traits<double>::saved; }
saved_start& c_saved_start() { return kind_traits<cf>::saved; }
saved_start& z_saved_start() { return kind_traits<zd>::saved; }

float s_interpolate_data(cv<float> x, cv<float> y, float q) { return interpolate_data(x, y, q); }
double d_interpolate_data(cv<double> x, cv<double> y, double q) { return interpolate_data(x, y, q); }
cf c_interpolate_data(cv<float> x, cv<cf> y, float q) { return interpolate_data(x, y, q); }
zd z_interpolate_data(cv<double> x, cv<zd> y, double q) { return interpolate_data(x, y, q); }

float s_interpolate_deriv(cv<float> x, cv<float> y, float q) { return interpolate_deriv(x, y, q); }
double d_interpolate_deriv(cv<double> x, cv<double> y, double q) { return interpolate_deriv(x, y, q); }
cf c_interpolate_deriv(cv<float> x, cv<cf> y, float q) { return interpolate_deriv(x, y, q); }
zd z_interpolate_deriv(cv<double> x, cv<zd> y, double q) { return interpolate_deriv(x, y, q); }

std::vector<float> s_interpolate_data_vec(cv<float> x, cv<float> y, cv<float> q) {
  return interpolate_data_vec(x, y, q);
}
std::vector<double> d_interpolate_data_vec(cv<double> x, cv<double> y, cv<double> q) {
  return interpolate_data_vec(x, y, q);
}
std::vector<cf> c_interpolate_data_vec(cv<float> x, cv<cf> y, cv<float> q) {
  return interpolate_data_vec(x, y, q);
}
std::vector<zd> z_interpolate_data_vec(cv<double> x, cv<zd> y, cv<double> q) {
  return interpolate_data_vec(x, y, q);
}

std::vector<float> s_interpolate_deriv_vec(cv<float> x, cv<float> y, cv<float> q) {
  return interpolate_deriv_vec(x, y, q);
}
std::vector<double> d_interpolate_deriv_vec(cv<double> x, cv<double> y, cv<double> q) {
  return interpolate_deriv_vec(x, y, q);
}
std::vector<cf> c_interpolate_deriv_vec(cv<float> x, cv<cf> y, cv<float> q) {
  return interpolate_deriv_vec(x, y, q);
}
std::vector<zd> z_interpolate_deriv_vec(cv<double> x, cv<zd> y, cv<double> q) {
  return interpolate_deriv_vec(x, y, q);
}

float s_interpolate_lin(cv<float> x, cv<float> y, float q) { return interpolate_lin(x, y, q); }
double d_interpolate_lin(cv<double> x, cv<double> y, double q) { return interpolate_lin(x, y, q); }
cf c_interpolate_lin(cv<float> x, cv<cf> y, float q) { return interpolate_lin(x, y, q); }
zd z_interpolate_lin(cv<double> x, cv<zd> y, double q) { return interpolate_lin(x, y, q); }

std::vector<float> s_interpolate_lin_vec(cv<float> x, cv<float> y, cv<float> q) {
  return interpolate_lin_vec(x, y, q);
}
std::vector<double> d_interpolate_lin_vec(cv<double> x, cv<double> y, cv<double> q) {
  return interpolate_lin_vec(x, y, q);
}
std::vector<cf> c_interpolate_lin_vec(cv<float> x, cv<cf> y, cv<float> q) {
  return interpolate_lin_vec(x, y, q);
}
std::vector<zd> z_interpolate_lin_vec(cv<double> x, cv<zd> y, cv<double> q) {
  return interpolate_lin_vec(x, y, q);
}

// Trapezoid sum of each interval corrected by the cubic part, -h^3 (y2(i) + y2(i+1)) / 24:
// the exact integral of the natural spline. Every interval is checked, so equal
// neighbours always stop. With no interval (one point, or none) the sum is 0.
double d_integrate_spline(cv<double> x, cv<double> y) {
  constexpr std::string_view tag = "interpolate::d_integrate_spline";
  const index_t n = extent(x.size);
  if (y.size < n) fatal(bad_y_text, tag);
  const std::vector<double> y2 = calc_y_2(x, y);
  auto Y2 = [&](index_t i) { return y2[static_cast<std::size_t>(i - 1)]; };
  double s = 0.0;
  for (index_t i = 1; i <= n - 1; ++i) {
    const double h = x(i + 1) - x(i);
    if (h == 0.0) fatal(bad_x_text, tag);
    s = s + (h * (y(i + 1) + y(i))) * 0.5;
    s = s - ((h * h * h) * (Y2(i) + Y2(i + 1))) / 24.0;
  }
  return s;
}

}  // namespace ltide::interpolate
