#include "ltide/parameters.hpp"

#include "args/args.hpp"
#include "common/fatal.hpp"
#include "ltide/basis.hpp"
#include "ltide/mode.hpp"

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
  if (!k_below_n(p.k, p.n)) fatal("k must be (significantly) less than n", "ltide");
  if (!p.lflag && p.n_mu < 2) fatal("n_mu must be at least 2", "ltide");
  // Degrees and the special functions of them are 32-bit integers; beyond that the
  // coupling coefficients and harmonics of the basis would be of wrapped degrees.
  if (highest_table_degree(p.m, p.n) > INT32_MAX) fatal("|m| + 2n must not exceed 2147483647", "ltide");
}

}  // namespace ltide::run
