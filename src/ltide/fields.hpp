#pragma once
// The selected mode's displacement fields from its expansion coefficients. Every
// spherical harmonic and derivative combination of the basis is tabulated on the mu
// grid once per run; a spin parameter then costs only weighted sums of table columns.
//
// Two degree series of order m, n degrees each: the L series (radial displacement, B
// and Q) starts at |m| for even modes and |m| + 1 for odd ones, the N series (R) at the
// other of the two. With Y_l the harmonic at longitude 0 and J_l the coupling
// coefficient, the derivative combination
//   D_l = Y_(l+1) * (l * J_(l+1)) - Y_(l-1) * ((l + 1) * J_l)
// is sin(theta) dY_l/dtheta; the first degree |m| has no Y_(|m|-1) term.
#include <cstdint>

#include <ltide/common/view.hpp>

namespace ltide::run {

// Highest degree the tables evaluate (Y and J of degree |m| + 2n), in 64 bits.
int64_t highest_table_degree(int32_t m, int32_t n);

// The four n_mu x n tables; column i belongs to basis index i, row p to theta(p).
template <class T>
struct basis_tables {
  matrix_view<T> y_l, y_n, dy_l, dy_n;
};

// Fills the tables for order m (signed), n degrees and the parity `even` at the
// colatitudes theta (degrees). Every value equals, bit for bit, the one built from
// separate f_spherical_ylm_vec calls per degree (longitude 0) and f_spherical_jlm:
// per grid point one upward Legendre recurrence passes through the degrees whose
// normalisation is a normal double, and one scaled recurrence through the rest.
// Requires highest_table_degree(m, n) <= INT32_MAX.
void build_basis_tables(int32_t m, int32_t n, bool even, vector_view<const double> theta,
                        const basis_tables<double>& tables);

// Contiguous work vectors of n_mu values for the partial sums of the horizontal fields.
struct field_work {
  vector_view<double> t1, t2, t3, t4;
};

// The three fields of the mode with coefficients b, q, r (n values each, contiguous):
//   xi_r = sum_i B_i Y_(l_i)
//   xi_t = sum_i R_i Y_(n_i) * m + sum_i Q_i D_(l_i)
//   xi_p = sum_i Q_i Y_(l_i) * (-m) - sum_i R_i D_(n_i)
// each sum starting at 0 and adding i = 1 .. n in order at every grid point. The
// fields are contiguous vectors of n_mu values, none overlapping another or the work.
void matrix_fields(int32_t m, vector_view<const double> b, vector_view<const double> q, vector_view<const double> r,
                   const basis_tables<const double>& tables, const field_work& work,
                   vector_view<double> xi_r, vector_view<double> xi_t, vector_view<double> xi_p);

}  // namespace ltide::run
