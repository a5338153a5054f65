#include "ltide/arrays.hpp"

#include <new>
#include <stdexcept>

#include "common/fatal.hpp"
#include "common/kinds.hpp"

namespace ltide::run {

namespace {

[[noreturn]] void out_of_memory() { fatal("cannot allocate the arrays of the run", "ltide"); }

void require_size(std::initializer_list<index_t> extents) {
  if (!checked_bytes(extents, sizeof(double))) out_of_memory();
}

std::vector<double> vector_of(index_t size) { return std::vector<double>(static_cast<std::size_t>(extent(size))); }

}  // namespace

run_arrays allocate_run_arrays(const run_parameters& p) {
  const index_t n = p.n, n_mu = p.n_mu, n_nu = p.n_nu;
  require_size({n});
  require_size({n_nu});
  if (!p.lflag) {
    require_size({n, n});
    require_size({n_mu, n});
    require_size({n_mu, n_nu});
  }
  run_arrays a;
  try {
    a.LL = vector_of(n);
    a.nu = vector_of(n_nu);
    a.lambda_matr = vector_of(n_nu);
    a.lambda_beta = vector_of(n_nu);
    if (!p.lflag) {
      for (array2<double>* m : {&a.B, &a.Q, &a.R}) *m = array2<double>(n, n);
      for (array2<double>* t : {&a.y_l_im, &a.y_n_im, &a.dy_l_im, &a.dy_n_im}) *t = array2<double>(n_mu, n);
      a.mu = vector_of(n_mu);
      a.theta = vector_of(n_mu);
      for (std::vector<double>* v : {&a.sigma, &a.t1, &a.t2, &a.t3, &a.t4, &a.h_lower, &a.h_order, &a.h_upper})
        *v = vector_of(n_mu);
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
