#include <ltide/common/fatal.hpp>

#include <cstdio>

namespace ltide {

namespace {
std::string tagged_line(std::string_view text, std::string_view tag) {
  std::string line = "** ";
  line.append(text);
  line.append(" [");
  line.append(tag);
  line.push_back(']');
  return line;
}
}  // namespace

error::error(std::string_view text, std::string_view tag)
    : std::runtime_error(tagged_line(text, tag)), text_(text), tag_(tag) {}

error::error(std::string_view line) : std::runtime_error(std::string(line)), text_(line) {}

void fatal(std::string_view text, std::string_view tag) { throw error(text, tag); }

void fatal_line(std::string_view line) { throw error(line); }

int report_failure(const char* line) noexcept {
  std::fflush(stdout);
  // Standard error is unbuffered; glibc formats into a stack buffer and writes once.
  std::fprintf(stderr, "%s\n", line);
  std::fflush(stderr);
  return 1;
}

}  // namespace ltide
