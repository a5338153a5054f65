// The argument conversions on arbitrary text. Each conversion runs on the raw input (the
// functions take any text) and on the 80-character field a_argv_* would give it.
// Checked for every accepted value:
//  - formatted back and read again, it gives the same value (bit for bit; NaN stays NaN);
//  - a decimal real agrees with the C library's correctly rounded conversion (strtod,
//    strtof), except that a subnormal may come back as a zero of the same sign;
//  - an integer agrees with strtoll and lies in the 32-bit range.
#include <xmmintrin.h>

#include <bit>
#include <cerrno>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>

#include <ltide/args/parse.hpp>
#include <ltide/common/fpmode.hpp>

namespace {

using namespace ltide::args;

[[noreturn]] void fail(const char* what, std::string_view text) {
  std::fprintf(stderr, "fuzz_args: %s for text \"%.*s\"\n", what, static_cast<int>(text.size()), text.data());
  std::abort();
}

template <class T>
bool same_value(T a, T b) {
  if (std::isnan(a) || std::isnan(b)) return std::isnan(a) && std::isnan(b);
  return std::bit_cast<std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>>(a) ==
         std::bit_cast<std::conditional_t<sizeof(T) == 8, uint64_t, uint32_t>>(b);
}

// Smallest normal magnitude, tested on the bits: comparisons read subnormals as zero here.
template <class T>
bool tiny(T v) {
  if constexpr (sizeof(T) == 8) return (std::bit_cast<uint64_t>(v) & 0x7FF0000000000000ULL) == 0;
  else return (std::bit_cast<uint32_t>(v) & 0x7F800000U) == 0;
}

// The value text as the C library reads it: no leading '+' is needed, D becomes E.
bool decimal_real(std::string_view s) {
  if (s.empty()) return false;
  std::size_t i = (s[0] == '+' || s[0] == '-') ? 1 : 0;
  bool digit = false;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) digit = true;
  if (i < s.size() && s[i] == '.')
    for (++i; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) digit = true;
  if (!digit) return false;
  if (i == s.size()) return true;
  if (s[i] != 'e' && s[i] != 'E' && s[i] != 'd' && s[i] != 'D') return false;
  ++i;
  if (i < s.size() && (s[i] == '+' || s[i] == '-')) ++i;
  const std::size_t e = i;
  for (; i < s.size() && s[i] >= '0' && s[i] <= '9'; ++i) {
  }
  return i > e && i == s.size();
}

std::string c_text(std::string_view s) {
  std::string t(s);
  for (char& c : t)
    if (c == 'd' || c == 'D') c = 'e';
  return t;
}

template <class T>
void check_real(std::optional<T> v, std::string_view text, std::optional<T> (*parse)(std::string_view)) {
  const std::string_view value = value_text(text);
  if (!v) {
    if (decimal_real(value)) fail("decimal real rejected", text);
    return;
  }
  // Formatted with enough digits to identify the value, then read as a field again.
  // Formatting reads the value arithmetically, so it is done with subnormals kept (a
  // subnormal result is returned as such and must survive the round trip).
  char buffer[64];
  const unsigned mode = _mm_getcsr();
  _mm_setcsr(mode & ~0x8040U);
  std::snprintf(buffer, sizeof buffer, sizeof(T) == 8 ? "%.17g" : "%.9g", static_cast<double>(*v));
  _mm_setcsr(mode);
  const std::optional<T> again = parse(to_field(buffer, FIELD_LENGTH));
  if (!again || !same_value(*v, *again)) fail("value does not re-read identically", text);

  if (!decimal_real(value)) return;
  const std::string c = c_text(value);
  errno = 0;
  T ref;
  if constexpr (sizeof(T) == 8) ref = std::strtod(c.c_str(), nullptr);
  else ref = std::strtof(c.c_str(), nullptr);
  if (same_value(*v, ref)) return;
  // Flush-to-zero: a subnormal result may come back as a zero of the same sign.
  if (tiny(ref) && tiny(*v) && std::signbit(ref) == std::signbit(*v)) return;
  fail("decimal real differs from the correctly rounded value", text);
}

void check_integer(std::optional<int32_t> v, std::string_view text) {
  const std::string_view value = value_text(text);
  bool digits = !value.empty();
  std::size_t first = (!value.empty() && (value[0] == '+' || value[0] == '-')) ? 1 : 0;
  if (first == value.size()) digits = false;
  for (std::size_t i = first; i < value.size(); ++i)
    if (value[i] < '0' || value[i] > '9') digits = false;
  if (!v) {
    if (!digits) return;
    // Only an out-of-range value may be refused.
    const std::string c(value);
    errno = 0;
    const long long r = std::strtoll(c.c_str(), nullptr, 10);
    if (errno != ERANGE && r >= INT32_MIN && r <= INT32_MAX) fail("integer in range rejected", text);
    return;
  }
  if (!digits) fail("integer accepted from text that is not one", text);
  const std::string c(value);
  if (std::strtoll(c.c_str(), nullptr, 10) != *v) fail("integer differs from strtoll", text);
  const std::optional<int32_t> again = parse_integer(to_field(std::to_string(*v), FIELD_LENGTH));
  if (!again || *again != *v) fail("integer does not re-read identically", text);
}

void check_logical(std::optional<bool> v, std::string_view text) {
  const std::string_view value = value_text(text);
  const std::size_t at = (!value.empty() && value[0] == '.') ? 1 : 0;
  const char c = at < value.size() ? value[at] : '\0';
  const bool t = c == 't' || c == 'T', f = c == 'f' || c == 'F';
  if (v.has_value() != (t || f) || (v && *v != t)) fail("logical differs from its first letter", text);
  if (v) {
    const std::optional<bool> again = parse_logical(to_field(*v ? "T" : "F", FIELD_LENGTH));
    if (!again || *again != *v) fail("logical does not re-read identically", text);
  }
}

void check_text(std::string_view text) {
  const std::string_view value = value_text(text);
  for (char c : value)
    if (c == ' ' || c == '\t' || c == ',' || c == '/') fail("value text holds a separator", text);
  check_integer(parse_integer(text), text);
  check_real<double>(parse_double(text), text, parse_double);
  check_real<float>(parse_single(text), text, parse_single);
  check_logical(parse_logical(text), text);
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  // The program converts its arguments in this mode.
  ltide::enable_flush_to_zero();
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::string_view raw(reinterpret_cast<const char*>(data), size);
  check_text(raw);
  check_text(to_field(raw, FIELD_LENGTH));
  return 0;
}
