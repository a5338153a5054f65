// Runs in several threads: every output the same bytes for every thread count, the
// earliest failure wins, the ordered hand-out of steps, and the progress line.
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <mutex>
#include <stdexcept>
#include <thread>
#include <vector>

#include <ltide/ltide/parallel.hpp>
#include <ltide/ltide/progress.hpp>
#include "program.hpp"

namespace {

using ltide::run::ordered_plan;

// Singular steps (m nu = 2 for m = 1, k = 1) of an odd mode whose slope is taken at the
// node mu = 0; k < 0 with |nu| < 1; eigenvalues only; the other solver; an even n_mu.
// Every ql run with fields prepares look-ahead solves within each thread's chunk.
const struct { const char *options, *args; } RUNS[] = {
    {"", "1 1 1.0 -3 3 25 51 20"}, {"", "2 -3 1.0 -2 2 17 51 60"}, {"", "2 0 1.0 -20 20 41 31 40 T"},
    {"--solver=fast", "1 1 1.0 -3 3 25 51 20"}, {"", "3 2 1.0 -10 10 23 40 30"}};

TEST_F(Program, EveryOutputIsTheSameForEveryThreadCount) {
  for (const auto& [options, args] : RUNS) {
    std::vector<std::string> reference;  // report, table, six files of --threads=1
    for (int threads : {1, 2, 3, 8}) {
      const std::string n = std::to_string(threads);
      const outcome r = run("--threads=" + n + " --table=t" + n + " " + options + " r" + n + " " + args);
      ASSERT_EQ(r.status, 0) << args;
      EXPECT_EQ(r.err, "");
      std::string table = slurp(dir / ("t" + n));
      const std::size_t line = table.find("# command line:");  // names the option and files
      ASSERT_NE(line, std::string::npos);
      table.erase(line, table.find('\n', line) - line);
      std::vector<std::string> got{r.out, table};
      for (const char* suffix : SUFFIXES) got.push_back(slurp(dir / ("r" + n + suffix)));
      if (threads == 1) reference = got;
      for (std::size_t i = 0; i < got.size(); ++i) EXPECT_TRUE(got[i] == reference[i]) << args << " threads " << n << " output " << i;
    }
  }
}

// Steps 3 .. 33 of this grid (nu >= 6.25e306) all fail; the report holds steps 1 and 2.
TEST_F(Program, TheEarliestFailingStepStopsTheRun) {
  for (const char* threads : {"1", "2", "8"}) {
    const outcome r = run(std::string("--threads=") + threads + " --table=t r 2 0 1.0 0 1e308 33 11 10");
    EXPECT_EQ(r.status, 1) << threads;
    EXPECT_EQ(r.err, stop::QL + "\n") << threads;
    EXPECT_EQ(std::count(r.out.begin(), r.out.end(), '\n'), 2) << threads;
    EXPECT_TRUE(fs::is_empty(dir)) << threads;  // no file, no temporary
  }
}

TEST_F(Program, ThreadCountsFromTheOptionAndTheEnvironment) {
  const struct { const char *env, *option, *err; } rows[] = {
      {nullptr, "--threads=0", "** option --threads does not take the value 0 [ltide]\n"},
      {nullptr, "--threads=-2", "** option --threads does not take the value -2 [ltide]\n"},
      {nullptr, "--threads=4097", "** option --threads does not take the value 4097 [ltide]\n"},
      {"0", "", "** OMP_NUM_THREADS must be a positive integer, not '0' [ltide]\n"},
      {"two", "", "** OMP_NUM_THREADS must be a positive integer, not 'two' [ltide]\n"},
      {"two", "--threads=2", ""},  // the option wins; the variable is not read
      {"3,2", "", ""}, {" 4 ", "", ""}, {"", "", ""},
  };
  for (const auto& row : rows) {
    if (row.env != nullptr) ::setenv("OMP_NUM_THREADS", row.env, 1);
    const outcome r = run(std::string(row.option) + " r 2 0 1.0 1 5 5 11 10 T");
    ::unsetenv("OMP_NUM_THREADS");
    EXPECT_EQ(r.err, row.err) << row.option << (row.env ? row.env : "");
    EXPECT_EQ(r.status, *row.err ? 1 : 0) << row.option << (row.env ? row.env : "");
  }
}

// On a pseudo-terminal the line is drawn and erased; --quiet draws nothing.
TEST_F(Program, ProgressLineOnlyOnATerminal) {
  for (const char* quiet : {"", "--quiet "}) {
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY);
    ASSERT_TRUE(master >= 0 && ::grantpt(master) == 0 && ::unlockpt(master) == 0) << "no pseudo-terminal";
    const std::string slave = ::ptsname(master);
    const int w = std::system(("cd '" + dir.string() + "' && '" LTIDE_EXE "' " + quiet + "r 2 0 1.0 1 5 5 11 10 T >.out 2>" + slave).c_str());
    EXPECT_EQ(WEXITSTATUS(w), 0);
    ::fcntl(master, F_SETFL, O_NONBLOCK);
    std::string seen;
    char buffer[512];
    for (ssize_t got; (got = ::read(master, buffer, sizeof buffer)) > 0;) seen.append(buffer, static_cast<std::size_t>(got));
    ::close(master);
    EXPECT_EQ(seen.find("\rltide: 5 of 5 steps, ") != std::string::npos, !*quiet) << seen;
    EXPECT_EQ(seen.ends_with("\r\033[K"), !*quiet) << seen;
    EXPECT_TRUE(!*quiet || seen.empty()) << seen;
  }
}

TEST(ProgressText, StepsRateAndTimeLeft) {
  EXPECT_EQ(ltide::run::progress_text(120, 801, 10.0), "ltide: 120 of 801 steps, 12 steps/s, 0:57 left");
  EXPECT_EQ(ltide::run::progress_text(1, 100000, 2.0), "ltide: 1 of 100000 steps, 0.5 steps/s, 55:33:18 left");
  EXPECT_EQ(ltide::run::progress_text(0, 10, 0.0), "ltide: 0 of 10 steps, 0 steps/s, ? left");
}

// Emitted in order with at most `window` steps between the oldest unemitted and the newest
// started; a failure: nothing at or after it emitted, the earliest failure rethrown even
// when a later step fails first.
TEST(RunOrdered, EmitsInOrderWithinTheWindowAndStopsAtTheEarliestFailure) {
  for (int32_t threads : {1, 2, 3, 8})
    for (int32_t fail_at : {0, 3, 40}) {
      const ordered_plan plan{50, threads, 2, 6};
      std::mutex m;
      std::vector<int32_t> emitted;
      std::atomic<int32_t> widest{0};
      auto compute = [&](int32_t, int32_t j, int32_t, int32_t) {
        {
          const std::lock_guard lock(m);
          widest = std::max<int32_t>(widest, j - static_cast<int32_t>(emitted.size()));
        }
        if (j == fail_at + 4 && fail_at > 0) throw std::runtime_error("later");
        if (j == fail_at) {
          std::this_thread::sleep_for(std::chrono::milliseconds(20));
          throw std::runtime_error("earliest");
        }
      };
      auto emit = [&](int32_t j, int32_t) { const std::lock_guard lock(m); emitted.push_back(j); };
      std::string error;
      try {
        ltide::run::run_ordered(plan, compute, emit);
      } catch (const std::runtime_error& e) {
        error = e.what();
      }
      const int32_t expected = fail_at > 0 ? fail_at - 1 : 50;
      EXPECT_EQ(error, fail_at > 0 ? "earliest" : "") << threads << " " << fail_at;
      ASSERT_EQ(static_cast<int32_t>(emitted.size()), expected) << threads << " " << fail_at;
      for (int32_t i = 0; i < expected; ++i) EXPECT_EQ(emitted[static_cast<std::size_t>(i)], i + 1);
      EXPECT_LE(widest.load(), plan.window) << threads;
    }
}

}  // namespace
