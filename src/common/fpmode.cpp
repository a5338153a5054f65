#include "common/fpmode.hpp"

#include <xmmintrin.h>

namespace ltide {

namespace {
constexpr unsigned ftz_bit = 0x8000U;  // MXCSR flush-to-zero
constexpr unsigned daz_bit = 0x0040U;  // MXCSR denormals-are-zero
}  // namespace

void enable_flush_to_zero() noexcept { _mm_setcsr(_mm_getcsr() | ftz_bit | daz_bit); }

bool flush_to_zero_enabled() noexcept {
  return (_mm_getcsr() & (ftz_bit | daz_bit)) == (ftz_bit | daz_bit);
}

}  // namespace ltide
