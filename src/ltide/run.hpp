#pragma once
// The run: parameters, arrays, grids, the loop over spin parameters, output files.
#include <cstdint>

#include "common/view.hpp"
#include "ltide/arrays.hpp"
#include "ltide/mode.hpp"
#include "ltide/options.hpp"
#include "ltide/parameters.hpp"

namespace ltide::run {

// Bits of flag_matr (flag_beta's failure bits are in asymptotic.hpp).
inline constexpr int32_t FLAG_SINGULAR = 1;      // eigen-solution skipped, its results zero
inline constexpr int32_t FLAG_NU_BELOW_ONE = 2;  // k < 0 and |nu| < 1
// Either flag: the normalisation value of the fields was 0 or NaN; fields left as they were.
inline constexpr int32_t FLAG_NOT_NORMALISED = 4;
// The basis of n degrees does not resolve the mode: its eigenvalue may be wrong in the
// printed digits (flag_matr only).
inline constexpr int32_t FLAG_UNRESOLVED = 8;

// What one spin parameter reports besides its grid value and eigenvalues.
struct step_status {
  int32_t nh = 0;
  int32_t flag_matr = 0;
  int32_t flag_beta = 0;
};

// Scales the three fields by A / v, where v is the radial field's value (even modes) or
// its slope in mu (odd modes) at mu = 0 on the natural cubic spline through the grid, so
// that afterwards that value or slope is A. Returns false, leaving the fields alone,
// when v is 0 or NaN.
bool normalise_fields(bool even, double A, vector_view<const double> mu, vector_view<double> xi_r,
                      vector_view<double> xi_t, vector_view<double> xi_p);

// Step j (1-based) of the loop: fills nu(j), lambda_matr(j), lambda_beta(j) and the
// step's fields (the single column of each field array), and prints the report line. Allocates nothing itself; the
// basis tables must have been built (runs with fields).
step_status run_spin_step(const run_parameters& p, const mode_choice& mode, run_arrays& a, int32_t j);

// The whole program after the positional arguments have been stored; returns the exit
// status of a normal end (every failure stops the process with status 1).
int run_program(const run_options& options = {});

}  // namespace ltide::run
