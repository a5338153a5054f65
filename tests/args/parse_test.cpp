#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <limits>
#include <optional>
#include <random>
#include <string>

#include "args/parse.hpp"

namespace ltide::args {
namespace {

TEST(ParseInteger, AcceptsOptionalSignAndDigits) {
  EXPECT_EQ(parse_integer("42"), 42);
  EXPECT_EQ(parse_integer(" -7"), -7);
  EXPECT_EQ(parse_integer("+5"), 5);
  EXPECT_EQ(parse_integer("-0"), 0);
  EXPECT_EQ(parse_integer("000000000000000000000000042"), 42);
}

TEST(ParseInteger, ValueEndsAtBlankTabCommaOrSlash) {
  EXPECT_EQ(parse_integer("12 abc"), 12);
  EXPECT_EQ(parse_integer("12\tabc"), 12);
  EXPECT_EQ(parse_integer("12,abc"), 12);
  EXPECT_EQ(parse_integer("12/abc"), 12);
  EXPECT_EQ(parse_integer(" \t 12  "), 12);
}

TEST(ParseInteger, RangeIsThirtyTwoBits) {
  EXPECT_EQ(parse_integer("2147483647"), 2147483647);
  EXPECT_EQ(parse_integer("-2147483648"), std::numeric_limits<int32_t>::min());
  EXPECT_EQ(parse_integer("2147483648"), std::nullopt);
  EXPECT_EQ(parse_integer("-2147483649"), std::nullopt);
  EXPECT_EQ(parse_integer("99999999999999999999999999"), std::nullopt);
}

TEST(ParseInteger, RejectsTextOfOtherForms) {
  for (const char* text : {"3.5", "abc", "", "    ", "+", "-", "1e3", "12abc", "0x10", "- 5", "++1"})
    EXPECT_EQ(parse_integer(text), std::nullopt) << '"' << text << '"';
}

TEST(ParseAnyKind, LoneSeparatorOrRepeatFormFails) {
  for (const char* text : {",", "/", "  ,  ", " /5", ",5", "2*5", "*5", "3*", "2*"}) {
    EXPECT_EQ(parse_integer(text), std::nullopt) << '"' << text << '"';
    EXPECT_EQ(parse_single(text), std::nullopt) << '"' << text << '"';
    EXPECT_EQ(parse_double(text), std::nullopt) << '"' << text << '"';
    EXPECT_EQ(parse_logical(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(ParseDouble, AcceptsEOrDExponentsInEitherCase) {
  EXPECT_EQ(parse_double("1e-3"), 1e-3);
  EXPECT_EQ(parse_double("2.5D0"), 2.5);
  EXPECT_EQ(parse_double("1.5d3"), 1500.0);
  EXPECT_EQ(parse_double("1.5E+3"), 1500.0);
  EXPECT_EQ(parse_double("-.5"), -0.5);
  EXPECT_EQ(parse_double("+.5e1"), 5.0);
  EXPECT_EQ(parse_double("7"), 7.0);
  EXPECT_EQ(parse_double("-2"), -2.0);
  EXPECT_EQ(parse_double("5."), 5.0);
  EXPECT_EQ(parse_double("0.1 trailing"), 0.1);
  EXPECT_EQ(parse_single("2.5d-1"), 0.25F);
}

TEST(ParseDouble, RejectsTextOfOtherForms) {
  for (const char* text : {"x", "", ".", "e5", "1e", "1e+", "1.2.3", "--1", "1d5x", "0x1p3", "1.0+5", "1e5.0",
                           "infinit", "nanx", "in"}) {
    EXPECT_EQ(parse_double(text), std::nullopt) << '"' << text << '"';
    EXPECT_EQ(parse_single(text), std::nullopt) << '"' << text << '"';
  }
}

TEST(ParseDouble, AcceptsInfinityAndNanWords) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(parse_double("Inf"), inf);
  EXPECT_EQ(parse_double("+INFINITY"), inf);
  EXPECT_EQ(parse_double("-Infinity"), -inf);
  EXPECT_EQ(parse_single("-inf"), -std::numeric_limits<float>::infinity());
  EXPECT_TRUE(std::isnan(*parse_double("NaN")));
  EXPECT_TRUE(std::isnan(*parse_single("nan")));
}

// The conversions take text of any length, not only an 80-character field.
TEST(ParseDouble, ValueLongerThanAFieldIsReadWhole) {
  const std::string digits = "1" + std::string(199, '0');
  EXPECT_EQ(parse_double(digits), 1e199);
  EXPECT_EQ(parse_single("0." + std::string(150, '0') + "1e+152"), 10.0F);
  EXPECT_EQ(parse_double("-" + std::string(300, '0') + "2.5d0"), -2.5);
}

TEST(ParseDouble, OutOfRangeRoundsToInfinityOrZero) {
  const double inf = std::numeric_limits<double>::infinity();
  EXPECT_EQ(parse_double("1e400"), inf);
  EXPECT_EQ(parse_double("-1d99999999999999999999"), -inf);
  EXPECT_EQ(parse_double("1e-400"), 0.0);
  EXPECT_TRUE(std::signbit(*parse_double("-1e-400")));
  // Above the midpoint between the largest float and 2^128.
  EXPECT_EQ(parse_single("3.4028236e38"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(parse_single("3.4028235e38"), std::numeric_limits<float>::max());
  EXPECT_EQ(parse_single("1e-50"), 0.0F);
}

TEST(ParseSingle, RoundsOnceFromTheDecimalText) {
  // Just below the tie between 1 + 2^-23 and 1 + 2^-22: a double would land on the tie
  // itself and then round to even, upwards.
  EXPECT_EQ(parse_single("1.00000017881393432617187499"), 1.00000011920928955078125F);
  EXPECT_EQ(static_cast<float>(1.00000017881393432617187499), 1.0000002384185791015625F);
}

// glibc's strtof and strtod round decimal text correctly, independently of from_chars.
TEST(ParseSingle, MatchesCorrectlyRoundedReferenceOnRandomText) {
  std::mt19937_64 rng(20240611);
  std::uniform_int_distribution<int> digit(0, 9), digits(1, 25), exponent(-50, 40);
  char text[96];
  for (int trial = 0; trial < 20000; ++trial) {
    std::string whole, fraction;
    const int count = digits(rng), point = digit(rng) % count;
    for (int i = 0; i < count; ++i) (i < point ? whole : fraction).push_back(static_cast<char>('0' + digit(rng)));
    std::snprintf(text, sizeof text, "%s%s.%se%d", trial % 2 ? "-" : "", whole.c_str(), fraction.c_str(),
                  exponent(rng));
    const std::optional<float> value = parse_single(text);
    ASSERT_TRUE(value.has_value()) << text;
    EXPECT_EQ(*value, std::strtof(text, nullptr)) << text;
    const std::optional<double> wide = parse_double(text);
    ASSERT_TRUE(wide.has_value()) << text;
    EXPECT_EQ(*wide, std::strtod(text, nullptr)) << text;
  }
}

TEST(ParseLogical, ReadsOptionalPeriodThenTOrF) {
  for (const char* text : {".TRUE.", "t", "True", " .t,rest", "Tabc", "T/"}) EXPECT_EQ(parse_logical(text), true) << text;
  for (const char* text : {"F", ".false.", "f", ".Fx", "false 1"}) EXPECT_EQ(parse_logical(text), false) << text;
}

TEST(ParseLogical, RejectsOtherText) {
  for (const char* text : {"yes", ".", "", "   ", "..t", "x", "1", ". t"})
    EXPECT_EQ(parse_logical(text), std::nullopt) << '"' << text << '"';
}

}  // namespace
}  // namespace ltide::args
