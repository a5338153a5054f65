// Runs of the built program, each in a fresh directory: standard output, standard
// error, exit status and the files left behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "interpolate/interpolate.hpp"
#include "ufio/ufio.hpp"

namespace {

namespace fs = std::filesystem;

const char* const SUFFIXES[] = {"_xi_r_matr.uf2", "_xi_t_matr.uf2", "_xi_p_matr.uf2",
                                "_xi_r_beta.uf2", "_xi_t_beta.uf2", "_xi_p_beta.uf2"};
const std::string USAGE = "Syntax: ltide output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]\n";
const std::string K_MESSAGE = "** k must be (significantly) less than n [ltide]\n";

struct outcome {
  int status = -1;  // exit status, -1 when the process did not exit normally
  std::string out;
  std::string err;
};

std::string read_file(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

class Run : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "ltide_run_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
  }
  void TearDown() override { fs::remove_all(dir_); }

  // Runs the program with `args` in the test's directory; standard output goes to
  // `stdout_path` when one is given.
  outcome run(const std::vector<std::string>& args, const char* stdout_path = nullptr) {
    const fs::path out_path = dir_ / ".stdout", err_path = dir_ / ".stderr";
    const pid_t pid = fork();
    if (pid == 0) {
      std::vector<char*> argv{const_cast<char*>(LTIDE_EXE)};
      for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
      argv.push_back(nullptr);
      const int out = open(stdout_path ? stdout_path : out_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
      if (out < 0 || err < 0 || chdir(dir_.c_str()) != 0) _exit(127);
      dup2(out, 1);
      dup2(err, 2);
      execv(LTIDE_EXE, argv.data());
      _exit(127);
    }
    int wstatus = 0;
    waitpid(pid, &wstatus, 0);
    outcome result;
    result.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
    result.out = read_file(out_path);
    result.err = read_file(err_path);
    fs::remove(out_path);
    fs::remove(err_path);
    return result;
  }

  // The names of the files the run left in its directory.
  std::vector<std::string> files() const {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(dir_)) names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
  }

  std::vector<std::string> expected_files(const std::string& prefix) const {
    std::vector<std::string> names;
    for (const char* suffix : SUFFIXES) names.push_back(prefix + suffix);
    std::sort(names.begin(), names.end());
    return names;
  }

  fs::path dir_;
};

std::vector<double> doubles_at(const std::string& bytes, std::size_t offset, std::size_t count) {
  std::vector<double> values(count);
  std::memcpy(values.data(), bytes.data() + offset, count * sizeof(double));
  return values;
}

// A rank-2 double array file read back: the two axes and the data (column-major, the
// mu index fastest).
struct ud2 {
  std::vector<double> x, y, z;
  double at(std::size_t i, std::size_t j) const { return z[i + j * x.size()]; }
  std::vector<double> column(std::size_t j) const {
    return {z.begin() + static_cast<std::ptrdiff_t>(j * x.size()),
            z.begin() + static_cast<std::ptrdiff_t>((j + 1) * x.size())};
  }
};

ud2 read_ud2(const fs::path& path) {
  ltide::ufio::holder<double, 1> x, y;
  ltide::ufio::holder<double, 2> z;
  ltide::ufio::u_read_ud2(path.string(), x, y, z);
  return {x.values(), y.values(), z.values()};
}

// The nine items of every report line.
struct report {
  std::vector<std::string> reals;  // nu, lambda_matr, lambda_beta and the two logarithms, as printed
  int32_t i_mode, nh, flag_matr, flag_beta;
};

std::vector<report> parse_report(const std::string& out) {
  std::vector<report> lines;
  std::istringstream in(out);
  std::string line;
  while (std::getline(in, line)) {
    report r;
    for (std::size_t i = 0; i < 5; ++i) r.reals.push_back(line.substr(15 * i, 14));
    std::istringstream tail(line.substr(75));
    tail >> r.i_mode >> r.nh >> r.flag_matr >> r.flag_beta;
    lines.push_back(r);
  }
  return lines;
}

TEST_F(Run, WrongArgumentCountPrintsTheUsageLine) {
  const std::vector<std::string> eight = {"p", "1", "1", "1", "0", "1", "2", "2"};
  std::vector<std::string> eleven = {"p", "1", "1", "1", "0", "1", "2", "2", "3", "T", "x"};
  for (const auto& args : {eight, eleven, std::vector<std::string>{}}) {
    const outcome r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, USAGE);
    EXPECT_EQ(r.out, "");
  }
  EXPECT_TRUE(files().empty());
}

TEST_F(Run, BadArgumentIsEchoedThenStops) {
  const outcome r = run({"p", "3.5", "1", "1", "0", "1", "2", "2", "3"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.out, " 3.5" + std::string(77, ' ') + "\n");
  EXPECT_EQ(r.err, "** ^^ Cannot convert to integer type [args::a_argv_i]\n");
  EXPECT_TRUE(files().empty());
}

TEST_F(Run, FirstBadArgumentInFetchOrderIsReported) {
  const outcome real = run({"p", "1", "1", "x", "0", "1", "y", "2", "3"});
  EXPECT_EQ(real.err, "** ^^ Cannot convert to real type [args::a_argv_dp]\n");
  EXPECT_EQ(real.out, " x" + std::string(79, ' ') + "\n");
  const outcome logical = run({"p", "1", "1", "1", "0", "1", "2", "2", "3", "yes"});
  EXPECT_EQ(logical.status, 1);
  EXPECT_EQ(logical.err, "** ^^ Cannot convert to logical type [args::a_argv_l]\n");
}

TEST_F(Run, KMustBeBelowN) {
  for (const char* k : {"5", "-5", "-2147483648", "2147483647"}) {
    const outcome r = run({"p", "1", k, "1", "0", "1", "2", "2", "5"});
    EXPECT_EQ(r.status, 1) << k;
    EXPECT_EQ(r.err, K_MESSAGE) << k;
    EXPECT_EQ(r.out, "") << k;
  }
  EXPECT_EQ(run({"p", "1", "0", "1", "0", "1", "2", "2", "0"}).err, K_MESSAGE);
  EXPECT_EQ(run({"p", "1", "4", "1", "0", "1", "2", "2", "5"}).status, 0);
  EXPECT_EQ(run({"p", "1", "-4", "1", "0", "1", "2", "2", "5"}).status, 0);
}

TEST_F(Run, FieldsNeedTwoMuPoints) {
  const outcome r = run({"p", "1", "0", "1", "0", "1", "2", "1", "5"});
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "** n_mu must be at least 2 [ltide]\n");
  // The k check comes first.
  EXPECT_EQ(run({"p", "1", "7", "1", "0", "1", "2", "1", "5"}).err, K_MESSAGE);
  EXPECT_EQ(run({"p", "1", "0", "1", "0", "1", "2", "1", "5", "T"}).status, 0);
}

TEST_F(Run, ReportLinesFollowTheSpinGridAndFlagSingularSteps) {
  // m = 1, k = 1: degrees 2, 4, ...; nu = 0 gives lambda = 2 * 3, nu = 2 is singular
  // (l = 2: l(l - 1) = m nu). The asymptotic order is k + 1 = 2 for m nu > 0 with
  // lambda = s^2, s = (5 nu + sqrt(25 nu^2 - 4 (nu - 1))) / 2 (97.9898 at nu = 2, 393.977 at
  // 4); at nu = 0 the root s = -1 gives s nu = 0 (bit 1). Three mu points put the odd
  // matrix field's zeros at -1, 0 and 1: its slope at the equator is 0 (bit 4).
  const outcome r = run({"p", "1", "1", "1.0", "0", "4", "3", "3", "5"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.err, "");
  EXPECT_EQ(r.out,
            "  0.000000E+00   0.600000E+01   0.000000E+00   0.845098E+00   0.000000E+00 1 0 4 5\n"
            "  0.200000E+01   0.000000E+00   0.979898E+02   0.000000E+00   0.199559E+01 1 2 5 0\n"
            "  0.400000E+01  -0.422501E+03   0.393977E+03  -0.262685E+01   0.259657E+01 1 2 4 0\n");
}

TEST_F(Run, RetrogradeModeFlagsSpinParametersBelowOne) {
  // m = 0 and k = -1: order k - 1 = -2 and no asymptotic solution (bit 8) at every step.
  const outcome r = run({"p", "0", "-1", "1", "-2", "2", "5", "3", "5", "T"});
  EXPECT_EQ(r.status, 0);
  std::istringstream lines(r.out);
  std::string line;
  std::vector<std::string> tails;
  while (std::getline(lines, line)) tails.push_back(line.substr(75));
  EXPECT_EQ(tails, (std::vector<std::string>{"5 -2 0 8", "5 -2 0 8", "5 -2 2 8", "5 -2 0 8", "5 -2 0 8"}));
}

TEST_F(Run, WritesSixFilesWithMuAndNuAxes) {
  const outcome r = run({"p", "2", "0", "1", "2", "-2", "3", "2", "4"});
  EXPECT_EQ(r.status, 0);
  ASSERT_EQ(files(), expected_files("p"));
  for (const char* suffix : SUFFIXES) {
    const std::string bytes = read_file(dir_ / (std::string("p") + suffix));
    ASSERT_EQ(bytes.size(), 139U) << suffix;
    EXPECT_EQ(bytes.substr(4, 3), "UD2");
    EXPECT_EQ(doubles_at(bytes, 31, 2), (std::vector<double>{-1.0, 1.0}));
    EXPECT_EQ(doubles_at(bytes, 55, 3), (std::vector<double>{2.0, 0.0, -2.0}));  // descending grid
  }
}

TEST_F(Run, FileNamesDropTrailingBlanksOfThePrefix) {
  EXPECT_EQ(run({"run1   ", "1", "0", "1", "0", "1", "2", "2", "3"}).status, 0);
  EXPECT_EQ(files(), expected_files("run1"));
  for (const auto& name : files()) fs::remove(dir_ / name);
  EXPECT_EQ(run({"   ", "1", "0", "1", "0", "1", "2", "2", "3"}).status, 0);
  EXPECT_EQ(files(), expected_files(""));
  for (const auto& name : files()) fs::remove(dir_ / name);
  EXPECT_EQ(run({" lead", "1", "0", "1", "0", "1", "2", "2", "3"}).status, 0);
  EXPECT_EQ(files(), expected_files(" lead"));
}

TEST_F(Run, NoSpinParametersGiveFilesWithAnEmptySecondAxis) {
  const outcome r = run({"p", "1", "0", "1", "0", "1", "0", "2", "3"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out, "");
  ASSERT_EQ(files(), expected_files("p"));
  EXPECT_EQ(fs::file_size(dir_ / "p_xi_p_beta.uf2"), 67U);
}

TEST_F(Run, OnePointSpinGridIsTheFirstSpinParameter) {
  const outcome r = run({"p", "1", "0", "1", "-3.5", "7", "1", "2", "3", "f"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 15), " -0.350000E+01 ");
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 1);
}

TEST_F(Run, EigenvaluesOnlyRunWritesNoFilesAndNeedsNoMuArrays) {
  // Two billion mu points cost nothing when no field is computed.
  const outcome r = run({"p", "1", "0", "1", "0", "1", "4", "2147483647", "3", ".true."});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 4);
  EXPECT_TRUE(files().empty());
}

TEST_F(Run, ArraysThatCannotBeAllocatedStopTheRun) {
  // Three 10^6 x 10^6 matrices (24 TB), and two billion fields: refused before anything
  // is allocated.
  for (const auto& args : {std::vector<std::string>{"p", "1", "0", "1", "0", "1", "2", "2", "1000000"},
                           std::vector<std::string>{"p", "1", "0", "1", "0", "1", "2147483647", "2147483647", "3"}}) {
    const outcome r = run(args);
    EXPECT_EQ(r.status, 1);
    EXPECT_EQ(r.err, "** cannot allocate the arrays of the run [ltide]\n");
  }
}

TEST_F(Run, BasisDegreesMustFitInThirtyTwoBits) {
  // The highest degree |m| + 2n is a 32-bit integer of the harmonics and coupling
  // coefficients; one more and it would wrap.
  const std::string message = "** |m| + 2n must not exceed 2147483647 [ltide]\n";
  for (const char* m : {"-2147483648", "-2147483642", "2147483642"}) {
    const outcome r = run({"p", m, "-1", "1", "-2147483647", "-2147483647", "1", "2", "3", "T"});
    EXPECT_EQ(r.status, 1) << m;
    EXPECT_EQ(r.err, message) << m;
  }
  const outcome r = run({"p", "-2147483641", "-1", "1", "-2147483647", "-2147483647", "1", "2", "3", "T"});
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.substr(0, 15), " -0.214748E+10 ");
}

TEST_F(Run, SmallestEvenBasisGivesTheWorkedEigenvalue) {
  const outcome r = run({"out", "1", "0", "1", "0.5", "1.0", "2", "3", "2", "T"});
  EXPECT_EQ(r.status, 0);
  const std::vector<report> lines = parse_report(r.out);
  ASSERT_EQ(lines.size(), 2U);
  EXPECT_EQ(lines[0].reals[1], "  0.281787E+01");  // 1 / largest Aleph eigenvalue, n = 2
}

TEST_F(Run, AsymptoticOrderBitsAndEigenvalueAppearOnTheReportLine) {
  struct row {
    const char *m, *k, *nu;
    int32_t nh, flags;
    const char* lambda;
  };
  const row rows[] = {
      {"1", "0", "3", 1, 0, "  0.769480E+02"},  {"2", "-1", "5", 0, 0, "  0.900000E+01"},
      {"2", "-1", "3", 0, 0, "  0.100000E+01"}, {"2", "-1", "4", 0, 16, "  0.000000E+00"},
      {"2", "-1", "1", 0, 8, "  0.000000E+00"}, {"1", "0", "-4", -1, 0, "  0.114286E+01"},
      {"1", "0", "-2", -1, 2, "  0.000000E+00"}, {"0", "1", "2", 0, 0, "  0.400000E+01"},
      {"0", "0", "2", -1, 2, "  0.000000E+00"}, {"0", "-1", "2", -2, 8, "  0.000000E+00"},
      {"1", "2", "0.5", 3, 2, "  0.000000E+00"},
  };
  for (const row& w : rows) {
    for (bool lflag : {true, false}) {
      std::vector<std::string> args = {"p", w.m, w.k, "1", w.nu, w.nu, "1", "5", "4"};
      if (lflag) args.push_back("T");
      const outcome r = run(args);
      const std::vector<report> lines = parse_report(r.out);
      ASSERT_EQ(lines.size(), 1U) << w.m << " " << w.k << " " << w.nu;
      EXPECT_EQ(lines[0].nh, w.nh) << w.m << " " << w.k << " " << w.nu;
      // A failed asymptotic solution leaves zero fields, which cannot be normalised.
      const int32_t expected = lflag || w.flags == 0 ? w.flags : w.flags | 4;
      EXPECT_EQ(lines[0].flag_beta, expected) << w.m << " " << w.k << " " << w.nu << " lflag " << lflag;
      EXPECT_EQ(lines[0].reals[2], w.lambda) << w.m << " " << w.k << " " << w.nu;
    }
  }
}

// Reads the six files and checks, step by step, what the report line says about them:
// normalised fields have the amplitude A as their equatorial value (even modes) or slope
// (odd modes) on the spline through the grid; a singular step and a failed asymptotic
// solution leave zero fields marked with bit 4; matrix fields of m != 0 vanish at both
// poles.
void check_fields(const fs::path& dir, const std::string& out, int32_t m, bool even, double A) {
  const std::vector<report> lines = parse_report(out);
  const char* names[] = {"p_xi_r_matr.uf2", "p_xi_t_matr.uf2", "p_xi_p_matr.uf2",
                         "p_xi_r_beta.uf2", "p_xi_t_beta.uf2", "p_xi_p_beta.uf2"};
  std::vector<ud2> f;
  for (const char* name : names) f.push_back(read_ud2(dir / name));
  ASSERT_EQ(f[0].y.size(), lines.size());
  using ltide::vector_view;
  const std::vector<double>& mu = f[0].x;
  const auto equator = [&](const std::vector<double>& radial) {
    const vector_view<const double> x(mu), y(radial);
    return even ? ltide::interpolate::d_interpolate_data(x, y, 0.0) : ltide::interpolate::d_interpolate_deriv(x, y, 0.0);
  };
  const auto all_zero = [&](std::size_t first, std::size_t j) {
    for (std::size_t k = first; k < first + 3; ++k)
      for (double v : f[k].column(j))
        if (v != 0.0) return false;
    return true;
  };
  for (std::size_t j = 0; j < lines.size(); ++j) {
    const report& r = lines[j];
    const auto where = ::testing::Message() << "step " << j + 1;
    if ((r.flag_matr & 4) == 0) {
      EXPECT_NEAR(equator(f[0].column(j)), A, 1e-12 * std::fabs(A)) << where;
    }
    if ((r.flag_beta & 4) == 0) {
      EXPECT_NEAR(equator(f[3].column(j)), A, 1e-12 * std::fabs(A)) << where;
    }
    if ((r.flag_matr & 1) != 0) {
      EXPECT_EQ(r.flag_matr & 4, 4) << where;
      EXPECT_EQ(r.reals[1], "  0.000000E+00") << where;
      EXPECT_TRUE(all_zero(0, j)) << where;
    }
    if ((r.flag_beta & (1 | 2 | 8 | 16)) != 0) {
      EXPECT_EQ(r.flag_beta & 4, 4) << where;
      EXPECT_EQ(r.reals[2], "  0.000000E+00") << where;
      EXPECT_TRUE(all_zero(3, j)) << where;
    }
    if (m != 0)
      for (std::size_t k = 0; k < 3; ++k) {
        EXPECT_EQ(f[k].at(0, j), 0.0) << where << " field " << k;
        EXPECT_EQ(f[k].at(mu.size() - 1, j), 0.0) << where << " field " << k;
      }
  }
}

TEST_F(Run, EvenModeScanAcrossASingularSpinParameter) {
  // m = 1, k = 0: degrees 1, 3, ...; nu = 6 gives m nu = 3 * 2 = l(l - 1) for l = 3.
  const outcome r = run({"p", "1", "0", "1.5", "0", "8", "5", "41", "12"});
  ASSERT_EQ(r.status, 0);
  const std::vector<report> lines = parse_report(r.out);
  ASSERT_EQ(lines.size(), 5U);
  EXPECT_EQ(lines[3].reals[0], "  0.600000E+01");
  EXPECT_EQ(lines[3].flag_matr, 5);
  EXPECT_EQ(lines[0].flag_beta, 6);  // nu = 0: the Gaussian branch needs m nu <= -3
  for (std::size_t j : {1, 2, 4}) EXPECT_EQ(lines[j].flag_matr, 0) << j;
  check_fields(dir_, r.out, 1, true, 1.5);
}

TEST_F(Run, OddModeSlopeAtTheEquatorIsTheAmplitude) {
  // An even number of mu points: the equator lies between two grid points.
  const outcome r = run({"p", "-2", "1", "-2.5", "-7", "7", "8", "60", "14"});
  ASSERT_EQ(r.status, 0);
  const std::vector<report> lines = parse_report(r.out);
  ASSERT_EQ(lines.size(), 8U);
  int32_t normalised = 0;
  for (const report& l : lines) normalised += (l.flag_matr & 4) == 0 ? 1 : 0;
  EXPECT_GE(normalised, 6);
  check_fields(dir_, r.out, -2, false, -2.5);
}

TEST_F(Run, OrderZeroFieldsAreNormalisedToo) {
  const outcome r = run({"p", "0", "2", "0.25", "-5", "5", "6", "33", "10"});
  ASSERT_EQ(r.status, 0);
  check_fields(dir_, r.out, 0, true, 0.25);
}

TEST_F(Run, ReportThatCannotBeWrittenIsAFailure) {
  const outcome r = run({"p", "1", "0", "1", "0", "1", "3", "2", "3", "T"}, "/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "** cannot write the report lines [ltide]\n");
}

}  // namespace
