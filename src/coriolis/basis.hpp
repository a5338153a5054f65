#pragma once
// Degree bookkeeping shared by the operator builders (internal to the module).
#include <cmath>
#include <cstdint>

#include "functions/functions.hpp"
#include "sparse/kinds.hpp"

namespace ltide::coriolis::detail {

// Degrees are carried in 64 bits so that products such as l(l+1) are exact; each
// product is converted to double once, which equals the 32-bit product wherever
// that one fits.
inline double real(int64_t k) { return static_cast<double>(k); }

inline int64_t abs_m(int32_t m) { return m < 0 ? -static_cast<int64_t>(m) : static_cast<int64_t>(m); }

// Lowest degree of the primary series: |m| for the even series, |m| + 1 for the odd one.
inline int64_t first_degree(int32_t m, bool even) { return abs_m(m) + (even ? 0 : 1); }

// Coupling coefficient of mu Y_l = J(l+1) Y_{l+1} + J(l) Y_{l-1}; zero for l <= |m|.
inline double J(int64_t l, int32_t m) { return functions::f_spherical_jlm(static_cast<int32_t>(l), m); }

// The same coefficient in double precision, sqrt((l^2 - m^2) / ((2l+1)(2l-1))): the
// integer products are exact (the second in 128 bits) and each is rounded to double once.
inline double J_full(int64_t l, int32_t m) {
  if (abs_m(m) >= l) return 0.0;
  const double num = real((l - m) * (l + m));
  const auto den = static_cast<double>(static_cast<__int128>(2 * l + 1) * static_cast<__int128>(2 * l - 1));
  return std::sqrt(num / den);
}

// Which of the two the operator formulas use.
template <bool Full>
inline double J_of(int64_t l, int32_t m) {
  if constexpr (Full)
    return J_full(l, m);
  else
    return J(l, m);
}

// m*nu with m converted first: for m = 0 this is a signed zero, as the products of the
// operator formulas expect.
inline double m_nu(int32_t m, double nu) { return static_cast<double>(m) * nu; }

// Number of positions by which the descending eigenvalue list is rotated in mode order:
// one for each primary degree with (l+1)(l+2) < m*nu, plus one for the odd series when
// |m|(|m|+1) < m*nu. Only a positive m*nu can raise an eigenvalue past the others.
inline int64_t rotation_count(int32_t m, bool even, int64_t n, double nu) {
  const double mnu = m_nu(m, nu);
  if (!(mnu > 0.0)) return 0;
  int64_t c = 0;
  const int64_t l0 = first_degree(m, even);
  for (int64_t i = 1; i <= n; ++i) {
    const int64_t l = l0 + 2 * (i - 1);
    if (real((l + 1) * (l + 2)) < mnu) ++c;
  }
  const int64_t am = abs_m(m);
  if (!even && real(am * (am + 1)) < mnu) ++c;
  return c;
}

// Position (0-based) in the descending eigenvalue list of entry i_mode (1 .. n) of the
// mode order, which rotates that list left by rotation_count: entry j of the mode order is
// entry (j - 1 + c) mod n of the descending list.
inline int64_t descending_position(int32_t m, bool even, int32_t n, double nu, int32_t i_mode) {
  const int64_t c = rotation_count(m, even, n, nu) % n;
  return (int64_t{i_mode} - 1 + c) % n;
}

// Row of degree l of the Aleph operator without truncation: the diagonal and the coupling
// to degree l + 2, as every row of a basis but its last holds them; `full` takes J in
// double precision, as the single-mode solver's operator does.
sparse::ST aleph_row(double nu, int32_t m, int64_t l, bool full = false);
// Diagonal of the row of degree l when it is the last of a basis.
double aleph_last_diagonal(double nu, int32_t m, bool even, int64_t l, bool full = false);

}  // namespace ltide::coriolis::detail
