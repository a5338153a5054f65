// Time of one w_eigen with B, Q and R (m = 2, even, nu = 5) for a few basis sizes: the
// baseline for performance work on the eigen-solution. Not part of the test suite.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "common/fpmode.hpp"
#include "coriolis/coriolis.hpp"

int main() {
  ltide::enable_flush_to_zero();
  for (int32_t n : {100, 400, 1000}) {
    std::vector<double> lambda(static_cast<std::size_t>(n));
    ltide::array2<double> B(n, n), Q(n, n), R(n, n);
    const int reps = n <= 100 ? 50 : (n <= 400 ? 5 : 3);
    double best = 1e300;
    for (int r = 0; r < reps; ++r) {
      const auto t0 = std::chrono::steady_clock::now();
      ltide::coriolis::w_eigen(5.0, 2, true, n, lambda, B.view(), Q.view(), R.view(), true);
      const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
      best = std::min(best, dt.count());
    }
    std::printf("n = %4d: %.4f s (best of %d), lambda(1) = %.10g\n", n, best, reps, lambda[0]);
  }
  return 0;
}
