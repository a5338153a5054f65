#pragma once
// Which eigenmode a run follows: the parity of its basis and its position in the
// ordered eigenvalue list, both from the mode index k.
#include <cstdint>

namespace ltide::run {

struct mode_choice {
  bool even;       // |k| even: the basis degrees start at |m|
  int32_t i_mode;  // 1-based position in the eigenvalue list and column of B, Q, R
};

// |k| < n, for every 32-bit k (including the most negative) and n.
bool k_below_n(int32_t k, int32_t n);

// k >= 0 counts from the front of the list, k < 0 from the back; k and k + 1 (k even)
// share a position and differ in parity. Requires k_below_n(k, n).
mode_choice select_mode(int32_t k, int32_t n);

}  // namespace ltide::run
