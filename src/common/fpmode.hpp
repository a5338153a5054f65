#pragma once

namespace ltide {

// Flush-to-zero and denormals-are-zero: subnormal results become signed zeros and
// subnormal operands read as zero (1/HUGE_VALUE is exactly 0). Every result of the
// system is defined in this mode; call it first thing in every main. On x86-64 this sets
// MXCSR's FTZ and DAZ, on AArch64 FPCR.FZ (which does both); on other processors it does
// nothing, and flush_to_zero_enabled() says false.
void enable_flush_to_zero() noexcept;

// True when the mode is on for the calling thread.
bool flush_to_zero_enabled() noexcept;

}  // namespace ltide
