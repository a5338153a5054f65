#include <ltide/ltide/grid.hpp>

#include <cmath>

#include <ltide/common/constants.hpp>

namespace ltide::run {

float grid_fraction(int32_t i, int32_t count) {
  if (count == 1) return 0.0F;
  // Both integers are rounded to single precision first, then every operation is.
  const auto fi = static_cast<float>(i);
  const auto fc = static_cast<float>(count);
  return (fi - 1.0F) / (fc - 1.0F);
}

void build_mu_grid(vector_view<double> mu, vector_view<double> theta) {
  const auto count = static_cast<int32_t>(mu.size);
  for (int32_t i = 1; i <= count; ++i) {
    const float t = grid_fraction(i, count);
    const float mu_single = t * 2.0F + (-1.0F);
    mu(i) = static_cast<double>(mu_single);
    // PI is the single-precision pi, so theta(mu = 0) is 89.99999749552191, not 90.
    theta(i) = (std::acos(mu(i)) * 180.0) / PI;
  }
}

double spin_parameter(int32_t j, int32_t n_nu, double nu_min, double nu_max) {
  const auto t = static_cast<double>(grid_fraction(j, n_nu));
  return nu_min + t * (nu_max - nu_min);
}

}  // namespace ltide::run
