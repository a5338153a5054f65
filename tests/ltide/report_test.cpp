#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "ltide/report.hpp"

namespace ltide::run {
namespace {

TEST(ReportLine, HasNineItemsInTheirFixedForms) {
  EXPECT_EQ(report_line({0.5, 12.3456789, 12.0, 1, 1, 0, 0}),
            "  0.500000E+00   0.123457E+02   0.120000E+02   0.112534E+01   0.111394E+01 1 1 0 0");
}

TEST(ReportLine, IntegersTakeTheFewestCharacters) {
  const std::string line = report_line({-2.0, -3.0, 0.0, 100, -1, 5, 27});
  EXPECT_EQ(line, " -0.200000E+01  -0.300000E+01   0.000000E+00  -0.602060E+00   0.000000E+00 100 -1 5 27");
}

TEST(SignedLogMagnitude, IsNegativeOnlyForNegativeEigenvalues) {
  EXPECT_EQ(signed_log_magnitude(12.3456789), std::log10(13.3456789));
  EXPECT_EQ(signed_log_magnitude(-12.0), -std::log10(13.0));
  EXPECT_EQ(signed_log_magnitude(0.0), 0.0);
  EXPECT_FALSE(std::signbit(signed_log_magnitude(-0.0)));
  EXPECT_TRUE(std::isnan(signed_log_magnitude(std::numeric_limits<double>::quiet_NaN())));
}

TEST(FormatE14_6, WritesWorkedValues) {
  const double inf = std::numeric_limits<double>::infinity();
  const std::pair<double, const char*> cases[] = {
      {0.5, "  0.500000E+00"},         {12.3456789, "  0.123457E+02"},   {0.0, "  0.000000E+00"},
      {0.9999996, "  0.100000E+01"},   {0.1250000, "  0.125000E+00"},    {1e-100, "  0.100000E-99"},
      {1e100, "  0.100000+101"},       {-1e-101, " -0.100000-100"},      {9.9999995e99, "  0.100000+101"},
      {1.7976931348623157e308, "  0.179769+309"},                      {-1234565.0, " -0.123456E+07"},
      {0.0009765625, "  0.976562E-03"},  // exact tie, to even
      {inf, "      Infinity"},           {-inf, "     -Infinity"},
      {std::numeric_limits<double>::quiet_NaN(), "           NaN"},
  };
  for (const auto& [value, text] : cases) EXPECT_EQ(format_e14_6(value), text) << value;
}

TEST(FormatE14_6, NegativeZeroPrintsWithoutSign) { EXPECT_EQ(format_e14_6(-0.0), "  0.000000E+00"); }

// Values where six-digit rounding is delicate, and a spread over the whole range.
std::vector<double> reference_values() {
  std::vector<double> values = {0.1250000, 0.9999995, 0.9999996, 0.9999994999999999, 1e-100, 1e100, 9.9999995e99,
                                9.99999949e99, 1.7976931348623157e308, 2.2250738585072014e-308, 1e-99, 1e99,
                                0.1, 1.0, 10.0, 99999.95, 999999.5, 999998.5, 1e-10, 123456.5,
                                std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity(),
                                std::numeric_limits<double>::quiet_NaN()};
  std::mt19937_64 rng(61);
  // Exact decimal ties: seven-digit integers ending in 5, times powers of ten that keep
  // them exact, and powers of two with long expansions.
  std::uniform_int_distribution<int64_t> seven(100000, 999999);
  for (int i = 0; i < 300; ++i) {
    auto tie = static_cast<double>(seven(rng) * 10 + 5);
    for (int j = 0; j < 9; ++j, tie *= 10.0) values.push_back(tie);
  }
  for (int e = 1; e <= 80; ++e) values.push_back(std::ldexp(1.0, -e));
  // The doubles nearest to decimal ties at every scale, and their neighbours.
  std::uniform_int_distribution<int> scale(-306, 300);
  char text[40];
  for (int i = 0; i < 3000; ++i) {
    std::snprintf(text, sizeof text, "%" PRId64 "5e%d", seven(rng), scale(rng));
    const double near = std::strtod(text, nullptr);
    double up = near, down = near;
    values.push_back(near);
    for (int s = 0; s < 2; ++s) {
      up = std::nextafter(up, HUGE_VAL);
      down = std::nextafter(down, 0.0);
      values.push_back(up);
      values.push_back(down);
    }
  }
  // Random normal doubles of both signs across the exponent range.
  while (values.size() < 40000) {
    const uint64_t bits = rng();
    const uint64_t exponent = (bits >> 52) & 0x7FF;
    if (exponent != 0 && exponent != 0x7FF) values.push_back(std::bit_cast<double>(bits));
  }
  const std::size_t count = values.size();
  for (std::size_t i = 0; i < count; ++i) values.push_back(-values[i]);
  return values;
}

TEST(FormatE14_6, AgreesWithFortranE14_6) {
#ifndef E14_6_REFERENCE
  GTEST_SKIP() << "no Fortran compiler for the reference program";
#else
  const std::vector<double> values = reference_values();
  const std::string stem = ::testing::TempDir() + "e14_6_" + std::to_string(getpid());
  const std::string input = stem + "_values.txt", output = stem + "_reference.txt";
  {
    std::ofstream in(input);
    char line[32];
    for (double v : values) {
      std::snprintf(line, sizeof line, "%016" PRIX64 "\n", std::bit_cast<uint64_t>(v));
      in << line;
    }
  }
  const std::string command = std::string("'") + E14_6_REFERENCE + "' < '" + input + "' > '" + output + "'";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  std::ifstream out(output);
  std::string expected;
  std::size_t compared = 0;
  for (double v : values) {
    ASSERT_TRUE(std::getline(out, expected)) << "reference output ended early";
    EXPECT_EQ(format_e14_6(v), expected) << std::hexfloat << v;
    ++compared;
  }
  EXPECT_EQ(compared, values.size());
  std::remove(input.c_str());
  std::remove(output.c_str());
#endif
}

}  // namespace
}  // namespace ltide::run
