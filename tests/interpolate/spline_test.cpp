#include "interpolate/spline.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <limits>
#include <vector>

#include "interpolate/interpolate.hpp"

namespace ltide::interpolate {
namespace {

using zd = std::complex<double>;
using cf = std::complex<float>;

const std::vector<double> x3{0.0, 1.0, 2.0};
const std::vector<double> y3{0.0, 1.0, 0.0};

// ---- hunt

TEST(Hunt, WorkedStartsFindTheirIntervals) {
  index_t jlo = 0;
  d_hunt(x3, 1.0, jlo);
  EXPECT_EQ(jlo, 1);  // bisection leaves the node as the upper end
  jlo = 0;
  d_hunt(std::vector<double>{2.0, 1.0, 0.0}, 1.0, jlo);
  EXPECT_EQ(jlo, 2);  // ... and as the lower end of a decreasing table
  jlo = 2;
  d_hunt(x3, 1.0, jlo);
  EXPECT_EQ(jlo, 2);
  std::vector<double> x9{0, 1, 2, 3, 4, 5, 6, 7, 8};
  jlo = 1;
  d_hunt(x9, 6.5, jlo);
  EXPECT_EQ(jlo, 7);
  jlo = 5;
  d_hunt(x9, 8.0, jlo);
  EXPECT_EQ(jlo, 8);  // the last end point always takes the last interval
}

// Any hint, inside the table or not, must give a bracketing interval in either direction.
TEST(Hunt, EveryHintGivesABracketingInterval) {
  std::vector<double> up, down;
  for (int i = 0; i < 37; ++i) up.push_back(0.25 * i * i);
  down.assign(up.rbegin(), up.rend());
  for (const auto* x : {&up, &down}) {
    vector_view<const double> xv(*x);
    const index_t n = xv.size;
    for (double q = 0.0; q <= up.back(); q += 3.7)
      for (index_t hint = -2; hint <= n + 2; ++hint) {
        index_t jlo = hint;
        d_hunt(xv, q, jlo);
        ASSERT_GE(jlo, 1);
        ASSERT_LE(jlo, n - 1);
        EXPECT_LE(std::fmin(xv(jlo), xv(jlo + 1)), q);
        EXPECT_GE(std::fmax(xv(jlo), xv(jlo + 1)), q);
      }
  }
}

TEST(HuntDeath, OutsideOrNotANumberStops) {
  index_t jlo = 0;
  const char* d_msg = "^\\*\\* interpolation outside source x-array \\[interpolate::d_hunt\\]\n$";
  EXPECT_EXIT(d_hunt(x3, 2.5, jlo), ::testing::ExitedWithCode(1), d_msg);
  EXPECT_EXIT(d_interpolate_data(x3, y3, std::nan("")), ::testing::ExitedWithCode(1), d_msg);
  EXPECT_EXIT(d_interpolate_deriv(std::vector<double>{2, 1, 0}, y3, 2.5), ::testing::ExitedWithCode(1),
              d_msg);
  EXPECT_EXIT(z_interpolate_data(x3, std::vector<zd>(3), -0.5), ::testing::ExitedWithCode(1), d_msg);
  const std::vector<float> xs{0, 1, 2};
  const char* s_msg = "^\\*\\* interpolation outside source x-array \\[interpolate::s_hunt\\]\n$";
  EXPECT_EXIT(s_interpolate_data(xs, std::vector<float>(3), 2.5F), ::testing::ExitedWithCode(1), s_msg);
  EXPECT_EXIT(c_interpolate_deriv(xs, std::vector<cf>(3), NAN), ::testing::ExitedWithCode(1), s_msg);
}

// ---- spline table, value and derivative

TEST(Spline, WorkedCaseIsExact) {
  EXPECT_EQ(d_calc_y_2(x3, y3), (std::vector<double>{0.0, -3.0, 0.0}));
  EXPECT_EQ(d_calc_y_2(std::vector<double>{0, 1}, std::vector<double>{3, 5}), (std::vector<double>{0, 0}));
  const std::vector<double> q{0.0, 0.5, 1.0, 1.5, 2.0};
  EXPECT_EQ(d_interpolate_data_vec(x3, y3, q), (std::vector<double>{0.0, 0.6875, 1.0, 0.6875, 0.0}));
  EXPECT_EQ(d_interpolate_deriv_vec(x3, y3, q), (std::vector<double>{1.5, 1.125, 0.0, -1.125, -1.5}));
  EXPECT_EQ(d_interpolate_data(x3, y3, 0.5), 0.6875);
  const std::vector<float> xs{0, 1, 2}, ys{0, 1, 0};
  EXPECT_EQ(s_interpolate_data(xs, ys, 1.5F), 0.6875F);
  EXPECT_EQ(s_interpolate_deriv(xs, ys, 0.5F), 1.125F);
  EXPECT_EQ(z_interpolate_data(x3, std::vector<zd>{0, {1, 2}, 0}, 0.5), zd(0.6875, 1.375));
}

TEST(Spline, LinearDataIsReproduced) {
  const std::vector<double> x{0.0, 0.5, 1.5, 3.0}, y{1.0, 2.0, 4.0, 7.0};
  EXPECT_EQ(d_interpolate_data_vec(x, y, std::vector<double>{0.0, 0.25, 2.0, 3.0}),
            (std::vector<double>{1.0, 1.5, 5.0, 7.0}));
  for (double q : {0.0, 0.1, 0.5, 1.2, 2.9, 3.0}) EXPECT_NEAR(d_interpolate_deriv(x, y, q), 2.0, 1e-14);
}

// A strided abscissa view and an ordinate array longer than the table.
TEST(Spline, StridedAbscissaeAndLongerOrdinates) {
  const std::vector<double> store{0.0, -9.0, 1.0, -9.0, 2.0};
  vector_view<const double> x(store.data(), 3, 2);
  const std::vector<double> y{0.0, 1.0, 0.0, 42.0};
  EXPECT_EQ(d_interpolate_data(x, y, 1.5), 0.6875);
  EXPECT_EQ(d_interpolate_deriv(x, y, 2.0), -1.5);
}

// Smooth data on an uneven grid, reversed: the same spline up to rounding.
TEST(Spline, DecreasingTableMatchesIncreasing) {
  std::vector<double> x, y, q;
  for (int i = 0; i < 15; ++i) x.push_back(i + 0.3 * std::sin(1.7 * i));
  for (double v : x) y.push_back(std::exp(-0.1 * v) * std::cos(v));
  for (double v = x.front(); v <= x.back(); v += 0.173) q.push_back(v);
  const std::vector<double> xr(x.rbegin(), x.rend()), yr(y.rbegin(), y.rend());
  const auto v = d_interpolate_data_vec(x, y, q), vr = d_interpolate_data_vec(xr, yr, q);
  const auto d = d_interpolate_deriv_vec(x, y, q), dr = d_interpolate_deriv_vec(xr, yr, q);
  for (std::size_t i = 0; i < q.size(); ++i) {
    EXPECT_NEAR(vr[i], v[i], 1e-14);
    EXPECT_NEAR(dr[i], d[i], 1e-13);
  }
}

// The real kind applied to the real and imaginary parts separately is the reference;
// the complex path must agree to the bit.
TEST(Spline, ComplexKindsAgreeWithRealKindOnParts) {
  std::vector<double> x, re, im, q;
  for (int i = 0; i < 12; ++i) x.push_back(0.5 * i + 0.1 * std::cos(3.0 * i));
  for (double v : x) re.push_back(std::sin(v)), im.push_back(std::exp(0.3 * v) - 2.0);
  for (double v = x.front(); v <= x.back(); v += 0.137) q.push_back(v);
  std::vector<zd> z;
  for (std::size_t i = 0; i < x.size(); ++i) z.emplace_back(re[i], im[i]);
  const auto y2 = z_calc_y_2(x, z);
  const auto y2r = d_calc_y_2(x, re), y2i = d_calc_y_2(x, im);
  for (std::size_t i = 0; i < x.size(); ++i) EXPECT_EQ(y2[i], zd(y2r[i], y2i[i]));
  const auto zv = z_interpolate_data_vec(x, z, q), zd1 = z_interpolate_deriv_vec(x, z, q);
  const auto rv = d_interpolate_data_vec(x, re, q), iv = d_interpolate_data_vec(x, im, q);
  const auto rd = d_interpolate_deriv_vec(x, re, q), id = d_interpolate_deriv_vec(x, im, q);
  for (std::size_t i = 0; i < q.size(); ++i) {
    EXPECT_EQ(zv[i], zd(rv[i], iv[i]));
    EXPECT_EQ(zd1[i], zd(rd[i], id[i]));
  }
  const std::vector<float> xs(x.begin(), x.end()), rs(re.begin(), re.end()), is(im.begin(), im.end());
  std::vector<cf> c;
  for (std::size_t i = 0; i < xs.size(); ++i) c.emplace_back(rs[i], is[i]);
  for (float qs : {0.15F, 1.3F, 4.44F, 5.4F}) {
    EXPECT_EQ(c_interpolate_data(xs, c, qs),
              cf(s_interpolate_data(xs, rs, qs), s_interpolate_data(xs, is, qs)));
    EXPECT_EQ(c_interpolate_deriv(xs, c, qs),
              cf(s_interpolate_deriv(xs, rs, qs), s_interpolate_deriv(xs, is, qs)));
  }
}

// ---- saved start indices

TEST(SavedIndex, EachRoutineFamilyKeepsItsOwn) {
  d_saved_start() = {};
  const std::vector<double> x9{0, 1, 2, 3, 4, 5, 6, 7, 8}, y9(9, 1.0);
  d_interpolate_data_vec(x9, y9, std::vector<double>{0.5, 3.5, 6.5});
  EXPECT_EQ(d_saved_start().value, 7);
  EXPECT_EQ(d_saved_start().deriv, 0);
  d_interpolate_data(x9, y9, 2.5);  // the scalar form continues from the array form's index
  EXPECT_EQ(d_saved_start().value, 3);
  d_interpolate_deriv(x9, y9, 4.5);
  EXPECT_EQ(d_saved_start().deriv, 5);
  d_interpolate_lin(x9, y9, 1.5);
  EXPECT_EQ(d_saved_start().lin, 2);
  EXPECT_EQ(d_saved_start().value, 3);
  const index_t z_before = z_saved_start().deriv;
  d_interpolate_deriv(x9, y9, 0.5);
  EXPECT_EQ(z_saved_start().deriv, z_before);
}

// At an interior node the hint decides the interval; both give the same value to rounding.
TEST(SavedIndex, InteriorNodeIntervalFollowsTheHint) {
  const std::vector<double> x{0.0, 0.3, 1.1, 1.7}, y{0.2, -0.4, 0.9, 0.1};
  d_saved_start().deriv = 0;
  const double below = d_interpolate_deriv(x, y, 1.1);
  EXPECT_EQ(d_saved_start().deriv, 2);  // bisection: node as upper end
  const double above = d_interpolate_deriv(x, y, 1.1);
  EXPECT_EQ(d_saved_start().deriv, 3);  // hunting up from 2: node as lower end
  EXPECT_NEAR(above, below, 1e-14);
  d_saved_start().deriv = 1000;  // a hint from a larger table is harmless
  EXPECT_EQ(d_interpolate_deriv(x, y, 1.1), below);
}

// ---- fatal paths

TEST(SplineDeath, ZeroWidthIntervalStopsWithTheKindsMessage) {
  const std::vector<double> x001{0, 0, 1}, x011{0, 1, 1};
  const std::vector<float> s001{0, 0, 1};
  auto msg = [](const char* tag) {
    return std::string("^\\*\\* bad source x-array \\[interpolate::") + tag + "\\]\n$";
  };
  EXPECT_EXIT(d_interpolate_data(x001, y3, 0.0), ::testing::ExitedWithCode(1), msg("d_calc_y"));
  EXPECT_EXIT(d_interpolate_deriv(x011, y3, 1.0), ::testing::ExitedWithCode(1), msg("d_calc_y_1"));
  EXPECT_EXIT(s_interpolate_data(s001, std::vector<float>(3), 0.0F), ::testing::ExitedWithCode(1),
              msg("s_calc_y"));
  EXPECT_EXIT(s_interpolate_deriv_vec(s001, std::vector<float>(3), std::vector<float>{0.5F, 0.0F}),
              ::testing::ExitedWithCode(1), msg("s_calc_y_1"));
  EXPECT_EXIT(c_interpolate_data(s001, std::vector<cf>(3), 0.0F), ::testing::ExitedWithCode(1),
              msg("c_calc_y"));
  EXPECT_EXIT(c_interpolate_deriv(s001, std::vector<cf>(3), 0.0F), ::testing::ExitedWithCode(1),
              msg("c_calc_c_1"));
  EXPECT_EXIT(z_interpolate_data_vec(x011, std::vector<zd>(3), std::vector<double>{1.0}),
              ::testing::ExitedWithCode(1), msg("z_calc_y"));
  EXPECT_EXIT(z_interpolate_deriv(x011, std::vector<zd>(3), 1.0), ::testing::ExitedWithCode(1),
              msg("z_calc_c_1"));
}

TEST(SplineDeath, TooFewPointsOrShortOrdinatesStop) {
  const std::vector<double> one{1.0};
  EXPECT_EXIT(d_interpolate_data(one, one, 1.0), ::testing::ExitedWithCode(1),
              "^\\*\\* bad source x-array \\[interpolate::d_calc_y\\]\n$");
  EXPECT_EXIT(d_interpolate_deriv_vec(std::vector<double>{}, one, std::vector<double>{}),
              ::testing::ExitedWithCode(1), "^\\*\\* bad source x-array \\[interpolate::d_calc_y_1\\]\n$");
  EXPECT_EXIT(d_interpolate_data(x3, std::vector<double>{0.0, 1.0}, 0.5), ::testing::ExitedWithCode(1),
              "^\\*\\* bad source y-array \\[interpolate::d_calc_y\\]\n$");
}

}  // namespace
}  // namespace ltide::interpolate
