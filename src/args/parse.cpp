#include <ltide/args/parse.hpp>

#include <charconv>
#include <cmath>
#include <cstdlib>
#include <limits>
#include <system_error>

namespace ltide::args {

namespace {

bool is_blank(char c) { return c == ' ' || c == '\t'; }
bool ends_value(char c) { return is_blank(c) || c == ',' || c == '/'; }
bool is_digit(char c) { return c >= '0' && c <= '9'; }
char lower(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

bool equals_ignoring_case(std::string_view text, std::string_view word) {
  if (text.size() != word.size()) return false;
  for (std::size_t i = 0; i < text.size(); ++i)
    if (lower(text[i]) != word[i]) return false;
  return true;
}

std::size_t skip_digits(std::string_view s, std::size_t pos) {
  while (pos < s.size() && is_digit(s[pos])) ++pos;
  return pos;
}

// True when `s` is a decimal real: [sign] digits [. digits] [exponent], with at least
// one mantissa digit and, after an exponent letter, at least one exponent digit.
bool is_decimal_real(std::string_view s) {
  std::size_t pos = 0;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
  const std::size_t int_start = pos;
  pos = skip_digits(s, pos);
  std::size_t mantissa_digits = pos - int_start;
  if (pos < s.size() && s[pos] == '.') {
    const std::size_t frac_start = ++pos;
    pos = skip_digits(s, pos);
    mantissa_digits += pos - frac_start;
  }
  if (mantissa_digits == 0) return false;
  if (pos == s.size()) return true;
  const char e = lower(s[pos]);
  if (e != 'e' && e != 'd') return false;
  ++pos;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) ++pos;
  const std::size_t exp_start = pos;
  pos = skip_digits(s, pos);
  return pos > exp_start && pos == s.size();
}

template <class T>
std::optional<T> parse_real(std::string_view field) {
  const std::string_view s = value_text(field);
  if (s.empty()) return std::nullopt;

  const bool negative = s.front() == '-';
  const std::string_view unsigned_part = (s.front() == '+' || s.front() == '-') ? s.substr(1) : s;
  if (equals_ignoring_case(unsigned_part, "inf") || equals_ignoring_case(unsigned_part, "infinity")) {
    const T inf = std::numeric_limits<T>::infinity();
    return negative ? -inf : inf;
  }
  if (equals_ignoring_case(unsigned_part, "nan")) return std::numeric_limits<T>::quiet_NaN();
  if (!is_decimal_real(s)) return std::nullopt;

  // from_chars rounds the decimal text once, straight to T (a float never passes
  // through a double); it takes neither a leading '+' nor a D exponent. The copy is as
  // long as the value: the text may come from a field of any length.
  std::string text;
  for (char c : (s.front() == '+' ? s.substr(1) : s)) text.push_back((lower(c) == 'd') ? 'e' : c);
  const std::size_t len = text.size();

  T value{};
  const auto result = std::from_chars(text.data(), text.data() + len, value);
  if (result.ec == std::errc::result_out_of_range) {
    // The correctly rounded value is an infinity or a zero; which one, the size of
    // the decimal value decides.
    const double magnitude = std::fabs(std::strtod(text.data(), nullptr));
    const T rounded = magnitude > 1.0 ? std::numeric_limits<T>::infinity() : T(0);
    return negative ? -rounded : rounded;
  }
  if (result.ec != std::errc() || result.ptr != text.data() + len) return std::nullopt;
  return value;
}

}  // namespace

std::string to_field(std::string_view text, std::size_t length) {
  std::string field(text.substr(0, length));
  field.resize(length, ' ');
  return field;
}

std::string_view value_text(std::string_view field) {
  std::size_t first = 0;
  while (first < field.size() && is_blank(field[first])) ++first;
  std::size_t last = first;
  while (last < field.size() && !ends_value(field[last])) ++last;
  return field.substr(first, last - first);
}

std::optional<int32_t> parse_integer(std::string_view field) {
  const std::string_view s = value_text(field);
  std::size_t pos = 0;
  bool negative = false;
  if (pos < s.size() && (s[pos] == '+' || s[pos] == '-')) negative = s[pos++] == '-';
  if (pos == s.size()) return std::nullopt;
  // The magnitude may reach 2^31 (for the most negative value); stop accumulating
  // beyond it so that any number of digits is safe.
  constexpr int64_t limit = int64_t{1} << 31;
  int64_t magnitude = 0;
  for (; pos < s.size(); ++pos) {
    if (!is_digit(s[pos])) return std::nullopt;
    magnitude = magnitude * 10 + (s[pos] - '0');
    if (magnitude > limit) return std::nullopt;
  }
  const int64_t value = negative ? -magnitude : magnitude;
  if (value > std::numeric_limits<int32_t>::max()) return std::nullopt;
  return static_cast<int32_t>(value);
}

std::optional<float> parse_single(std::string_view field) { return parse_real<float>(field); }

std::optional<double> parse_double(std::string_view field) { return parse_real<double>(field); }

std::optional<bool> parse_logical(std::string_view field) {
  const std::string_view s = value_text(field);
  std::size_t pos = (!s.empty() && s.front() == '.') ? 1 : 0;
  if (pos >= s.size()) return std::nullopt;
  const char c = lower(s[pos]);
  if (c == 't') return true;
  if (c == 'f') return false;
  return std::nullopt;
}

}  // namespace ltide::args
