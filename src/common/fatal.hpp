#pragma once
// The single way a routine of this system reports a failure: it throws ltide::error,
// whose what() is the one line the program writes on standard error before it ends
// with status 1. A program that links the library may catch it and carry on; every
// routine leaves its outputs unspecified but releases what it holds (files, memory).
// Where a routine's description says it "stops (the run) with" a message, it throws this.
#include <stdexcept>
#include <string>
#include <string_view>

namespace ltide {

class error : public std::runtime_error {
 public:
  // "** text [tag]".
  error(std::string_view text, std::string_view tag);
  // A line of another form, kept exactly as given (empty tag).
  explicit error(std::string_view line);

  // The message without its "** " and " [tag]" (the whole line for a bare line).
  const std::string& text() const noexcept { return text_; }
  // "module::procedure", "ltide" for the program, empty for a bare line.
  const std::string& tag() const noexcept { return tag_; }

 private:
  std::string text_;
  std::string tag_;
};

// Throws error(text, tag): tag is "module::procedure", or "ltide" for the program.
[[noreturn, gnu::cold]] void fatal(std::string_view text, std::string_view tag);

// Throws error(line): for the few messages that do not have the "** text [tag]" form
// (the usage line, the factorial's three asterisks).
[[noreturn, gnu::cold]] void fatal_line(std::string_view line);

// What a program's main does with a failure: standard output first (it may hold an
// echo of the bad input that must come before the message), then the line and a
// newline on standard error in one write. Allocates nothing, so it also serves when
// memory has run out. Returns the exit status, 1.
int report_failure(const char* line) noexcept;

}  // namespace ltide
