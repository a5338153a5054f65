#pragma once
// The columns of Q and R formed from one eigenpair (a, b) of the Aleph matrix; shared by
// the QL eigen-solution and the single-mode solver (internal to the module).
#include <cstdint>
#include <vector>

#include <ltide/common/view.hpp>

namespace ltide::coriolis::detail {

// Column j of Q from column j of B: Q(i, j) = B(i, j) / (l_i a_j (l_i + 1)), rows `first` .. n.
void fill_Q_column(int64_t l0, index_t first, index_t n, double aj, vector_view<const double> b, vector_view<double> q);

// R over the other-parity degrees p_i. Each row combines the two neighbouring primary
// degrees p-1 and p+1 with weights J/p^2 and J/(p+1)^2 and the factor
// F(p) = nu / (1 - m nu / (p(p+1))), and is divided by the Aleph eigenvalue of its column.
// Per row: the weight of B(i, j), that of the neighbour B(i + step, j) (step +1 for the
// even series, -1 for the odd one) and F.
struct r_weights {
  bool even;
  std::vector<double> self, next, f;
};

// With full_j the weights take J in double precision (the operator of the single-mode
// solver), otherwise the single-precision J of the QL path.
r_weights weights_of_R(double nu, int32_t m, bool even, index_t n, bool full_j);

void fill_R_column(const r_weights& rw, double aj, vector_view<const double> b, vector_view<double> r);

}  // namespace ltide::coriolis::detail
