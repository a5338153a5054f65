#include <ltide/ltide/fields.hpp>

#include <algorithm>
#include <cmath>
#include <optional>
#include <span>
#include <vector>

#include <ltide/common/constants.hpp>
#include <ltide/common/target.hpp>
#include <ltide/coriolis/degrees.hpp>
#include <ltide/functions/functions.hpp>

namespace ltide::run {

int64_t highest_table_degree(int32_t m, int32_t n) { return coriolis::abs_m(m) + 2 * int64_t{n}; }

void build_basis_tables(int32_t m, int32_t n, bool even, vector_view<const double> theta,
                        const basis_tables<double>& tables) {
  using namespace ltide::functions;
  if (n <= 0) return;
  const int64_t am = coriolis::abs_m(m);
  // Degrees am + d for d = 0 .. 2n: the L and N series interleave, and D of the top
  // degree of either needs one more.
  const auto top = static_cast<std::size_t>(2 * int64_t{n});
  const auto degree = [&](std::size_t d) { return static_cast<int32_t>(am + static_cast<int64_t>(d)); };

  // Per degree: the normalisation, l * J_(l+1) and (l + 1) * J_l, each formed exactly as
  // the combination D_l writes it (integer factor converted, then one product).
  // Degrees below `direct` take the product of the normalisation and the unnormalised
  // Legendre function, as the harmonic writes it; from the first degree whose
  // normalisation leaves the normal range on (none below |m| = 86), the scaled recurrence.
  std::vector<double> norm(top + 1), up(top + 1, 0.0), down(top + 1, 0.0);
  std::size_t direct = 0;
  for (; direct <= top; ++direct) {
    const std::optional<double> nd = f_spherical_ylm_norm_direct(degree(direct), m);
    if (!nd) break;
    norm[direct] = *nd;
  }
  for (std::size_t d = 0; d < top; ++d) {
    const auto l = static_cast<double>(am + static_cast<int64_t>(d));
    up[d] = l * f_spherical_jlm(degree(d + 1), m);
    if (d > 0) down[d] = static_cast<double>(am + static_cast<int64_t>(d) + 1) * f_spherical_jlm(degree(d), m);
  }
  // The longitude factor at phi = 0: cos(+-0) = 1, formed as the harmonic forms it.
  const double c = std::cos(((0.0 * static_cast<double>(m)) * PI) / 180.0);

  const std::size_t l_first = even ? 0 : 1, n_first = even ? 1 : 0;
  std::vector<double> P(top + 1), S(top + 1), Y(top + 1);
  // The first degree |m| has no Y_(|m|-1) term.
  const auto D = [&](std::size_t d) { return d == 0 ? Y[1] * up[0] : Y[d + 1] * up[d] - Y[d - 1] * down[d]; };
  for (index_t p = 1; p <= theta.size; ++p) {
    // The harmonics take the cosine of the angle in degrees again; it does not give back
    // the mu grid exactly (6.1e-17 at the equator), and the tables must follow it.
    const double mu = std::cos((theta(p) * PI) / 180.0);
    if (direct > 0) f_legendre_plm_upto(degree(direct - 1), static_cast<int32_t>(am), mu, std::span<double>(P));
    if (direct <= top) f_spherical_ylm_scaled_upto(degree(top), m, mu, std::span<double>(S));
    for (std::size_t d = 0; d <= top; ++d) Y[d] = (d < direct ? P[d] * norm[d] : S[d]) * c;
    for (index_t i = 1; i <= n; ++i) {
      const std::size_t dl = l_first + 2 * static_cast<std::size_t>(i - 1);
      const std::size_t dn = n_first + 2 * static_cast<std::size_t>(i - 1);
      tables.y_l(p, i) = Y[dl];
      tables.y_n(p, i) = Y[dn];
      tables.dy_l(p, i) = D(dl);
      tables.dy_n(p, i) = D(dn);
    }
  }
}

namespace {

// Grid points per pass over the degrees: the five partial sums of a block stay in the
// first-level cache while the table columns stream past.
constexpr index_t FIELD_BLOCK = 512;

// The sums for grid points p0 .. p1-1. Vectorised across grid points, each point still
// adds its terms in degree order with the same products and sums; the clones for wider
// vector units make no other difference (no fused multiply-add: the build contracts
// nothing).
LTIDE_X86_CLONES("avx512f", "avx2", "default") void field_sums(
    index_t n, index_t p0, index_t p1, const double* b, const double* q, const double* r,
    const basis_tables<const double>& tables, double* __restrict xr, double* __restrict t1, double* __restrict t2,
    double* __restrict t3, double* __restrict t4) {
  for (index_t p = p0; p < p1; ++p) xr[p] = t1[p] = t2[p] = t3[p] = t4[p] = 0.0;
  for (index_t i = 1; i <= n; ++i) {
    const double bi = b[i - 1], qi = q[i - 1], ri = r[i - 1];
    const double* __restrict yl = tables.y_l.col(i).data;
    const double* __restrict yn = tables.y_n.col(i).data;
    const double* __restrict dyl = tables.dy_l.col(i).data;
    const double* __restrict dyn = tables.dy_n.col(i).data;
    for (index_t p = p0; p < p1; ++p) {
      xr[p] = xr[p] + yl[p] * bi;
      t1[p] = t1[p] + dyl[p] * qi;
      t2[p] = t2[p] + yn[p] * ri;
      t3[p] = t3[p] + yl[p] * qi;
      t4[p] = t4[p] + dyn[p] * ri;
    }
  }
}

}  // namespace

// xi_h = grad_h(sum Q_i Y_{l_i}) + i e_r x grad_h(sum R_i Y_{n_i}), written as xi_t = sin(theta)
// xi_theta and xi_p = i sin(theta) xi_phi so that both are real and finite at the poles.
void matrix_fields(int32_t m, vector_view<const double> b, vector_view<const double> q, vector_view<const double> r,
                   const basis_tables<const double>& tables, const field_work& work,
                   vector_view<double> xi_r, vector_view<double> xi_t, vector_view<double> xi_p) {
  const index_t n_mu = xi_r.size;
  const index_t n = b.size;
  // Every sum starts at +0 (so an all-zero column gives +0, not a signed zero) and adds
  // the degrees in order at each grid point.
  for (index_t p0 = 0; p0 < n_mu; p0 += FIELD_BLOCK)
    field_sums(n, p0, std::min(n_mu, p0 + FIELD_BLOCK), b.data, q.data, r.data, tables,
               xi_r.data, work.t1.data, work.t2.data, work.t3.data, work.t4.data);
  // (-m) is negated as an integer: m = 0 gives the factor +0, not -0.
  const auto dm = static_cast<double>(m);
  const auto minus_m = static_cast<double>(-int64_t{m});
  const double* __restrict t1 = work.t1.data;
  const double* __restrict t2 = work.t2.data;
  const double* __restrict t3 = work.t3.data;
  const double* __restrict t4 = work.t4.data;
  double* __restrict xt = xi_t.data;
  double* __restrict xp = xi_p.data;
  for (index_t p = 0; p < n_mu; ++p) {
    xt[p] = t2[p] * dm + t1[p];
    xp[p] = t3[p] * minus_m - t4[p];
  }
}

}  // namespace ltide::run
