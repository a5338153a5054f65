// Time per spin parameter of the two solvers, inside one process, for the same arguments
// as a run (nu from -20.05 to 19.95 in steps of 1, so that no step is singular):
//   ltide_fast_steps m k n [ql] [matrices.bin]
// Prints one line of milliseconds per step: the single-mode solver's eigenvalue alone, its
// eigenpair with the columns of Q and R, and the driver's whole step with that solver
// (eigenvalues only, then fields at n_mu = 201); with `ql` also the driver's steps with the
// QL solver (fields beyond n = 20000 are not timed: 0). With a file name, writes the double-precision operators of the steps and the
// ascending position of the mode in each for bench/scipy_steps.py: per step nu, the
// position and n (as doubles), then the n diagonal and n off-diagonal elements.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include <ltide/common/fpmode.hpp>
#include <ltide/coriolis/terms.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/ltide/arrays.hpp>
#include <ltide/ltide/fields.hpp>
#include <ltide/ltide/grid.hpp>
#include <ltide/coriolis/degrees.hpp>
#include <ltide/ltide/run.hpp>

namespace {

using namespace ltide;
using clock_type = std::chrono::steady_clock;

constexpr int32_t STEPS = 41;
double nu_of(int32_t j) { return -20.05 + static_cast<double>(j - 1); }

// Best over repetitions of the mean time of one pass over the steps, in ms; at least
// 0.3 s of passes in all.
template <class Fn>
double per_step_ms(Fn step) {
  double best = 1e300, total = 0.0;
  for (int rep = 0; rep < 200 && (rep < 3 || total < 0.3); ++rep) {
    const auto t0 = clock_type::now();
    for (int32_t j = 1; j <= STEPS; ++j) step(j);
    const std::chrono::duration<double> dt = clock_type::now() - t0;
    total += dt.count();
    best = std::min(best, dt.count() * 1e3 / STEPS);
  }
  return best;
}

// The driver's step over the grid nu_of(1 .. STEPS) (it prints nothing).
double driver_ms(int32_t m, int32_t k, int32_t n, run::solver_kind solver, bool lflag) {
  run::run_parameters p;
  p.m = m, p.k = k, p.A = 1.0, p.nu_min = nu_of(1), p.nu_max = nu_of(STEPS), p.n_nu = STEPS, p.n_mu = 201, p.n = n;
  p.lflag = lflag;
  p.solver = solver;
  const coriolis::mode_choice mode = coriolis::select_mode(k, n);
  run::run_arrays a = run::allocate_run_arrays(p);
  if (!lflag) {
    run::build_mu_grid(a.mu, a.theta);
    run::build_basis_tables(m, n, mode.even, a.theta, {a.y_l_im.view(), a.y_n_im.view(), a.dy_l_im.view(), a.dy_n_im.view()});
  }
  run::step_workspace w = run::make_step_workspace(p);
  return per_step_ms([&](int32_t j) { run::run_spin_step(p, mode, a, w, j); });
}

}  // namespace

int main(int argc, char** argv) {
  enable_flush_to_zero();
  if (argc < 4) {
    std::fprintf(stderr, "usage: ltide_fast_steps m k n [ql] [matrices.bin]\n");
    return 1;
  }
  const auto m = static_cast<int32_t>(std::atoi(argv[1]));
  const auto k = static_cast<int32_t>(std::atoi(argv[2]));
  const auto n = static_cast<int32_t>(std::atoi(argv[3]));
  bool with_ql = false;
  const char* file = nullptr;
  for (int i = 4; i < argc; ++i) (std::strcmp(argv[i], "ql") == 0 ? (void)(with_ql = true) : (void)(file = argv[i]));
  const coriolis::mode_choice mode = coriolis::select_mode(k, n);

  if (file) {
    std::FILE* f = std::fopen(file, "wb");
    if (!f) return 1;
    for (int32_t j = 1; j <= STEPS; ++j) {
      const double nu = nu_of(j);
      const auto A = coriolis::aleph_matrix_full(nu, m, mode.even, n);
      const double head[3] = {nu, static_cast<double>(n - 1 - coriolis::descending_position(m, mode.even, n, nu, mode.i_mode)),
                              static_cast<double>(n)};
      std::fwrite(head, sizeof(double), 3, f);
      for (const auto& x : A) std::fwrite(&x.diag, sizeof(double), 1, f);
      for (const auto& x : A) std::fwrite(&x.off, sizeof(double), 1, f);
    }
    std::fclose(f);
  }

  // The report lines of the driver's steps go nowhere.
  if (!std::freopen("/dev/null", "w", stdout)) return 1;
  coriolis::fast_workspace work;
  std::vector<double> b(n), q(n), r(n);
  volatile double sink = 0.0;
  const double values = per_step_ms([&](int32_t j) {
    sink = coriolis::w_eigen_mode_fast(nu_of(j), m, mode.even, n, mode.i_mode, {}, {}, {}, &work);
  });
  const double pair = per_step_ms([&](int32_t j) {
    sink = coriolis::w_eigen_mode_fast(nu_of(j), m, mode.even, n, mode.i_mode, b, q, r, &work);
  });
  const double step_values = driver_ms(m, k, n, run::solver_kind::fast, true);
  // The basis tables take 32 n n_mu bytes: beyond n = 20000 the field step is not timed.
  const double step_fields = n <= 20000 ? driver_ms(m, k, n, run::solver_kind::fast, false) : 0.0;
  std::fprintf(stderr, "%d %.6f %.6f %.6f %.6f", n, values, pair, step_values, step_fields);
  if (with_ql) {
    const double ql_values = driver_ms(m, k, n, run::solver_kind::ql, true);
    std::fprintf(stderr, " %.6f %.6f", ql_values, driver_ms(m, k, n, run::solver_kind::ql, false));
  }
  std::fprintf(stderr, "\n");
  return 0;
}
