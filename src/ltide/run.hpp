#pragma once
// The run: parameters, arrays, grids, the loop over spin parameters, output files.
#include <cstdint>

#include <ltide/common/view.hpp>
#include <ltide/ltide/arrays.hpp>
#include <ltide/coriolis/degrees.hpp>
#include <ltide/ltide/options.hpp>
#include <ltide/ltide/output.hpp>
#include <ltide/ltide/parameters.hpp>
#include <ltide/ltide/step.hpp>

namespace ltide::run {

// Bits of flag_matr (flag_beta's failure bits are in asymptotic.hpp).
inline constexpr int32_t FLAG_SINGULAR = 1;      // eigen-solution skipped, its results zero
inline constexpr int32_t FLAG_NU_BELOW_ONE = 2;  // k < 0 and |nu| < 1
// Either flag: the normalisation value of the fields was 0 or NaN; fields left as they were.
inline constexpr int32_t FLAG_NOT_NORMALISED = 4;
// The basis of n degrees does not resolve the mode: its eigenvalue may be wrong in the
// printed digits (flag_matr only).
inline constexpr int32_t FLAG_UNRESOLVED = 8;

// Scales the three fields by A / v, where v is the radial field's value (even modes) or
// its slope in mu (odd modes) at mu = 0 on the natural cubic spline through the grid, so
// that afterwards that value or slope is A. Returns false, leaving the fields alone,
// when v is 0 or NaN.
bool normalise_fields(bool even, double A, vector_view<const double> mu, vector_view<double> xi_r,
                      vector_view<double> xi_t, vector_view<double> xi_p);

// The six fields of the run's arrays, one column each (runs with fields).
step_fields field_columns(run_arrays& a);

// Step j (1-based) of the grid computed straight into the run's arrays: nu(j),
// lambda_matr(j), lambda_beta(j) and the step's fields (the single column of each field
// array); prints nothing. The basis tables must have been built (runs with fields); w is
// the caller's workspace, whose search position it carries on (see step_workspace::search).
step_result run_spin_step(const run_parameters& p, const coriolis::mode_choice& mode, run_arrays& a, step_workspace& w,
                          int32_t j);

// Step j's output, in grid order: its columns into the files and its table row (see
// run_outputs), then the report line, flushed.
void emit_step(run_outputs& outputs, const coriolis::mode_choice& mode, int32_t j, const step_result& s,
               const step_fields& fields);

// The whole program after the positional arguments have been stored; returns the exit
// status of a normal end (every failure stops the process with status 1).
int run_program(const run_options& options = {});

}  // namespace ltide::run
