#include <ltide/interpolate/interpolate.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <functional>
#include <numbers>
#include <string>
#include <tuple>
#include <vector>

#include <ltide/interpolate/spline.hpp>

#include "support.hpp"

namespace ltide::interpolate {
namespace {

using dv = std::vector<double>;
using fv = std::vector<float>;

const dv x3{0.0, 1.0, 2.0}, y3{0.0, 1.0, 0.0};

index_t hunted(vector_view<const double> x, double q, index_t hint) { return d_hunt(x, q, hint), hint; }

// Bisection leaves an interior node as the upper end (lower end for a decreasing table), an
// upward hunt from the node's index as the lower end; x(n) always takes the last interval.
// From every hint, both ways, the interval found brackets q.
TEST(Hunt, WorkedStartsAndEveryHintFindBracketingIntervals) {
  const dv x9{0, 1, 2, 3, 4, 5, 6, 7, 8};
  for (auto [x, hint, q, jlo] :
       {std::tuple{x3, 0, 1.0, 1}, {dv{2, 1, 0}, 0, 1.0, 2}, {x3, 2, 1.0, 2}, {x9, 1, 6.5, 7}, {x9, 5, 8.0, 8}})
    EXPECT_EQ(hunted(x, q, hint), jlo) << "hint " << hint << ", q " << q;
  dv up;
  for (int i = 0; i < 37; ++i) up.push_back(0.25 * i * i);
  for (const dv& x : {up, dv(up.rbegin(), up.rend())})
    for (double q = 0.0; q <= up.back(); q += 3.7)
      for (index_t hint = -2, j = 0; hint <= 39; ++hint)
        EXPECT_TRUE((j = hunted(x, q, hint)) >= 1 && j <= 36 && std::fmin(x[j - 1], x[j]) <= q &&
                    q <= std::fmax(x[j - 1], x[j])) << q << " " << hint;
}

TEST(Spline, WorkedCasesAreExact) {
  const dv q{0.0, 0.5, 1.0, 1.5, 2.0}, values{0.0, 0.6875, 1.0, 0.6875, 0.0}, slopes{1.5, 1.125, 0.0, -1.125, -1.5};
  EXPECT_EQ(d_calc_y_2(x3, y3), (dv{0.0, -3.0, 0.0}));
  EXPECT_EQ(d_calc_y_2(dv{0, 1}, dv{3, 5}), (dv{0, 0}));
  for (const dv& x : {x3, dv{2, 1, 0}}) {  // the same table, increasing and decreasing
    EXPECT_EQ(d_interpolate_data_vec(x, y3, q), values) << x[0];
    EXPECT_EQ(d_interpolate_deriv_vec(x, y3, q), slopes) << x[0];
  }
  EXPECT_EQ(s_interpolate_deriv(fv{0, 1, 2}, fv{0, 1, 0}, 0.5F), 1.125F);
  const dv xl{0.0, 0.5, 1.5, 3.0}, yl{1.0, 2.0, 4.0, 7.0};  // linear data
  EXPECT_EQ(d_interpolate_data_vec(xl, yl, dv{0.0, 0.25, 2.0, 3.0}), (dv{1.0, 1.5, 5.0, 7.0}));
  for (double v : {0.0, 0.1, 0.5, 1.2, 2.9, 3.0}) EXPECT_NEAR(d_interpolate_deriv(xl, yl, v), 2.0, 1e-14);
  const dv store{0.0, -9.0, 1.0, -9.0, 2.0}, ylong{0.0, 1.0, 0.0, 42.0};  // strided x, longer y
  EXPECT_EQ(d_interpolate_data(vector_view<const double>(store.data(), 3, 2), ylong, 1.5), 0.6875);
  EXPECT_EQ(d_interpolate_deriv(vector_view<const double>(store.data(), 3, 2), ylong, 2.0), -1.5);
}

// The complex kinds give bit for bit what the real kind gives on the real and imaginary parts.
template <class R>
void expect_parts(auto data_r, auto data_c, auto deriv_r, auto deriv_c, auto lin_r, auto lin_c) {
  std::vector<R> x, re, im, q;
  std::vector<std::complex<R>> z;
  for (int i = 0; i < 12; ++i) x.push_back(R(0.5 * i + 0.1 * std::cos(3.0 * i)));
  for (R v : x) re.push_back(std::sin(v)), im.push_back(std::exp(R(0.3) * v) - R(2));
  for (std::size_t i = 0; i < x.size(); ++i) z.emplace_back(re[i], im[i]);
  for (R v = x.front(); v <= x.back(); v += R(0.137)) q.push_back(v);
  const auto same = [&](auto real_kind, auto complex_kind, auto... at) {
    const auto c = complex_kind(x, z, at...), r = real_kind(x, re, at...), i = real_kind(x, im, at...);
    for (std::size_t k = 0; k < c.size(); ++k) EXPECT_EQ(c[k], std::complex<R>(r[k], i[k])) << k;
  };
  same(data_r, data_c, q), same(deriv_r, deriv_c, q), same(lin_r, lin_c, q);
}

TEST(ComplexKinds, AgreeWithTheRealKindOnParts) {
  expect_parts<float>(s_interpolate_data_vec, c_interpolate_data_vec, s_interpolate_deriv_vec, c_interpolate_deriv_vec,
                      s_interpolate_lin_vec, c_interpolate_lin_vec);
  expect_parts<double>(d_interpolate_data_vec, z_interpolate_data_vec, d_interpolate_deriv_vec, z_interpolate_deriv_vec,
                       d_interpolate_lin_vec, z_interpolate_lin_vec);
}

// The slope from a complex spline table is the real kind's on each part.
template <class R>
void expect_slope_parts(auto calc_y_2, auto calc_y_1, auto complex_calc_y_2, auto complex_calc_y_1) {
  using C = std::complex<R>;
  const std::vector<R> x{0, 1, 2, 4}, re{1, 3, 2, 5}, im{0, -1, 4, 2};
  std::vector<C> y;
  for (std::size_t i = 0; i < x.size(); ++i) y.emplace_back(re[i], im[i]);
  const std::vector<C> y2 = complex_calc_y_2(x, y);
  const C slope = complex_calc_y_1(x, y, y2, R(1.5));
  EXPECT_EQ(slope.real(), calc_y_1(x, re, calc_y_2(x, re), R(1.5)));
  EXPECT_EQ(slope.imag(), calc_y_1(x, im, calc_y_2(x, im), R(1.5)));
}

TEST(ComplexKinds, SlopeFromTheTableAgreesOnParts) {
  expect_slope_parts<float>(s_calc_y_2, s_calc_y_1, c_calc_y_2, c_calc_y_1);
  expect_slope_parts<double>(d_calc_y_2, d_calc_y_1, z_calc_y_2, z_calc_y_1);
}

// Value, slope and linear routines of each kind keep separate start indices; the hint
// decides the interval of an interior node, and a stale hint from a larger table is harmless.
TEST(SavedIndex, EachFamilyKeepsItsOwnAndDecidesInteriorNodes) {
  d_saved_start() = {}, z_saved_start() = {};
  const dv x{0.0, 0.3, 1.1, 1.7}, y{0.2, -0.4, 0.9, 0.1};
  const double below = d_interpolate_deriv(x, y, 1.1);
  EXPECT_EQ(d_saved_start().deriv, 2);  // bisection: the node is the upper end
  EXPECT_NEAR(d_interpolate_deriv(x, y, 1.1), below, 1e-14);
  EXPECT_EQ(d_saved_start().deriv, 3);  // hunting up from 2: the node is the lower end
  d_saved_start().deriv = 1000;
  EXPECT_EQ(d_interpolate_deriv(x, y, 1.1), below);
  const dv x9{0, 1, 2, 3, 4, 5, 6, 7, 8}, y9(9, 1.0);
  d_interpolate_data_vec(x9, y9, dv{0.5, 3.5, 6.5});
  EXPECT_EQ(d_saved_start().value, 7);
  d_interpolate_data(x9, y9, 2.5), d_interpolate_deriv(x9, y9, 4.5), d_interpolate_lin(x9, y9, 1.5);
  EXPECT_EQ(std::tuple(d_saved_start().value, d_saved_start().deriv, d_saved_start().lin), std::tuple(3, 5, 2));
  EXPECT_EQ(z_saved_start().deriv, 0);
}

// Worked cases; on sin (no curvature at 0 and pi) the integral error falls as h^4 on a stretched grid.
TEST(LinearAndIntegral, WorkedCasesAndFourthOrderConvergence) {
  const dv xl{0.0, 1.0, 3.0}, yl{1.0, 3.0, 7.0};
  EXPECT_EQ(d_interpolate_lin_vec(xl, yl, dv{0.5, 2.0, 3.0, 0.0}), (dv{2.0, 5.0, 7.0, 1.0}));
  EXPECT_TRUE(d_interpolate_lin(dv{3.0, 1.0, 0.0}, dv{7.0, 3.0, 1.0}, 2.0) == 5.0 &&
              s_interpolate_lin(fv{0, 1, 3}, fv{1, 3, 7}, 0.5F) == 2.0F && d_interpolate_lin_vec(xl, yl, dv{}).empty());
  for (auto [x, y, s] : {std::tuple{x3, y3, 1.25}, {dv{0, 0.5, 1.5, 3}, dv{1, 2, 4, 7}, 12.0},
                         {dv{3, 1.5, 0.5, 0}, dv{7, 4, 2, 1}, -12.0}, {dv{1}, dv{5}, 0.0}, {dv{}, dv{}, 0.0}})
    EXPECT_EQ(d_integrate_spline(x, y), s) << x.size();
  for (double n = 8, previous = 0.0; n <= 128; n *= 2) {
    dv x, y;
    for (double i = 0; i <= n; ++i) x.push_back(std::numbers::pi * (i + 0.3 * i * (n - i) / n) / n);
    for (double v : x) y.push_back(std::sin(v));
    const double error = std::fabs(d_integrate_spline(x, y) - 2.0), order = std::log2(previous / error);
    EXPECT_TRUE(previous == 0.0 || (order > 3.8 && order < 4.3)) << order << " at n " << n;
    previous = error;
  }
}

// Zero width stops only where the hunt picks it: q = x(1) on (0, 0, 1), q = x(n) on (0, 1, 1).
TEST(Interpolate, FailuresStopWithTheKindsMessage) {
  const std::string out = "interpolation outside source x-array", bad = "bad source x-array";
  const dv x001{0, 0, 1}, x011{0, 1, 1};
  const fv s001{0, 0, 1}, s3(3);
  const std::vector<std::complex<float>> c3(3);
  const std::vector<std::complex<double>> z3(3);
  const std::vector<std::tuple<std::function<void()>, std::string, std::string>> cases{
      {[&] { d_interpolate_data(x3, y3, 2.5); }, "d_hunt", out},
      {[&] { d_interpolate_deriv(dv{2, 1, 0}, y3, -0.5); }, "d_hunt", out},
      {[&] { s_interpolate_data(fv{0, 1, 2}, s3, 2.5F); }, "s_hunt", out},
      {[&] { c_interpolate_deriv(s001, c3, NAN); }, "s_hunt", out},
      {[&] { d_interpolate_data(x001, y3, 0.0); }, "d_calc_y", bad},
      {[&] { d_interpolate_deriv(x011, y3, 1.0); }, "d_calc_y_1", bad},
      {[&] { s_interpolate_data(s001, s3, 0.0F); }, "s_calc_y", bad},
      {[&] { s_interpolate_deriv(s001, s3, 0.0F); }, "s_calc_y_1", bad},
      {[&] { c_interpolate_data(s001, c3, 0.0F); }, "c_calc_y", bad},
      {[&] { c_interpolate_deriv(s001, c3, 0.0F); }, "c_calc_c_1", bad},
      {[&] { z_interpolate_data(x011, z3, 1.0); }, "z_calc_y", bad},
      {[&] { z_interpolate_deriv(x011, z3, 1.0); }, "z_calc_c_1", bad},
      {[&] { d_interpolate_lin(x001, y3, 0.0); }, "d_interpolate_lin", bad},
      {[&] { s_interpolate_lin(s001, s3, 0.0F); }, "s_interpolate_lin", bad},
      {[&] { c_interpolate_lin(s001, c3, 0.0F); }, "c_interpolate_lin", bad},
      {[&] { z_interpolate_lin(x001, z3, 0.0); }, "z_interpolate_lin", bad},
      {[&] { d_integrate_spline(dv{0, 1, 1, 2}, dv{0, 1, 2, 3}); }, "d_integrate_spline", bad},
      {[&] { d_interpolate_data(dv{1}, dv{1}, 1.0); }, "d_calc_y", bad},
      {[&] { d_interpolate_data(x3, dv{0.0, 1.0}, 0.5); }, "d_calc_y", "bad source y-array"}};
  for (const auto& [call, tag, text] : cases)
    EXPECT_EQ(error_line(call), "** " + text + " [interpolate::" + tag + "]");
}

}  // namespace
}  // namespace ltide::interpolate
