#pragma once
// The mu = cos(theta) grid and the spin-parameter grid. Both step through a fraction
// formed in single precision, which fixes the last digits of every grid value.
#include <cstdint>

#include <ltide/common/view.hpp>

namespace ltide::run {

// (i - 1) / (count - 1) in single precision; 0 for a one-point grid (whose step
// would otherwise be 0/0).
float grid_fraction(int32_t i, int32_t count);

// mu(i) from -1 to 1 (formed in single precision and widened) and theta(i) in degrees
// from acos(mu(i)) with the single-precision pi; mu.size points, theta the same size.
void build_mu_grid(vector_view<double> mu, vector_view<double> theta);

// Spin parameter j of n_nu, from nu_min to nu_max.
double spin_parameter(int32_t j, int32_t n_nu, double nu_min, double nu_max);

}  // namespace ltide::run
