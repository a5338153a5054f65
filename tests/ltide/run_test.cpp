// Whole runs of the program: stop messages, report lines, the six files and the fields
// in them.
#include <algorithm>
#include <cmath>
#include <sstream>
#include <vector>

#include "interpolate/interpolate.hpp"
#include "program.hpp"
#include "ufio/ufio.hpp"

namespace {

const char* const SUFFIXES[] = {"_xi_r_matr.uf2", "_xi_t_matr.uf2", "_xi_p_matr.uf2",
                                "_xi_r_beta.uf2", "_xi_t_beta.uf2", "_xi_p_beta.uf2"};

struct ud2 { std::vector<double> x, y, z; };

ud2 read_ud2(const fs::path& file) {
  ltide::ufio::holder<double, 1> x, y;
  ltide::ufio::holder<double, 2> z;
  ltide::ufio::u_read_ud2(file.string(), x, y, z);
  return {x.values(), y.values(), z.values()};
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// Real item i (0 .. 4) of a report line, and the four integers after them.
std::string real_item(const std::string& line, std::size_t i) { return line.substr(15 * i, 14); }
std::string integers(const std::string& line) { return line.substr(75); }

TEST_F(Program, BadCommandLinesStopWithStatusOneAndOneMessage) {
  const std::string huge = " -1 1 -2147483647 -2147483647 1 2 3 T";
  const struct { std::string err; std::vector<std::string> args; } groups[] = {  // err empty: a normal end
      {"Syntax: ltide output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]\n",
       {"", "p 1 1 1 0 1 2 2", "p 1 1 1 0 1 2 2 3 T x"}},
      {"** ^^ Cannot convert to real type [args::a_argv_dp]\n", {"p 1 1 x 0 1 y 2 3"}},  // the first in fetch order
      // |k| < n, checked before n_mu.
      {"** k must be (significantly) less than n [ltide]\n",
       {"p 1 5 1 0 1 2 2 5 T", "p 1 -2147483648 1 0 1 2 2 5 T", "p 1 0 1 0 1 2 2 0 T", "p 1 7 1 0 1 2 1 5"}},
      {"** n_mu must be at least 2 [ltide]\n", {"p 1 0 1 0 1 2 1 5"}},  // for the normalisation spline
      // 24 TB of matrices, two billion fields: refused before anything is allocated.
      {"** cannot allocate the arrays of the run [ltide]\n",
       {"p 1 0 1 0 1 2 2 1000000", "p 1 0 1 0 1 2147483647 2147483647 3"}},
      {"** |m| + 2n must not exceed 2147483647 [ltide]\n", {"p -2147483648" + huge, "p 2147483642" + huge}},
      // A report that cannot be written is a failure, not a normal end.
      {"** cannot write the report lines [ltide]\n", {"p 1 0 1 0 1 3 2 3 T >/dev/full"}},
      // An eigenvalues-only run needs neither two mu points nor any array of n_mu.
      {"", {"p 1 4 1 0 1 2 2 5 T", "p 1 -4 1 0 1 2 2 5 T", "p 1 0 1 0 1 2 1 5 T", "p -2147483641" + huge,
            "p 1 0 1 0 1 4 2147483647 3 .true."}},
  };
  for (const auto& group : groups)
    for (const std::string& args : group.args) {
      const outcome r = run(args);
      EXPECT_EQ(r.status, group.err.empty() ? 0 : 1) << args;
      EXPECT_EQ(r.err, group.err) << args;
    }
  EXPECT_TRUE(fs::is_empty(dir));
}

// The asymptotic order, root and failure bits for (m, k, nu), read from the report line:
// lambda_beta, then i_mode, nh, flag_matr, flag_beta of an eigenvalues-only run and of a
// run with fields (whose failed or tiny asymptotic fields cannot be normalised: bit 4).
TEST_F(Program, ReportLinesOfWorkedCases) {
  const struct { const char *m_k, *nu, *lambda_beta, *only, *with_fields; } rows[] = {
      {"1 0", "3", "0.769480E+02", "1 1 0 0", "1 1 0 0"},  // s = (9 + sqrt 73) / 2
      {"2 -1", "5", "0.900000E+01", "4 0 0 0", "4 0 0 0"},  // roots 3 and 2, larger
      {"2 -1", "3", "0.100000E+01", "4 0 1 0", "4 0 5 0"},  // roots 2 and 1, smaller; singular basis
      {"2 -1", "4", "0.000000E+00", "4 0 0 16", "4 0 0 20"},  // m nu = 2 m^2
      {"2 -1", "1", "0.000000E+00", "4 0 0 8", "4 0 0 12"},
      {"1 0", "-4", "0.114286E+01", "1 -1 0 0", "1 -1 0 0"},  // Gaussian branch, -8 / -7
      {"1 0", "-2", "0.000000E+00", "1 -1 0 2", "1 -1 0 6"},
      {"0 1", "2", "0.400000E+01", "1 0 0 0", "1 0 0 0"},
      {"0 0", "2", "0.000000E+00", "1 -1 0 2", "1 -1 0 6"},
      {"0 -1", "2", "0.000000E+00", "4 -2 0 8", "4 -2 0 12"},
      {"0 -1", "0.5", "0.000000E+00", "4 -2 2 8", "4 -2 2 12"},  // k < 0 and |nu| < 1
      {"1 2", "0.5", "0.000000E+00", "2 3 0 2", "2 3 0 6"},
      // Roots +-1 of equal size: the larger-root rule takes s_minus, so s nu < 0.
      {"1 0", "1e-20", "0.000000E+00", "1 1 0 1", "1 1 0 5"},
      // m^2 and 2 m^2 beyond 32 bits; roots 5e4 and 1e4, the smaller chosen.
      {"50000 -1", "60000", "0.100000E+09", "4 0 0 0", "4 0 4 4"},
      {"50000 -1", "50000", "0.000000E+00", "4 0 0 8", "4 0 4 12"},
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

TEST_F(Program, WritesSixFilesNamedAfterThePrefixWithMuAndNuAxes) {
  // Trailing blanks of the prefix are dropped, leading ones kept; the nu grid descends.
  ASSERT_EQ(run("' p  ' 2 0 1 2 -2 3 2 4").status, 0);
  ASSERT_EQ(run("q 1 0 1 0 1 0 2 3").out, "");  // no spin parameter
  for (const char* suffix : SUFFIXES) {
    const ud2 p = read_ud2(dir / (std::string(" p") + suffix)), q = read_ud2(dir / (std::string("q") + suffix));
    EXPECT_EQ(p.x, (std::vector<double>{-1.0, 1.0})) << suffix;
    EXPECT_EQ(p.y, (std::vector<double>{2.0, 0.0, -2.0})) << suffix;
    EXPECT_TRUE(p.z.size() == 6 && q.x.size() == 2 && q.y.empty() && q.z.empty()) << suffix;
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(dir), fs::directory_iterator()), 12);
}

// The fields read back: normalised fields have the value (even k) or slope (odd k) A at
// the equator on the spline through the grid; a singular step and a failed asymptotic
// solution leave zero fields; matrix fields of m != 0 vanish at both poles.
TEST_F(Program, FieldsAreNormalisedOrZeroAndVanishAtThePoles) {
  // The four integers of every report line, each followed by '|'.
  const struct { int m, k; double A; const char* args; std::string integers; } rows[] = {
      // Degrees 1, 3, ...; nu = 6 gives m nu = l(l - 1) for l = 3 (flag 5). At nu = 0 the
      // Gaussian branch fails (it needs m nu <= -3).
      {1, 0, 1.5, "p 1 0 1.5 0 8 5 41 12", "1 -1 0 6|1 1 0 0|1 1 0 0|1 1 5 0|1 1 0 0|"},
      // An odd mode, the equator between two grid points.
      {-2, 1, -2.5, "p -2 1 -2.5 -7 7 8 60 14", "1 2 0 0|1 2 0 0|1 2 0 0|1 2 0 0|1 0 0 0|1 0 0 0|1 0 0 0|1 0 0 0|"},
      {0, 2, 0.25, "p 0 2 0.25 -5 5 6 33 10", "2 1 0 0|2 1 0 0|2 1 0 6|2 1 0 0|2 1 0 0|2 1 0 0|"},
  };
  for (const auto& row : rows) {
    const std::vector<std::string> lines = lines_of(run(row.args).out);
    std::string tails;
    for (const std::string& line : lines) tails += integers(line) + "|";
    ASSERT_EQ(tails, row.integers);
    ud2 f[6];
    for (int i = 0; i < 6; ++i) f[i] = read_ud2(dir / (std::string("p") + SUFFIXES[i]));
    const std::size_t n_mu = f[0].x.size();
    for (std::size_t j = 0; j < lines.size(); ++j) {
      int i_mode, nh, flags[2];
      std::istringstream(integers(lines[j])) >> i_mode >> nh >> flags[0] >> flags[1];
      for (std::size_t i = 0; i < 6; ++i) {
        const int flag = flags[i / 3];
        const std::vector<double> c(f[i].z.begin() + j * n_mu, f[i].z.begin() + (j + 1) * n_mu);
        const auto where = ::testing::Message() << row.args << ": step " << j << " file " << i;
        if (i % 3 == 0 && (flag & 4) == 0) {
          using namespace ltide::interpolate;
          const double v = row.k % 2 == 0 ? d_interpolate_data(f[0].x, c, 0.0) : d_interpolate_deriv(f[0].x, c, 0.0);
          EXPECT_NEAR(v, row.A, 1e-12 * std::fabs(row.A)) << where;
        }
        const bool failed = (flag & (i < 3 ? 1 : 27)) != 0;
        EXPECT_TRUE(!failed || std::all_of(c.begin(), c.end(), [](double e) { return e == 0.0; })) << where;
        EXPECT_TRUE(i >= 3 || row.m == 0 || (c.front() == 0.0 && c.back() == 0.0)) << where;
      }
    }
  }
}

}  // namespace
