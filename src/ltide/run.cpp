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

// A singular spin parameter has no eigen-solution: every result of one is zero.
void clear_eigen_solution(run_arrays& a) {
  for (std::vector<double>* v : {&a.LL, &a.b, &a.q, &a.r}) std::fill(v->begin(), v->end(), 0.0);
}

// The eigenvalue iterations of step j and of the next non-singular steps, run side by
// side (each gives the bits it gives alone) when step j finds none prepared.
void prepare_solves(const run_parameters& p, const mode_choice& mode, run_arrays& a, int32_t j) {
  std::array<double, MAX_SOLVES_AHEAD> nus{};
  const auto ahead = static_cast<std::size_t>(solves_ahead(p.n));
  std::size_t count = 0;
  for (int32_t k = j; k <= p.n_nu && count < ahead; ++k) {
    const double nu = spin_parameter(k, p.n_nu, p.nu_min, p.nu_max);
    if (!singular_spin(p.m, mode.even, p.n, nu)) nus[count++] = nu;
  }
  coriolis::w_eigen_mode_prepare(std::span<const double>(nus.data(), count), p.m, mode.even, p.n, a.eigen_work);
}

// The fields read only column i_mode of B, Q and R: w_eigen_mode computes that column
// alone, with the bits w_eigen would give it, and only the rotations that reach it.
// The single-mode solver gives only entry i_mode of LL (the only one the step reads).
void solve_eigenproblem(const run_parameters& p, const mode_choice& mode, run_arrays& a, int32_t j, double nu) {
  if (p.solver == solver_kind::fast) {
    double& lambda = a.LL[static_cast<std::size_t>(mode.i_mode - 1)];
    if (p.lflag)
      lambda = coriolis::w_eigen_mode_fast(nu, p.m, mode.even, p.n, mode.i_mode, {}, {}, {}, &a.fast_work);
    else
      lambda = coriolis::w_eigen_mode_fast(nu, p.m, mode.even, p.n, mode.i_mode, a.b, a.q, a.r, &a.fast_work);
    return;
  }
  if (p.lflag) {
    coriolis::w_eigen(nu, p.m, mode.even, p.n, a.LL, std::nullopt, std::nullopt, std::nullopt, true);
    return;
  }
  if (!a.eigen_work.ready_for(nu, p.m, mode.even, p.n)) prepare_solves(p, mode, a, j);
  coriolis::w_eigen_mode(nu, p.m, mode.even, p.n, mode.i_mode, a.LL, a.b, a.q, a.r, &a.eigen_work);
}

// Column i_mode as the n-by-1 matrix whose only column the fields read.
matrix_view<const double> single_column(const std::vector<double>& v) {
  return {v.data(), static_cast<index_t>(v.size()), 1};
}

basis_tables<double> tables_of(run_arrays& a) {
  return {a.y_l_im.view(), a.y_n_im.view(), a.dy_l_im.view(), a.dy_n_im.view()};
}

// Step j's results to the files and the table.
void emit_step(run_outputs& outputs, const mode_choice& mode, const run_arrays& a, int32_t j, const step_status& s) {
  const auto col = static_cast<std::size_t>(j - 1);
  step_output out{j, a.nu[col], a.lambda_matr[col], a.lambda_beta[col], mode.i_mode, s.nh, s.flag_matr, s.flag_beta, {}};
  if (a.xi_r_matr.rows() > 0)
    out.fields = {a.xi_r_matr.col(1), a.xi_t_matr.col(1), a.xi_p_matr.col(1),
                  a.xi_r_beta.col(1), a.xi_t_beta.col(1), a.xi_p_beta.col(1)};
  outputs.emit(out);
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

step_status run_spin_step(const run_parameters& p, const mode_choice& mode, run_arrays& a, int32_t j) {
  const auto col = static_cast<std::size_t>(j - 1);
  const bool fields = !p.lflag;
  step_status status;

  const double nu = spin_parameter(j, p.n_nu, p.nu_min, p.nu_max);
  a.nu[col] = nu;

  if (singular_spin(p.m, mode.even, p.n, nu)) {
    status.flag_matr |= FLAG_SINGULAR;
    clear_eigen_solution(a);
  } else {
    solve_eigenproblem(p, mode, a, j, nu);
  }
  // Here the selected eigenpair is LL(i_mode) with the column b (fields runs).
  a.lambda_matr[col] = a.LL[static_cast<std::size_t>(mode.i_mode - 1)];
  // From the eigenvalue alone, so that runs with and without fields report the same bit;
  // judged on the operator of the solver that produced it.
  if ((status.flag_matr & FLAG_SINGULAR) == 0 &&
      !coriolis::mode_resolved(coriolis::truncation_error(nu, p.m, p.k, p.n, 1.0 / a.lambda_matr[col],
                                                          p.solver == solver_kind::fast)))
    status.flag_matr |= FLAG_UNRESOLVED;

  // The six fields of this step; empty views in an eigenvalues-only run.
  vector_view<double> r_matr, t_matr, p_matr, r_beta, t_beta, p_beta;
  if (fields) {
    r_matr = a.xi_r_matr.col(1);
    t_matr = a.xi_t_matr.col(1);
    p_matr = a.xi_p_matr.col(1);
    r_beta = a.xi_r_beta.col(1);
    t_beta = a.xi_t_beta.col(1);
    p_beta = a.xi_p_beta.col(1);
    const basis_tables<double> t = tables_of(a);
    matrix_fields(p.m, 1, single_column(a.b), single_column(a.q), single_column(a.r), {t.y_l, t.y_n, t.dy_l, t.dy_n},
                  {a.t1, a.t2, a.t3, a.t4}, r_matr, t_matr, p_matr);
  }

  if (p.k < 0 && std::fabs(nu) < 1.0) status.flag_matr |= FLAG_NU_BELOW_ONE;

  const asymptotic_result beta = asymptotic_solution(p.m, p.k, nu, fields, a.mu,
                                                     {a.sigma, a.h_lower, a.h_order, a.h_upper}, r_beta, t_beta,
                                                     p_beta);
  status.nh = beta.nh;
  status.flag_beta = beta.flags;
  a.lambda_beta[col] = beta.lambda;
  // A failed asymptotic solution reports eigenvalue 0 and zero fields.
  if ((beta.flags & BETA_FAILED) != 0) {
    a.lambda_beta[col] = 0.0;
    for (vector_view<double> field : {r_beta, t_beta, p_beta})
      for (index_t i = 0; i < field.size; ++i) field[i] = 0.0;
  }

  if (fields) {
    if (!normalise_fields(mode.even, p.A, a.mu, r_matr, t_matr, p_matr)) status.flag_matr |= FLAG_NOT_NORMALISED;
    if (!normalise_fields(mode.even, p.A, a.mu, r_beta, t_beta, p_beta)) status.flag_beta |= FLAG_NOT_NORMALISED;
  }

  print_report_line({nu, a.lambda_matr[col], a.lambda_beta[col], mode.i_mode, status.nh, status.flag_matr,
                     status.flag_beta});
  return status;
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
    build_basis_tables(p.m, p.n, mode.even, a.theta, tables_of(a));
  }
  // The spin-parameter axis is known before the first step: the files are created, with
  // their headers and axes, before any work, and each step's columns go out as it ends.
  for (int32_t j = 1; j <= p.n_nu; ++j)
    a.nu[static_cast<std::size_t>(j - 1)] = spin_parameter(j, p.n_nu, p.nu_min, p.nu_max);
  run_outputs outputs(p, options.command_line, a.mu, a.nu);
  for (int32_t j = 1; j <= p.n_nu; ++j) {
    const step_status s = run_spin_step(p, mode, a, j);
    emit_step(outputs, mode, a, j, s);
  }
  finish_report();
  outputs.commit();
  return 0;
}

}  // namespace ltide::run
