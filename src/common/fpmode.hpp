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

// The mode switched on for the calling thread while the object lives, and the thread's
// previous control word restored when it ends: for a host process (an interpreter) that
// calls the library and whose own arithmetic must keep its subnormals.
class flush_to_zero_scope {
 public:
  flush_to_zero_scope() noexcept;
  ~flush_to_zero_scope();
  flush_to_zero_scope(const flush_to_zero_scope&) = delete;
  flush_to_zero_scope& operator=(const flush_to_zero_scope&) = delete;

 private:
  unsigned long long saved_ = 0;
};

}  // namespace ltide
