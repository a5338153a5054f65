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
#include <random>
#include <string>
#include <vector>

#include <ltide/ltide/options.hpp>
#include <ltide/ltide/output.hpp>
#include <ltide/ltide/table.hpp>

#include "support.hpp"

namespace ltide::run {
namespace {

std::variant<parsed_command_line, std::string> parse(const std::vector<std::string>& after_name) {
  std::vector<std::string> words{"ltide"};
  words.insert(words.end(), after_name.begin(), after_name.end());
  return parse_command_line(words);
}

// Rows: the words after the program name, then the first positional and the table, or the message.
TEST(Options, LongOptionsComeBeforeThePositionals) {
  const struct { std::vector<std::string> words; std::size_t first; std::string table_or_message; } rows[] = {
      {{}, 1, ""}, {{"p", "--table=t"}, 1, ""},
      {{"--table", "--help", "p"}, 3, "--help"},  // the next word, whatever it is
      {{"--table=a", "--table=b=c", "p"}, 3, "b=c"}, {{"--", "--p", "--help"}, 2, ""},
      {{"--table=t", "--"}, 3, "t"}, {{"-x", "--help"}, 1, ""},  // "-x" is a prefix
      {{"--foo", "p"}, 0, "unknown option --foo"}, {{"--tab=x"}, 0, "unknown option --tab"},  // no abbreviations
      {{"--table"}, 0, "option --table needs a value: --table=FILE"},
      {{"--table=", "p"}, 0, "option --table needs a value: --table=FILE"},
      {{"--help=yes"}, 0, "option --help takes no value"}, {{"--x\ny=1"}, 0, "unknown option $'--x\\ny'"},
  };
  for (const auto& row : rows) {
    const auto parsed = parse(row.words);
    const auto* p = std::get_if<parsed_command_line>(&parsed);
    EXPECT_EQ(p ? p->first_positional : 0, row.first) << row.table_or_message;
    EXPECT_EQ(p ? p->options.table : std::get<std::string>(parsed), row.table_or_message);
  }
  const parsed_command_line p = std::get<0>(parse({"--version", "--help", "p"}));
  EXPECT_EQ(p.options.help, true);
  EXPECT_EQ(p.options.version, true);
  EXPECT_EQ(p.options.command_line, (std::vector<std::string>{"ltide", "--version", "--help", "p"}));
  EXPECT_EQ(p.options.solver, solver_kind::ql);
  EXPECT_EQ(std::get<0>(parse({"--solver=fast", "p"})).options.solver, solver_kind::fast);
  EXPECT_EQ(std::get<0>(parse({"--solver=fast", "--solver", "ql", "p"})).options.solver, solver_kind::ql);
  EXPECT_EQ(std::get<1>(parse({"--solver=QL", "p"})), "option --solver does not take the value QL");
}

TEST(Options, WordsAreQuotedOnOneLineAndHelpListsEveryOption) {
  const std::pair<std::string, std::string> rows[] = {
      {"out/run_1.5", "out/run_1.5"}, {"", "''"}, {"it's", "'it'\\''s'"}, {"--table=t", "'--table=t'"},
      {"a\nb\\", "$'a\\nb\\\\'"}, {std::string("\x01'\t", 3), "$'\\x01\\'\\t'"}, {"\xC3\xA9", "'\xC3\xA9'"},
  };
  for (const auto& [word, quoted] : rows) EXPECT_EQ(quoted_word(word), quoted);
  const std::string help = help_text();
  for (const option_entry& o : option_table()) EXPECT_NE(help.find("  --" + std::string(o.name)), std::string::npos);
  EXPECT_NE(help.find("man ltide"), std::string::npos);
}

// A row as the bits of its reals (every NaN as the default one) and its integers.
std::string row_bits(const double (&x)[3], const int32_t (&i)[4]) {
  uint64_t b[3];
  for (int k = 0; k < 3; ++k) b[k] = std::isnan(x[k]) ? 0x7FF8000000000000U : std::bit_cast<uint64_t>(x[k]);
  char line[100];
  std::snprintf(line, sizeof line, "%016" PRIX64 " %016" PRIX64 " %016" PRIX64 " %d %d %d %d", b[0], b[1], b[2], i[0],
                i[1], i[2], i[3]);
  return line;
}

// Awkward doubles (no subnormals: the run flushes them) and random normal ones, written
// by the run's table writer, come back bit for bit through strtod, numpy.loadtxt and a
// Fortran list-directed READ.
TEST(Table, EveryDoubleReadsBackExactly) {
  std::vector<double> v = {0.1, 1.0 / 3.0, -0.0, 0.0, -2.5, DBL_MAX, -DBL_MAX, DBL_MIN, 2.2250738585072019e-308,
                           1e22, 1e23, 9007199254740993.0, 123456789012345680000.0, std::nextafter(1.0, 2.0),
                           0.30000000000000004, 1e-307, HUGE_VAL, -HUGE_VAL, NAN};
  std::mt19937_64 rng(7);
  while (v.size() < 3000)
    if (const uint64_t b = rng(); ((b >> 52) & 0x7FF) % 0x7FF != 0) v.push_back(std::bit_cast<double>(b));
  run_parameters p;
  p.lflag = true;
  std::vector<step_output> rows;
  const int32_t integers[] = {0, 1, -1, INT32_MAX, INT32_MIN, 16, 255};
  std::vector<std::string> expected, by_strtod;
  for (std::size_t j = 0; j < v.size() / 3; ++j) {
    const double x[3] = {v[3 * j], v[3 * j + 1], v[3 * j + 2]};
    const int32_t i[4] = {7, integers[j % 7], integers[(j + 3) % 7], integers[(j + 5) % 7]};
    rows.push_back({int32_t(j + 1), x[0], x[1], x[2], 7, i[1], i[2], i[3], {}});
    expected.push_back(row_bits(x, i));
  }
  const std::string file = ::testing::TempDir() + "table_" + std::to_string(getpid());
  p.table_file = file + ".tab";
  const std::vector<std::string> command{"ltide"};
  run_outputs table(p, command, {}, {});
  for (const step_output& r : rows) table.emit(r);
  table.commit();

  for (const std::string& line : lines_of(slurp(p.table_file))) {
    if (line.starts_with("#")) continue;
    char* end = const_cast<char*>(line.c_str());
    double x[3];
    int32_t i[4];
    for (double& e : x) e = std::strtod(end, &end);
    for (int32_t& e : i) e = static_cast<int32_t>(std::strtol(end, &end, 10));
    EXPECT_EQ(*end, '\0') << line;
    by_strtod.push_back(row_bits(x, i));
  }
  EXPECT_EQ(by_strtod, expected);
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
    ASSERT_EQ(std::system((command + " > '" + file + ".out'").c_str()), 0) << name;
    EXPECT_EQ(lines_of(slurp(file + ".out")), expected) << name;
  }
  std::remove((file + ".out").c_str());
  std::remove(p.table_file.c_str());
  if (readers.size() < 2) GTEST_SKIP() << "numpy or a Fortran compiler missing: not every reader ran";
}

}  // namespace
}  // namespace ltide::run
