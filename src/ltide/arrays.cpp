#include "ltide/arrays.hpp"

#include <sys/resource.h>
#include <sys/sysinfo.h>

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

#include "common/fatal.hpp"
#include "common/kinds.hpp"

namespace ltide::run {

namespace {

[[noreturn]] void out_of_memory() { fatal("cannot allocate the arrays of the run", "ltide"); }

std::vector<double> vector_of(index_t size) { return std::vector<double>(static_cast<std::size_t>(extent(size))); }

// Vectors of n values that one spin parameter and the basis tables need at most at a
// time besides the run's own arrays (the operator's rows, the eigensolver's work, the
// ordering, the tables' per-degree values).
constexpr std::size_t TEMPORARY_VECTORS_OF_N = 20;

}  // namespace

std::optional<std::size_t> run_memory_bytes(const run_parameters& p) {
  const index_t n = extent(p.n), n_mu = extent(p.n_mu), n_nu = extent(p.n_nu);
  constexpr std::size_t limit = std::numeric_limits<std::size_t>::max();
  std::size_t total = 0;
  bool fits = true;
  // `count` arrays of the given extents.
  auto add = [&](std::initializer_list<index_t> extents, std::size_t count, std::size_t element = sizeof(double)) {
    const std::optional<std::size_t> one = checked_bytes(extents, element);
    if (!one || (*one != 0 && count > limit / *one) || *one * count > limit - total) {
      fits = false;
      return;
    }
    total += *one * count;
  };
  add({n}, 1 + TEMPORARY_VECTORS_OF_N);  // LL and the temporaries
  if (p.solver == solver_kind::fast) add({n}, 12);  // the single-mode solver's workspace
  add({n_nu}, 3);                        // nu, lambda_matr, lambda_beta
  if (!p.table_file.empty()) add({n_nu}, 3, sizeof(int32_t));  // nh and the flags of the table
  if (!p.lflag) {
    add({n}, 3);            // the mode's column of B, Q, R
    // The rotations kept by the eigen-solutions prepared together (about n^2 each, 16 bytes
    // apiece); the single-mode solver works in O(n).
    if (p.solver == solver_kind::ql)
      add({n, n}, 2 * static_cast<std::size_t>(solves_ahead(static_cast<int32_t>(n))));
    add({n_mu, n}, 4);      // basis tables
    add({n_mu}, 11);        // mu, theta and the work vectors
    add({n_mu, n_nu}, 6);   // the fields
  }
  if (!fits) return std::nullopt;
  return total;
}

std::size_t memory_limit_bytes() {
  std::uint64_t limit = std::numeric_limits<std::uint64_t>::max();
  struct sysinfo info {};
  if (::sysinfo(&info) == 0) {
    const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    limit = (static_cast<std::uint64_t>(info.totalram) + static_cast<std::uint64_t>(info.totalswap)) * unit;
  }
  rlimit address_space{};
  if (::getrlimit(RLIMIT_AS, &address_space) == 0 && address_space.rlim_cur != RLIM_INFINITY)
    limit = std::min<std::uint64_t>(limit, address_space.rlim_cur);
  return static_cast<std::size_t>(std::min<std::uint64_t>(limit, std::numeric_limits<std::size_t>::max()));
}

run_arrays allocate_run_arrays(const run_parameters& p) {
  const index_t n = p.n, n_mu = p.n_mu, n_nu = p.n_nu;
  // Zero-filling touches every page, so a run larger than the machine's memory would
  // be killed part way by the system rather than refused here: refuse it up front.
  const std::optional<std::size_t> need = run_memory_bytes(p);
  if (!need || *need > memory_limit_bytes()) out_of_memory();
  run_arrays a;
  try {
    a.nu = vector_of(n_nu);
    a.lambda_matr = vector_of(n_nu);
    a.lambda_beta = vector_of(n_nu);
    if (!p.table_file.empty())
      for (std::vector<int32_t>* v : {&a.nh, &a.flag_matr, &a.flag_beta}) v->resize(static_cast<std::size_t>(extent(n_nu)));
    if (!p.lflag) {
      for (array2<double>* t : {&a.y_l_im, &a.y_n_im, &a.dy_l_im, &a.dy_n_im}) *t = array2<double>(n_mu, n);
      a.mu = vector_of(n_mu);
      a.theta = vector_of(n_mu);
      for (array2<double>* f : {&a.xi_r_matr, &a.xi_t_matr, &a.xi_p_matr, &a.xi_r_beta, &a.xi_t_beta, &a.xi_p_beta})
        *f = array2<double>(n_mu, n_nu);
    }
  } catch (const std::bad_alloc&) {
    out_of_memory();
  } catch (const std::length_error&) {
    out_of_memory();
  }
  return a;
}

}  // namespace ltide::run
