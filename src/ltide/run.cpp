#include "ltide/run.hpp"

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "common/fatal.hpp"
#include "ltide/grid.hpp"
#include "ltide/output.hpp"
#include "ltide/report.hpp"
#include "ltide/singular.hpp"

namespace ltide::run {

namespace {

// A singular spin parameter has no eigen-solution: every result of one is zero.
void clear_eigen_solution(run_arrays& a) {
  std::fill(a.LL.begin(), a.LL.end(), 0.0);
  for (array2<double>* m : {&a.B, &a.Q, &a.R}) m->fill(0.0);
}

// Report lines are buffered; a run whose report could not be written has failed.
void finish_report() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) fatal("cannot write the report lines", "ltide");
}

}  // namespace

void run_spin_step(const run_parameters& p, const mode_choice& mode, run_arrays& a, int32_t j) {
  const auto col = static_cast<std::size_t>(j - 1);
  step_status status;

  const double nu = spin_parameter(j, p.n_nu, p.nu_min, p.nu_max);
  a.nu[col] = nu;

  if (singular_spin(p.m, mode.even, p.n, nu)) status.flag_matr |= FLAG_SINGULAR;
  if ((status.flag_matr & FLAG_SINGULAR) != 0) clear_eigen_solution(a);

  a.lambda_matr[col] = a.LL[static_cast<std::size_t>(mode.i_mode - 1)];

  if (p.k < 0 && std::fabs(nu) < 1.0) status.flag_matr |= FLAG_NU_BELOW_ONE;

  print_report_line({nu, a.lambda_matr[col], a.lambda_beta[col], mode.i_mode, status.nh, status.flag_matr,
                     status.flag_beta});
}

int run_program() {
  const run_parameters p = fetch_parameters();
  run_arrays a = allocate_run_arrays(p);
  check_parameters(p);
  const mode_choice mode = select_mode(p.k, p.n);
  if (!p.lflag) build_mu_grid(a.mu, a.theta);
  for (int32_t j = 1; j <= p.n_nu; ++j) run_spin_step(p, mode, a, j);
  if (!p.lflag) write_output_files(p.output_prefix, a);
  finish_report();
  return 0;
}

}  // namespace ltide::run
