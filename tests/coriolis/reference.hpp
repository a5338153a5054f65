#pragma once
// The tidal operator from the recurrences of the spherical harmonics, not from the element
// formulas under test: mu Y_s = J(s+1) Y_{s+1} + J(s) Y_{s-1} and (1 - mu^2) dY_s/dmu =
// -s J(s+1) Y_{s+1} + (s+1) J(s) Y_{s-1} give the Coriolis coupling of the two parity series,
// G = mu + (1 - mu^2) d/dmu Lambda^-1 (Lambda = s(s+1) on the source degree):
// G(s+1 <- s) = s J(s+1)/(s+1) (0 from degree 0, which has no slope), G(s-1 <- s) = (s+1) J(s)/s.
// The Aleph matrix is (L - nu^2 G Ltilde^-1 G) Lambda^-1, L = 1 - m nu/Lambda on the primary
// degrees, Ltilde the same on the other-parity ones (1 at degree 0: no Coriolis term there).
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/view.hpp"
#include "functions/functions.hpp"

namespace ltide::coriolis::test {

inline double Jc(int64_t l, int32_t m) { return functions::f_spherical_jlm(static_cast<int32_t>(l), m); }

struct series {
  std::vector<int64_t> primary, other;  // l_i, and l_i + 1 (even) or l_i - 1 (odd)
};
inline series degrees(int32_t m, bool even, int32_t n) {
  series s;
  for (int64_t i = 0, l = std::abs(static_cast<int64_t>(m)) + (even ? 0 : 1); i < n; ++i, l += 2)
    s.primary.push_back(l), s.other.push_back(even ? l + 1 : l - 1);
  return s;
}

inline double coupling(int64_t t, int64_t s, int32_t m) {  // G(t <- s)
  if (t == s + 1) return Jc(t, m) - Jc(t, m) / (static_cast<double>(s) + 1.0);
  return t == s - 1 ? Jc(s, m) + Jc(s, m) / static_cast<double>(s) : 0.0;
}
inline double l_factor(int64_t l, int32_t m, double nu) {
  return l == 0 ? 1.0 : 1.0 - static_cast<double>(m) * nu / static_cast<double>(l * (l + 1));
}

// Z = L - nu^2 G Ltilde^-1 G on the primary series, and Zabs bounding the magnitudes of its
// terms (for rounding tolerances).
struct composed {
  array2<double> Z, Zabs;
};
inline composed compose(int32_t m, bool even, int32_t n, double nu) {
  const series s = degrees(m, even, n);
  composed c{array2<double>(n, n), array2<double>(n, n)};
  for (index_t i = 1; i <= n; ++i)
    for (index_t k = 1; k <= n; ++k) {
      const double L = i == k ? l_factor(s.primary[i - 1], m, nu) : 0.0;
      double z = 0.0, za = 0.0;
      for (const int64_t q : s.other) {
        const double term = coupling(s.primary[i - 1], q, m) * coupling(q, s.primary[k - 1], m) / l_factor(q, m, nu);
        z += term;
        za += std::fabs(term);
      }
      c.Z(i, k) = L - nu * nu * z;
      c.Zabs(i, k) = std::fabs(L) + nu * nu * za;
    }
  return c;
}

}  // namespace ltide::coriolis::test
