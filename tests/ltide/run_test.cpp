// Runs of the built program, each in a fresh directory: standard output, standard
// error, exit status and the files left behind.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

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
  for (const auto& args : {std::vector<std::string>{"p", "1", "0", "1", "0", "1", "2", "2", "2147483647"},
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

TEST_F(Run, ReportThatCannotBeWrittenIsAFailure) {
  const outcome r = run({"p", "1", "0", "1", "0", "1", "3", "2", "3", "T"}, "/dev/full");
  EXPECT_EQ(r.status, 1);
  EXPECT_EQ(r.err, "** cannot write the report lines [ltide]\n");
}

}  // namespace
