#pragma once
// Closed-form asymptotic solution of the selected mode, valid where the mode is
// trapped near the equator: Hermite polynomials of sigma = mu sqrt(s nu) times the
// Gaussian exp(-sigma^2 / 2), with s a root of s^2 - q nu s + (m nu - m^2) = 0,
// q = 2 nh + 1, and the eigenvalue s^2. Modes with k = 0 and m nu <= -3 use a separate
// Gaussian solution with eigenvalue 2 m^3 nu / (2 m nu + 1).
#include <cstdint>

#include <ltide/common/view.hpp>

namespace ltide::run {

// Bits of flag_beta that mean "no asymptotic solution".
inline constexpr int32_t BETA_ROOT_NOT_POSITIVE = 1;  // s nu <= 0 (or no real root)
inline constexpr int32_t BETA_NOT_VALID = 2;          // outside the validity range
inline constexpr int32_t BETA_NO_SOLUTION = 8;        // none exists for this k and m nu
inline constexpr int32_t BETA_DOUBLE_ROOT = 16;       // k = -1 and m nu = 2 m^2
inline constexpr int32_t BETA_FAILED = BETA_ROOT_NOT_POSITIVE | BETA_NOT_VALID | BETA_NO_SOLUTION | BETA_DOUBLE_ROOT;

struct asymptotic_result {
  int32_t nh = 0;         // Hermite order (-1 for the separate Gaussian solution)
  int32_t flags = 0;      // failure bits above; 0 when a solution was produced
  double lambda = 0.0;    // eigenvalue, when flags is 0
};

// Work vectors of n_mu values: the scaled coordinate and the Hermite polynomials of
// orders nh - 1, nh, nh + 1.
struct asymptotic_work {
  vector_view<double> sigma, h_lower, h_order, h_upper;
};

// The solution for order m, mode index k and spin parameter nu. With `fields`, and only
// when a solution is produced, also fills xi_r, xi_t, xi_p (n_mu values each, unscaled)
// on the grid mu; without it nothing but the result is computed (work and fields may
// then be empty). Nothing is allocated.
asymptotic_result asymptotic_solution(int32_t m, int32_t k, double nu, bool fields, vector_view<const double> mu,
                                      const asymptotic_work& work, vector_view<double> xi_r,
                                      vector_view<double> xi_t, vector_view<double> xi_p);

}  // namespace ltide::run
