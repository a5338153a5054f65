#include "ltide/run.hpp"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <span>

#include "common/fatal.hpp"
#include "coriolis/coriolis.hpp"
#include "interpolate/interpolate.hpp"
#include "ltide/asymptotic.hpp"
#include "ltide/basis.hpp"
#include "ltide/grid.hpp"
#include "ltide/output.hpp"
#include "ltide/report.hpp"
#include "ltide/singular.hpp"
#include "ltide/table.hpp"

namespace ltide::run {

namespace {

basis_tables<const double> tables_of(const run_arrays& a) {
  return {a.y_l_im.view(), a.y_n_im.view(), a.dy_l_im.view(), a.dy_n_im.view()};
}

// Up to solves_ahead(n) - 1 non-singular spin parameters of the steps after j, up to
// step `last`: the iterations a ql step prepares with its own.
std::span<const double> following_spins(const run_parameters& p, const mode_choice& mode, int32_t j, int32_t last,
                                        std::array<double, MAX_SOLVES_AHEAD>& buffer) {
  const auto limit = static_cast<std::size_t>(solves_ahead(p.n) - 1);
  std::size_t count = 0;
  if (p.solver != solver_kind::ql || p.lflag) return {};
  for (int32_t k = j + 1; k <= last && count < limit; ++k) {
    const double nu = spin_parameter(k, p.n_nu, p.nu_min, p.nu_max);
    if (!singular_spin(p.m, mode.even, p.n, nu)) buffer[count++] = nu;
  }
  return {buffer.data(), count};
}

// Report lines are buffered; a run whose report could not be written has failed.
void finish_report() {
  if (std::fflush(stdout) != 0 || std::ferror(stdout) != 0) fatal("cannot write the report lines", "ltide");
}

}  // namespace

bool normalise_fields(bool even, double A, vector_view<const double> mu, vector_view<double> xi_r,
                      vector_view<double> xi_t, vector_view<double> xi_p) {
  const vector_view<const double> radial(xi_r);
  const double v = even ? interpolate::d_interpolate_data(mu, radial, 0.0)
                        : interpolate::d_interpolate_deriv(mu, radial, 0.0);
  if (v == 0.0 || std::isnan(v)) return false;
  for (vector_view<double> field : {xi_r, xi_t, xi_p})
    for (index_t i = 0; i < field.size; ++i) field[i] = (field[i] * A) / v;
  return true;
}

step_fields field_columns(run_arrays& a, int32_t j) {
  return {a.xi_r_matr.col(j), a.xi_t_matr.col(j), a.xi_p_matr.col(j),
          a.xi_r_beta.col(j), a.xi_t_beta.col(j), a.xi_p_beta.col(j)};
}

step_result run_spin_step(const run_parameters& p, const mode_choice& mode, run_arrays& a, step_workspace& w,
                          int32_t j) {
  const double nu = spin_parameter(j, p.n_nu, p.nu_min, p.nu_max);
  const step_fields out = p.lflag ? step_fields{} : field_columns(a, j);
  std::array<double, MAX_SOLVES_AHEAD> buffer{};
  const step_result s = compute_step(p, mode, {a.mu, tables_of(a)}, w, nu, out,
                                     following_spins(p, mode, j, p.n_nu, buffer));
  const auto col = static_cast<std::size_t>(j - 1);
  a.nu[col] = s.nu;
  a.lambda_matr[col] = s.lambda_matr;
  a.lambda_beta[col] = s.lambda_beta;
  return s;
}

void emit_step(const run_parameters& p, const mode_choice& mode, run_arrays& a, int32_t j, const step_result& s) {
  const auto col = static_cast<std::size_t>(j - 1);
  if (!p.table_file.empty()) {
    a.nh[col] = s.nh;
    a.flag_matr[col] = s.flag_matr;
    a.flag_beta[col] = s.flag_beta;
  }
  print_report_line({s.nu, s.lambda_matr, s.lambda_beta, mode.i_mode, s.nh, s.flag_matr, s.flag_beta});
}

int run_program(const run_options& options) {
  run_parameters p = fetch_parameters();
  p.table_file = options.table;
  p.solver = options.solver;
  // The checks cost nothing and come first: a run they refuse must not first allocate
  // (and zero) arrays sized by the very counts they refuse.
  check_parameters(p);
  run_arrays a = allocate_run_arrays(p);
  const mode_choice mode = select_mode(p.k, p.n);
  if (!p.lflag) {
    build_mu_grid(a.mu, a.theta);
    build_basis_tables(p.m, p.n, mode.even, a.theta,
                       {a.y_l_im.view(), a.y_n_im.view(), a.dy_l_im.view(), a.dy_n_im.view()});
  }
  step_workspace w = make_step_workspace(p);
  for (int32_t j = 1; j <= p.n_nu; ++j) {
    const step_result s = run_spin_step(p, mode, a, w, j);
    emit_step(p, mode, a, j, s);
  }
  if (!p.lflag) write_output_files(p.output_prefix, a);
  if (!p.table_file.empty()) write_table(p, options.command_line, a, mode.i_mode);
  finish_report();
  return 0;
}

}  // namespace ltide::run
