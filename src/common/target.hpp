#pragma once
// Function clones for wider x86 vector units, chosen once at load time. Elsewhere the
// one portable body is compiled; the clones perform the same operations in the same
// order, so the choice never changes a result.
#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LTIDE_X86_CLONES(...) __attribute__((target_clones(__VA_ARGS__)))
#else
#define LTIDE_X86_CLONES(...)
#endif
