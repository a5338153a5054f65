#include <gtest/gtest.h>

#include <cmath>
#include <complex>
#include <numbers>
#include <string>
#include <vector>

#include "interpolate/interpolate.hpp"
#include "interpolate/spline.hpp"

namespace ltide::interpolate {
namespace {

using zd = std::complex<double>;
using cf = std::complex<float>;

std::string bad_x(const char* tag) {
  return std::string("^\\*\\* bad source x-array \\[interpolate::") + tag + "\\]\n$";
}

// ---- linear interpolation

TEST(Linear, WorkedCase) {
  const std::vector<double> x{0.0, 1.0, 3.0}, y{1.0, 3.0, 7.0};
  EXPECT_EQ(d_interpolate_lin_vec(x, y, std::vector<double>{0.5, 2.0, 3.0, 0.0}),
            (std::vector<double>{2.0, 5.0, 7.0, 1.0}));
  EXPECT_EQ(d_interpolate_lin(std::vector<double>{3.0, 1.0, 0.0}, std::vector<double>{7.0, 3.0, 1.0}, 2.0),
            5.0);
  EXPECT_EQ(s_interpolate_lin(std::vector<float>{0, 1, 3}, std::vector<float>{1, 3, 7}, 0.5F), 2.0F);
  EXPECT_TRUE(d_interpolate_lin_vec(x, y, std::vector<double>{}).empty());
}

TEST(Linear, ComplexKindsAgreeWithRealKindOnParts) {
  const std::vector<double> x{0.0, 0.7, 1.9, 2.2, 4.0}, re{1.3, -0.2, 0.4, 2.5, 0.1},
      im{0.0, 3.1, -1.7, 0.6, 0.9};
  std::vector<zd> z;
  for (std::size_t i = 0; i < x.size(); ++i) z.emplace_back(re[i], im[i]);
  const std::vector<double> q{0.1, 0.7, 1.0, 2.0, 3.3, 4.0};
  const auto zv = z_interpolate_lin_vec(x, z, q);
  for (std::size_t i = 0; i < q.size(); ++i)
    EXPECT_EQ(zv[i], zd(d_interpolate_lin(x, re, q[i]), d_interpolate_lin(x, im, q[i])));
  const std::vector<float> xs(x.begin(), x.end()), rs(re.begin(), re.end()), is(im.begin(), im.end());
  std::vector<cf> c;
  for (std::size_t i = 0; i < xs.size(); ++i) c.emplace_back(rs[i], is[i]);
  EXPECT_EQ(c_interpolate_lin(xs, c, 3.3F),
            cf(s_interpolate_lin(xs, rs, 3.3F), s_interpolate_lin(xs, is, 3.3F)));
}

TEST(LinearDeath, OutsideOrZeroWidthStops) {
  const std::vector<double> x{0.0, 1.0, 3.0}, y{1.0, 3.0, 7.0};
  EXPECT_EXIT(d_interpolate_lin(x, y, 3.5), ::testing::ExitedWithCode(1),
              "^\\*\\* interpolation outside source x-array \\[interpolate::d_hunt\\]\n$");
  EXPECT_EXIT(
      c_interpolate_lin_vec(std::vector<float>{0, 1}, std::vector<cf>(2), std::vector<float>{0.5F, -1}),
      ::testing::ExitedWithCode(1),
      "^\\*\\* interpolation outside source x-array \\[interpolate::s_hunt\\]\n$");
  const std::vector<double> x001{0, 0, 1};
  const std::vector<float> s001{0, 0, 1};
  EXPECT_EXIT(d_interpolate_lin(x001, y, 0.0), ::testing::ExitedWithCode(1), bad_x("d_interpolate_lin"));
  EXPECT_EXIT(s_interpolate_lin(s001, std::vector<float>(3), 0.0F), ::testing::ExitedWithCode(1),
              bad_x("s_interpolate_lin"));
  EXPECT_EXIT(c_interpolate_lin(s001, std::vector<cf>(3), 0.0F), ::testing::ExitedWithCode(1),
              bad_x("c_interpolate_lin"));
  EXPECT_EXIT(z_interpolate_lin_vec(x001, std::vector<zd>(3), std::vector<double>{0.5, 0.0}),
              ::testing::ExitedWithCode(1), bad_x("z_interpolate_lin"));
  EXPECT_EXIT(d_interpolate_lin(std::vector<double>{2.0}, y, 2.0), ::testing::ExitedWithCode(1),
              bad_x("d_interpolate_lin"));
}

// ---- spline integral

TEST(Integral, WorkedCases) {
  EXPECT_EQ(d_integrate_spline(std::vector<double>{0, 1, 2}, std::vector<double>{0, 1, 0}), 1.25);
  EXPECT_EQ(d_integrate_spline(std::vector<double>{0, 0.5, 1.5, 3}, std::vector<double>{1, 2, 4, 7}), 12.0);
  EXPECT_EQ(d_integrate_spline(std::vector<double>{3, 1.5, 0.5, 0}, std::vector<double>{7, 4, 2, 1}), -12.0);
  EXPECT_EQ(d_integrate_spline(std::vector<double>{1.0}, std::vector<double>{5.0}), 0.0);
  EXPECT_EQ(d_integrate_spline(std::vector<double>{}, std::vector<double>{}), 0.0);
}

// sin on [0, pi] has zero second derivative at both ends, so the natural end conditions
// are exact and the integral error falls as h^4 on uniform and smoothly stretched grids.
TEST(Integral, ConvergesAtFourthOrder) {
  for (double stretch : {0.0, 0.3}) {
    double previous_error = 0.0;
    for (int n = 8; n <= 128; n *= 2) {
      std::vector<double> x, y;
      for (int i = 0; i <= n; ++i) {
        const double t = static_cast<double>(i) / n;
        x.push_back(std::numbers::pi * (t + stretch * t * (1.0 - t)));
        y.push_back(std::sin(x.back()));
      }
      const double error = std::fabs(d_integrate_spline(x, y) - 2.0);
      if (previous_error > 0.0) {
        const double order = std::log2(previous_error / error);
        RecordProperty("order_" + std::to_string(n) + "_" + std::to_string(stretch), std::to_string(order));
        EXPECT_GT(order, 3.8) << "n = " << n << ", stretch = " << stretch;
        EXPECT_LT(order, 4.3) << "n = " << n << ", stretch = " << stretch;
      }
      previous_error = error;
    }
  }
}

TEST(IntegralDeath, EqualNeighboursStop) {
  EXPECT_EXIT(d_integrate_spline(std::vector<double>{0, 1, 1, 2}, std::vector<double>{0, 1, 2, 3}),
              ::testing::ExitedWithCode(1), bad_x("d_integrate_spline"));
}

}  // namespace
}  // namespace ltide::interpolate
