#pragma once
// Several modes of one order at any list of spin parameters, computed without printing
// or writing a file: the solution a library caller asks for. Every value equals, bit for
// bit, the one a run of the program for each k gives at the same nu.
#include <cstdint>
#include <span>
#include <vector>

#include <ltide/ltide/parameters.hpp>

namespace ltide::run {

struct family_request {
  int32_t m = 0;
  std::vector<int32_t> ks;  // mode indices, any order, repeats allowed
  int32_t n = 0;            // basis functions
  int32_t n_mu = 0;         // mu points (none are used when lflag)
  double A = 1.0;
  bool lflag = false;  // eigenvalues only
  solver_kind solver = solver_kind::ql;
  int32_t threads = 1;  // spin parameters solved at a time; 0: default_threads() (parallel.hpp)
};

// Caller-owned storage, ks.size() blocks each. Per mode: n_nu values of every per-step
// array, and (unless lflag, when the pointers may be null) n_mu x n_nu values of each
// field, column-major like the program's files. mu has n_mu values.
struct family_output {
  double* mu = nullptr;
  double* lambda_matr = nullptr;
  double* lambda_beta = nullptr;
  int32_t* i_mode = nullptr;
  int32_t* nh = nullptr;
  int32_t* flag_matr = nullptr;
  int32_t* flag_beta = nullptr;
  double* xi_r_matr = nullptr;
  double* xi_t_matr = nullptr;
  double* xi_p_matr = nullptr;
  double* xi_r_beta = nullptr;
  double* xi_t_beta = nullptr;
  double* xi_p_beta = nullptr;
};

// Throws ltide::error with the program's message for a request the program would
// refuse (|k| >= n, n_mu < 2 with fields, a degree beyond 32 bits, more memory than the
// machine has, counted as one run of n_nu steps per mode), and for an empty ks.
void check_family(const family_request& r, std::size_t n_nu);

// Fills `out` for every k and every nu, entry j of nu computed as step j + 1 of a run
// would compute it. With `ql` the modes of one parity share the eigenvalue iteration of
// each spin parameter: each mode's column is rotated out of the one log of rotations
// (eigenvalues only: all read the one list). `fast` bisects once per mode. The entries
// are shared out over r.threads workers, each with its own workspaces; every bit is the
// same for every count. Throws ltide::error on failure (with several failing entries,
// the earliest one's). Safe to call from several threads at once: no state outside the
// call's own is kept (the interpolation's search starts are per thread and set before
// each entry).
void solve_family(const family_request& r, std::span<const double> nu, const family_output& out);

}  // namespace ltide::run
