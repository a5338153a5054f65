// The report line, and its exponential form against a Fortran compiler's E14.6 output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iomanip>
#include <random>
#include <string>
#include <vector>

#include "ltide/report.hpp"

namespace ltide::run {
namespace {

TEST(ReportLine, FiveExponentialItemsThenFourIntegersInTheFewestCharacters) {
  EXPECT_EQ(report_line({0.5, 12.3456789, 12.0, 1, 1, 0, 0}),
            "  0.500000E+00   0.123457E+02   0.120000E+02   0.112534E+01   0.111394E+01 1 1 0 0");
  EXPECT_EQ(report_line({-2.0, -3.0, -0.0, 100, -1, 5, 27}),
            " -0.200000E+01  -0.300000E+01   0.000000E+00  -0.602060E+00   0.000000E+00 100 -1 5 27");
}

// Both signs of: values where six-digit rounding is delicate (exact decimal ties, the
// doubles around near-ties at every scale, powers of two, the ends of the range), the
// non-finite values, and random normal doubles.
std::vector<double> reference_values() {
  std::vector<double> v = {0.9999995, 0.9999996, 0.9999994999999999, 1e-100, 1e100, 9.9999995e99, 9.99999949e99,
                           1e-99, 1e99, 99999.95, 999999.5, 1.7976931348623157e308, 2.2250738585072014e-308,
                           HUGE_VAL, NAN};
  for (int e = 1; e <= 80; ++e) v.push_back(std::ldexp(1.0, -e));
  std::mt19937_64 rng(61);
  std::uniform_int_distribution<int64_t> six(100000, 999999);
  for (int i = 0; i < 300; ++i)
    for (double tie = static_cast<double>(six(rng) * 10 + 5); tie < 1e16; tie *= 10.0) v.push_back(tie);
  std::uniform_int_distribution<int> scale(-306, 300);
  for (int i = 0; i < 3000; ++i) {
    std::string text = std::to_string(six(rng)) + "5e";
    text += std::to_string(scale(rng));
    double x = std::nextafter(std::nextafter(std::strtod(text.c_str(), nullptr), 0.0), 0.0);
    for (int s = 0; s < 5; ++s, x = std::nextafter(x, HUGE_VAL)) v.push_back(x);
  }
  while (v.size() < 40000) {
    const uint64_t bits = rng(), exponent = (bits >> 52) & 0x7FF;
    if (exponent != 0 && exponent != 0x7FF) v.push_back(std::bit_cast<double>(bits));
  }
  const std::size_t count = v.size();
  for (std::size_t i = 0; i < count; ++i) v.push_back(-v[i]);
  return v;
}

TEST(FormatE14_6, AgreesWithFortranE14_6) {
#ifndef E14_6_REFERENCE
  GTEST_SKIP() << "no Fortran compiler for the reference program";
#else
  const std::vector<double> values = reference_values();
  const std::string stem = ::testing::TempDir() + "e14_6_" + std::to_string(getpid());
  {
    std::ofstream in(stem + ".in");
    in << std::hex << std::uppercase << std::setfill('0');
    for (double x : values) in << std::setw(16) << std::bit_cast<uint64_t>(x) << '\n';
  }
  const std::string command = std::string("'") + E14_6_REFERENCE + "' <'" + stem + ".in' >'" + stem + ".out'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream out(stem + ".out");
  std::string expected;
  for (double x : values) {
    ASSERT_TRUE(std::getline(out, expected)) << "reference output ended early";
    EXPECT_EQ(format_e14_6(x), expected) << std::hexfloat << x;
  }
  std::remove((stem + ".in").c_str());
  std::remove((stem + ".out").c_str());
#endif
}

}  // namespace
}  // namespace ltide::run
