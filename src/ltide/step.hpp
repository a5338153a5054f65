#pragma once
// One spin parameter of a run, computed apart from its output: the eigen-solution, the
// matrix and asymptotic fields, the normalisation and the status bits, all into memory
// the caller owns. Nothing is printed and no state outside the workspace is kept, so
// steps may run in any order and on any thread; a caller emits the results itself.
#include <cstdint>
#include <span>
#include <vector>

#include <ltide/common/view.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/interpolate/spline.hpp>
#include <ltide/ltide/fields.hpp>
#include <ltide/coriolis/degrees.hpp>
#include <ltide/ltide/parameters.hpp>

namespace ltide::run {

// What one thread needs to compute steps, sized for one run's p.n and p.n_mu and
// reused from one step to the next (a step allocates only while the prepared eigenvalue
// iterations grow). An eigenvalues-only run (lflag) leaves the fields' vectors empty.
struct step_workspace {
  // Eigen-solution of the current spin parameter. LL: the n tidal eigenvalues lambda in
  // mode order (the single-mode solver fills only the selected entry); b, q, r: the
  // selected column of B, Q, R.
  std::vector<double> LL;
  std::vector<double> b, q, r;
  coriolis::mode_workspace eigen_work;  // ql: iterations prepared ahead, their memory
  coriolis::fast_workspace fast_work;   // fast: the single-mode solver's O(n) memory
  // Eigenvalues only, ql: the spin parameter whose whole list LL holds, so that the next
  // mode of the same parity at the same nu (a family of modes) reads it without solving
  // again. `listed` is false when LL holds anything else.
  bool listed = false;
  double listed_nu = 0.0;
  // n_mu each: partial sums of the matrix fields, the scaled coordinate and the Hermite
  // polynomials of orders nh - 1, nh, nh + 1.
  std::vector<double> t1, t2, t3, t4;
  std::vector<double> sigma, h_lower, h_order, h_upper;
  // Where the normalisation's spline search starts (the interpolation module's saved
  // indices of kind d); the step leaves there what it used. With mu = 0 on the grid
  // (odd n_mu) the start decides which interval the node falls in, and so the last bits
  // of an odd mode's slope: a run sets it before each step as one loop over the grid
  // leaves it (search_at_step), so no step depends on which thread ran the others.
  interpolate::saved_start search;
};

// The workspace of one thread for the run p, zero-filled.
step_workspace make_step_workspace(const run_parameters& p);

// Consecutive steps a worker takes at a time: the ql solver with fields prepares the
// iterations of that many upcoming steps together; other steps are cheap enough that
// chunks of several keep the hand-out off the critical path, or costly enough (large n)
// that single steps balance best.
int32_t steps_per_chunk(const run_parameters& p);

// The start of the normalisation's search in a run that computes every step in grid
// order, before step j: from scratch before step 1, and from then on the settled
// position the first step leaves on this mu grid (the same after every later step).
interpolate::saved_start search_at_step(int32_t j, vector_view<const double> mu);

// Read-only data every step of a run shares: the mu grid and the four basis tables
// (built once per run, fields.hpp). Empty in an eigenvalues-only run.
struct step_tables {
  vector_view<const double> mu;
  basis_tables<const double> basis;
};

// Where a step writes its six fields, n_mu values each: the matrix solution's, then the
// asymptotic solution's xi_r, xi_theta, xi_phi. All empty in an eigenvalues-only run.
struct step_fields {
  vector_view<double> r_matr, t_matr, p_matr;
  vector_view<double> r_beta, t_beta, p_beta;
};

// Everything a step reports besides its fields.
struct step_result {
  double nu = 0.0;
  double lambda_matr = 0.0;  // selected eigenvalue of the matrix solution (0 when singular)
  double lambda_beta = 0.0;  // asymptotic eigenvalue (0 when that solution failed)
  int32_t nh = 0;            // Hermite order of the asymptotic solution
  int32_t flag_matr = 0;     // FLAG_* bits (run.hpp)
  int32_t flag_beta = 0;     // BETA_* bits (asymptotic.hpp) and FLAG_NOT_NORMALISED
};

// Computes the selected mode (`mode`, from coriolis::select_mode(p.k, p.n)) at the spin parameter
// nu, any value, not only a grid point: with fields (p.lflag false) into `out`, after
// normalisation. Reads of p: m, k, A, n, lflag, solver; n_mu is the size of the
// workspace's and tables' vectors. `ahead` lists spin parameters the same workspace will
// be asked for next: with the ql solver, when nu was not prepared already, their
// eigenvalue iterations run side by side with this one's (singular ones are skipped).
// It changes the cost only, never a bit of any result. Failures throw ltide::error.
step_result compute_step(const run_parameters& p, const coriolis::mode_choice& mode, const step_tables& tables,
                         step_workspace& w, double nu, const step_fields& out, std::span<const double> ahead = {});

}  // namespace ltide::run
