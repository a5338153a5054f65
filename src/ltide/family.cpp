#include <ltide/ltide/family.hpp>

#include <algorithm>
#include <array>
#include <climits>
#include <cstring>
#include <optional>

#include <ltide/common/fatal.hpp>
#include <ltide/common/view.hpp>
#include <ltide/ltide/arrays.hpp>
#include <ltide/ltide/fields.hpp>
#include <ltide/ltide/grid.hpp>
#include <ltide/coriolis/degrees.hpp>
#include <ltide/ltide/options.hpp>
#include <ltide/ltide/parallel.hpp>
#include <ltide/ltide/step.hpp>

namespace ltide::run {

namespace {

std::size_t size_of(index_t n) { return static_cast<std::size_t>(extent(n)); }

// The modes of one basis parity and their basis tables, shared read-only by every worker.
struct parity_group {
  bool even = false;
  std::vector<std::size_t> members;  // positions in the request's ks
  array2<double> y_l, y_n, dy_l, dy_n;  // n_mu x n

  basis_tables<const double> tables() const { return {y_l.view(), y_n.view(), dy_l.view(), dy_n.view()}; }
};

// After one mode's step the prepared eigenvalue iteration of nu is spent; marked ready
// again, it serves the next mode of the parity, whose column is rotated out of the same
// log of rotations (w_eigen_mode reads the log and the eigenvalues, never changes them).
void keep_iteration(coriolis::mode_workspace& w, double nu) {
  for (coriolis::mode_workspace::solve& s : w.solves)
    if (std::memcmp(&s.nu, &nu, sizeof nu) == 0) s.ready = true;
}

}  // namespace

void check_family(const family_request& r, std::size_t n_nu) {
  if (r.ks.empty()) fatal("no mode index k given", "ltide");
  run_parameters p;
  p.m = r.m;
  p.n = r.n;
  p.n_mu = r.n_mu;
  p.lflag = r.lflag;
  p.solver = r.solver;
  p.n_nu = static_cast<int32_t>(std::min<std::size_t>(n_nu, INT32_MAX));
  // Every step's status is kept. (assign, not = "-": GCC 12 warns falsely of overlap there.)
  p.table_file.assign(1, '-');
  for (const int32_t k : r.ks) {
    p.k = k;
    check_parameters(p);
  }
  // Zero-filled arrays touch every page: a request beyond the machine is refused, not
  // left to the system to kill part way.
  const std::optional<std::size_t> one = run_memory_bytes(p);
  if (!one || n_nu > INT32_MAX || *one > memory_limit_bytes() / r.ks.size())
    fatal("cannot allocate the arrays of the run", "ltide");
}

void solve_family(const family_request& r, std::span<const double> nu, const family_output& out) {
  check_family(r, nu.size());
  const std::size_t n_nu = nu.size(), n_k = r.ks.size();
  const bool fields = !r.lflag;
  const std::size_t n_mu = fields ? size_of(r.n_mu) : 0;

  run_parameters p;
  p.m = r.m;
  p.n = r.n;
  p.n_mu = fields ? r.n_mu : 0;
  p.A = r.A;
  p.lflag = r.lflag;
  p.solver = r.solver;

  std::vector<double> mu(n_mu), theta(n_mu);
  if (fields) build_mu_grid(mu, theta);
  if (out.mu != nullptr) std::copy(mu.begin(), mu.end(), out.mu);
  // Where a run's normalisation search starts before its first step and every later one.
  const std::array<interpolate::saved_start, 2> search = {search_at_step(1, mu), search_at_step(2, mu)};

  std::array<parity_group, 2> groups;
  groups[0].even = true;
  for (std::size_t c = 0; c < n_k; ++c) groups[coriolis::select_mode(r.ks[c], r.n).even ? 0 : 1].members.push_back(c);
  if (fields)
    for (parity_group& g : groups) {
      if (g.members.empty()) continue;
      for (array2<double>* t : {&g.y_l, &g.y_n, &g.dy_l, &g.dy_n}) *t = array2<double>(static_cast<index_t>(n_mu), r.n);
      build_basis_tables(r.m, r.n, g.even, theta, {g.y_l.view(), g.y_n.view(), g.dy_l.view(), g.dy_n.view()});
    }

  // Entries are handed out in chunks of consecutive ones, as the program hands out its
  // steps, so that a ql worker prepares the iterations of its own next entries. Every
  // entry writes only its own columns of `out`: nothing is emitted in order, so the
  // window spans all entries and no worker ever waits for another.
  const auto count = static_cast<int32_t>(n_nu);
  const int32_t chunk = steps_per_chunk(p);
  const int32_t chunks = count == 0 ? 1 : (count - 1) / chunk + 1;
  const int32_t threads = std::clamp(r.threads > 0 ? r.threads : default_threads(), 1, std::min(chunks, MAX_THREADS));
  const ordered_plan plan{count, threads, chunk, std::max(count, chunk)};
  // One workspace per worker and parity: the modes of a parity at one nu stay on the
  // worker that solved its eigenproblem.
  std::vector<std::array<step_workspace, 2>> work(static_cast<std::size_t>(threads));
  for (std::array<step_workspace, 2>& w : work)
    for (std::size_t g = 0; g < 2; ++g)
      if (!groups[g].members.empty()) w[g] = make_step_workspace(p);

  const auto column = [&](double* base, std::size_t c, std::size_t j) {
    return vector_view<double>(base + (c * n_nu + j) * n_mu, static_cast<index_t>(n_mu));
  };
  run_ordered(
      plan,
      [&](int32_t worker, int32_t step, int32_t last, int32_t) {
        const auto j = static_cast<std::size_t>(step - 1);
        // The entries after this one in the worker's chunk, whose iterations the ql
        // solver prepares with it.
        const std::span<const double> ahead =
            nu.subspan(j + 1, std::min<std::size_t>(MAX_SOLVES_AHEAD, static_cast<std::size_t>(last - step)));
        run_parameters q = p;
        for (std::size_t g = 0; g < 2; ++g) {
          const parity_group& group = groups[g];
          step_workspace& w = work[static_cast<std::size_t>(worker)][g];
          for (std::size_t pos = 0; pos < group.members.size(); ++pos) {
            const std::size_t c = group.members[pos];
            q.k = r.ks[c];
            const coriolis::mode_choice mode = coriolis::select_mode(q.k, q.n);
            step_fields f;
            if (fields)
              f = {column(out.xi_r_matr, c, j), column(out.xi_t_matr, c, j), column(out.xi_p_matr, c, j),
                   column(out.xi_r_beta, c, j), column(out.xi_t_beta, c, j), column(out.xi_p_beta, c, j)};
            w.search = search[j == 0 ? 0 : 1];
            const step_result s = compute_step(q, mode, {mu, group.tables()}, w, nu[j], f, ahead);
            if (pos + 1 < group.members.size()) keep_iteration(w.eigen_work, nu[j]);
            const std::size_t at = c * n_nu + j;
            out.lambda_matr[at] = s.lambda_matr;
            out.lambda_beta[at] = s.lambda_beta;
            out.i_mode[at] = mode.i_mode;
            out.nh[at] = s.nh;
            out.flag_matr[at] = s.flag_matr;
            out.flag_beta[at] = s.flag_beta;
          }
        }
      },
      [](int32_t, int32_t) {});
}

}  // namespace ltide::run
