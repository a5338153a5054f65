// Time of the eigen-solutions alone of a run, made as the driver makes them (the
// iterations of up to four spin parameters prepared together, then the selected mode's
// column of each), for the same arguments as the program:
//   ltide_eigen_steps m k nu_min nu_max n_nu n [values]
// Prints the seconds spent, so that the share of a run outside the eigen-solutions is
// one minus this over the run's time. With `values`, times the bare eigenvalue iteration
// (ql_implicit on each spin parameter's Aleph matrix, nothing else): the floor of an
// eigenvalues-only run.
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <ltide/common/fpmode.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/ltide/arrays.hpp>
#include <ltide/ltide/grid.hpp>
#include <ltide/coriolis/degrees.hpp>
#include <ltide/sparse/ql.hpp>

int main(int argc, char** argv) {
  using namespace ltide;
  enable_flush_to_zero();
  if (argc != 7 && argc != 8) {
    std::fprintf(stderr, "usage: ltide_eigen_steps m k nu_min nu_max n_nu n [values]\n");
    return 1;
  }
  const bool values_only = argc == 8;
  const auto m = static_cast<int32_t>(std::atoi(argv[1]));
  const auto k = static_cast<int32_t>(std::atoi(argv[2]));
  const double nu_min = std::atof(argv[3]), nu_max = std::atof(argv[4]);
  const auto n_nu = static_cast<int32_t>(std::atoi(argv[5]));
  const auto n = static_cast<int32_t>(std::atoi(argv[6]));
  const coriolis::mode_choice mode = coriolis::select_mode(k, n);
  std::vector<double> lambda(n), b(n), q(n), r(n);
  coriolis::mode_workspace work;
  if (values_only) {
    double seconds = 0.0;
    for (int32_t j = 1; j <= n_nu; ++j) {
      const double nu = run::spin_parameter(j, n_nu, nu_min, nu_max);
      if (coriolis::singular_spin(m, mode.even, n, nu)) continue;
      const auto A = coriolis::aleph_matrix(nu, m, mode.even, n);
      const std::size_t first = mode.even && m == 0 ? 1 : 0;
      std::vector<double> d, e;
      for (std::size_t i = first; i < A.size(); ++i) d.push_back(A[i].diag), e.push_back(A[i].off);
      const auto t0 = std::chrono::steady_clock::now();
      sparse::ql_implicit(d.data(), e.data(), static_cast<index_t>(d.size()), sparse::ql_discard{});
      const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
      seconds += dt.count();
    }
    std::printf("%.6f\n", seconds);
    return 0;
  }
  const auto t0 = std::chrono::steady_clock::now();
  for (int32_t j = 1; j <= n_nu; ++j) {
    const double nu = run::spin_parameter(j, n_nu, nu_min, nu_max);
    if (coriolis::singular_spin(m, mode.even, n, nu)) continue;
    if (!work.ready_for(nu, m, mode.even, n)) {
      std::vector<double> nus;
      for (int32_t i = j; i <= n_nu && static_cast<int32_t>(nus.size()) < run::solves_ahead(n); ++i) {
        const double x = run::spin_parameter(i, n_nu, nu_min, nu_max);
        if (!coriolis::singular_spin(m, mode.even, n, x)) nus.push_back(x);
      }
      coriolis::w_eigen_mode_prepare(nus, m, mode.even, n, work);
    }
    coriolis::w_eigen_mode(nu, m, mode.even, n, mode.i_mode, lambda, b, q, r, &work);
  }
  const std::chrono::duration<double> dt = std::chrono::steady_clock::now() - t0;
  std::printf("%.6f\n", dt.count());
  return 0;
}
