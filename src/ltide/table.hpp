#pragma once
// The table: every step's values in full precision, a row as each step ends, in a run
// that asks for it (--table=FILE), in eigenvalues-only runs too; it is put in place with
// the array files at the end (output.hpp).
//
//   # ltide 0.1.0
//   # command line: ltide '--table=t.tab' out 2 0 1.0 1 5 5 101 60
//   # m = 2                     (one line for each of m k A nu_min nu_max n_nu n_mu n lflag)
//   # nu lambda_matr lambda_beta i_mode nh flag_matr flag_beta
//   1 11.12894996777596 12.68465843842649 1 1 0 0
//
// Reals are in the shortest form that reads back as the same double (C strtod,
// numpy.loadtxt and a Fortran list-directed READ all do); infinities are written inf
// and -inf, and every NaN as nan (sign and payload are not kept).
#include <cstdint>
#include <span>
#include <string>

#include <ltide/ltide/parameters.hpp>

namespace ltide::run {

// Appends the shortest round-trip text of `value`.
void append_real(std::string& text, double value);

// The '#' lines above the rows, each ending in a newline.
std::string table_header(const run_parameters& p, std::span<const std::string> command_line);

// One row without the newline.
struct table_row_items {
  double nu, lambda_matr, lambda_beta;
  int32_t i_mode, nh, flag_matr, flag_beta;
};
std::string table_row(const table_row_items& row);

}  // namespace ltide::run
