#pragma once
// The run's parameters, all from the command line.
#include <cstdint>
#include <string>
#include <string_view>

namespace ltide::run {

inline constexpr std::string_view USAGE = "Syntax: ltide output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]";

// Characters of the output-prefix field.
inline constexpr std::size_t PREFIX_LENGTH = 256;

// The eigen-solver of the matrix solution. `ql`: the operator with J in single precision
// and the QL iteration, every result reproducible to the last bit. `fast`: the operator in
// double precision throughout, only the selected eigenpair (bisection and a twisted
// factorisation), O(n) per spin parameter and about 1e-13 relative in lambda.
enum class solver_kind { ql, fast };

struct run_parameters {
  std::string output_prefix;  // PREFIX_LENGTH characters, blank-padded
  int32_t m = 0;              // azimuthal order
  int32_t k = 0;              // mode index
  double A = 0.0;             // amplitude of the normalised fields
  double nu_min = 0.0;
  double nu_max = 0.0;
  int32_t n_nu = 0;  // spin parameters
  int32_t n_mu = 0;  // mu points
  int32_t n = 0;     // basis functions
  bool lflag = false;  // eigenvalues only: no fields, no files
  std::string table_file;  // --table: the full-precision table; empty: none
  solver_kind solver = solver_kind::ql;
  int32_t threads = 1;  // steps computed at a time, each thread with its own workspace
};

// Counts the arguments (the usage line stops a count other than 9 or 10) and fetches
// them in command-line order, so the first bad one is the one reported.
run_parameters fetch_parameters();

// Stops the run when |k| >= n, when fields are wanted with fewer than two mu points
// (the normalisation spline needs two), when the highest basis degree |m| + 2n
// does not fit in 32 bits, or when nu_min, nu_max or a spin parameter between them
// (whatever n_nu) is not finite.
void check_parameters(const run_parameters& p);

}  // namespace ltide::run
