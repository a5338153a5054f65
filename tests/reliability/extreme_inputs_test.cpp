// The program on extreme input, one table row per test. Each row runs the built program
// in a fresh directory and states the whole outcome: exit status, the exact line on
// standard error (or none), the number of report lines, which files exist afterwards and
// their shape, and that older files are intact and no temporary file is left.
//
// Every run is guarded so that a fault shows up as a failed row rather than as a stuck
// or exhausted machine: a wall-clock limit (the process is killed and the row fails),
// a CPU limit, and an address-space limit of 4 GiB (under AddressSanitizer, which
// reserves far more address space, its own allocation-size limit instead). Rows with
// counts at the 32-bit limits must be refused before any large allocation, so they
// also bound the peak memory and the time of the run.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "ufio/detail.hpp"

// Rows name only the fields that differ from the defaults of `row`.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

namespace fs = std::filesystem;

const char* const SUFFIXES[] = {"_xi_r_matr.uf2", "_xi_t_matr.uf2", "_xi_p_matr.uf2",
                                "_xi_r_beta.uf2", "_xi_t_beta.uf2", "_xi_p_beta.uf2"};
const std::string USAGE = "Syntax: ltide output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]";
const std::string K_BELOW_N = "** k must be (significantly) less than n [ltide]";
const std::string TWO_MU = "** n_mu must be at least 2 [ltide]";
const std::string NO_MEMORY = "** cannot allocate the arrays of the run [ltide]";
const std::string DEGREES = "** |m| + 2n must not exceed 2147483647 [ltide]";
const std::string QL = "** too many iterations in QL algorithm [sparse::s_eigen_ST]";
const std::string BAD_INTEGER = "** ^^ Cannot convert to integer type [args::a_argv_i]";
const std::string BAD_REAL = "** ^^ Cannot convert to real type [args::a_argv_dp]";
const std::string BAD_LOGICAL = "** ^^ Cannot convert to logical type [args::a_argv_l]";
constexpr int MAX = 2147483647;

#if defined(__SANITIZE_ADDRESS__)
constexpr bool under_asan = true;
#else
constexpr bool under_asan = false;
#endif

std::string read_bytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

void write_bytes(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary);
  out << bytes;
}

struct outcome {
  bool finished = false;      // ended within the wall-clock limit
  int status = -1;            // exit status; -1 when ended by a signal
  int signal = 0;
  std::string out, err;
  long peak_rss_kb = 0;
  double seconds = 0;
};

// How a row's process is started.
struct guard {
  std::optional<rlim_t> file_size;  // RLIMIT_FSIZE in bytes
  bool ignore_sigxfsz = false;      // SIGXFSZ ignored (inherited across exec)
  bool unprivileged = false;        // run as nobody when started as root (permissions apply)
  std::string stdout_path;          // standard output to this file instead of a capture
};

constexpr int WALL_SECONDS = 30;

outcome run_program(const fs::path& dir, const std::vector<std::string>& args, const guard& g = {}) {
  const fs::path out_path = dir / ".stdout", err_path = dir / ".stderr";
  // Run unprivileged, the program is a copy in the test's directory: the build tree
  // may lie where nobody cannot reach it.
  std::string exe = LTIDE_EXE;
  if (g.unprivileged && geteuid() == 0) {
    exe = (dir / ".ltide").string();
    fs::copy_file(LTIDE_EXE, exe);
    fs::permissions(exe, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                             fs::perms::others_read | fs::perms::others_exec);
  }
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    std::vector<char*> argv{exe.data()};
    for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    const int out = open(g.stdout_path.empty() ? out_path.c_str() : g.stdout_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    const int err = open(err_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0666);
    if (out < 0 || err < 0 || chdir(dir.c_str()) != 0) _exit(127);
    dup2(out, 1);
    dup2(err, 2);
    const rlimit cpu{20, 20};
    setrlimit(RLIMIT_CPU, &cpu);
    if (!under_asan) {
      const rlimit as{rlim_t{4} << 30, rlim_t{4} << 30};
      setrlimit(RLIMIT_AS, &as);
    } else {
      // The sanitizer allocator reports any single request above this as an error.
      std::string options = std::getenv("ASAN_OPTIONS") ? std::getenv("ASAN_OPTIONS") : "";
      options += std::string(options.empty() ? "" : ":") + "max_allocation_size_mb=4096";
      setenv("ASAN_OPTIONS", options.c_str(), 1);
    }
    if (g.file_size) {
      const rlimit fs_limit{*g.file_size, *g.file_size};
      setrlimit(RLIMIT_FSIZE, &fs_limit);
    }
    signal(SIGXFSZ, g.ignore_sigxfsz ? SIG_IGN : SIG_DFL);
    if (g.unprivileged && geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(126);
    execv(exe.c_str(), argv.data());
    _exit(127);
  }
  outcome r;
  int wstatus = 0;
  rusage usage{};
  for (;;) {
    const pid_t done = wait4(pid, &wstatus, WNOHANG, &usage);
    if (done == pid) {
      r.finished = true;
      break;
    }
    if (std::chrono::steady_clock::now() - start > std::chrono::seconds(WALL_SECONDS)) {
      kill(pid, SIGKILL);
      wait4(pid, &wstatus, 0, &usage);
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  r.status = WIFEXITED(wstatus) ? WEXITSTATUS(wstatus) : -1;
  r.signal = WIFSIGNALED(wstatus) ? WTERMSIG(wstatus) : 0;
  r.peak_rss_kb = usage.ru_maxrss;
  if (g.stdout_path.empty()) r.out = read_bytes(out_path);
  r.err = read_bytes(err_path);
  fs::remove(out_path);
  fs::remove(err_path);
  return r;
}

// The axes and data of an array file, or nothing when the bytes are not a complete one.
struct ud2 {
  std::vector<double> x, y, z;
};
std::optional<ud2> parse_ud2(const fs::path& path) {
  const std::string bytes = read_bytes(path);
  ltide::ufio::detail::memory_source in({reinterpret_cast<const std::byte*>(bytes.data()), bytes.size()});
  auto parsed = ltide::ufio::detail::parse_array_file<double, 2>(in);
  auto* c = std::get_if<ltide::ufio::detail::contents<double, 2>>(&parsed);
  if (c == nullptr) return std::nullopt;
  // A complete file has nothing after its last record.
  if (bytes.size() != 51 + 8 * (c->axes[0].size() + c->axes[1].size() + c->data.size())) return std::nullopt;
  return ud2{c->axes[0], c->axes[1], c->data};
}

std::vector<fs::path> temporaries(const fs::path& dir) {
  std::vector<fs::path> left;
  for (const auto& e : fs::recursive_directory_iterator(dir))
    if (e.path().filename().string().rfind(".ufio-", 0) == 0) left.push_back(e.path());
  return left;
}

// One row of the table.
struct row {
  std::string name;
  std::vector<std::string> args;  // "{P}" in an argument is replaced by the long prefix
  int status = 0;
  std::string err;                // the one line on standard error; empty: none
  int report_lines = -1;          // report lines on standard output; -1: not checked
  std::string prefix;             // the files expected afterwards: this prefix + suffixes
  int files = 0;                  // how many of the six (in write order) exist, complete
  long nx = 0, ny = 0;            // their axis lengths
  std::function<void(const fs::path&)> setup;                   // before the run
  std::function<void(const fs::path&, const outcome&)> check;   // extra checks after it
  guard g;
  double max_seconds = 10;        // the run's own time limit for the row
  long max_rss_mb = 0;            // peak memory limit; 0: not checked
  // Refused only because the machine has less memory than this (GiB): under the
  // sanitizer, which cannot run with an address-space limit, a larger machine would
  // really allocate it, so the row is skipped there.
  long needs_more_than_gib = 0;
};

void PrintTo(const row& r, std::ostream* os) { *os << r.name; }

// Run arguments with a grid of 3 spin parameters, 5 mu points and 4 basis functions,
// with one position replaced.
std::vector<std::string> with(std::size_t position, const std::string& value, bool lflag = false) {
  std::vector<std::string> a = {"run", "2", "0", "1.0", "-1", "1", "3", "5", "4"};
  if (position >= 1 && position <= 9) a[position - 1] = value;
  if (lflag) a.push_back("T");
  return a;
}

const std::string OLD_CONTENT = "older results that must survive\n";

std::vector<row> table() {
  std::vector<row> rows;
  auto add = [&](row r) { rows.push_back(std::move(r)); };
  const long big_rss = under_asan ? 1024 : 256;

  // Basis size n: 0 and negative are refused by |k| < n; 1 is the smallest problem; the
  // 32-bit limit is refused by the degree limit before anything is allocated.
  add({.name = "n_zero", .args = with(9, "0"), .status = 1, .err = K_BELOW_N, .report_lines = 0});
  add({.name = "n_negative", .args = with(9, "-1"), .status = 1, .err = K_BELOW_N, .report_lines = 0});
  add({.name = "n_one", .args = with(9, "1"), .report_lines = 3, .prefix = "run", .files = 6, .nx = 5, .ny = 3});
  add({.name = "n_huge", .args = with(9, std::to_string(MAX)), .status = 1, .err = DEGREES, .report_lines = 0,
       .max_seconds = 2, .max_rss_mb = big_rss});
  add({.name = "n_huge_eigenvalues_only", .args = with(9, std::to_string(MAX), true), .status = 1, .err = DEGREES,
       .report_lines = 0, .max_seconds = 2, .max_rss_mb = big_rss});
  add({.name = "n_not_an_integer", .args = with(9, "4.0"), .status = 1, .err = BAD_INTEGER,
       .check = [](const fs::path&, const outcome& r) { EXPECT_EQ(r.out, " 4.0" + std::string(77, ' ') + "\n"); }});
  add({.name = "n_beyond_32_bits", .args = with(9, "2147483648"), .status = 1, .err = BAD_INTEGER});

  // Spin parameters n_nu: none (and negative) give files with an empty second axis; one
  // gives the first spin parameter; the 32-bit limit is refused before allocating.
  add({.name = "n_nu_zero", .args = with(7, "0"), .report_lines = 0, .prefix = "run", .files = 6, .nx = 5, .ny = 0});
  add({.name = "n_nu_negative", .args = with(7, "-7"), .report_lines = 0, .prefix = "run", .files = 6, .nx = 5,
       .ny = 0});
  add({.name = "n_nu_one", .args = with(7, "1"), .report_lines = 1, .prefix = "run", .files = 6, .nx = 5, .ny = 1});
  add({.name = "n_nu_huge", .args = with(7, std::to_string(MAX)), .status = 1, .err = NO_MEMORY, .report_lines = 0,
       .max_seconds = 2, .max_rss_mb = big_rss});
  // 2^31 - 1 steps would need three arrays of 16 GiB: refused up front, not touched.
  add({.name = "n_nu_huge_eigenvalues_only", .args = with(7, std::to_string(MAX), true), .status = 1,
       .err = NO_MEMORY, .report_lines = 0, .max_seconds = 2, .max_rss_mb = big_rss, .needs_more_than_gib = 48});

  // mu points n_mu: fields need two; the limit is refused; eigenvalues only need none.
  add({.name = "n_mu_zero", .args = with(8, "0"), .status = 1, .err = TWO_MU, .report_lines = 0});
  add({.name = "n_mu_one", .args = with(8, "1"), .status = 1, .err = TWO_MU, .report_lines = 0});
  add({.name = "n_mu_negative", .args = with(8, "-3"), .status = 1, .err = TWO_MU, .report_lines = 0});
  add({.name = "n_mu_two", .args = with(8, "2"), .report_lines = 3, .prefix = "run", .files = 6, .nx = 2, .ny = 3});
  add({.name = "n_mu_huge", .args = with(8, std::to_string(MAX)), .status = 1, .err = NO_MEMORY, .report_lines = 0,
       .max_seconds = 2, .max_rss_mb = big_rss});
  add({.name = "n_mu_huge_eigenvalues_only", .args = with(8, std::to_string(MAX), true), .report_lines = 3,
       .max_seconds = 2, .max_rss_mb = big_rss});

  // Mode index k and order m at the 32-bit limits.
  add({.name = "k_max", .args = with(3, std::to_string(MAX)), .status = 1, .err = K_BELOW_N, .report_lines = 0});
  add({.name = "k_min", .args = with(3, "-2147483648"), .status = 1, .err = K_BELOW_N, .report_lines = 0});
  add({.name = "k_most_negative_allowed", .args = with(3, "-3"), .report_lines = 3, .prefix = "run", .files = 6,
       .nx = 5, .ny = 3});
  add({.name = "m_max", .args = with(2, std::to_string(MAX)), .status = 1, .err = DEGREES, .report_lines = 0});
  add({.name = "m_min", .args = with(2, "-2147483648"), .status = 1, .err = DEGREES, .report_lines = 0});
  add({.name = "m_min_eigenvalues_only", .args = with(2, "-2147483648", true), .status = 1, .err = DEGREES,
       .report_lines = 0});

  // Spin-parameter range: infinite or not-a-number bounds make the operator's elements
  // infinite or NaN, and the eigensolver stops with its message instead of looping.
  for (const char* v : {"inf", "-inf", "nan"}) {
    add({.name = std::string("nu_min_") + (v[0] == '-' ? "minus_inf" : v), .args = with(5, v), .status = 1,
         .err = QL, .report_lines = 0});
    add({.name = std::string("nu_max_") + (v[0] == '-' ? "minus_inf" : v), .args = with(6, v), .status = 1,
         .err = QL, .report_lines = 0});
  }
  add({.name = "nu_range_of_the_largest_doubles", .args = [] {
         auto a = with(5, "-1.7976931348623157e308");
         a[5] = "1.7976931348623157e308";
         return a;
       }(),
       .status = 1, .err = QL, .report_lines = 0});
  add({.name = "nu_not_a_number_text", .args = with(5, "1.0.0"), .status = 1, .err = BAD_REAL});

  // Amplitude A: 0 gives zero fields and NaN gives NaN fields wherever the normalisation
  // applies; the run itself is normal.
  auto fields_equal = [](double expect) {
    return [expect](const fs::path& dir, const outcome& r) {
      // Columns whose normalisation applied (flag bit 4 clear) are A-scaled everywhere.
      std::istringstream lines(r.out);
      std::string line;
      std::vector<int> flags;
      while (std::getline(lines, line)) flags.push_back(std::stoi(line.substr(line.rfind(' ', line.rfind(' ') - 1))));
      const auto f = parse_ud2(dir / "run_xi_r_matr.uf2");
      ASSERT_TRUE(f.has_value());
      for (std::size_t j = 0; j < f->y.size(); ++j) {
        if (j < flags.size() && (flags[j] & 4) != 0) continue;
        for (std::size_t i = 0; i < f->x.size(); ++i) {
          const double v = f->z[i + j * f->x.size()];
          if (std::isnan(expect)) EXPECT_TRUE(std::isnan(v)) << i << "," << j;
          else EXPECT_EQ(v, expect) << i << "," << j;
        }
      }
    };
  };
  add({.name = "amplitude_zero", .args = with(4, "0"), .report_lines = 3, .prefix = "run", .files = 6, .nx = 5,
       .ny = 3, .check = fields_equal(0.0)});
  add({.name = "amplitude_nan", .args = with(4, "NaN"), .report_lines = 3, .prefix = "run", .files = 6, .nx = 5,
       .ny = 3, .check = fields_equal(std::nan(""))});

  // Argument count and flag.
  add({.name = "eight_arguments", .args = {"run", "2", "0", "1", "-1", "1", "3", "5"}, .status = 1, .err = USAGE,
       .report_lines = 0});
  add({.name = "eleven_arguments", .args = [] {
         auto a = with(0, "", true);
         a.push_back("extra");
         return a;
       }(),
       .status = 1, .err = USAGE, .report_lines = 0});
  add({.name = "lflag_not_logical", .args = [] {
         auto a = with(0, "");
         a.push_back("yes");
         return a;
       }(),
       .status = 1, .err = BAD_LOGICAL, .report_lines = 0});

  // Output prefix: missing directory, a path through a plain file, a directory without
  // write permission, 300 characters; an older file of the same name stays as it was
  // whenever the run stops.
  auto old_file = [](const std::string& name) {
    return [name](const fs::path& dir) {
      fs::create_directories((dir / name).parent_path());
      write_bytes(dir / name, OLD_CONTENT);
    };
  };
  auto old_intact = [](const std::string& name) {
    return [name](const fs::path& dir, const outcome&) { EXPECT_EQ(read_bytes(dir / name), OLD_CONTENT) << name; };
  };
  add({.name = "prefix_in_missing_directory", .args = with(1, "missing/run"), .status = 1,
       .err = "** cannot create file \"missing/run_xi_r_matr.uf2\": No such file or directory [ufio::u_write_ud2]",
       .report_lines = 3});
  add({.name = "prefix_through_a_plain_file", .args = with(1, "plain/run"), .status = 1,
       .err = "** cannot create file \"plain/run_xi_r_matr.uf2\": Not a directory [ufio::u_write_ud2]",
       .report_lines = 3, .setup = [](const fs::path& dir) { write_bytes(dir / "plain", "x"); }});
  add({.name = "prefix_in_read_only_directory", .args = with(1, "ro/run"), .status = 1,
       .err = "** cannot create file \"ro/run_xi_r_matr.uf2\": Permission denied [ufio::u_write_ud2]",
       .report_lines = 3,
       .setup =
           [old = old_file("ro/run_xi_r_matr.uf2")](const fs::path& dir) {
             old(dir);
             fs::permissions(dir / "ro", fs::perms::owner_read | fs::perms::owner_exec | fs::perms::group_read |
                                             fs::perms::group_exec | fs::perms::others_read | fs::perms::others_exec);
           },
       .check = old_intact("ro/run_xi_r_matr.uf2"), .g = {.unprivileged = true}});
  {
    // 300 characters through existing directories: the field keeps the first 256.
    std::string prefix;
    while (prefix.size() < 240) prefix += "dir_" + std::to_string(prefix.size()) + "/";
    prefix += std::string(256 - prefix.size(), 'r');
    const std::string kept = prefix;
    prefix += std::string(44, 'x');
    add({.name = "prefix_of_300_characters", .args = with(1, prefix), .report_lines = 3, .prefix = kept,
         .files = 6, .nx = 5, .ny = 3,
         .setup = [kept](const fs::path& dir) { fs::create_directories((dir / kept).parent_path()); }});
    // The same length as one name: too long for the file system, refused cleanly.
    const std::string one_name(300, 'n');
    add({.name = "prefix_name_too_long", .args = with(1, one_name), .status = 1,
         .err = "** cannot replace file \"" + one_name.substr(0, 256) +
                "_xi_r_matr.uf2\": File name too long [ufio::u_write_ud2]",
         .report_lines = 3});
  }
  add({.name = "output_name_is_a_directory", .args = with(0, ""), .status = 1,
       .err = "** cannot create file \"run_xi_r_matr.uf2\": Is a directory [ufio::u_write_ud2]", .report_lines = 3,
       .setup = [](const fs::path& dir) { fs::create_directory(dir / "run_xi_r_matr.uf2"); }});
  add({.name = "prefix_blank", .args = with(1, "   "), .report_lines = 3, .prefix = "", .files = 6, .nx = 5, .ny = 3});

  // Writes that fail part way. A file-size limit of 1000 bytes, above the report (about
  // 260 bytes) and below one file (1355 bytes with 40 mu points): the write fails
  // (SIGXFSZ ignored, or left at its default), the run stops with the message, the
  // older file is intact and the temporary file is gone.
  for (const bool ignore : {true, false}) {
    add({.name = ignore ? "file_size_limit_sigxfsz_ignored" : "file_size_limit_sigxfsz_default",
         .args = with(8, "40"), .status = 1,
         .err = "** cannot write file \"run_xi_r_matr.uf2\": File too large [ufio::u_write_ud2]", .report_lines = 3,
         .setup = old_file("run_xi_r_matr.uf2"), .check = old_intact("run_xi_r_matr.uf2"),
         .g = {.file_size = 1000, .ignore_sigxfsz = ignore}});
  }
  // A full device as the fourth file: the first three are complete, the fourth stops
  // the run, the last two keep their older contents.
  add({.name = "fourth_file_on_a_full_device", .args = with(0, ""), .status = 1,
       .err = "** cannot write file \"run_xi_r_beta.uf2\": No space left on device [ufio::u_write_ud2]",
       .report_lines = 3, .prefix = "run", .files = 3, .nx = 5, .ny = 3,
       .setup =
           [](const fs::path& dir) {
             fs::create_symlink("/dev/full", dir / "run_xi_r_beta.uf2");
             write_bytes(dir / "run_xi_t_beta.uf2", OLD_CONTENT);
             write_bytes(dir / "run_xi_p_beta.uf2", OLD_CONTENT);
           },
       .check =
           [](const fs::path& dir, const outcome&) {
             EXPECT_EQ(read_bytes(dir / "run_xi_t_beta.uf2"), OLD_CONTENT);
             EXPECT_EQ(read_bytes(dir / "run_xi_p_beta.uf2"), OLD_CONTENT);
           }});
  // The report cannot be written: the run is a failure.
  add({.name = "report_on_a_full_device", .args = with(0, "", true), .status = 1,
       .err = "** cannot write the report lines [ltide]", .g = {.stdout_path = "/dev/full"}});
  return rows;
}

class Extreme : public ::testing::TestWithParam<row> {
 protected:
  void SetUp() override {
    std::string pattern = ::testing::TempDir() + "ltide_extreme_XXXXXX";
    ASSERT_NE(mkdtemp(pattern.data()), nullptr);
    dir_ = pattern;
    // An unprivileged run must be able to enter and write the directory itself.
    fs::permissions(dir_, fs::perms::all);
  }
  void TearDown() override {
    std::error_code ec;
    for (const auto& e : fs::recursive_directory_iterator(dir_, ec))
      if (e.is_directory()) fs::permissions(e.path(), fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(dir_, ec);
  }
  fs::path dir_;
};

TEST_P(Extreme, Row) {
  const row& r = GetParam();
  if (under_asan && r.needs_more_than_gib > 0 &&
      sysconf(_SC_PHYS_PAGES) * sysconf(_SC_PAGE_SIZE) / (1L << 30) >= r.needs_more_than_gib)
    GTEST_SKIP() << "this machine has the memory the row asks for";
  if (r.setup) r.setup(dir_);
  const outcome o = run_program(dir_, r.args, r.g);

  ASSERT_TRUE(o.finished) << "still running after " << WALL_SECONDS << " s";
  EXPECT_LE(o.seconds, r.max_seconds);
  EXPECT_EQ(o.signal, 0) << "ended by signal " << o.signal << "; stderr: " << o.err;
  EXPECT_EQ(o.status, r.status) << "stderr: " << o.err;
  EXPECT_EQ(o.err, r.err.empty() ? "" : r.err + "\n");
  if (r.report_lines >= 0 && r.g.stdout_path.empty()) {
    const auto lines = std::count(o.out.begin(), o.out.end(), '\n');
    // A conversion stop echoes the bad field as one extra line.
    const bool echo = r.err.find("Cannot convert") != std::string::npos;
    EXPECT_EQ(lines, r.report_lines + (echo ? 1 : 0)) << o.out;
  }
  if (r.max_rss_mb > 0) {
    EXPECT_LE(o.peak_rss_kb, r.max_rss_mb * 1024);
  }

  for (int i = 0; i < 6; ++i) {
    if (i >= r.files) continue;
    const fs::path file = dir_ / (r.prefix + SUFFIXES[i]);
    const auto f = parse_ud2(file);
    ASSERT_TRUE(f.has_value()) << file << " is missing or incomplete";
    EXPECT_EQ(static_cast<long>(f->x.size()), r.nx) << file;
    EXPECT_EQ(static_cast<long>(f->y.size()), r.ny) << file;
  }
  // No other output file was made (older files of a row's setup aside).
  if (r.files == 0 && !r.setup) {
    for (const auto& e : fs::recursive_directory_iterator(dir_))
      EXPECT_EQ(e.path().extension(), "") << "unexpected file " << e.path();
  }
  EXPECT_TRUE(temporaries(dir_).empty()) << "a temporary file was left: " << temporaries(dir_)[0];
  if (r.check) r.check(dir_, o);
}

INSTANTIATE_TEST_SUITE_P(Table, Extreme, ::testing::ValuesIn(table()),
                         [](const ::testing::TestParamInfo<row>& info) { return info.param.name; });

}  // namespace
