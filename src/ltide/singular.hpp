#pragma once
// Spin parameters at which an element of the tidal operator has a zero denominator.
#include <cstdint>

namespace ltide::run {

// True when m * nu equals (l + 1)(l + 2), or l(l - 1) with l different from the signed
// m, for a basis degree l >= 2 of the series |m| (even) or |m| + 1 (odd), n degrees.
bool singular_spin(int32_t m, bool even, int32_t n, double nu);

}  // namespace ltide::run
