#include <gtest/gtest.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "args/args.hpp"

namespace ltide::args {
namespace {

// Death-test statements whose standard-output echo would clutter the test log.
template <class F>
void quietly(F&& f) {
  if (std::freopen("/dev/null", "w", stdout) == nullptr) std::exit(2);
  f();
}

void set_command_line(const std::vector<std::string>& words) {
  std::vector<const char*> argv;
  for (const auto& w : words) argv.push_back(w.c_str());
  a_init(static_cast<int>(argv.size()), argv.data());
}

TEST(CommandLine, CountExcludesProgramName) {
  set_command_line({"ltide", "a", "1", "2", "3", "4", "5", "6", "7", "8"});
  EXPECT_EQ(a_argc(), 9);
  set_command_line({"ltide"});
  EXPECT_EQ(a_argc(), 0);
}

TEST(CommandLine, TextFieldIsCutOrBlankPadded) {
  const std::string long_text(300, 'x');
  set_command_line({"ltide", long_text, "run1", ""});
  EXPECT_EQ(a_argv_c(1, 256), std::string(256, 'x'));
  EXPECT_EQ(a_argv_c(2, 8), "run1    ");
  EXPECT_EQ(a_argv_c(3, 4), "    ");
  EXPECT_EQ(a_argv_c(4, 4), "    ");   // beyond the count
  EXPECT_EQ(a_argv_c(-1, 2), "  ");
  EXPECT_EQ(a_argv_c(0, 6), "ltide ");  // the program name
}

TEST(CommandLine, ConversionsReturnTheirValues) {
  set_command_line({"ltide", "42", " -7", "1.5d3", "0.1", ".TRUE.", "f"});
  EXPECT_EQ(a_argv_i(1), 42);
  EXPECT_EQ(a_argv_i(2), -7);
  EXPECT_EQ(a_argv_dp(3), 1500.0);
  EXPECT_EQ(a_argv_sp(4), 0.1F);
  EXPECT_EQ(a_argv_dp(4), 0.1);
  EXPECT_TRUE(a_argv_l(5));
  EXPECT_FALSE(a_argv_l(6));
}

TEST(CommandLine, NumbersAreReadFromTheFirst80Characters) {
  // The value's last digit lies beyond the field.
  set_command_line({"ltide", std::string(79, ' ') + "12", "1" + std::string(85, '0')});
  EXPECT_EQ(a_argv_i(1), 1);
  EXPECT_EQ(a_argv_dp(2), 1e79);
}

TEST(CommandLineDeath, FailedConversionsStopWithTheirMessages) {
  set_command_line({"ltide", "3.5", "x", "yes", "", "abc"});
  EXPECT_EXIT(quietly([] { a_argv_i(1); }), ::testing::ExitedWithCode(1), "^\\*\\* \\^\\^ Cannot convert to integer type \\[args::a_argv_i\\]\n$");
  EXPECT_EXIT(quietly([] { a_argv_dp(2); }), ::testing::ExitedWithCode(1), "^\\*\\* \\^\\^ Cannot convert to real type \\[args::a_argv_dp\\]\n$");
  EXPECT_EXIT(quietly([] { a_argv_sp(2); }), ::testing::ExitedWithCode(1), "^\\*\\* \\^\\^ Cannot convert to real type \\[args::a_argv_sp\\]\n$");
  EXPECT_EXIT(quietly([] { a_argv_l(3); }), ::testing::ExitedWithCode(1), "^\\*\\* \\^\\^ Cannot convert to logical type \\[args::a_argv_l\\]\n$");
}

TEST(CommandLineDeath, EmptyArgumentOrMissingPositionFailsEveryConversion) {
  set_command_line({"ltide", ""});
  for (int32_t position : {1, 7}) {
    EXPECT_EXIT(quietly([=] { a_argv_i(position); }), ::testing::ExitedWithCode(1), "integer type");
    EXPECT_EXIT(quietly([=] { a_argv_sp(position); }), ::testing::ExitedWithCode(1), "real type");
    EXPECT_EXIT(quietly([=] { a_argv_dp(position); }), ::testing::ExitedWithCode(1), "real type");
    EXPECT_EXIT(quietly([=] { a_argv_l(position); }), ::testing::ExitedWithCode(1), "logical type");
  }
}

TEST(CommandLineDeath, FailureEchoesTheWholeFieldOnStandardOutput) {
  const std::string path = ::testing::TempDir() + "args_echo_" + std::to_string(getpid()) + ".txt";
  set_command_line({"ltide", "abc"});
  EXPECT_EXIT(
      {
        if (std::freopen(path.c_str(), "w", stdout) == nullptr) std::exit(2);
        a_argv_i(1);
      },
      ::testing::ExitedWithCode(1), "integer type");
  std::ifstream in(path);
  std::stringstream echo;
  echo << in.rdbuf();
  EXPECT_EQ(echo.str(), " abc" + std::string(77, ' ') + "\n");
  std::remove(path.c_str());
}

}  // namespace
}  // namespace ltide::args
