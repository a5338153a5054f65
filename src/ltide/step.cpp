#include <ltide/ltide/step.hpp>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <optional>

#include <ltide/common/fatal.hpp>
#include <ltide/interpolate/interpolate.hpp>
#include <ltide/ltide/arrays.hpp>
#include <ltide/ltide/asymptotic.hpp>
#include <ltide/ltide/run.hpp>

namespace ltide::run {

namespace {

std::vector<double> zeros(index_t size) { return std::vector<double>(static_cast<std::size_t>(extent(size))); }

// The calling thread's saved search indices of kind d, replaced by `start` for the
// lifetime of the guard; what the searches left is read back with `left()`.
class search_scope {
 public:
  explicit search_scope(const interpolate::saved_start& start)
      : saved_(interpolate::d_saved_start()), outer_(saved_) {
    saved_ = start;
  }
  ~search_scope() { saved_ = outer_; }
  search_scope(const search_scope&) = delete;
  search_scope& operator=(const search_scope&) = delete;
  interpolate::saved_start left() const { return saved_; }

 private:
  interpolate::saved_start& saved_;
  interpolate::saved_start outer_;
};

// A singular spin parameter has no eigen-solution: every result of one is zero.
void clear_eigen_solution(step_workspace& w) {
  w.listed = false;
  for (std::vector<double>* v : {&w.LL, &w.b, &w.q, &w.r}) std::fill(v->begin(), v->end(), 0.0);
}

// The eigenvalue iterations of nu and of the next non-singular spin parameters in
// `ahead`, run side by side (each gives the bits it gives alone).
void prepare_solves(const run_parameters& p, const coriolis::mode_choice& mode, step_workspace& w, double nu,
                    std::span<const double> ahead) {
  std::array<double, MAX_SOLVES_AHEAD> nus{};
  const auto limit = static_cast<std::size_t>(solves_ahead(p.n));
  std::size_t count = 0;
  nus[count++] = nu;
  for (std::size_t i = 0; i < ahead.size() && count < limit; ++i)
    if (!coriolis::singular_spin(p.m, mode.even, p.n, ahead[i])) nus[count++] = ahead[i];
  coriolis::w_eigen_mode_prepare(std::span<const double>(nus.data(), count), p.m, mode.even, p.n, w.eigen_work);
}

// The fields read only column i_mode of B, Q and R: w_eigen_mode computes that column
// alone, with the bits w_eigen would give it, and only the rotations that reach it.
// The single-mode solver gives only entry i_mode of LL (the only one the step reads).
void solve_eigenproblem(const run_parameters& p, const coriolis::mode_choice& mode, step_workspace& w, double nu,
                        std::span<const double> ahead) {
  if (p.solver == solver_kind::fast) {
    double& lambda = w.LL[static_cast<std::size_t>(mode.i_mode - 1)];
    if (p.lflag)
      lambda = coriolis::w_eigen_mode_fast(nu, p.m, mode.even, p.n, mode.i_mode, {}, {}, {}, &w.fast_work);
    else
      lambda = coriolis::w_eigen_mode_fast(nu, p.m, mode.even, p.n, mode.i_mode, w.b, w.q, w.r, &w.fast_work);
    return;
  }
  if (p.lflag) {
    // The list is the same for every mode of the parity; compared bit for bit.
    if (w.listed && std::memcmp(&w.listed_nu, &nu, sizeof nu) == 0) return;
    w.listed = false;
    coriolis::w_eigen(nu, p.m, mode.even, p.n, w.LL, std::nullopt, std::nullopt, std::nullopt, true);
    w.listed = true;
    w.listed_nu = nu;
    return;
  }
  if (!w.eigen_work.ready_for(nu, p.m, mode.even, p.n)) prepare_solves(p, mode, w, nu, ahead);
  coriolis::w_eigen_mode(nu, p.m, mode.even, p.n, mode.i_mode, w.LL, w.b, w.q, w.r, &w.eigen_work);
}

}  // namespace

step_workspace make_step_workspace(const run_parameters& p) {
  step_workspace w;
  w.LL = zeros(p.n);
  if (!p.lflag) {
    for (std::vector<double>* v : {&w.b, &w.q, &w.r}) *v = zeros(p.n);
    for (std::vector<double>* v : {&w.sigma, &w.t1, &w.t2, &w.t3, &w.t4, &w.h_lower, &w.h_order, &w.h_upper})
      *v = zeros(p.n_mu);
  }
  return w;
}

int32_t steps_per_chunk(const run_parameters& p) {
  if (p.solver == solver_kind::ql && !p.lflag) return solves_ahead(p.n);
  return p.n >= 200 ? 1 : 16;
}

interpolate::saved_start search_at_step(int32_t j, vector_view<const double> mu) {
  if (j <= 1 || mu.size < 2) return {};
  // A search for q = 0 from scratch ends below a node at 0, the next one above it, and
  // every later one stays there: two of each kind of search the normalisation uses.
  const search_scope scope({});
  const std::vector<double> y = zeros(mu.size);
  for (int i = 0; i < 2; ++i) {
    interpolate::d_interpolate_data(mu, y, 0.0);
    interpolate::d_interpolate_deriv(mu, y, 0.0);
  }
  return scope.left();
}

step_result compute_step(const run_parameters& p, const coriolis::mode_choice& mode, const step_tables& tables,
                         step_workspace& w, double nu, const step_fields& out, std::span<const double> ahead) {
  const bool fields = !p.lflag;
  step_result s;
  s.nu = nu;

  if (coriolis::singular_spin(p.m, mode.even, p.n, nu)) {
    s.flag_matr |= FLAG_SINGULAR;
    clear_eigen_solution(w);
  } else {
    solve_eigenproblem(p, mode, w, nu, ahead);
  }
  // Here the selected eigenpair is LL(i_mode) with the column b (fields runs).
  s.lambda_matr = w.LL[static_cast<std::size_t>(mode.i_mode - 1)];
  // From the eigenvalue alone, so that runs with and without fields report the same bit;
  // judged on the operator of the solver that produced it.
  if ((s.flag_matr & FLAG_SINGULAR) == 0 &&
      !coriolis::mode_resolved(
          coriolis::truncation_error(nu, p.m, p.k, p.n, 1.0 / s.lambda_matr, p.solver == solver_kind::fast)))
    s.flag_matr |= FLAG_UNRESOLVED;

  if (fields) {
    const basis_tables<const double>& t = tables.basis;
    matrix_fields(p.m, w.b, w.q, w.r, t, {w.t1, w.t2, w.t3, w.t4},
                  out.r_matr, out.t_matr, out.p_matr);
  }

  if (p.k < 0 && std::fabs(nu) < 1.0) s.flag_matr |= FLAG_NU_BELOW_ONE;

  const asymptotic_result beta = asymptotic_solution(p.m, p.k, nu, fields, tables.mu,
                                                     {w.sigma, w.h_lower, w.h_order, w.h_upper}, out.r_beta,
                                                     out.t_beta, out.p_beta);
  s.nh = beta.nh;
  s.flag_beta = beta.flags;
  s.lambda_beta = beta.lambda;
  // A failed asymptotic solution reports eigenvalue 0 and zero fields.
  if ((beta.flags & BETA_FAILED) != 0) {
    s.lambda_beta = 0.0;
    for (vector_view<double> field : {out.r_beta, out.t_beta, out.p_beta})
      for (index_t i = 0; i < field.size; ++i) field[i] = 0.0;
  }

  if (fields) {
    search_scope scope(w.search);
    if (!normalise_fields(mode.even, p.A, tables.mu, out.r_matr, out.t_matr, out.p_matr))
      s.flag_matr |= FLAG_NOT_NORMALISED;
    if (!normalise_fields(mode.even, p.A, tables.mu, out.r_beta, out.t_beta, out.p_beta))
      s.flag_beta |= FLAG_NOT_NORMALISED;
    w.search = scope.left();
  }
  return s;
}

}  // namespace ltide::run
