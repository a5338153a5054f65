// Options of the command line, the quoting of its words, and the table read back exactly
// by three independent readers.
#include <gtest/gtest.h>
#include <unistd.h>

#include <bit>
#include <cfloat>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ltide/options.hpp"
#include "ltide/table.hpp"

namespace ltide::run {
namespace {

TEST(Options, LongOptionsComeBeforeThePositionals) {
  const struct { std::vector<std::string> words; std::size_t first; std::string table; bool help, version; } rows[] = {
      {{}, 1, "", false, false},
      {{"p", "1"}, 1, "", false, false},
      {{"--table=t.tab", "p"}, 2, "t.tab", false, false},
      {{"--table", "t.tab", "p"}, 3, "t.tab", false, false},
      {{"--table", "--help", "p"}, 3, "--help", false, false},  // the next word whatever it is
      {{"--table=a", "--table=b=c", "p"}, 3, "b=c", false, false},  // the last one counts
      {{"--", "--p", "--help"}, 2, "", false, false},
      {{"--table=t", "--"}, 3, "t", false, false},  // no positional left: the usage line follows
      {{"-x", "--help"}, 1, "", false, false},        // "-x" is a prefix, so "--help" is positional
      {{"-5", "1"}, 1, "", false, false},
      {{"--version", "--help", "p"}, 3, "", true, true},
  };
  for (const auto& row : rows) {
    std::vector<std::string> words{"ltide"};
    words.insert(words.end(), row.words.begin(), row.words.end());
    const auto parsed = parse_command_line(words);
    ASSERT_EQ(parsed.index(), 0U) << words.size() << " words: " << std::get<1>(parsed);
    const parsed_command_line& p = std::get<0>(parsed);
    EXPECT_EQ(p.first_positional, row.first) << quoted_command_line(words);
    EXPECT_EQ(p.options.table, row.table) << quoted_command_line(words);
    EXPECT_EQ(p.options.help, row.help) << quoted_command_line(words);
    EXPECT_EQ(p.options.version, row.version) << quoted_command_line(words);
    EXPECT_EQ(p.options.command_line, words);
  }
}

TEST(Options, BadOptionsGiveOneLineMessages) {
  const struct { std::vector<std::string> words; std::string message; } rows[] = {
      {{"--foo", "p"}, "unknown option --foo"},
      {{"--tab=x"}, "unknown option --tab"},  // names are not abbreviated
      {{"--table=t", "--Help"}, "unknown option --Help"},
      {{"--table"}, "option --table needs a value: --table=FILE"},
      {{"--table=", "p"}, "option --table needs a value: --table=FILE"},
      {{"--help=yes"}, "option --help takes no value"},
      {{"--x\ny=1"}, "unknown option $'--x\\ny'"},
  };
  for (const auto& row : rows) {
    std::vector<std::string> words{"ltide"};
    words.insert(words.end(), row.words.begin(), row.words.end());
    const auto parsed = parse_command_line(words);
    ASSERT_EQ(parsed.index(), 1U) << quoted_command_line(words);
    EXPECT_EQ(std::get<1>(parsed), row.message);
  }
}

TEST(Options, WordsAreQuotedOnOneLineAndHelpListsEveryOption) {
  const std::pair<std::string, std::string> rows[] = {
      {"out/run_1.5", "out/run_1.5"}, {"", "''"}, {"a b", "'a b'"}, {"it's", "'it'\\''s'"},
      {"--table=t", "'--table=t'"}, {"a\nb\\", "$'a\\nb\\\\'"}, {std::string("\x01'\t", 3), "$'\\x01\\'\\t'"},
      {"\xC3\xA9", "'\xC3\xA9'"},
  };
  for (const auto& [word, quoted] : rows) EXPECT_EQ(quoted_word(word), quoted);
  EXPECT_EQ(quoted_command_line(std::vector<std::string>{"ltide", "a b", "2"}), "ltide 'a b' 2");
  const std::string help = help_text();
  for (const option_spec& o : option_table()) EXPECT_NE(help.find("  --" + std::string(o.name)), std::string::npos);
  EXPECT_NE(help.find("man ltide"), std::string::npos);
}

// Bits of a double, with every NaN the same.
uint64_t bits_of(double x) { return std::isnan(x) ? 0x7FF8000000000000U : std::bit_cast<uint64_t>(x); }

std::string row_bits(uint64_t a, uint64_t b, uint64_t c, const int32_t (&i)[4]) {
  char line[160];
  std::snprintf(line, sizeof line, "%016" PRIX64 " %016" PRIX64 " %016" PRIX64 " %d %d %d %d", a, b, c, i[0], i[1],
                i[2], i[3]);
  return line;
}

std::vector<std::string> lines_of_file(const std::string& file) {
  std::vector<std::string> lines;
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Each reader's rows as bit patterns, NaNs made alike.
std::vector<std::string> canonical(const std::vector<std::string>& lines) {
  std::vector<std::string> rows;
  for (const std::string& line : lines) {
    std::istringstream in(line);
    std::string h[3];
    int32_t i[4];
    in >> h[0] >> h[1] >> h[2] >> i[0] >> i[1] >> i[2] >> i[3];
    uint64_t b[3];
    for (int k = 0; k < 3; ++k) b[k] = bits_of(std::bit_cast<double>(std::strtoull(h[k].c_str(), nullptr, 16)));
    rows.push_back(row_bits(b[0], b[1], b[2], i));
  }
  return rows;
}

TEST(Table, HeaderHoldsTheVersionCommandLineAndEveryParameter) {
  run_parameters p;
  p.m = -2, p.k = 3, p.A = 0.1, p.nu_min = -0.0, p.nu_max = 1e300, p.n_nu = 4, p.n_mu = 5, p.n = 60, p.lflag = true;
  EXPECT_EQ(table_header(p, std::vector<std::string>{"ltide", "--table=t", "o p", "-2"}),
            "# " + std::string(version_line()) +
                "\n# command line: ltide '--table=t' 'o p' -2\n# m = -2\n# k = 3\n# A = 0.1\n# nu_min = -0\n"
                "# nu_max = 1e+300\n# n_nu = 4\n# n_mu = 5\n# n = 60\n# lflag = T\n"
                "# nu lambda_matr lambda_beta i_mode nh flag_matr flag_beta\n");
  EXPECT_EQ(table_row({1.0 / 3.0, -HUGE_VAL, NAN, 1, -1, 5, 12}), "0.3333333333333333 -inf nan 1 -1 5 12");
}

// Awkward doubles (no subnormals: the run flushes them) and random normal ones, written
// by the run's own table writer, come back bit for bit through strtod, numpy.loadtxt and
// a Fortran list-directed READ.
TEST(Table, EveryDoubleReadsBackExactly) {
  std::vector<double> v = {0.1, 1.0 / 3.0, -0.0, 0.0, 1.0, -2.5, DBL_MAX, -DBL_MAX, DBL_MIN, -DBL_MIN,
                           1e22, 1e23, 9007199254740993.0, 123456789012345680000.0, 2.2250738585072019e-308,
                           std::nextafter(1.0, 2.0), std::nextafter(1.0, 0.0), 1e308, 1e-307, 0.30000000000000004,
                           HUGE_VAL, -HUGE_VAL, NAN};
  std::mt19937_64 rng(7);
  while (v.size() < 3000)
    if (const uint64_t b = rng(); ((b >> 52) & 0x7FF) % 0x7FF != 0) v.push_back(std::bit_cast<double>(b));
  const std::size_t rows = v.size() / 3;
  run_parameters p;
  p.n_nu = static_cast<int32_t>(rows);
  run_arrays a;
  const int32_t integers[] = {0, 1, -1, INT32_MAX, INT32_MIN, 16, 255};
  std::vector<std::string> expected;
  for (std::size_t j = 0; j < rows; ++j) {
    a.nu.push_back(v[3 * j]), a.lambda_matr.push_back(v[3 * j + 1]), a.lambda_beta.push_back(v[3 * j + 2]);
    const int32_t i[4] = {7, integers[j % 7], integers[(j + 3) % 7], integers[(j + 5) % 7]};
    a.nh.push_back(i[1]), a.flag_matr.push_back(i[2]), a.flag_beta.push_back(i[3]);
    expected.push_back(row_bits(bits_of(v[3 * j]), bits_of(v[3 * j + 1]), bits_of(v[3 * j + 2]), i));
  }
  const std::string dir = ::testing::TempDir() + "table_" + std::to_string(getpid());
  p.table_file = dir + ".tab";
  write_table(p, std::vector<std::string>{"ltide"}, a, 7);

  std::vector<std::string> read;  // strtod and strtol
  for (const std::string& line : lines_of_file(p.table_file)) {
    if (line.starts_with("#")) continue;
    const char* s = line.c_str();
    char* end = nullptr;
    uint64_t b[3];
    int32_t i[4];
    for (uint64_t& x : b) x = bits_of(std::strtod(s, &end)), s = end;
    for (int32_t& x : i) x = static_cast<int32_t>(std::strtol(s, &end, 10)), s = end;
    EXPECT_EQ(*end, '\0') << line;
    read.push_back(row_bits(b[0], b[1], b[2], i));
  }
  EXPECT_EQ(read, expected) << "strtod";

  const std::vector<std::pair<const char*, std::string>> readers = {
#ifdef LTIDE_PYTHON
      {"numpy.loadtxt", "'" LTIDE_PYTHON "' -c \"import numpy, sys\n"
                        "for r in numpy.atleast_2d(numpy.loadtxt(sys.argv[1])):\n"
                        "    print(' '.join(['%016X' % b for b in r[:3].view('<u8')] + ['%d' % i for i in r[3:]]))\" '" +
                            p.table_file + "'"},
#endif
#ifdef TABLE_REFERENCE
      {"Fortran READ", "'" TABLE_REFERENCE "' < '" + p.table_file + "'"},
#endif
  };
  for (const auto& [name, command] : readers) {
    ASSERT_EQ(std::system((command + " > '" + dir + ".out'").c_str()), 0) << name;
    EXPECT_EQ(canonical(lines_of_file(dir + ".out")), expected) << name;
  }
  std::remove((dir + ".out").c_str());
  std::remove(p.table_file.c_str());
  if (readers.size() < 2) GTEST_SKIP() << "numpy or a Fortran compiler missing: not every reader ran";
}

}  // namespace
}  // namespace ltide::run
