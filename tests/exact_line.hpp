#pragma once
// The regular expression, for death tests, that matches exactly one line of text.
#include <string>
#include <string_view>

inline std::string exact_line(std::string_view line) {
  std::string out = "^";
  for (char c : line) {
    if (std::string_view(R"(\^$.|?*+()[]{})").find(c) != std::string_view::npos) out.push_back('\\');
    out.push_back(c);
  }
  return out + "\n$";
}
