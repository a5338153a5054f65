#pragma once
// The coupling coefficient and the rows of the Aleph operator, shared by the operator
// builders and solvers (internal to the module).
#include <cmath>
#include <cstdint>

#include <ltide/coriolis/degrees.hpp>
#include <ltide/functions/functions.hpp>
#include <ltide/sparse/kinds.hpp>

namespace ltide::coriolis::detail {

// Degrees are carried in 64 bits so that products such as l(l+1) are exact; each
// product is converted to double once, which equals the 32-bit product wherever
// that one fits.
inline double real(int64_t k) { return static_cast<double>(k); }

// Coupling coefficient of mu Y_l = J(l+1) Y_{l+1} + J(l) Y_{l-1}; zero for l <= |m|.
inline double J(int64_t l, int32_t m) { return functions::f_spherical_jlm(static_cast<int32_t>(l), m); }

// The same coefficient in double precision, sqrt((l^2 - m^2) / ((2l+1)(2l-1))): the
// integer products are exact (the second in 128 bits) and each is rounded to double once.
inline double J_full(int64_t l, int32_t m) {
  if (abs_m(m) >= l) return 0.0;
  const double num = real((l - m) * (l + m));
  const double den = exact_product(2 * l + 1, 2 * l - 1);
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

// Row of degree l of the Aleph operator without truncation: the diagonal and the coupling
// to degree l + 2, as every row of a basis but its last holds them; `full` takes J in
// double precision, as the single-mode solver's operator does.
sparse::ST aleph_row(double nu, int32_t m, int64_t l, bool full = false);
// Diagonal of the row of degree l when it is the last of a basis.
double aleph_last_diagonal(double nu, int32_t m, bool even, int64_t l, bool full = false);

}  // namespace ltide::coriolis::detail
