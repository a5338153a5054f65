#include <ltide/common/fpmode.hpp>

#include <cstdint>

#if defined(__x86_64__)
#include <xmmintrin.h>
#endif

namespace ltide {

#if defined(__x86_64__)

namespace {
constexpr unsigned ftz_bit = 0x8000U;  // MXCSR flush-to-zero
constexpr unsigned daz_bit = 0x0040U;  // MXCSR denormals-are-zero
}  // namespace

void enable_flush_to_zero() noexcept { _mm_setcsr(_mm_getcsr() | ftz_bit | daz_bit); }

bool flush_to_zero_enabled() noexcept {
  return (_mm_getcsr() & (ftz_bit | daz_bit)) == (ftz_bit | daz_bit);
}

flush_to_zero_scope::flush_to_zero_scope() noexcept : saved_(_mm_getcsr()) { enable_flush_to_zero(); }
flush_to_zero_scope::~flush_to_zero_scope() { _mm_setcsr(static_cast<unsigned>(saved_)); }

#elif defined(__aarch64__)

namespace {
// FPCR.FZ flushes subnormal results and reads subnormal operands as zero: both halves
// of the x86 mode in one bit.
constexpr std::uint64_t fz_bit = std::uint64_t{1} << 24;
std::uint64_t get_fpcr() noexcept {
  std::uint64_t v;
  __asm__ volatile("mrs %0, fpcr" : "=r"(v));
  return v;
}
}  // namespace

void enable_flush_to_zero() noexcept {
  const std::uint64_t v = get_fpcr() | fz_bit;
  __asm__ volatile("msr fpcr, %0" : : "r"(v));
}

bool flush_to_zero_enabled() noexcept { return (get_fpcr() & fz_bit) != 0; }

flush_to_zero_scope::flush_to_zero_scope() noexcept : saved_(get_fpcr()) { enable_flush_to_zero(); }
flush_to_zero_scope::~flush_to_zero_scope() {
  const std::uint64_t v = saved_;
  __asm__ volatile("msr fpcr, %0" : : "r"(v));
}

#else

// No switch on other processors: results there are not the reference bits.
void enable_flush_to_zero() noexcept {}
bool flush_to_zero_enabled() noexcept { return false; }
flush_to_zero_scope::flush_to_zero_scope() noexcept {}
flush_to_zero_scope::~flush_to_zero_scope() {}

#endif

}  // namespace ltide
