#pragma once
// Test-side reference for the tidal operator, derived from the recurrences of the
// spherical harmonics rather than from the element formulas of the code under test:
//   mu Y_s                 = J(s+1) Y_{s+1} + J(s) Y_{s-1}
//   (1 - mu^2) dY_s/dmu    = -s J(s+1) Y_{s+1} + (s+1) J(s) Y_{s-1}.
// The Coriolis coupling between the two parity series is G = mu + (1 - mu^2) d/dmu Lambda^-1
// (Lambda = s(s+1) on the source degree), so
//   G(s+1 <- s) = J(s+1) - J(s+1)/(s+1) = s J(s+1)/(s+1)   (the factor s cancels; Y_0 has
//                                                           no slope, so G(1 <- 0) = 0)
//   G(s-1 <- s) = J(s) + J(s)/s         = (s+1) J(s)/s,
// and the Aleph matrix is (L - nu^2 G Ltilde^-1 G) Lambda^-1 with L = 1 - m nu/Lambda on
// the primary degrees and Ltilde the same on the other-parity degrees (Ltilde = 1 at
// degree 0, where no Coriolis term exists).
#include <algorithm>
#include <cmath>
#include <cstdint>
#include <vector>

#include "common/view.hpp"
#include "functions/functions.hpp"
#include "sparse/kinds.hpp"

namespace ltide::coriolis::test {

inline double Jc(int64_t l, int32_t m) { return functions::f_spherical_jlm(static_cast<int32_t>(l), m); }

struct series {
  std::vector<int64_t> primary;  // l_i
  std::vector<int64_t> other;    // l_i + 1 (even) or l_i - 1 (odd)
};

inline series degrees(int32_t m, bool even, int32_t n) {
  series s;
  const int64_t l0 = std::abs(static_cast<int64_t>(m)) + (even ? 0 : 1);
  for (int32_t i = 0; i < n; ++i) {
    const int64_t l = l0 + 2 * i;
    s.primary.push_back(l);
    s.other.push_back(even ? l + 1 : l - 1);
  }
  return s;
}

inline double coupling(int64_t t, int64_t s, int32_t m) {
  const double sd = static_cast<double>(s);
  if (t == s + 1) return Jc(t, m) - Jc(t, m) / (sd + 1.0);
  if (t == s - 1) return Jc(s, m) + Jc(s, m) / sd;
  return 0.0;
}

inline double l_factor(int64_t l, int32_t m, double nu) {
  if (l == 0) return 1.0;
  return 1.0 - static_cast<double>(m) * nu / static_cast<double>(l * (l + 1));
}

// Dense G (rows `to`, columns `from`).
inline array2<double> coupling_matrix(const std::vector<int64_t>& to, const std::vector<int64_t>& from, int32_t m) {
  array2<double> g(static_cast<index_t>(to.size()), static_cast<index_t>(from.size()));
  for (std::size_t i = 0; i < to.size(); ++i)
    for (std::size_t k = 0; k < from.size(); ++k)
      g(static_cast<index_t>(i + 1), static_cast<index_t>(k + 1)) = coupling(to[i], from[k], m);
  return g;
}

// Z = L - nu^2 G Ltilde^-1 G on the primary series, with a magnitude bound |Z| built from
// the absolute values of the terms (for rounding tolerances).
struct composed {
  array2<double> Z, Zabs;
};

inline composed compose(int32_t m, bool even, int32_t n, double nu) {
  const series s = degrees(m, even, n);
  const array2<double> up = coupling_matrix(s.other, s.primary, m);    // other <- primary
  const array2<double> down = coupling_matrix(s.primary, s.other, m);  // primary <- other
  composed c{array2<double>(n, n), array2<double>(n, n)};
  for (index_t i = 1; i <= n; ++i)
    for (index_t k = 1; k <= n; ++k) {
      double z = 0.0, za = 0.0;
      for (index_t p = 1; p <= n; ++p) {
        const double term = down(i, p) * up(p, k) / l_factor(s.other[static_cast<std::size_t>(p - 1)], m, nu);
        z += term;
        za += std::fabs(term);
      }
      z = -nu * nu * z;
      za = nu * nu * za;
      if (i == k) {
        const double L = l_factor(s.primary[static_cast<std::size_t>(i - 1)], m, nu);
        z += L;
        za += std::fabs(L);
      }
      c.Z(i, k) = z;
      c.Zabs(i, k) = za;
    }
  return c;
}

}  // namespace ltide::coriolis::test
