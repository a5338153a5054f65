#include <ltide/coriolis/degrees.hpp>

namespace ltide::coriolis {

bool k_below_n(int32_t k, int32_t n) { return abs_m(k) < int64_t{n}; }

mode_choice select_mode(int32_t k, int32_t n) {
  const int64_t a = abs_m(k);
  const bool even = a % 2 == 0;
  const int64_t position = k >= 0 ? a / 2 + 1 : int64_t{n} - (a - 1) / 2;
  return {even, static_cast<int32_t>(position)};
}

bool singular_spin(int32_t m, bool even, int32_t n, double nu) {
  const double x = m_nu(m, nu);
  // Both products are at least 2 for l >= 2 (so no x below 2, and no NaN, can match),
  // and they grow with l; rounding to double keeps them non-decreasing, so once
  // l(l - 1) exceeds x no later degree can match either.
  if (!(x >= 2.0)) return false;
  const int64_t l0 = first_degree(m, even);
  for (int64_t i = 1; i <= n; ++i) {
    const int64_t l = l0 + 2 * (i - 1);
    if (l < 2) continue;
    const double below = exact_product(l, l - 1);
    if (below > x) return false;
    if (x == exact_product(l + 1, l + 2)) return true;
    if (x == below && l != int64_t{m}) return true;
  }
  return false;
}

int64_t rotation_count(int32_t m, bool even, int64_t n, double nu) {
  const double mnu = m_nu(m, nu);
  if (!(mnu > 0.0)) return 0;
  int64_t c = 0;
  const int64_t l0 = first_degree(m, even);
  for (int64_t i = 1; i <= n; ++i) {
    const int64_t l = l0 + 2 * (i - 1);
    if (static_cast<double>((l + 1) * (l + 2)) < mnu) ++c;
  }
  const int64_t am = abs_m(m);
  if (!even && static_cast<double>(am * (am + 1)) < mnu) ++c;
  return c;
}

int64_t descending_position(int32_t m, bool even, int32_t n, double nu, int64_t i_mode) {
  const int64_t p = (i_mode - 1 + rotation_count(m, even, n, nu)) % n;
  return p < 0 ? p + n : p;
}

}  // namespace ltide::coriolis
