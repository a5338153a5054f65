#pragma once
// The table: every step's values in full precision, written at the end of a run that
// asks for it (--table=FILE), in eigenvalues-only runs too.
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

#include "ltide/arrays.hpp"
#include "ltide/parameters.hpp"

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

// Writes p.table_file whole or not at all: the header, then row j for every step j
// from a.nu, a.lambda_matr, a.lambda_beta and the kept nh and flags of each step.
void write_table(const run_parameters& p, std::span<const std::string> command_line, const run_arrays& a,
                 int32_t i_mode);

}  // namespace ltide::run
