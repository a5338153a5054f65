#pragma once
// The bookkeeping of the tidal operator's basis, shared by its builders, its solvers and
// the run driver: the degree list, the product m nu, the mode's position from k, the
// singular spin parameters and the degree-0 row.
#include <cstdint>

namespace ltide::coriolis {

// |m| in 64 bits, so that |INT32_MIN| is representable.
inline int64_t abs_m(int32_t m) { return m < 0 ? -static_cast<int64_t>(m) : static_cast<int64_t>(m); }

// Integer product rounded to double once. Degrees reach 3 * 2^31, so the product needs
// more than 64 bits; 128 bits keep it exact.
inline double exact_product(int64_t a, int64_t b) {
  return static_cast<double>(static_cast<__int128>(a) * static_cast<__int128>(b));
}

// Lowest degree of the primary series: |m| for the even series, |m| + 1 for the odd one;
// degree i (1 .. n) is first_degree + 2(i - 1).
inline int64_t first_degree(int32_t m, bool even) { return abs_m(m) + (even ? 0 : 1); }

// m*nu with m converted first: for m = 0 this is a signed zero, as the products of the
// operator formulas expect.
inline double m_nu(int32_t m, double nu) { return static_cast<double>(m) * nu; }

// Degree 0 (m = 0, even series) carries no tidal flow: its row of the Aleph matrix holds
// HUGE_VALUE and every solver takes it apart as its own mode, the first unit vector.
inline bool degree0_apart(int32_t m, bool even) { return even && m == 0; }

// Which eigenmode a run follows: the parity of its basis and its position in the mode
// order (see descending_position), both from the mode index k.
struct mode_choice {
  bool even;       // |k| even: the basis degrees start at |m|
  int32_t i_mode;  // 1-based position in the eigenvalue list and column of B, Q, R
};

// |k| < n, for every 32-bit k (including the most negative) and n.
bool k_below_n(int32_t k, int32_t n);

// k >= 0 counts from the front of the list, k < 0 from the back; k and k + 1 (k even)
// share a position and differ in parity. A k with |k| >= n gives a position outside
// 1 .. n.
mode_choice select_mode(int32_t k, int32_t n);

// True when m * nu equals (l + 1)(l + 2), or l(l - 1) with l different from the signed
// m, for a basis degree l >= 2 of the series |m| (even) or |m| + 1 (odd), n degrees:
// an element of the operator then has a zero denominator.
bool singular_spin(int32_t m, bool even, int32_t n, double nu);

// Number of positions by which the descending eigenvalue list is rotated in mode order:
// one for each primary degree with (l+1)(l+2) < m*nu, plus one for the odd series when
// |m|(|m|+1) < m*nu. Only a positive m*nu can raise an eigenvalue past the others.
int64_t rotation_count(int32_t m, bool even, int64_t n, double nu);

// Position (0-based) in the descending eigenvalue list of entry i_mode of the mode
// order, which rotates that list left by rotation_count: entry j of the mode order is
// entry (j - 1 + c) mod n of the descending list. Any i_mode is reduced modulo n.
int64_t descending_position(int32_t m, bool even, int32_t n, double nu, int64_t i_mode);

}  // namespace ltide::coriolis
