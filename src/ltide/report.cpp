#include <ltide/ltide/report.hpp>

#include <bit>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ltide::run {

namespace {

constexpr std::size_t WIDTH = 14;

std::string right_justify(std::string text) {
  if (text.size() < WIDTH) text.insert(0, WIDTH - text.size(), ' ');
  return text;
}

void append_integer(std::string& line, int32_t value) {
  char buffer[16];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  line.append(buffer, result.ptr);
}

}  // namespace

std::string format_e14_6(double value) {
  // Sign, zero, infinity and NaN are read from the bits: under denormals-are-zero a
  // comparison would call a subnormal zero and drop its digits.
  const auto bits = std::bit_cast<uint64_t>(value);
  const bool negative = (bits >> 63) != 0;
  const uint64_t magnitude_bits = bits & ~(uint64_t{1} << 63);
  constexpr uint64_t exponent_mask = uint64_t{0x7FF} << 52;
  if ((magnitude_bits & exponent_mask) == exponent_mask) {
    if (magnitude_bits != exponent_mask) return right_justify("NaN");
    return right_justify(negative ? "-Infinity" : "Infinity");
  }
  if (magnitude_bits == 0) return right_justify("0.000000E+00");

  // d.ddddde+XX with six significant digits, rounded by the C library from the exact
  // binary value; shifting the point left by one gives 0.dddddd and exponent XX + 1
  // (so 0.9999996 comes out as 0.100000E+01).
  char buffer[32];
  std::snprintf(buffer, sizeof buffer, "%.5e", std::bit_cast<double>(magnitude_bits));
  const int exponent = std::atoi(buffer + 8) + 1;

  std::string text;
  if (negative) text.push_back('-');
  text.append("0.");
  text.push_back(buffer[0]);
  text.append(buffer + 2, 5);
  const int exponent_size = std::abs(exponent);
  if (exponent_size <= 99) text.push_back('E');
  text.push_back(exponent < 0 ? '-' : '+');
  char digits[8];
  std::snprintf(digits, sizeof digits, exponent_size <= 99 ? "%02d" : "%03d", exponent_size);
  text.append(digits);
  return right_justify(std::move(text));
}

double signed_log_magnitude(double lambda) {
  const double size = std::log10(std::fabs(lambda) + 1.0);
  return lambda < 0.0 ? -size : size;
}

namespace {

void append_report_line(std::string& line, const report_items& items) {
  for (double value : {items.nu, items.lambda_matr, items.lambda_beta, signed_log_magnitude(items.lambda_matr),
                       signed_log_magnitude(items.lambda_beta)}) {
    line.append(format_e14_6(value));  // 14 characters: held without a heap allocation
    line.push_back(' ');
  }
  append_integer(line, items.i_mode);
  line.push_back(' ');
  append_integer(line, items.nh);
  line.push_back(' ');
  append_integer(line, items.flag_matr);
  line.push_back(' ');
  append_integer(line, items.flag_beta);
}

}  // namespace

std::string report_line(const report_items& items) {
  std::string line;
  append_report_line(line, items);
  return line;
}

void print_report_line(const report_items& items) {
  // One buffer per thread for every line it writes: the loop over spin parameters
  // allocates nothing for its report.
  thread_local std::string line = [] {
    std::string s;
    s.reserve(160);
    return s;
  }();
  line.clear();
  append_report_line(line, items);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), stdout);
}

}  // namespace ltide::run
