#pragma once
// Banded arrays in the tests: entries read from the records themselves (not through the
// traits under test), the dense matrix an array represents, random arrays.
#include <array>
#include <cmath>
#include <optional>
#include <random>
#include <type_traits>
#include <vector>

#include "common/view.hpp"
#include "sparse/kinds.hpp"

namespace ltide::sparse::test {

// Diagonal, below and above it: a scalar is the same value everywhere, a band the kind
// does not store is 0.
template <class K>
std::array<double, 3> entries(const K& e) {
  if constexpr (std::is_same_v<K, double>) return {e, e, e};
  else if constexpr (requires { e.off; }) return {e.diag, e.off, e.off};
  else if constexpr (requires { e.lower; } && requires { e.upper; }) return {e.diag, e.lower, e.upper};
  else if constexpr (requires { e.lower; }) return {e.diag, e.lower, 0.0};
  else if constexpr (requires { e.upper; }) return {e.diag, 0.0, e.upper};
  else return {e.diag, 0.0, 0.0};
}
template <class K>
constexpr std::array<bool, 3> stored{true, requires(K e) { e.lower; } || requires(K e) { e.off; },
                                     requires(K e) { e.upper; } || requires(K e) { e.off; }};

// The n-by-n matrix; element n's off-diagonals lie outside it.
template <class K>
array2<double> dense_of(const std::vector<K>& a) {
  const auto n = static_cast<index_t>(a.size());
  array2<double> m(n, n);
  for (index_t i = 1; i <= n; ++i) {
    const auto [d, below, above] = entries(a[i - 1]);
    m(i, i) = d;
    if (i < n) m(i + 1, i) = below, m(i, i + 1) = above;
  }
  return m;
}

// Either sign, magnitudes in [0.5, 2] (never zero, so no check depends on the sign of a
// zero); diagonals moved away from zero by `shift` (5: diagonally dominant); the
// off-diagonals of element n, which lie outside the matrix, set to `outside` if given.
inline std::mt19937_64 rng(20240611);
inline double draw() {
  std::uniform_real_distribution<double> mag(0.5, 2.0);
  return (rng() & 1U) ? mag(rng) : -mag(rng);
}
template <class K>
std::vector<K> random_band(std::size_t n, double shift = 0.0, std::optional<double> outside = {}) {
  std::vector<K> a(n);
  for (K& e : a) {
    const bool last = outside && &e == &a.back();
    e.diag = draw();
    e.diag += std::copysign(shift, e.diag);
    if constexpr (requires { e.off; }) e.off = last ? *outside : draw();
    if constexpr (requires { e.lower; }) e.lower = last ? *outside : draw();
    if constexpr (requires { e.upper; }) e.upper = last ? *outside : draw();
  }
  return a;
}
inline array2<double> random_dense(index_t rows, index_t cols) {
  array2<double> m(rows, cols);
  for (double& x : m.storage()) x = draw();
  return m;
}

}  // namespace ltide::sparse::test
