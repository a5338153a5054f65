#pragma once
// Array-shaped calling forms of a few LAPACK routines: general solves, symmetric
// tridiagonal eigenproblems and machine constants.
#include <cstdint>

namespace ltide::matrix {

// LAPACK's machine constant for `cmach` ('S' is the safe minimum). `x` only selects
// the precision; its value is not used.
double dlamch_wrap(double x, char cmach);
float slamch_wrap(float x, char cmach);

}  // namespace ltide::matrix
