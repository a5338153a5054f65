// The whole run driver, in process, on bounded random command lines.
//
// A failure throws ltide::error; it is caught here as the program's main catches it (the
// line on standard error, status 1), after the stack has unwound (arrays freed, a
// half-written temporary file removed by its owner), and the fuzzer goes on with coverage
// feedback. Standard output and standard error are swapped for memory streams during a
// run; sanitizer reports do not go through stdio and still reach the terminal.
//
// Every run must end in one of two ways:
//  - normally (status 0), with nothing on standard error, one well-formed report line per
//    spin parameter and, unless lflag, the six files complete with the run's shape;
//  - with status 1 and exactly one line on standard error that is one of the program's
//    messages, and no temporary file left behind.
// Sizes are kept small so that every run is fast, except for extreme values that must be
// refused before any work (counts at the 32-bit limits, orders beyond the degree limit).
#include <dirent.h>
#include <fuzzer/FuzzedDataProvider.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <limits>
#include <map>
#include <new>
#include <regex>
#include <string>
#include <vector>

#include <ltide/args/args.hpp>
#include <ltide/args/parse.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/common/fpmode.hpp>
#include <ltide/ltide/run.hpp>

namespace {

[[noreturn]] void fail(const std::string& what, const std::vector<std::string>& argv, const std::string& out,
                       const std::string& err) {
  std::string line;
  for (const auto& a : argv) line += " '" + a + "'";
  std::fprintf(stderr, "fuzz_driver: %s\n  command line:%s\n  stdout:\n%s\n  stderr:\n%s\n", what.c_str(),
               line.c_str(), out.c_str(), err.c_str());
  std::abort();
}

const std::string FILES[] = {"_xi_r_matr.uf2", "_xi_t_matr.uf2", "_xi_p_matr.uf2",
                             "_xi_r_beta.uf2", "_xi_t_beta.uf2", "_xi_p_beta.uf2"};

// The messages a run may stop with (besides the conversion messages, checked with their echo).
const std::regex& stop_message() {
  static const std::regex re(
      R"(Syntax: ltide output_prefix m k A nu_min nu_max n_nu n_mu n \[lflag\])"
      R"(|\*\* k must be \(significantly\) less than n \[ltide\])"
      R"(|\*\* n_mu must be at least 2 \[ltide\])"
      R"(|\*\* \|m\| \+ 2n must not exceed 2147483647 \[ltide\])"
      R"(|\*\* nu_(min|max) must be finite \[ltide\])"
      R"(|\*\* the nu grid from nu_min to nu_max overflows \[ltide\])"
      R"(|\*\* cannot allocate the arrays of the run \[ltide\])"
      R"(|\*\* too many iterations in QL algorithm \[sparse::s_eigen_ST\])"
      R"(|\*\* bad arguments \[functions::f_legendre_Plm\])"
      R"(|\*\* interpolation outside source x-array \[interpolate::d_hunt\])"
      R"(|\*\* bad source x-array \[interpolate::d_calc_y(_1)?\])"
      R"(|\*\* cannot (create|write|replace) file ".*": [^\]]+ \[ufio::u_write_ud2\])");
  return re;
}

const std::regex& conversion_message() {
  static const std::regex re(R"(\*\* \^\^ Cannot convert to (integer|real|logical) type \[args::a_argv_(i|dp|l)\])");
  return re;
}

// Five reals right-justified in 14 characters and a blank, then four integers.
const std::regex& report_line() {
  static const std::string mantissa = R"(0\.\d{6}(?:E[+-]\d\d|[+-]\d{3}))";
  static const std::string item = "(?:  " + mantissa + "| -" + mantissa + "| {11}NaN| {6}Infinity| {5}-Infinity) ";
  static const std::regex re("(?:" + item + R"(){5}\d+ -?\d+ \d+ \d+)");
  return re;
}

std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    std::size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    lines.push_back(text.substr(start, end - start));
    start = end + 1;
  }
  return lines;
}

// A private directory with a subdirectory and a plain file (a path through a file
// cannot be created, whoever runs the fuzzer).
std::string work_dir;
std::string start_dir;
bool verbose = false;  // FUZZ_DRIVER_VERBOSE set: each command line goes to standard error
// Outcomes so far, printed at the end: normal runs with files, eigenvalues-only runs,
// stops by message text (the part before any quoted file name).
std::size_t runs_with_files = 0, runs_without_files = 0;
std::map<std::string, std::size_t> stops;

void clear_outputs() {
  for (const char* dir : {".", "sub"}) {
    DIR* d = opendir(dir);
    if (d == nullptr) continue;
    while (dirent* e = readdir(d)) {
      const std::string name = e->d_name;
      if (name == "." || name == ".." || name == "sub" || name == "plain") continue;
      ::unlink((std::string(dir) + "/" + name).c_str());
    }
    closedir(d);
  }
}

bool temporaries_left() {
  for (const char* dir : {".", "sub"}) {
    DIR* d = opendir(dir);
    if (d == nullptr) continue;
    bool found = false;
    while (dirent* e = readdir(d))
      if (e->d_name[0] == '.' && std::string_view(e->d_name).ends_with(".tmp")) found = true;
    closedir(d);
    if (found) return true;
  }
  return false;
}

long file_size(const std::string& name) {
  struct stat st {};
  return ::stat(name.c_str(), &st) == 0 ? static_cast<long>(st.st_size) : -1;
}

std::string pick_prefix(FuzzedDataProvider& fdp) {
  switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: return "run";
    case 1: return "sub/run";
    case 2: return "missing/run";
    case 3: return "plain/run";
    case 4: return "";
    case 5: return "  run  ";
    case 6: return "sub/" + std::string(296, 'p');  // beyond the 256-character field
    default: {
      // Plain characters only: a real command line holds no NUL, and the fuzzer must
      // not write outside its directory.
      std::string text = fdp.ConsumeRandomLengthString(40);
      for (char& c : text)
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != ' ' && c != '.' && c != '-') c = '_';
      return text;
    }
  }
}

// An integer argument: mostly in [lo, hi]; sometimes a 32-bit limit, which the program
// must refuse before any work; sometimes any text, kept within [lo, hi] when it reads as
// an integer (a large count or order that is not refused means a long run, not a fault).
std::string pick_integer(FuzzedDataProvider& fdp, int lo, int hi) {
  switch (fdp.ConsumeIntegralInRange<int>(0, 9)) {
    case 0: return "2147483647";
    case 1: return "-2147483648";
    case 2: return "2147483648";
    case 3: {
      std::string text = fdp.ConsumeRandomLengthString(12);
      text.resize(std::strlen(text.c_str()));
      const auto v = ltide::args::parse_integer(ltide::args::to_field(text, ltide::args::FIELD_LENGTH));
      if (v && (*v < lo || *v > hi)) return std::to_string(std::clamp(*v, lo, hi));
      return text;
    }
    default: return std::to_string(fdp.ConsumeIntegralInRange<int>(lo, hi));
  }
}

std::string pick_real(FuzzedDataProvider& fdp) {
  static const char* const special[] = {"0", "-0", "1", "2", "-2", "6", "20", "nan", "inf", "-inf",
                                        "1e308", "-1d308", "1e-320", "2.5D0", ".5", "x"};
  switch (fdp.ConsumeIntegralInRange<int>(0, 5)) {
    case 0: return special[fdp.ConsumeIntegralInRange<std::size_t>(0, std::size(special) - 1)];
    case 1: return fdp.ConsumeRandomLengthString(16);
    default: {
      char buffer[32];
      std::snprintf(buffer, sizeof buffer, "%.6g", fdp.ConsumeFloatingPointInRange<double>(-40.0, 40.0));
      return buffer;
    }
  }
}

std::vector<std::string> command_line(FuzzedDataProvider& fdp) {
  std::vector<std::string> argv{"ltide", pick_prefix(fdp)};
  argv.push_back(fdp.ConsumeBool() ? pick_integer(fdp, -4, 4) : pick_integer(fdp, -1000, 1000));  // m
  argv.push_back(pick_integer(fdp, -12, 12));  // k
  argv.push_back(pick_real(fdp));              // A
  argv.push_back(pick_real(fdp));              // nu_min
  argv.push_back(pick_real(fdp));              // nu_max
  argv.push_back(pick_integer(fdp, -2, 12));   // n_nu
  argv.push_back(pick_integer(fdp, -2, 40));   // n_mu
  argv.push_back(pick_integer(fdp, -2, 24));   // n
  switch (fdp.ConsumeIntegralInRange<int>(0, 7)) {
    case 0: break;                                  // nine arguments
    case 1: argv.push_back(".true."); break;
    case 2: argv.push_back("T"); break;
    case 3: argv.push_back("f"); break;
    case 4: argv.push_back(fdp.ConsumeRandomLengthString(8)); break;
    case 5: argv.push_back("T"); argv.push_back("extra"); break;  // eleven
    case 6: argv.pop_back(); break;                               // eight
    default: argv.push_back("F"); break;
  }
  // A real argument ends at its first NUL.
  for (auto& a : argv) a.resize(std::strlen(a.c_str()));
  return argv;
}

// Runs the driver on argv; returns the status and what it wrote.
int run(const std::vector<std::string>& argv, std::string& out, std::string& err) {
  char* obuf = nullptr;
  char* ebuf = nullptr;
  std::size_t olen = 0, elen = 0;
  FILE* o = open_memstream(&obuf, &olen);
  FILE* e = open_memstream(&ebuf, &elen);
  FILE* saved_out = stdout;
  FILE* saved_err = stderr;
  stdout = o;
  stderr = e;

  std::vector<const char*> cargv;
  for (const auto& a : argv) cargv.push_back(a.c_str());
  int status = 0;
  try {
    ltide::args::a_init(static_cast<int>(cargv.size()), cargv.data());
    status = ltide::run::run_program();
    if (status != 0) status = 1000 + status;  // a normal end must say 0
  } catch (const ltide::error& e) {
    status = ltide::report_failure(e.what());
  } catch (const std::bad_alloc&) {
    status = ltide::report_failure("** cannot allocate the arrays of the run [ltide]");
  }

  stdout = saved_out;
  stderr = saved_err;
  std::fclose(o);
  std::fclose(e);
  out.assign(obuf, olen);
  err.assign(ebuf, elen);
  std::free(obuf);
  std::free(ebuf);
  return status;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  ltide::enable_flush_to_zero();
  // The runs write in a private directory; the fuzzer's own paths stay relative to where
  // it was started, so the directory is entered only for the length of each input.
  char templ[] = "/tmp/fuzz_driver.XXXXXX";
  if (mkdtemp(templ) == nullptr) std::abort();
  char* here = getcwd(nullptr, 0);
  if (here == nullptr) std::abort();
  start_dir = here;
  std::free(here);
  work_dir = templ;
  std::atexit([] {
    std::fprintf(stderr, "outcome: %8zu normal runs with files\noutcome: %8zu normal runs, eigenvalues only\n",
                 runs_with_files, runs_without_files);
    for (const auto& [message, count] : stops) std::fprintf(stderr, "outcome: %8zu stops: %s\n", count, message.c_str());
    if (chdir(work_dir.c_str()) != 0) return;
    clear_outputs();
    ::unlink("plain");
    ::rmdir("sub");
    if (chdir("/") == 0) ::rmdir(work_dir.c_str());
  });
  if (chdir(templ) != 0) std::abort();
  verbose = std::getenv("FUZZ_DRIVER_VERBOSE") != nullptr;
  ::mkdir("sub", 0755);
  if (FILE* f = std::fopen("plain", "w")) std::fclose(f);
  if (chdir(start_dir.c_str()) != 0) std::abort();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  FuzzedDataProvider fdp(data, size);
  const std::vector<std::string> argv = command_line(fdp);
  if (chdir(work_dir.c_str()) != 0) std::abort();
  struct leave {
    ~leave() {
      if (chdir(start_dir.c_str()) != 0) std::abort();
    }
  } leave_after;
  clear_outputs();
  if (verbose) {
    for (const auto& a : argv) std::fprintf(stderr, " '%s'", a.c_str());
    std::fprintf(stderr, "\n");
  }
  std::string out, err;
  const int status = run(argv, out, err);
  const std::vector<std::string> out_lines = lines_of(out);
  const std::vector<std::string> err_lines = lines_of(err);

  if (temporaries_left()) fail("a temporary file was left behind", argv, out, err);

  if (status == 1) {
    if (err_lines.size() != 1 || err.back() != '\n') fail("a stop must write exactly one line", argv, out, err);
    const std::string& message = err_lines[0];
    ++stops[message.substr(0, message.find('"'))];
    if (std::regex_match(message, conversion_message())) {
      // Standard output ends with the echo of one argument: a blank, then its 80-character
      // field (which may itself hold line breaks).
      bool echoed = false;
      for (std::size_t i = 2; i < argv.size(); ++i) {
        const std::string echo = " " + ltide::args::to_field(argv[i], ltide::args::FIELD_LENGTH) + "\n";
        echoed = echoed || (out.size() >= echo.size() && out.compare(out.size() - echo.size(), echo.size(), echo) == 0);
      }
      if (!echoed) fail("conversion stop without its echo", argv, out, err);
    } else if (!std::regex_match(message, stop_message())) {
      fail("unknown stop message", argv, out, err);
    }
    return 0;
  }
  if (status != 0) fail("exit status " + std::to_string(status), argv, out, err);

  // A normal run: no message, one report line per spin parameter, the six files.
  if (!err.empty()) fail("a normal run wrote on standard error", argv, out, err);
  using ltide::args::FIELD_LENGTH;
  using ltide::args::to_field;
  const int n_nu = *ltide::args::parse_integer(to_field(argv[7], FIELD_LENGTH));
  const int n_mu = *ltide::args::parse_integer(to_field(argv[8], FIELD_LENGTH));
  const std::size_t steps = n_nu > 0 ? static_cast<std::size_t>(n_nu) : 0;
  if (out_lines.size() != steps) fail("report lines differ from n_nu", argv, out, err);
  for (const auto& line : out_lines)
    if (!std::regex_match(line, report_line())) fail("malformed report line: " + line, argv, out, err);
  const bool lflag = argv.size() == 11 && *ltide::args::parse_logical(to_field(argv[10], FIELD_LENGTH));
  std::string prefix = argv[1].substr(0, 256);
  prefix.erase(prefix.find_last_not_of(' ') + 1);
  for (const auto& suffix : FILES) {
    const long size = file_size(prefix + suffix);
    const long nx = n_mu, ny = static_cast<long>(steps);
    const long expect = 51 + 8 * (nx + ny + nx * ny);
    if (lflag ? size != -1 : size != expect)
      fail("output file " + prefix + suffix + " has size " + std::to_string(size), argv, out, err);
  }
  ++(lflag ? runs_without_files : runs_with_files);
  return 0;
}
