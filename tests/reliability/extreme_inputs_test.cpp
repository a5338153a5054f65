// The built program on extreme input, one table row per test: exit status, the line on standard error, report
// lines, the output files left (complete, of the stated shape), older files intact, no temporary left. Time and
// memory limits turn a fault into a failed row; counts at the 32-bit limits are refused before large allocations.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <fstream>
#include <optional>

#include <ltide/ufio/detail.hpp>

#include "support.hpp"

namespace {

namespace fs = std::filesystem;
#if defined(__SANITIZE_ADDRESS__)
constexpr bool under_asan = true;
#else
constexpr bool under_asan = false;
#endif

const std::string USAGE = "Syntax: ltide output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]";
using stop::K_BELOW_N, stop::TWO_MU, stop::NO_MEMORY, stop::DEGREES, stop::QL;
const std::string NU_MIN = "** nu_min must be finite [ltide]", NU_MAX = "** nu_max must be finite [ltide]";
const std::string NU_GRID = "** the nu grid from nu_min to nu_max overflows [ltide]";
const std::string MAX = "2147483647", MIN = "-2147483648", OLD = "older results that must survive\n";

// How a run starts: plainly; with directory "ro" read-only (as nobody when root, so that permissions
// apply); with the older files read-only (as nobody when root); under a 1000-byte file-size limit, SIGXFSZ
// ignored or default; with standard output on /dev/full; under a 64 MiB data limit; with "run_xi_r_matr.uf2"
// a FIFO; in a sticky world-writable directory "st" where the older file is a link of another user (root only).
enum how { plainly, read_only, protected_old, fsize_ignored, fsize_default, stdout_full, data_limited, fifo, sticky };

struct row {
  std::string name;
  std::vector<std::string> args;
  int status = 0;                     // the exit status
  std::string err;                    // the one line on standard error (up to a final '*'); empty: none
  int lines = -1;                     // report lines on standard output; -1: not checked
  int files = 0, nx = 0, ny = 0;      // complete output files (of the six, in write order), their axis lengths
  std::vector<std::string> old = {};  // made before the run: files (which must survive), "dir/", "link->target"
  how start = plainly;
};
void PrintTo(const row& r, std::ostream* os) { *os << r.name; }

// Arguments for 3 spin parameters, 5 mu points and 4 basis functions, with one replaced.
std::vector<std::string> with(std::size_t position = 0, const std::string& value = "", std::vector<std::string> more = {}) {
  more.insert(more.begin(), {"run", "2", "0", "1.0", "-1", "1", "3", "5", "4"});
  if (position >= 1) more[position - 1] = value;
  return more;
}

std::vector<row> table() {
  std::string deep;  // 300 characters through existing directories: the field keeps the first 256
  while (deep.size() < 240) deep += "dir_" + std::to_string(deep.size()) + "/";
  const std::string kept = deep + std::string(256 - deep.size(), 'r'), name(300, 'n');
  // The program reports a file it cannot write before its first step.
  auto fails = [](const char* row_name, std::vector<std::string> args, const std::string& verb, const std::string& file,
                  const std::string& reason, std::vector<std::string> old = {}, how start = plainly, int files = 0) {
    return row{row_name, args, 1, "** cannot " + verb + " file \"" + file + "\": " + reason + " [ufio::u_write_ud2]", 0,
               files, 5, 3, old, start};
  };
  return {
      {"n_zero", with(9, "0"), 1, K_BELOW_N, 0}, {"n_negative", with(9, "-1"), 1, K_BELOW_N, 0},
      {"n_one", with(9, "1"), 0, "", 3, 6, 5, 3}, {"n_huge", with(9, MAX), 1, DEGREES, 0},
      {"n_huge_eigenvalues_only", with(9, MAX, {"T"}), 1, DEGREES, 0},
      {"n_not_an_integer", with(9, "4.0"), 1, stop::NOT_INTEGER, 0},
      {"n_beyond_32_bits", with(9, "2147483648"), 1, stop::NOT_INTEGER, 0},
      {"n_nu_zero", with(7, "0"), 0, "", 0, 6, 5, 0}, {"n_nu_negative", with(7, "-7"), 0, "", 0, 6, 5, 0},
      {"n_nu_one", with(7, "1"), 0, "", 1, 6, 5, 1}, {"n_nu_huge", with(7, MAX), 1, NO_MEMORY, 0},
      {"n_nu_huge_eigenvalues_only", with(7, MAX, {"T"}), 1, NO_MEMORY, 0},  // 3 arrays of 16 GiB: refused up front
      {"n_mu_zero", with(8, "0"), 1, TWO_MU, 0}, {"n_mu_one", with(8, "1"), 1, TWO_MU, 0},
      {"n_mu_negative", with(8, "-3"), 1, TWO_MU, 0}, {"n_mu_two", with(8, "2"), 0, "", 3, 6, 2, 3},
      {"n_mu_huge", with(8, MAX), 1, NO_MEMORY, 0}, {"n_mu_huge_eigenvalues_only", with(8, MAX, {"T"}), 0, "", 3},
      {"k_max", with(3, MAX), 1, K_BELOW_N, 0}, {"k_min", with(3, MIN), 1, K_BELOW_N, 0},
      {"k_most_negative_allowed", with(3, "-3"), 0, "", 3, 6, 5, 3},
      {"m_max", with(2, MAX), 1, DEGREES, 0}, {"m_min", with(2, MIN), 1, DEGREES, 0},
      {"m_min_eigenvalues_only", with(2, MIN, {"T"}), 1, DEGREES, 0},
      // Infinite or NaN bounds, or a grid whose steps overflow, are refused before any work (whatever n_nu);
      // finite bounds whose operator overflows reach the eigensolver, which stops instead of looping.
      {"nu_min_inf", with(5, "inf"), 1, NU_MIN, 0}, {"nu_max_inf", with(6, "inf"), 1, NU_MAX, 0},
      {"nu_min_minus_inf", with(5, "-inf"), 1, NU_MIN, 0}, {"nu_max_minus_inf", with(6, "-inf"), 1, NU_MAX, 0},
      {"nu_min_nan", with(5, "nan"), 1, NU_MIN, 0}, {"nu_max_nan", with(6, "nan", {"T"}), 1, NU_MAX, 0},
      {"nu_min_nan_no_steps", {"run", "2", "0", "1.0", "nan", "1", "0", "5", "4"}, 1, NU_MIN, 0},
      {"nu_range_of_the_largest_doubles",
       {"run", "2", "0", "1.0", "-1.7976931348623157e308", "1.7976931348623157e308", "3", "5", "4"}, 1, NU_GRID, 0},
      {"nu_range_overflows_one_step", {"run", "2", "0", "1.0", "1e308", "-1e308", "1", "5", "4"}, 1, NU_GRID, 0},
      {"nu_largest_finite_operator_overflows", with(5, "-8e307", {"T"}), 1, QL, 0},
      {"nu_not_a_number_text", with(5, "1.0.0"), 1, stop::NOT_REAL, 0},
      {"amplitude_zero", with(4, "0"), 0, "", 3, 6, 5, 3}, {"amplitude_nan", with(4, "NaN"), 0, "", 3, 6, 5, 3},
      {"eight_arguments", {"run", "2", "0", "1", "-1", "1", "3", "5"}, 1, USAGE, 0},
      {"eleven_arguments", with(0, "", {"T", "extra"}), 1, USAGE, 0},
      {"lflag_not_logical", with(0, "", {"yes"}), 1, stop::NOT_LOGICAL, 0},
      // Output that cannot be written; an older file of the same name survives.
      fails("prefix_in_missing_directory", with(1, "a/run"), "create", "a/run_xi_r_matr.uf2", "No such file or directory"),
      fails("prefix_through_a_plain_file", with(1, "a/run"), "create", "a/run_xi_r_matr.uf2", "Not a directory", {"a"}),
      {"prefix_in_read_only_directory", with(1, "ro/run"), 1,
       "** cannot create a file in directory \"ro\": Permission denied [ufio::u_write_ud2]", 0, 0, 0, 0, {"ro/"}, read_only},
      // An existing file the run may not write is not replaced behind its protection.
      fails("older_file_write_protected", with(), "create", "run_xi_r_matr.uf2", "Permission denied",
            {"run_xi_r_matr.uf2"}, protected_old),
      {"prefix_of_300_characters", with(1, kept + std::string(44, 'x')), 0, "", 3, 6, 5, 3, {deep}},
      fails("prefix_name_too_long", with(1, name), "create", name.substr(0, 256) + "_xi_r_matr.uf2", "File name too long"),
      fails("output_name_is_a_directory", with(), "create", "run_xi_r_matr.uf2", "Is a directory", {"run_xi_r_matr.uf2/"}),
      {"prefix_blank", with(1, "   "), 0, "", 3, 6, 5, 3},
      // Control characters in a name are escaped: the message stays one line.
      fails("prefix_with_control_characters", with(1, "a\nb\x1b[2J/r\\"), "create", "a\\nb\\e[2J/r\\\\_xi_r_matr.uf2",
            "No such file or directory"),
      // Special files at a target are refused by name, before any work and without opening (a FIFO would block).
      fails("fifo_at_the_target", with(), "create", "run_xi_r_matr.uf2", "a FIFO", {}, fifo),
      fails("device_at_the_target_through_a_link", with(), "create", "run_xi_r_beta.uf2", "a character device",
            {"run_xi_r_beta.uf2->/dev/full", "run_xi_t_beta.uf2", "run_xi_p_beta.uf2"}),
      // Another user's link in a sticky world-writable directory is not followed (the kernel's protected-symlinks rule).
      {"link_of_another_user_in_a_sticky_directory", with(1, "st/run"), 1,
       "** cannot create file \"st/run_xi_r_matr.uf2\": it is a symbolic link of another user in a sticky world-writable "
       "directory, not followed [ufio::u_write_ud2]", 0, 0, 0, 0, {"st/secret"}, sticky},
      // Six files of 2^19 x 2^20 values need 26 TB: refused before the first step, temporaries removed.
      {"files_larger_than_the_free_space", {"run", "2", "0", "1.0", "-1", "1", "1048576", "524288", "1"}, 1, "** not enough free space for the output files: *", 0},
      // Writes that fail: 1000 bytes lie above the report and below one file of 40 mu points (1355 bytes),
      // whose last marker is laid out when the file is created.
      fails("file_size_limit_sigxfsz_ignored", with(8, "40"), "write", "run_xi_r_matr.uf2", "File too large",
            {"run_xi_r_matr.uf2"}, fsize_ignored),
      fails("file_size_limit_sigxfsz_default", with(8, "40"), "write", "run_xi_r_matr.uf2", "File too large",
            {"run_xi_r_matr.uf2"}, fsize_default),
      {"report_on_a_full_device", with(0, "", {"T"}), 1, "** cannot write the report lines [ltide]", -1, 0, 0, 0, {},
       stdout_full},
      // The arrays fit; the rotations the eigen-solutions keep (four prepared together) do not.
      {"memory_runs_out_during_the_run", {"run", "2", "0", "1.0", "-1", "1", "8", "5", "1024"}, 1, NO_MEMORY, -1, 0, 0, 0,
       {}, data_limited},
      // Counted up front against the data limit: 5 million steps of eigenvalues only need 120 MB.
      {"eigenvalue_arrays_beyond_the_data_limit", {"run", "2", "0", "1.0", "-1", "1", "5000000", "5", "4", "T"}, 1,
       NO_MEMORY, 0, 0, 0, 0, {}, data_limited},
  };
}

// The contents of a complete array file (nothing after its last record), or nothing.
std::optional<ltide::ufio::detail::contents<double, 2>> parse_ud2(const fs::path& path) {
  const std::string bytes = slurp(path);
  auto parsed = ltide::ufio::detail::parse_array_file<double, 2>(
      ltide::ufio::detail::memory_source({reinterpret_cast<const std::byte*>(bytes.data()), bytes.size()}));
  auto* c = std::get_if<0>(&parsed);
  if (c == nullptr || bytes.size() != 51 + 8 * (c->axes[0].size() + c->axes[1].size() + c->data.size())) return {};
  return *c;
}

// A fresh directory that an unprivileged run may enter and write ("ro" made removable again at the end).
struct Extreme : ::testing::TestWithParam<row> {
  scratch_dir scratch;
  const fs::path& dir = scratch.dir;
  void SetUp() override { fs::permissions(dir, fs::perms::all); }
  void TearDown() override { std::error_code ec; fs::permissions(dir / "ro", fs::perms::all, ec); }
};

TEST_P(Extreme, Row) {
  const row& r = GetParam();
  // Refused for lack of memory: without an address-space limit the sanitizer would allocate 48 GiB if it could.
  if (under_asan && r.name == "n_nu_huge_eigenvalues_only" && sysconf(_SC_PHYS_PAGES) * sysconf(_SC_PAGE_SIZE) >= 48L << 30)
    GTEST_SKIP() << "this machine has the memory the row asks for";
  if (under_asan && r.start == data_limited) GTEST_SKIP() << "the sanitizer's own mappings exceed the data limit";
  for (const auto& old : r.old) {
    const auto link = old.find("->");
    fs::create_directories((dir / old.substr(0, link)).parent_path());
    if (link != std::string::npos) fs::create_symlink(old.substr(link + 2), dir / old.substr(0, link));
    else if (old.back() != '/') std::ofstream(dir / old) << OLD;
  }
  if (r.start == sticky && geteuid() != 0) GTEST_SKIP() << "a link of another user needs root to plant";
  if (r.start == read_only) fs::permissions(dir / "ro", fs::perms(0555));
  if (r.start == protected_old) fs::permissions(dir / "run_xi_r_matr.uf2", fs::perms(0444));
  if (r.start == fifo) {
    ASSERT_EQ(mkfifo((dir / "run_xi_r_matr.uf2").c_str(), 0666), 0);
  }
  if (r.start == sticky) {  // root's 0600 file; nobody's link to it in a 1777 directory of root's
    fs::permissions(dir / "st", fs::perms(01777)), fs::permissions(dir / "st/secret", fs::perms(0600));
    fs::create_symlink("secret", dir / "st/run_xi_r_matr.uf2");
    ASSERT_EQ(lchown((dir / "st/run_xi_r_matr.uf2").c_str(), 65534, 65534), 0);
  }
  const bool drop = (r.start == read_only || r.start == protected_old) && geteuid() == 0;  // nobody runs a copy: the build tree may be out of reach
  const std::string exe = drop ? (dir / ".ltide").string() : LTIDE_EXE;
  if (drop) fs::copy_file(LTIDE_EXE, exe);
  std::vector<char*> argv{const_cast<char*>(exe.c_str())};
  for (const auto& a : r.args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    const int out = open(r.start == stdout_full ? "/dev/full" : (dir / ".stdout").c_str(), O_WRONLY | O_CREAT, 0666);
    const int err = open((dir / ".stderr").c_str(), O_WRONLY | O_CREAT, 0666);
    if (out < 0 || err < 0 || chdir(dir.c_str()) != 0 || dup2(out, 1) < 0 || dup2(err, 2) < 0) _exit(127);
    const rlimit cpu{10, 10}, as{rlim_t{4} << 30, rlim_t{4} << 30}, fsize{1000, 1000};
    setrlimit(RLIMIT_CPU, &cpu);
    alarm(10);  // a wall-clock limit that outlives exec
    // 4 GiB of address space; the sanitizer needs more, so there its allocator refuses larger requests instead.
    const char* asan = getenv("ASAN_OPTIONS");
    setenv("ASAN_OPTIONS", (std::string(asan ? asan : "") + ":max_allocation_size_mb=4096").c_str(), 1);
    if (!under_asan) setrlimit(RLIMIT_AS, &as);
    if (r.start == fsize_ignored || r.start == fsize_default) setrlimit(RLIMIT_FSIZE, &fsize);
    const rlimit data{rlim_t{64} << 20, rlim_t{64} << 20};
    if (r.start == data_limited) setrlimit(RLIMIT_DATA, &data);
    signal(SIGXFSZ, r.start == fsize_ignored ? SIG_IGN : SIG_DFL);
    if (!drop || (setgid(65534) == 0 && setuid(65534) == 0)) execv(exe.c_str(), argv.data());
    _exit(127);
  }
  int status = 0;
  rusage usage{};  // the child's own peak memory
  wait4(pid, &status, 0, &usage);
  const std::string out = slurp(dir / ".stdout"), err = slurp(dir / ".stderr");
  for (const char* own : {".stdout", ".stderr", ".ltide"}) fs::remove(dir / own);
  EXPECT_LE(usage.ru_maxrss, (under_asan ? 1024 : 256) * 1024);
  // A negative status is the signal that ended the run (SIGALRM, SIGXCPU: out of time).
  EXPECT_EQ(WIFEXITED(status) ? WEXITSTATUS(status) : -WTERMSIG(status), r.status) << "stderr: " << err;
  if (!r.err.empty() && r.err.back() == '*') {
    EXPECT_EQ(err.substr(0, r.err.size() - 1), r.err.substr(0, r.err.size() - 1));
  } else {
    EXPECT_EQ(err, r.err.empty() ? "" : r.err + "\n");
  }
  EXPECT_EQ(std::ranges::count(err, '\n'), r.err.empty() ? 0 : 1);  // one line, whatever the name holds
  const bool echo = r.err.find("Cannot convert") != std::string::npos;  // the bad field: a blank and 80 characters
  EXPECT_TRUE(!echo || (out.size() == 82 && std::ranges::count(r.args, out.substr(1, out.find_last_not_of(" \n"))))) << out;
  EXPECT_TRUE(echo || r.lines < 0 || std::ranges::count(out, '\n') == r.lines) << out;
  std::string prefix = r.args[0].substr(0, 256);  // the field's 256 characters, trailing blanks removed
  prefix.erase(prefix.find_last_not_of(' ') + 1);
  const double A = std::stod(r.args[3]);
  for (int i = 0; i < r.files; ++i) {  // in write order: xi_r, xi_t, xi_p of the matrix, then of the asymptotic solution
    const std::string file = prefix + "_xi_" + "rtprtp"[i] + (i < 3 ? "_matr.uf2" : "_beta.uf2");
    const auto f = parse_ud2(dir / file);
    ASSERT_TRUE(f) << file << ": missing, incomplete or wrong";
    ASSERT_TRUE(f->counts == (std::array<ltide::index_t, 2>{r.nx, r.ny})) << file << ": missing, incomplete or wrong";
    for (double v : f->data)  // the matrix fields scale with A
      EXPECT_TRUE(i > 0 || A == 1.0 || (std::isnan(A) ? std::isnan(v) : v == A)) << file << ": " << v;
  }
  for (const auto& e : fs::recursive_directory_iterator(dir))  // no temporary, nor other files than expected
    EXPECT_TRUE(!e.path().filename().string().ends_with(".tmp") && (r.files > 0 || !r.old.empty() || r.start == fifo ||
                                                                    e.path().extension() == "")) << e.path();
  for (const auto& old : r.old)
    EXPECT_TRUE(old.find("->") != std::string::npos || old.back() == '/' || slurp(dir / old) == OLD) << old;
}

INSTANTIATE_TEST_SUITE_P(Table, Extreme, ::testing::ValuesIn(table()),
                         [](const ::testing::TestParamInfo<row>& info) { return info.param.name; });

}  // namespace

namespace {

// SIGINT, SIGTERM or SIGHUP part way through a run: every temporary file is removed, no output appears, and the
// run ends by the signal itself (status of the signal, not 1).
TEST(Interrupted, SignalsRemoveEveryTemporaryAndEndTheRunBySignal) {
  for (const int sig : {SIGINT, SIGTERM, SIGHUP}) {
    const scratch_dir scratch;
    const fs::path& dir = scratch.dir;
    const pid_t pid = fork();
    if (pid == 0) {  // about a minute of work with fields and a table
      const int null = open("/dev/null", O_WRONLY);
      if (null < 0 || chdir(dir.c_str()) != 0 || dup2(null, 1) < 0) _exit(127);
      alarm(60);
      execl(LTIDE_EXE, LTIDE_EXE, "--table=run.tab", "run", "2", "0", "1.0", "-1", "1", "4000", "201", "400", nullptr);
      _exit(127);
    }
    auto temporaries = [&] {
      return std::ranges::count_if(fs::directory_iterator(dir), [](const auto& e) { return e.path().extension() == ".tmp"; });
    };
    for (int i = 0; i < 1000 && temporaries() < 7; ++i) usleep(10000);
    EXPECT_EQ(temporaries(), 7) << "the six files and the table are created before the first step";
    usleep(100000);
    kill(pid, sig);
    int status = 0;
    waitpid(pid, &status, 0);
    EXPECT_TRUE(WIFSIGNALED(status)) << status;
    EXPECT_EQ(WIFSIGNALED(status) ? WTERMSIG(status) : 0, sig);
    EXPECT_EQ(std::distance(fs::directory_iterator(dir), {}), 0) << "signal " << sig;
    fs::remove_all(dir);
  }
}

}  // namespace
