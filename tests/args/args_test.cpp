#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <limits>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <ltide/args/args.hpp>
#include <ltide/args/parse.hpp>
#include "support.hpp"

namespace ltide::args {
namespace {

void set_command_line(const std::vector<std::string>& words) {
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  a_init(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, CountsArgumentsAndGivesFixedLengthFields) {
  set_command_line({"ltide", std::string(300, 'x'), "run1", ""});
  EXPECT_EQ(a_argc(), 3);
  EXPECT_EQ(a_argv_c(1, 256), std::string(256, 'x'));
  EXPECT_EQ(a_argv_c(2, 8), "run1    ");
  EXPECT_EQ(a_argv_c(3, 4), "    ");
  EXPECT_EQ(a_argv_c(4, 4), "    ");   // beyond the count
  EXPECT_EQ(a_argv_c(-1, 2), "  ");
  EXPECT_EQ(a_argv_c(0, 6), "ltide ");  // the program name
  set_command_line({"ltide"});
  EXPECT_EQ(a_argc(), 0);
}

TEST(CommandLine, ConversionsReadTheFirst80Characters) {
  set_command_line({"ltide", "42", " -7", "1.5d3", "0.1", ".TRUE.",
                    std::string(79, ' ') + "12", std::string("1").append(85, '0')});  // last digits beyond the field
  EXPECT_EQ(a_argv_i(1), 42);
  EXPECT_EQ(a_argv_i(2), -7);
  EXPECT_EQ(a_argv_dp(3), 1500.0);
  EXPECT_EQ(a_argv_sp(4), 0.1F);
  EXPECT_EQ(a_argv_dp(4), 0.1);
  EXPECT_TRUE(a_argv_l(5));
  EXPECT_EQ(a_argv_i(6), 1);
  EXPECT_EQ(a_argv_dp(7), 1e79);
}

// A failed conversion echoes the whole 80-character field on standard output before it
// throws, so the echo precedes the message the program prints.
TEST(CommandLineFailure, FailedConversionsEchoTheFieldAndThrowTheirMessages) {
  set_command_line({"ltide", "3.5", "x", "yes", "", "abc"});
  const std::string integer = "integer type [args::a_argv_i]", real = "real type [args::a_argv_";
  const std::tuple<std::function<void()>, std::string, std::string> table[] = {
      {[] { a_argv_i(1); }, integer, "3.5"}, {[] { a_argv_dp(2); }, real + "dp]", "x"},
      {[] { a_argv_sp(2); }, real + "sp]", "x"}, {[] { a_argv_l(3); }, "logical type [args::a_argv_l]", "yes"},
      // An empty argument, or a position beyond the command line, fails every conversion.
      {[] { a_argv_i(4); }, integer, ""}, {[] { a_argv_sp(4); }, real + "sp]", ""}, {[] { a_argv_dp(9); }, real + "dp]", ""},
      {[] { a_argv_l(9); }, "logical type [args::a_argv_l]", ""}, {[] { a_argv_i(5); }, integer, "abc"}};
  for (const auto& [call, message, field] : table) {
    ::testing::internal::CaptureStdout();
    const std::string line = error_line(call);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), " " + field + std::string(80 - field.size(), ' ') + "\n");
    EXPECT_EQ(line, "** ^^ Cannot convert to " + message);
  }
}

const double INF = std::numeric_limits<double>::infinity();

TEST(ParseInteger, ReadsSignedDigitsUpToASeparatorWithin32Bits) {
  const std::pair<std::string, std::optional<int32_t>> cases[] = {
      {"42", 42}, {" -7", -7}, {"+5", 5}, {"-0", 0}, {"000000000000000000000000042", 42},
      {"12 abc", 12}, {"12\tabc", 12}, {"12,abc", 12}, {"12/abc", 12}, {" \t 12  ", 12},
      {"2147483647", INT32_MAX}, {"-2147483648", INT32_MIN}, {"2147483648", {}}, {"-2147483649", {}},
      {"99999999999999999999999999", {}}, {"3.5", {}}, {"abc", {}}, {"", {}}, {"    ", {}}, {"+", {}}, {"-", {}},
      {"1e3", {}}, {"12abc", {}}, {"0x10", {}}, {"- 5", {}}, {"++1", {}}};
  for (const auto& [text, value] : cases) EXPECT_EQ(parse_integer(text), value) << '"' << text << '"';
}

// A lone separator, or the repeat form r*c of free-form input, is no value of any kind.
TEST(ParseAnyKind, LoneSeparatorOrRepeatFormFails) {
  for (const char* text : {",", "/", "  ,  ", " /5", ",5", "2*5", "*5", "3*", "2*"}) {
    EXPECT_FALSE(parse_integer(text) || parse_single(text) || parse_double(text) || parse_logical(text)) << text;
  }
}

TEST(ParseReal, ReadsEOrDExponentsInfinityAndNanAndRoundsOnceFromTheText) {
  const std::pair<std::string, std::optional<double>> cases[] = {
      {"1e-3", 1e-3}, {"2.5D0", 2.5}, {"1.5d3", 1500.0}, {"1.5E+3", 1500.0}, {"-.5", -0.5}, {"+.5e1", 5.0},
      {"7", 7.0}, {"5.", 5.0}, {"0.1 trailing", 0.1}, {"Inf", INF}, {"+INFINITY", INF},
      {"-Infinity", -INF}, {"1e400", INF}, {"-1d99999999999999999999", -INF}, {"1e-400", 0.0},
      // Text of any length is read whole, not only an 80-character field.
      {std::string("1").append(199, '0'), 1e199}, {std::string("-").append(300, '0') + "2.5d0", -2.5},
      {"x", {}}, {"", {}}, {".", {}}, {"e5", {}}, {"1e", {}}, {"1e+", {}}, {"1.2.3", {}}, {"--1", {}}, {"1d5x", {}},
      {"0x1p3", {}}, {"1.0+5", {}}, {"1e5.0", {}}, {"infinit", {}}, {"nanx", {}}, {"in", {}}};
  for (const auto& [text, value] : cases) {
    EXPECT_EQ(parse_double(text), value) << '"' << text << '"';
    EXPECT_EQ(parse_single(text).has_value(), value.has_value()) << '"' << text << '"';
  }
  EXPECT_TRUE(std::signbit(*parse_double("-1e-400")));
  EXPECT_TRUE(std::isnan(*parse_double("NaN")));
  EXPECT_TRUE(std::isnan(*parse_single("nan")));
  EXPECT_EQ(parse_single("-inf"), -std::numeric_limits<float>::infinity());
  EXPECT_EQ(parse_single("2.5d-1"), 0.25F);
  EXPECT_EQ(parse_single(std::string("0.").append(150, '0') + "1e+152"), 10.0F);
  // Above and just below the midpoint between the largest float and 2^128; below the smallest.
  EXPECT_EQ(parse_single("3.4028236e38"), std::numeric_limits<float>::infinity());
  EXPECT_EQ(parse_single("3.4028235e38"), std::numeric_limits<float>::max());
  EXPECT_EQ(parse_single("1e-50"), 0.0F);
  // Single precision is rounded once, from the text: just below the tie between 1 + 2^-23 and
  // 1 + 2^-22, where a double would land on the tie itself and then round to even, upwards.
  EXPECT_EQ(parse_single("1.00000017881393432617187499"), 1.00000011920928955078125F);
  EXPECT_EQ(static_cast<float>(1.00000017881393432617187499), 1.0000002384185791015625F);
}

TEST(ParseLogical, ReadsOptionalPeriodThenTOrF) {
  const std::pair<const char*, std::optional<bool>> cases[] = {
      {".TRUE.", true}, {"t", true}, {"True", true}, {" .t,rest", true}, {"Tabc", true}, {"T/", true},
      {"F", false}, {".false.", false}, {"f", false}, {".Fx", false}, {"false 1", false},
      {"yes", {}}, {".", {}}, {"", {}}, {"   ", {}}, {"..t", {}}, {"x", {}}, {"1", {}}, {". t", {}}};
  for (const auto& [text, value] : cases) EXPECT_EQ(parse_logical(text), value) << '"' << text << '"';
}

}  // namespace
}  // namespace ltide::args
