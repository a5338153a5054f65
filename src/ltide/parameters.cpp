#include <ltide/ltide/parameters.hpp>

#include <cmath>

#include <ltide/args/args.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/ltide/fields.hpp>
#include <ltide/ltide/grid.hpp>
#include <ltide/coriolis/degrees.hpp>

namespace ltide::run {

run_parameters fetch_parameters() {
  using namespace ltide::args;
  const int32_t count = a_argc();
  if (count < 9 || count > 10) fatal_line(USAGE);
  run_parameters p;
  p.output_prefix = a_argv_c(1, PREFIX_LENGTH);
  p.m = a_argv_i(2);
  p.k = a_argv_i(3);
  p.A = a_argv_dp(4);
  p.nu_min = a_argv_dp(5);
  p.nu_max = a_argv_dp(6);
  p.n_nu = a_argv_i(7);
  p.n_mu = a_argv_i(8);
  p.n = a_argv_i(9);
  p.lflag = count == 10 ? a_argv_l(10) : false;
  return p;
}

void check_parameters(const run_parameters& p) {
  if (!coriolis::k_below_n(p.k, p.n)) fatal("k must be (significantly) less than n", "ltide");
  if (!p.lflag && p.n_mu < 2) fatal("n_mu must be at least 2", "ltide");
  // Degrees and the special functions of them are 32-bit integers; beyond that the
  // coupling coefficients and harmonics of the basis would be of wrapped degrees.
  if (highest_table_degree(p.m, p.n) > INT32_MAX) fatal("|m| + 2n must not exceed 2147483647", "ltide");
  // A non-finite spin parameter makes the operator non-finite, which the eigensolver
  // would only notice after 30 sweeps of the first step.
  if (!std::isfinite(p.nu_min)) fatal("nu_min must be finite", "ltide");
  if (!std::isfinite(p.nu_max)) fatal("nu_max must be finite", "ltide");
  // nu_min + t (nu_max - nu_min) is monotone in t at every rounding, so the grid lies
  // between its values at t = 0 and t = 1: those two (formed as the steps form them)
  // being finite makes every step finite. t = 0 gives NaN when the difference overflows.
  const double first = spin_parameter(1, 2, p.nu_min, p.nu_max);
  const double last = spin_parameter(2, 2, p.nu_min, p.nu_max);
  if (!std::isfinite(first) || !std::isfinite(last)) fatal("the nu grid from nu_min to nu_max overflows", "ltide");
}

}  // namespace ltide::run
