// Whole runs of the program: stop messages, report lines, the six files and their fields.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include <ltide/interpolate/interpolate.hpp>
#include "program.hpp"
#include <ltide/ufio/ufio.hpp>

namespace {

struct ud2 { std::vector<double> x, y, z; };

ud2 read_ud2(const fs::path& file) {
  ltide::ufio::holder<double, 1> x, y;
  ltide::ufio::holder<double, 2> z;
  ltide::ufio::u_read_ud2(file.string(), x, y, z);
  return {x.values(), y.values(), z.values()};
}

// Real item i (0 .. 4) of a report line, and the four integers after them.
std::string real_item(const std::string& line, std::size_t i) { return line.substr(15 * i, 14); }
std::string integers(const std::string& line) { return line.substr(75); }

// Too few mu points, a full standard output, the other limits and bad texts are extreme-input rows.
TEST_F(Program, BadCommandLinesStopWithStatusOneAndOneMessage) {
  const std::string huge = " -1 1 -2147483647 -2147483647 1 2 3 T";
  const struct { std::string err; std::vector<std::string> args; } groups[] = {  // err empty: a normal end
      {"Syntax: ltide output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]\n", {""}},
      {stop::NOT_REAL + "\n", {"p 1 1 x 0 1 y 2 3"}},  // the first in fetch order
      // |k| < n, checked before n_mu; an eigenvalues-only run needs only the first.
      {stop::K_BELOW_N + "\n", {"p 1 5 1 0 1 2 2 5 T", "p 1 7 1 0 1 2 1 5"}},
      {stop::NO_MEMORY + "\n", {"p 1 0 1 0 1 2 2 1000000"}},  // 24 TB of matrices
      {stop::DEGREES + "\n", {"p 2147483642" + huge}},
      // An eigenvalues-only run needs neither two mu points nor any array of n_mu, nor eigenvectors.
      {"", {"p 1 4 1 0 1 2 2 5 T", "p 1 -4 1 0 1 2 2 5 T", "p 1 0 1 0 1 2 1 5 T", "p -2147483641" + huge,
            "p 1 0 1 0 1 1 2147483647 100000 T"}},
  };
  for (const auto& group : groups)
    for (const std::string& args : group.args) {
      const outcome r = run(args);
      EXPECT_EQ(r.status, (group.err.empty() ? 0 : 1)) << args << ": " << r.status << r.err;
      EXPECT_EQ(r.err, group.err) << args << ": " << r.status << r.err;
    }
  EXPECT_TRUE(fs::is_empty(dir));
}

// The asymptotic order, root and failure bits for (m, k, nu) on the report line: lambda_beta,
// then i_mode, nh, flag_matr, flag_beta of an eigenvalues-only run and of a run with fields
// (whose failed or tiny asymptotic fields cannot be normalised: bit 4). Four degrees resolve
// few of these modes: bit 8 of flag_matr is set on the same lines in both runs.
TEST_F(Program, ReportLinesOfWorkedCases) {
  const struct { const char *m_k, *nu, *lambda_beta, *only, *with_fields; } rows[] = {
      {"1 0", "3", "0.769480E+02", "1 1 8 0", "1 1 8 0"},  // s = (9 + sqrt 73) / 2
      {"2 -1", "5", "0.900000E+01", "4 0 8 0", "4 0 8 0"},  // roots 3 and 2, larger
      {"2 -1", "3", "0.100000E+01", "4 0 1 0", "4 0 5 0"},  // roots 2 and 1, smaller; singular basis
      {"2 -1", "4", "0.000000E+00", "4 0 8 16", "4 0 8 20"}, {"2 -1", "1", "0.000000E+00", "4 0 8 8", "4 0 8 12"},
      {"1 0", "-4", "0.114286E+01", "1 -1 0 0", "1 -1 0 0"},  // Gaussian branch, -8 / -7
      {"1 0", "-2", "0.000000E+00", "1 -1 0 2", "1 -1 0 6"}, {"0 1", "2", "0.400000E+01", "1 0 8 0", "1 0 8 0"},
      {"0 0", "2", "0.000000E+00", "1 -1 0 2", "1 -1 0 6"}, {"0 -1", "2", "0.000000E+00", "4 -2 8 8", "4 -2 8 12"},
      {"0 -1", "0.5", "0.000000E+00", "4 -2 10 8", "4 -2 10 12"}, {"1 2", "0.5", "0.000000E+00", "2 3 0 2", "2 3 0 6"},
      {"1 0", "1e-20", "0.000000E+00", "1 1 0 1", "1 1 0 5"},  // roots +-1: the larger-root rule takes s_minus
      {"50000 -1", "60000", "0.100000E+09", "4 0 8 0", "4 0 8 4"},  // m^2, 2 m^2 past 32 bits; roots 5e4, 1e4: the smaller
      {"50000 -1", "50000", "0.000000E+00", "4 0 8 8", "4 0 12 12"},
  };
  for (const auto& row : rows)
    for (const char* lflag : {" T", ""}) {
      const std::string args = std::string("p ") + row.m_k + " 1 " + row.nu + " " + row.nu + " 1 5 4" + lflag;
      const std::vector<std::string> lines = lines_of(run(args).out);
      ASSERT_EQ(lines.size(), 1U) << args;
      EXPECT_EQ(real_item(lines[0], 2), std::string("  ") + row.lambda_beta) << args;
      EXPECT_EQ(integers(lines[0]), *lflag ? row.only : row.with_fields) << args;
    }
  // The smallest even basis, n = 2: 1 / the largest Aleph eigenvalue.
  EXPECT_EQ(real_item(run("out 1 0 1 0.5 1.0 2 3 2 T").out, 1), "  0.281787E+01");
}

// The six files are named after the prefix less its trailing blanks, with the mu and the nu grid
// (descending when nu_min > nu_max) as axes. Normalised fields have the value (even k) or slope
// (odd k; at no grid point here) A at the equator on the spline through the grid; a singular step
// and a failed asymptotic solution leave zero fields; matrix fields of m != 0 vanish at the poles.
// The small bases leave the larger |nu| unresolved (bit 8), which changes no field.
TEST_F(Program, FilesHoldFieldsNormalisedOrZeroThatVanishAtThePoles) {
  const struct { int m, k; double A; const char* args; std::string integers; } rows[] = {  // each line's, then '|'
      // Degrees 1, 3, ...: m nu = l(l - 1) at nu = 6, l = 3 (flag 5); the Gaussian branch needs m nu <= -3.
      {1, 0, 1.5, "' p  ' 1 0 1.5 0 8 5 41 12", "1 -1 0 6|1 1 0 0|1 1 8 0|1 1 5 0|1 1 8 0|"},
      {-2, 1, -2.5, "' p  ' -2 1 -2.5 -7 7 8 60 14", "1 2 8 0|1 2 8 0|1 2 8 0|1 2 0 0|1 0 0 0|1 0 0 0|1 0 0 0|1 0 8 0|"},
      {0, 2, 0.25, "' p  ' 0 2 0.25 5 -5 6 33 10", "2 1 8 0|2 1 8 0|2 1 0 6|2 1 0 0|2 1 8 0|2 1 8 0|"},
  };
  for (const auto& row : rows) {
    const std::vector<std::string> lines = lines_of(run(row.args).out);
    std::string tails;
    for (const std::string& line : lines) tails += integers(line) + "|";
    ASSERT_EQ(tails, row.integers);
    ud2 f[6];
    for (int i = 0; i < 6; ++i) f[i] = read_ud2(dir / (std::string(" p") + SUFFIXES[i]));
    const std::size_t n_mu = f[0].x.size();
    ASSERT_EQ(f[0].x.front(), -1.0);
    ASSERT_EQ(f[0].x.back(), 1.0);
    ASSERT_EQ(f[0].y.size(), lines.size());
    for (std::size_t j = 0; j < lines.size(); ++j) {
      int i_mode, nh, flags[2];
      std::istringstream(integers(lines[j])) >> i_mode >> nh >> flags[0] >> flags[1];
      EXPECT_NEAR(std::stod(real_item(lines[j], 0)), f[0].y[j], 1e-5 * std::fabs(f[0].y[j])) << row.args;
      for (std::size_t i = 0; i < 6; ++i) {
        const std::vector<double> c(f[i].z.begin() + j * n_mu, f[i].z.begin() + (j + 1) * n_mu);
        const auto where = ::testing::Message() << row.args << ": step " << j << " file " << i;
        if (i % 3 == 0 && (flags[i / 3] & 4) == 0) {
          using namespace ltide::interpolate;
          const double v = row.k % 2 == 0 ? d_interpolate_data(f[0].x, c, 0.0) : d_interpolate_deriv(f[0].x, c, 0.0);
          EXPECT_NEAR(v, row.A, 1e-12 * std::fabs(row.A)) << where;
        }
        const bool failed = (flags[i / 3] & (i < 3 ? 1 : 27)) != 0;
        EXPECT_TRUE(!failed || std::all_of(c.begin(), c.end(), [](double e) { return e == 0.0; })) << where;
        EXPECT_TRUE(i >= 3 || row.m == 0 || (c.front() == 0.0 && c.back() == 0.0)) << where;
      }
    }
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 6);
}

}  // namespace

namespace {

// A bad option stops before any work, --help and --version with status 0; "--" lets a
// prefix start with "--"; after the positionals nothing is an option (the count rule).
TEST_F(Program, OptionsStopEarlyOrLetTheRunGoAhead) {
  const std::string usage = "Syntax: ltide output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]\n";
  const struct { std::string args; int status; std::string out, err; } rows[] = {
      {"--version p 2 0 1 1 1 1 5 4", 0, "ltide " LTIDE_VERSION "\n", ""},
      {"--table=t.tab --foo p 2 0 1 1 1 1 5 4", 1, "", "** unknown option --foo [ltide]\n"},
      {"--table", 1, "", "** option --table needs a value: --table=FILE [ltide]\n"},
      {"--table=t.tab --", 1, "", usage}, {"p 2 0 1 1 1 1 5 4 T --table=t.tab", 1, "", usage},
  };
  for (const auto& row : rows) {
    const outcome r = run(row.args);
    EXPECT_EQ(r.status, row.status) << row.args;
    EXPECT_EQ(r.out, row.out) << row.args;
    EXPECT_EQ(r.err, row.err) << row.args;
  }
  EXPECT_TRUE(fs::is_empty(dir));
  const outcome help = run("--help");
  EXPECT_EQ(help.status, 0);
  EXPECT_TRUE(help.out.starts_with("Usage: ltide [options] output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]\n"));
  EXPECT_EQ(run("-- --p 2 0 1 1 1 1 5 4").status, 0);
  EXPECT_TRUE(fs::exists(dir / "--p_xi_r_matr.uf2"));
}

// The table holds the report's items to the last bit: its nu are the files' axis, its
// integers the report's, its reals round to the report's six digits; an eigenvalues-only
// run writes it too, and a table that cannot be written stops the run.
TEST_F(Program, TableHoldsEveryStepInFullPrecision) {
  for (const char* lflag : {"", " T"}) {
    const std::string args = std::string("--table t.tab p -2 1 1.5 -7 7 8 60 14") + lflag;
    const outcome r = run(args);
    ASSERT_EQ(r.status, 0) << r.err;
    const std::vector<std::string> report = lines_of(r.out), table = lines_of(slurp(dir / "t.tab"));
    ASSERT_EQ(table.size(), 13 + report.size()) << args;
    EXPECT_EQ(table[1], "# command line: " LTIDE_EXE " --table t.tab p -2 1 1.5 -7 7 8 60 14" + std::string(lflag));
    EXPECT_EQ(table[4] + table[5] + table[6] + table[9], "# A = 1.5# nu_min = -7# nu_max = 7# n = 14");
    EXPECT_EQ(table[10], "# lflag = " + std::string(*lflag ? "T" : "F"));
    EXPECT_EQ(table[11], "# solver = ql");
    std::vector<double> nu;
    for (std::size_t j = 0; j < report.size(); ++j) {
      std::istringstream row(table[13 + j]);
      double reals[3];
      std::string ints[4];
      row >> reals[0] >> reals[1] >> reals[2] >> ints[0] >> ints[1] >> ints[2] >> ints[3];
      for (std::size_t i = 0; i < 3; ++i)
        EXPECT_NEAR(reals[i], std::stod(real_item(report[j], i)), 5e-6 * std::fabs(reals[i])) << table[13 + j];
      EXPECT_EQ(ints[0] + " " + ints[1] + " " + ints[2] + " " + ints[3], integers(report[j]));
      nu.push_back(reals[0]);
    }
    if (!*lflag) {
      EXPECT_EQ(read_ud2(dir / "p_xi_r_matr.uf2").y, nu);
    }
  }
  const outcome r = run("--table=none/t.tab p 1 0 1 1 1 1 5 4 T");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "** cannot create file \"none/t.tab\": No such file or directory [ufio::text_file]\n");
}

}  // namespace
