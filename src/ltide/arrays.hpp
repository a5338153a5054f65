#pragma once
// Every array of the run, allocated once at its final size; none grows with the
// number of spin parameters but the three n_nu-long ones.
#include <cstddef>
#include <optional>
#include <vector>

#include <ltide/common/view.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/ltide/parameters.hpp>

namespace ltide::run {

// Spin parameters whose eigenvalue iterations run side by side: up to four while their
// rotation logs (about 16 n^2 bytes each) are small, fewer for large bases, where the
// iteration is a small part of a step anyway.
inline constexpr int32_t MAX_SOLVES_AHEAD = 4;
constexpr int32_t solves_ahead(int32_t n) { return n <= 1024 ? 4 : (n <= 2048 ? 2 : 1); }

struct run_arrays {
  // (Each thread's eigen-solution and work vectors are its step_workspace, step.hpp.)
  // Basis functions and derivative combinations on the mu grid, n_mu x n.
  array2<double> y_l_im, y_n_im, dy_l_im, dy_n_im;
  std::vector<double> nu;                 // n_nu
  std::vector<double> mu, theta;          // n_mu
  // The fields of one step computed by run_spin_step, n_mu x 1 (the run's own steps go
  // through their window slots straight to the files).
  array2<double> xi_r_matr, xi_t_matr, xi_p_matr;
  array2<double> xi_r_beta, xi_t_beta, xi_p_beta;
  std::vector<double> lambda_matr, lambda_beta;  // n_nu
};

// Bytes an output file (array file or table) holds in memory on its way to the disk.
inline constexpr index_t OUTPUT_BUFFER_BYTES = index_t{1} << 16;

// Bytes of every array of the run plus the largest temporaries of one step, or nothing
// when the count does not fit in a std::size_t.
std::optional<std::size_t> run_memory_bytes(const run_parameters& p);

// The most memory the process can hope for: the smallest of the memory the system has
// available (MemAvailable), the room under the limits of its cgroups (v2 and v1), and
// what the address-space and data limits leave besides what it maps already.
std::size_t memory_limit_bytes();

// All arrays, zero-filled; negative extents count as 0. An eigenvalues-only run
// (lflag) gets only the n_nu-long arrays, the rest stay empty (no field, work
// vector or table is touched then). Stops the run when a size overflows, when the run
// needs more than memory_limit_bytes(), or when the memory cannot be had.
run_arrays allocate_run_arrays(const run_parameters& p);

}  // namespace ltide::run
