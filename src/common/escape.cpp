#include <ltide/common/escape.hpp>

namespace ltide {

std::string escaped(std::string_view text) {
  static constexpr char hex[] = "0123456789abcdef";
  std::string out;
  out.reserve(text.size());
  for (const char c : text) {
    const auto u = static_cast<unsigned char>(c);
    switch (c) {
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\t': out += "\\t"; continue;
      case '\r': out += "\\r"; continue;
      case '\x1b': out += "\\e"; continue;
      default: break;
    }
    if (u < 0x20 || u == 0x7f) {
      out += "\\x";
      out += hex[u >> 4];
      out += hex[u & 15];
    } else {
      out += c;
    }
  }
  return out;
}

std::string quoted_name(std::string_view text) {
  std::string out = "\"";
  out += escaped(text);
  out += '"';
  return out;
}

}  // namespace ltide
