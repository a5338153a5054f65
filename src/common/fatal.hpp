#pragma once
// The single way a routine of this system reports a failure: one line on standard
// error, then the process ends with status 1. Nothing is returned to the caller.
#include <string_view>

namespace ltide {

// Writes "** text [tag]" (tag is "module::procedure", or "ltide" for the program).
[[noreturn, gnu::cold]] void fatal(std::string_view text, std::string_view tag);

// Writes `line` exactly as given: for the few messages that do not have the
// "** text [tag]" form (the usage line, the factorial's three asterisks).
[[noreturn, gnu::cold]] void fatal_line(std::string_view line);

}  // namespace ltide
