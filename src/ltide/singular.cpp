#include "ltide/singular.hpp"

namespace ltide::run {

namespace {
// Degrees reach 3 * 2^31, so their products need more than 64 bits; the exact product
// is rounded to double once.
double exact_product(int64_t a, int64_t b) {
  return static_cast<double>(static_cast<__int128>(a) * static_cast<__int128>(b));
}
}  // namespace

bool singular_spin(int32_t m, bool even, int32_t n, double nu) {
  const double x = static_cast<double>(m) * nu;
  // Both products are at least 2 for l >= 2 (so no x below 2, and no NaN, can match),
  // and they grow with l; rounding to double keeps them non-decreasing, so once
  // l(l - 1) exceeds x no later degree can match either.
  if (!(x >= 2.0)) return false;
  const int64_t abs_m = m < 0 ? -int64_t{m} : int64_t{m};
  const int64_t l0 = even ? abs_m : abs_m + 1;
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

}  // namespace ltide::run
