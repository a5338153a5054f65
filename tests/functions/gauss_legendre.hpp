#pragma once
// Gauss-Legendre rule on [-1, 1] from the test's own Legendre recurrence (independent of
// the module under test); n points integrate polynomials of degree 2n - 1 exactly.
#include <cmath>
#include <numbers>
#include <vector>

namespace ltide::functions::testing {

struct quadrature {
  std::vector<double> x, w;
};

inline quadrature gauss_legendre(int n) {
  quadrature q{std::vector<double>(n), std::vector<double>(n)};
  for (int i = 0; i < n; ++i) {
    double z = std::cos(std::numbers::pi * (i + 0.75) / (n + 0.5)), dp = 0.0, dz = 1.0;
    for (int iter = 0; iter < 100 && std::abs(dz) > 1e-16; ++iter) {
      double p0 = 1.0, p1 = z;
      for (int k = 2; k <= n; ++k) {
        const double p2 = ((2 * k - 1) * z * p1 - (k - 1) * p0) / k;
        p0 = p1;
        p1 = p2;
      }
      dp = n * (z * p1 - p0) / (z * z - 1.0);
      z -= dz = p1 / dp;
    }
    q.x[i] = z;
    q.w[i] = 2.0 / ((1.0 - z * z) * dp * dp);
  }
  return q;
}

}  // namespace ltide::functions::testing
