// The memory a run needs, counted before anything is allocated, and the limit it is
// held against.
#include <gtest/gtest.h>

#include <sys/resource.h>
#include <unistd.h>

#include <cstdint>

#include "ltide/arrays.hpp"

namespace ltide::run {
namespace {

run_parameters sizes(int32_t n, int32_t n_mu, int32_t n_nu, bool lflag) {
  run_parameters p;
  p.n = n;
  p.n_mu = n_mu;
  p.n_nu = n_nu;
  p.lflag = lflag;
  return p;
}

TEST(RunMemory, CountsEveryArrayAndTheStepTemporaries) {
  // LL and 20 temporaries of n; three of n_nu; the mode's column of B, Q, R; the
  // rotations of four solves prepared together (2 n^2 each); four tables; eleven vectors
  // of n_mu; six fields.
  const std::size_t doubles = 4 * 21 + 3 * 3 + 4 * 3 + 16 * 2 * 4 + 20 * 4 + 5 * 11 + 15 * 6;
  EXPECT_EQ(run_memory_bytes(sizes(4, 5, 3, false)), doubles * 8);
  // Eigenvalues only: no matrices, tables or fields, whatever n_mu says.
  EXPECT_EQ(run_memory_bytes(sizes(4, 2147483647, 3, true)), (4 * 21 + 3 * 3) * 8U);
  // Negative counts are empty arrays.
  EXPECT_EQ(run_memory_bytes(sizes(-4, -5, -3, false)), 0U);
}

TEST(RunMemory, OverflowingCountIsNothing) {
  EXPECT_EQ(run_memory_bytes(sizes(2147483647, 2147483647, 2147483647, false)), std::nullopt);
  EXPECT_NE(run_memory_bytes(sizes(2147483647, 2, 2147483647, true)), std::nullopt);
}

// Sets a 1 GiB address-space limit and ends with status 0 when the run may count on no
// more than that.
[[noreturn]] void limit_then_check() {
  const rlimit one_gib{rlim_t{1} << 30, RLIM_INFINITY};
  setrlimit(RLIMIT_AS, &one_gib);
  _exit(memory_limit_bytes() <= (std::size_t{1} << 30) ? 0 : 1);
}

TEST(RunMemory, LimitIsNeverAboveTheAddressSpaceLimit) {
  EXPECT_GT(memory_limit_bytes(), std::size_t{1} << 20);
  EXPECT_EXIT(limit_then_check(), ::testing::ExitedWithCode(0), "");
}

}  // namespace
}  // namespace ltide::run
