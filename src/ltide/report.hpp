#pragma once
// The report line printed for every spin parameter.
#include <cstdint>
#include <string>

namespace ltide::run {

// 14-character exponential form 0.ddddddE+ee, right-justified: six significant digits
// rounded from the exact binary value (exact decimal ties to even), mantissa in
// [0.1, 1), exponents beyond two digits as sign and three digits without the E.
// Zeros (of either sign) print as 0.000000E+00; "Infinity", "-Infinity" and "NaN"
// are right-justified.
std::string format_e14_6(double value);

// log10(|lambda| + 1), negative exactly when lambda < 0.
double signed_log_magnitude(double lambda);

struct report_items {
  double nu;
  double lambda_matr;
  double lambda_beta;
  int32_t i_mode;
  int32_t nh;
  int32_t flag_matr;
  int32_t flag_beta;
};

// The nine items without the newline: five reals in the exponential form each followed
// by a blank, then the four integers in minimal width separated by blanks.
std::string report_line(const report_items& items);

// Writes report_line(items) and a newline to standard output in one write.
void print_report_line(const report_items& items);

}  // namespace ltide::run
