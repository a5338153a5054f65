#include "ltide/mode.hpp"

namespace ltide::run {

namespace {
// In 64 bits, so that |INT32_MIN| is representable.
int64_t magnitude(int32_t k) { return k < 0 ? -int64_t{k} : int64_t{k}; }
}  // namespace

bool k_below_n(int32_t k, int32_t n) { return magnitude(k) < int64_t{n}; }

mode_choice select_mode(int32_t k, int32_t n) {
  const int64_t a = magnitude(k);
  const bool even = a % 2 == 0;
  const int64_t position = k >= 0 ? a / 2 + 1 : int64_t{n} - (a - 1) / 2;
  return {even, static_cast<int32_t>(position)};
}

}  // namespace ltide::run
