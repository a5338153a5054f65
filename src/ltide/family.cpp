#include "ltide/family.hpp"

#include <array>
#include <cmath>
#include <optional>

#include "common/fatal.hpp"
#include "common/view.hpp"
#include "coriolis/coriolis.hpp"
#include "ltide/arrays.hpp"
#include "ltide/asymptotic.hpp"
#include "ltide/basis.hpp"
#include "ltide/grid.hpp"
#include "ltide/mode.hpp"
#include "ltide/run.hpp"
#include "ltide/singular.hpp"

namespace ltide::run {

namespace {

std::size_t size_of(index_t n) { return static_cast<std::size_t>(extent(n)); }

// The modes of one basis parity and everything their eigen-solutions need.
struct parity_group {
  bool even = false;
  std::vector<std::size_t> members;  // positions in the request's ks
  // Several modes with fields and `ql`: the whole of B, Q, R is formed (n x n), the mode
  // is column i_mode. With `fast`, column p of b, q, r (n x members) is member p's.
  bool all_columns = false;
  std::vector<double> LL, b, q, r;
  coriolis::mode_workspace eigen_work;
  coriolis::fast_workspace fast_work;
  array2<double> y_l, y_n, dy_l, dy_n;  // basis tables, n_mu x n

  basis_tables<double> tables() { return {y_l.view(), y_n.view(), dy_l.view(), dy_n.view()}; }
};

// Shared work vectors of one spin parameter (n_mu each).
struct step_work {
  std::vector<double> mu, theta, sigma, t1, t2, t3, t4, h_lower, h_order, h_upper;
};

// The eigenvalue iterations of the next non-singular spin parameters from j on (0-based),
// side by side as the program prepares them; each gives the bits it gives alone.
void prepare_solves(const family_request& r, parity_group& g, std::span<const double> nu, std::size_t j) {
  std::array<double, MAX_SOLVES_AHEAD> nus{};
  const auto ahead = static_cast<std::size_t>(solves_ahead(r.n));
  std::size_t count = 0;
  for (std::size_t i = j; i < nu.size() && count < ahead; ++i)
    if (!singular_spin(r.m, g.even, r.n, nu[i])) nus[count++] = nu[i];
  coriolis::w_eigen_mode_prepare(std::span<const double>(nus.data(), count), r.m, g.even, r.n, g.eigen_work);
}

// The eigen-solution of one group at nu: every member's eigenvalue in LL, and its
// column in b, q, r (fields runs).
void solve_group(const family_request& r, parity_group& g, std::span<const double> nu, std::size_t j) {
  const double v = nu[j];
  if (r.solver == solver_kind::fast) {
    for (std::size_t pos = 0; pos < g.members.size(); ++pos) {
      const int32_t i_mode = select_mode(r.ks[g.members[pos]], r.n).i_mode;
      double& lambda = g.LL[static_cast<std::size_t>(i_mode - 1)];
      if (r.lflag) {
        lambda = coriolis::w_eigen_mode_fast(v, r.m, g.even, r.n, i_mode, {}, {}, {}, &g.fast_work);
      } else {
        const std::size_t at = pos * size_of(r.n);
        const vector_view<double> b(g.b.data() + at, r.n), q(g.q.data() + at, r.n), rr(g.r.data() + at, r.n);
        lambda = coriolis::w_eigen_mode_fast(v, r.m, g.even, r.n, i_mode, b, q, rr, &g.fast_work);
      }
    }
    return;
  }
  if (r.lflag) {
    coriolis::w_eigen(v, r.m, g.even, r.n, g.LL, std::nullopt, std::nullopt, std::nullopt, true);
    return;
  }
  if (g.all_columns) {
    const matrix_view<double> B(g.b.data(), r.n, r.n), Q(g.q.data(), r.n, r.n), R(g.r.data(), r.n, r.n);
    coriolis::w_eigen(v, r.m, g.even, r.n, g.LL, B, Q, R, true);
    return;
  }
  if (!g.eigen_work.ready_for(v, r.m, g.even, r.n)) prepare_solves(r, g, nu, j);
  const int32_t i_mode = select_mode(r.ks[g.members.front()], r.n).i_mode;
  coriolis::w_eigen_mode(v, r.m, g.even, r.n, i_mode, g.LL, g.b, g.q, g.r, &g.eigen_work);
}

}  // namespace

void check_family(const family_request& r) {
  if (r.ks.empty()) fatal("no mode index k given", "ltide");
  run_parameters p;
  p.m = r.m;
  p.n = r.n;
  p.n_mu = r.n_mu;
  p.lflag = r.lflag;
  for (const int32_t k : r.ks) {
    p.k = k;
    check_parameters(p);
  }
}

void solve_family(const family_request& r, std::span<const double> nu, const family_output& out) {
  check_family(r);
  const std::size_t n_nu = nu.size(), n_k = r.ks.size(), n = size_of(r.n);
  const std::size_t n_mu = r.lflag ? 0 : size_of(r.n_mu);
  const bool fields = !r.lflag;

  step_work w;
  for (std::vector<double>* v : {&w.mu, &w.theta, &w.sigma, &w.t1, &w.t2, &w.t3, &w.t4, &w.h_lower, &w.h_order,
                                 &w.h_upper})
    v->assign(n_mu, 0.0);
  if (fields) build_mu_grid(w.mu, w.theta);
  if (out.mu != nullptr)
    for (std::size_t i = 0; i < n_mu; ++i) out.mu[i] = w.mu[i];

  std::array<parity_group, 2> groups;
  groups[0].even = true;
  for (std::size_t c = 0; c < n_k; ++c) groups[select_mode(r.ks[c], r.n).even ? 0 : 1].members.push_back(c);
  for (parity_group& g : groups) {
    if (g.members.empty()) continue;
    g.all_columns = fields && g.members.size() > 1 && r.solver == solver_kind::ql;
    g.LL.assign(n, 0.0);
    if (fields) {
      const std::size_t columns = n * (g.all_columns ? n : g.members.size());
      for (std::vector<double>* v : {&g.b, &g.q, &g.r}) v->assign(columns, 0.0);
      for (array2<double>* t : {&g.y_l, &g.y_n, &g.dy_l, &g.dy_n})
        *t = array2<double>(static_cast<index_t>(n_mu), r.n);
      build_basis_tables(r.m, r.n, g.even, w.theta, g.tables());
    }
  }

  const auto field_col = [&](double* base, std::size_t c, std::size_t j) {
    return vector_view<double>(base + (c * n_nu + j) * n_mu, static_cast<index_t>(n_mu));
  };
  for (std::size_t j = 0; j < n_nu; ++j) {
    const double v = nu[j];
    for (parity_group& g : groups) {
      if (g.members.empty()) continue;
      const bool singular = singular_spin(r.m, g.even, r.n, v);
      if (singular) {
        // No eigen-solution: every result of one is zero.
        for (std::vector<double>* x : {&g.LL, &g.b, &g.q, &g.r}) std::fill(x->begin(), x->end(), 0.0);
      } else {
        solve_group(r, g, nu, j);
      }
      for (std::size_t pos = 0; pos < g.members.size(); ++pos) {
        const std::size_t c = g.members[pos];
        const int32_t k = r.ks[c];
        const int32_t i_mode = select_mode(k, r.n).i_mode;
        const std::size_t at = c * n_nu + j;
        int32_t flag_matr = singular ? FLAG_SINGULAR : 0;
        const double lambda = g.LL[static_cast<std::size_t>(i_mode - 1)];
        if (!singular && !coriolis::mode_resolved(coriolis::truncation_error(v, r.m, k, r.n, 1.0 / lambda,
                                                                             r.solver == solver_kind::fast)))
          flag_matr |= FLAG_UNRESOLVED;

        vector_view<double> r_matr, t_matr, p_matr, r_beta, t_beta, p_beta;
        if (fields) {
          r_matr = field_col(out.xi_r_matr, c, j);
          t_matr = field_col(out.xi_t_matr, c, j);
          p_matr = field_col(out.xi_p_matr, c, j);
          r_beta = field_col(out.xi_r_beta, c, j);
          t_beta = field_col(out.xi_t_beta, c, j);
          p_beta = field_col(out.xi_p_beta, c, j);
          const auto members = static_cast<index_t>(g.members.size());
          const index_t cols = g.all_columns ? r.n : members;
          const auto col = static_cast<int32_t>(g.all_columns ? i_mode : static_cast<index_t>(pos) + 1);
          const matrix_view<const double> B(g.b.data(), r.n, cols), Q(g.q.data(), r.n, cols),
              R(g.r.data(), r.n, cols);
          const basis_tables<double> t = g.tables();
          matrix_fields(r.m, col, B, Q, R, {t.y_l, t.y_n, t.dy_l, t.dy_n}, {w.t1, w.t2, w.t3, w.t4}, r_matr, t_matr,
                        p_matr);
        }
        if (k < 0 && std::fabs(v) < 1.0) flag_matr |= FLAG_NU_BELOW_ONE;

        const asymptotic_result beta = asymptotic_solution(r.m, k, v, fields, w.mu,
                                                           {w.sigma, w.h_lower, w.h_order, w.h_upper}, r_beta, t_beta,
                                                           p_beta);
        int32_t flag_beta = beta.flags;
        double lambda_beta = beta.lambda;
        // A failed asymptotic solution reports eigenvalue 0 and zero fields.
        if ((beta.flags & BETA_FAILED) != 0) {
          lambda_beta = 0.0;
          for (vector_view<double> field : {r_beta, t_beta, p_beta})
            for (index_t i = 0; i < field.size; ++i) field[i] = 0.0;
        }
        if (fields) {
          const bool even = g.even;
          if (!normalise_fields(even, r.A, w.mu, r_matr, t_matr, p_matr)) flag_matr |= FLAG_NOT_NORMALISED;
          if (!normalise_fields(even, r.A, w.mu, r_beta, t_beta, p_beta)) flag_beta |= FLAG_NOT_NORMALISED;
        }
        out.lambda_matr[at] = lambda;
        out.lambda_beta[at] = lambda_beta;
        out.i_mode[at] = i_mode;
        out.nh[at] = beta.nh;
        out.flag_matr[at] = flag_matr;
        out.flag_beta[at] = flag_beta;
      }
    }
  }
}

}  // namespace ltide::run
