#include <ltide/ltide/run.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <optional>
#include <span>
#include <utility>
#include <vector>

#include <ltide/common/fatal.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/interpolate/interpolate.hpp>
#include <ltide/ltide/asymptotic.hpp>
#include <ltide/ltide/fields.hpp>
#include <ltide/ltide/grid.hpp>
#include <ltide/ltide/output.hpp>
#include <ltide/ltide/parallel.hpp>
#include <ltide/ltide/progress.hpp>
#include <ltide/ltide/report.hpp>
#include <ltide/ltide/table.hpp>

namespace ltide::run {

namespace {

basis_tables<const double> tables_of(const run_arrays& a) {
  return {a.y_l_im.view(), a.y_n_im.view(), a.dy_l_im.view(), a.dy_n_im.view()};
}

// Up to solves_ahead(n) - 1 non-singular spin parameters of the steps after j, up to
// step `last`: the iterations a ql step prepares with its own.
std::span<const double> following_spins(const run_parameters& p, const coriolis::mode_choice& mode, int32_t j, int32_t last,
                                        std::array<double, MAX_SOLVES_AHEAD>& buffer) {
  const auto limit = static_cast<std::size_t>(solves_ahead(p.n) - 1);
  std::size_t count = 0;
  if (p.solver != solver_kind::ql || p.lflag) return {};
  for (int32_t k = j + 1; k <= last && count < limit; ++k) {
    const double nu = spin_parameter(k, p.n_nu, p.nu_min, p.nu_max);
    if (!coriolis::singular_spin(p.m, mode.even, p.n, nu)) buffer[count++] = nu;
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

step_fields field_columns(run_arrays& a) {
  return {a.xi_r_matr.col(1), a.xi_t_matr.col(1), a.xi_p_matr.col(1),
          a.xi_r_beta.col(1), a.xi_t_beta.col(1), a.xi_p_beta.col(1)};
}

step_result run_spin_step(const run_parameters& p, const coriolis::mode_choice& mode, run_arrays& a, step_workspace& w,
                          int32_t j) {
  const double nu = spin_parameter(j, p.n_nu, p.nu_min, p.nu_max);
  const step_fields out = p.lflag ? step_fields{} : field_columns(a);
  std::array<double, MAX_SOLVES_AHEAD> buffer{};
  const step_result s = compute_step(p, mode, {a.mu, tables_of(a)}, w, nu, out,
                                     following_spins(p, mode, j, p.n_nu, buffer));
  const auto col = static_cast<std::size_t>(j - 1);
  a.nu[col] = s.nu;
  a.lambda_matr[col] = s.lambda_matr;
  a.lambda_beta[col] = s.lambda_beta;
  return s;
}

void emit_step(run_outputs& outputs, const coriolis::mode_choice& mode, int32_t j, const step_result& s,
               const step_fields& fields) {
  step_output out{j, s.nu, s.lambda_matr, s.lambda_beta, mode.i_mode, s.nh, s.flag_matr, s.flag_beta, {}};
  if (fields.r_matr.data != nullptr)
    out.fields = {fields.r_matr, fields.t_matr, fields.p_matr, fields.r_beta, fields.t_beta, fields.p_beta};
  outputs.emit(out);
  print_report_line({s.nu, s.lambda_matr, s.lambda_beta, mode.i_mode, s.nh, s.flag_matr, s.flag_beta});
  // Each line reaches the file or pipe whole as soon as it is complete: a run stopped part
  // way leaves only complete lines. A report that cannot be written fails the run here.
  finish_report();
}

namespace {

// A completed step waiting for its turn to be emitted: its results and its six fields.
struct step_slot {
  step_result result;
  std::vector<double> fields;  // 6 n_mu: r, t, p of the matrix solution, then of the asymptotic one

  step_fields views(index_t n_mu) {
    auto part = [&](index_t i) { return vector_view<double>{fields.data() + i * n_mu, n_mu}; };
    if (fields.empty()) return {};
    return {part(0), part(1), part(2), part(3), part(4), part(5)};
  }
};

}  // namespace

int run_program(const run_options& options) {
  run_parameters p = fetch_parameters();
  p.table_file = options.table;
  p.solver = options.solver;
  // The checks cost nothing and come first: a run they refuse must not first allocate
  // (and zero) arrays sized by the very counts they refuse.
  check_parameters(p);
  const int32_t chunk = steps_per_chunk(p);
  const int32_t chunks = p.n_nu <= 0 ? 1 : (p.n_nu - 1) / chunk + 1;
  p.threads = std::clamp(options.threads > 0 ? options.threads : default_threads(), 1, std::min(chunks, MAX_THREADS));
  run_arrays a = allocate_run_arrays(p);
  const coriolis::mode_choice mode = coriolis::select_mode(p.k, p.n);
  if (!p.lflag) {
    build_mu_grid(a.mu, a.theta);
    build_basis_tables(p.m, p.n, mode.even, a.theta,
                       {a.y_l_im.view(), a.y_n_im.view(), a.dy_l_im.view(), a.dy_n_im.view()});
  }
  const step_tables tables{a.mu, tables_of(a)};
  // The spin-parameter axis is known before the first step: the files are created, with
  // their headers and axes, before any work, and each step's columns go out as it ends.
  for (int32_t j = 1; j <= p.n_nu; ++j)
    a.nu[static_cast<std::size_t>(j - 1)] = spin_parameter(j, p.n_nu, p.nu_min, p.nu_max);
  run_outputs outputs(p, options.command_line, a.mu, a.nu);
  // Each step starts its normalisation's search where one loop over the grid would.
  const interpolate::saved_start settled = p.lflag ? interpolate::saved_start{} : search_at_step(2, a.mu);

  const ordered_plan plan{p.n_nu, p.threads, chunk, 2 * chunk * p.threads};
  std::vector<step_workspace> work;
  std::vector<step_slot> slots(static_cast<std::size_t>(std::max(plan.window, 1)));
  try {
    for (int32_t t = 0; t < p.threads; ++t) work.push_back(make_step_workspace(p));
    if (!p.lflag)
      for (step_slot& s : slots) s.fields.resize(6 * static_cast<std::size_t>(p.n_mu));
  } catch (const std::bad_alloc&) {
    fatal("cannot allocate the arrays of the run", "ltide");
  }

  progress_line progress(p.n_nu, !options.quiet && stderr_is_terminal());
  run_ordered(
      plan,
      [&](int32_t worker, int32_t j, int32_t last, int32_t slot) {
        step_workspace& w = work[static_cast<std::size_t>(worker)];
        step_slot& s = slots[static_cast<std::size_t>(slot)];
        w.search = j == 1 ? interpolate::saved_start{} : settled;
        std::array<double, MAX_SOLVES_AHEAD> buffer{};
        s.result = compute_step(p, mode, tables, w, spin_parameter(j, p.n_nu, p.nu_min, p.nu_max), s.views(p.n_mu),
                                following_spins(p, mode, j, last, buffer));
      },
      [&](int32_t j, int32_t slot) {
        step_slot& s = slots[static_cast<std::size_t>(slot)];
        emit_step(outputs, mode, j, s.result, s.views(p.n_mu));
        progress.update(j);
      });
  finish_report();
  outputs.commit();
  return 0;
}

}  // namespace ltide::run
