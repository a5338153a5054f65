#pragma once
// The run: parameters, arrays, grids, the loop over spin parameters, output files.
#include <cstdint>

#include "ltide/arrays.hpp"
#include "ltide/mode.hpp"
#include "ltide/parameters.hpp"

namespace ltide::run {

// Bits of flag_matr.
inline constexpr int32_t FLAG_SINGULAR = 1;  // eigen-solution skipped, its results zero
inline constexpr int32_t FLAG_NU_BELOW_ONE = 2;  // k < 0 and |nu| < 1

// What one spin parameter reports besides its grid value and eigenvalues.
struct step_status {
  int32_t nh = 0;
  int32_t flag_matr = 0;
  int32_t flag_beta = 0;
};

// Step j (1-based) of the loop: fills nu(j), lambda_matr(j), lambda_beta(j) and
// column j of the fields, and prints the report line.
void run_spin_step(const run_parameters& p, const mode_choice& mode, run_arrays& a, int32_t j);

// The whole program after the command line has been stored; returns the exit status
// of a normal end (every failure stops the process with status 1).
int run_program();

}  // namespace ltide::run
