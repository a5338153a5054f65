#include <ltide/args/args.hpp>

#include <cstdio>
#include <optional>
#include <string_view>
#include <vector>

#include <ltide/args/parse.hpp>
#include <ltide/common/fatal.hpp>

namespace ltide::args {

namespace {

std::vector<std::string>& command_line() {
  static std::vector<std::string> words;
  return words;
}

// What differs between the four conversions: the reader and the stop message.
template <class T>
struct conversion;
template <>
struct conversion<int32_t> {
  static constexpr auto parse = parse_integer;
  static constexpr std::string_view message = "^^ Cannot convert to integer type";
  static constexpr std::string_view tag = "args::a_argv_i";
};
template <>
struct conversion<float> {
  static constexpr auto parse = parse_single;
  static constexpr std::string_view message = "^^ Cannot convert to real type";
  static constexpr std::string_view tag = "args::a_argv_sp";
};
template <>
struct conversion<double> {
  static constexpr auto parse = parse_double;
  static constexpr std::string_view message = "^^ Cannot convert to real type";
  static constexpr std::string_view tag = "args::a_argv_dp";
};
template <>
struct conversion<bool> {
  static constexpr auto parse = parse_logical;
  static constexpr std::string_view message = "^^ Cannot convert to logical type";
  static constexpr std::string_view tag = "args::a_argv_l";
};

template <class T>
T convert(int32_t i) {
  const std::string field = a_argv_c(i, FIELD_LENGTH);
  if (const std::optional<T> value = conversion<T>::parse(field)) return *value;
  // The offending field goes to standard output, whole and in one write, before the
  // stop message goes to standard error.
  const std::string echo = " " + field + "\n";
  std::fwrite(echo.data(), 1, echo.size(), stdout);
  fatal(conversion<T>::message, conversion<T>::tag);
}

}  // namespace

void a_init(int argc, const char* const* argv) {
  auto& words = command_line();
  words.clear();
  for (int i = 0; i < argc; ++i) words.emplace_back(argv[i] != nullptr ? argv[i] : "");
}

int32_t a_argc() {
  const auto& words = command_line();
  return words.empty() ? 0 : static_cast<int32_t>(words.size() - 1);
}

std::string a_argv_c(int32_t i, std::size_t length) {
  const auto& words = command_line();
  if (i < 0 || static_cast<std::size_t>(i) >= words.size()) return std::string(length, ' ');
  return to_field(words[static_cast<std::size_t>(i)], length);
}

int32_t a_argv_i(int32_t i) { return convert<int32_t>(i); }
float a_argv_sp(int32_t i) { return convert<float>(i); }
double a_argv_dp(int32_t i) { return convert<double>(i); }
bool a_argv_l(int32_t i) { return convert<bool>(i); }

}  // namespace ltide::args
