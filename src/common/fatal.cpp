#include "common/fatal.hpp"

#include <cstdio>
#include <cstdlib>
#include <string>

namespace ltide {

void fatal_line(std::string_view line) {
  // Standard output may hold an echo of the bad input that must appear first.
  std::fflush(stdout);
  std::string text(line);
  text.push_back('\n');
  std::fwrite(text.data(), 1, text.size(), stderr);
  std::fflush(stderr);
  std::exit(1);
}

void fatal(std::string_view text, std::string_view tag) {
  std::string line = "** ";
  line.append(text);
  line.append(" [");
  line.append(tag);
  line.push_back(']');
  fatal_line(line);
}

}  // namespace ltide
