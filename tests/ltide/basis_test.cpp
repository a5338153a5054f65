// Basis tables and matrix fields: the one-sweep tables against one harmonic call per
// degree, the order of the field sums, and the physics the fields must obey.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

#include "common/constants.hpp"
#include "coriolis/coriolis.hpp"
#include "functions/functions.hpp"
#include "ltide/basis.hpp"
#include "ltide/grid.hpp"
#include "ltide/mode.hpp"

namespace ltide::run {
namespace {

using functions::f_spherical_jlm;
using functions::f_spherical_ylm_vec;

struct tables {
  array2<double> y_l, y_n, dy_l, dy_n;
  tables(index_t n_mu, index_t n) : y_l(n_mu, n), y_n(n_mu, n), dy_l(n_mu, n), dy_n(n_mu, n) {}
  basis_tables<double> view() { return {y_l.view(), y_n.view(), dy_l.view(), dy_n.view()}; }
  basis_tables<const double> view() const { return {y_l.view(), y_n.view(), dy_l.view(), dy_n.view()}; }
};

std::vector<double> theta_grid(int32_t n_mu) {
  std::vector<double> mu(static_cast<std::size_t>(n_mu)), theta(mu.size());
  build_mu_grid(mu, theta);
  return theta;
}

// The tables built the plain way: one f_spherical_ylm_vec call (longitude 0) per degree
// wherever a harmonic is used, the first degree |m| in its one-term form.
tables straightforward_tables(int32_t m, int32_t n, bool even, const std::vector<double>& theta) {
  const auto n_mu = static_cast<index_t>(theta.size());
  const std::vector<double> phi(theta.size(), 0.0);
  const auto Y = [&](int32_t l) { return f_spherical_ylm_vec(l, m, theta, phi); };
  const auto D = [&](int32_t l, bool first) {
    const std::vector<double> above = Y(l + 1);
    std::vector<double> d(theta.size());
    if (first) {
      for (std::size_t p = 0; p < d.size(); ++p) d[p] = above[p] * (static_cast<double>(l) * f_spherical_jlm(l + 1, m));
      return d;
    }
    const std::vector<double> below = Y(l - 1);
    for (std::size_t p = 0; p < d.size(); ++p)
      d[p] = above[p] * (static_cast<double>(l) * f_spherical_jlm(l + 1, m)) -
             below[p] * (static_cast<double>(l + 1) * f_spherical_jlm(l, m));
    return d;
  };
  const auto put = [&](array2<double>& t, index_t i, const std::vector<double>& v) {
    std::copy(v.begin(), v.end(), t.col(i).data);
  };
  tables t(n_mu, n);
  const int32_t am = std::abs(m);
  int32_t l = even ? am : am + 1, nn = even ? am + 1 : am;
  for (index_t i = 1; i <= n; ++i, l += 2, nn += 2) {
    put(t.y_l, i, Y(l));
    put(t.y_n, i, Y(nn));
    put(t.dy_l, i, D(l, l == am));
    put(t.dy_n, i, D(nn, nn == am));
  }
  return t;
}

bool same_bits(const array2<double>& a, const array2<double>& b) {
  return a.rows() == b.rows() && a.cols() == b.cols() &&
         std::memcmp(a.data(), b.data(), static_cast<std::size_t>(a.rows() * a.cols()) * sizeof(double)) == 0;
}

TEST(BasisTables, OneSweepPerGridPointMatchesOneCallPerDegreeBitForBit) {
  struct shape {
    int32_t n, n_mu;
  };
  for (int32_t m : {0, 1, -1, 2, -3, 6, -7})
    for (bool even : {true, false})
      for (shape s : {shape{1, 2}, shape{2, 3}, shape{9, 40}, shape{60, 31}}) {
        const std::vector<double> theta = theta_grid(s.n_mu);
        tables fast(s.n_mu, s.n);
        build_basis_tables(m, s.n, even, theta, fast.view());
        const tables plain = straightforward_tables(m, s.n, even, theta);
        const auto where = ::testing::Message() << "m " << m << " even " << even << " n " << s.n << " n_mu " << s.n_mu;
        EXPECT_TRUE(same_bits(fast.y_l, plain.y_l)) << where;
        EXPECT_TRUE(same_bits(fast.y_n, plain.y_n)) << where;
        EXPECT_TRUE(same_bits(fast.dy_l, plain.dy_l)) << where;
        EXPECT_TRUE(same_bits(fast.dy_n, plain.dy_n)) << where;
      }
}

// Fields of one column, summed degree by degree exactly as written: each sum from 0
// over i = 1 .. n at every grid point.
struct fields {
  std::vector<double> r, t, p;
};

fields plain_fields(int32_t m, int32_t c, const array2<double>& B, const array2<double>& Q, const array2<double>& R,
                    const tables& tb) {
  const index_t n_mu = tb.y_l.rows(), n = B.rows();
  fields f{std::vector<double>(static_cast<std::size_t>(n_mu)), {}, {}};
  f.t = f.p = f.r;
  for (index_t p = 1; p <= n_mu; ++p) {
    double xr = 0.0, t1 = 0.0, t2 = 0.0, t3 = 0.0, t4 = 0.0;
    for (index_t i = 1; i <= n; ++i) {
      xr = xr + tb.y_l(p, i) * B(i, c);
      t1 = t1 + tb.dy_l(p, i) * Q(i, c);
      t2 = t2 + tb.y_n(p, i) * R(i, c);
      t3 = t3 + tb.y_l(p, i) * Q(i, c);
      t4 = t4 + tb.dy_n(p, i) * R(i, c);
    }
    const auto k = static_cast<std::size_t>(p - 1);
    f.r[k] = xr;
    f.t[k] = t2 * static_cast<double>(m) + t1;
    f.p[k] = t3 * static_cast<double>(-m) - t4;
  }
  return f;
}

fields fast_fields(int32_t m, int32_t c, const array2<double>& B, const array2<double>& Q, const array2<double>& R,
                   const tables& tb) {
  const auto n_mu = static_cast<std::size_t>(tb.y_l.rows());
  fields f{std::vector<double>(n_mu), std::vector<double>(n_mu), std::vector<double>(n_mu)};
  std::vector<double> t1(n_mu), t2(n_mu), t3(n_mu), t4(n_mu);
  matrix_fields(m, c, B.view(), Q.view(), R.view(), tb.view(), {t1, t2, t3, t4}, f.r, f.t, f.p);
  return f;
}

bool same_bits(const std::vector<double>& a, const std::vector<double>& b) {
  return a.size() == b.size() && std::memcmp(a.data(), b.data(), a.size() * sizeof(double)) == 0;
}

TEST(MatrixFields, AddTheDegreesInOrderAtEveryGridPoint) {
  std::mt19937_64 engine(7);
  std::uniform_real_distribution<double> coefficient(-1.0, 1.0);
  for (int32_t m : {3, -2, 0}) {
    const int32_t n = 13, n_mu = 21, c = 4;
    const std::vector<double> theta = theta_grid(n_mu);
    tables tb(n_mu, n);
    build_basis_tables(m, n, false, theta, tb.view());
    array2<double> B(n, n), Q(n, n), R(n, n);
    for (array2<double>* a : {&B, &Q, &R})
      for (double& v : a->storage()) v = coefficient(engine);
    // For m = 0 and R = 0, xi_p = t3 * (-m) - 0 has the sign of t3 only when (-m) is +0
    // (the integer negated, then converted); -0.0 would flip every sign.
    if (m == 0) R.fill(0.0);
    const fields fast = fast_fields(m, c, B, Q, R, tb), plain = plain_fields(m, c, B, Q, R, tb);
    EXPECT_TRUE(same_bits(fast.r, plain.r)) << m;
    EXPECT_TRUE(same_bits(fast.t, plain.t)) << m;
    EXPECT_TRUE(same_bits(fast.p, plain.p)) << m;
  }
}

// ---------------------------------------------------------------------------------
// Physics. With Y_l = Y_l^m(theta, 0) and the dependence exp(i m phi), the coefficients
// describe the displacement
//   xi_r = sum B_l Y_l,   xi_h = sum Q_l grad_h Y_l + i sum R_n e_r x grad_h Y_n,
// and the fields of the tables carry a factor sin(theta): xi_t = sin(theta) xi_theta and
// xi_p = i sin(theta) xi_phi (D_l = sin(theta) dY_l/dtheta, e_r x (a, b) = (-b, a)).
//
// Horizontal divergence. div_h xi_h = sum Q_l lap_h Y_l = -sum l(l+1) Q_l Y_l, and the
// eigen-solution sets Q_l = B_l / (l(l+1) a) with lambda = 1/a, so div_h xi_h = -lambda
// xi_r. In the fields, with d/dtheta = -sin(theta) d/dmu,
//   div_h xi_h = (1/sin) d(sin xi_theta)/dtheta + (i m / sin) xi_phi
//              = -d(xi_t)/dmu + m xi_p / (1 - mu^2),
// so  -d(xi_t)/dmu + m xi_p / (1 - mu^2) = -lambda xi_r.  At nu = 0 (B the identity,
// Q = B, R = 0) this is Legendre's equation -d/dmu((1 - mu^2) dY/dmu) + m^2 Y / (1 - mu^2)
// = l(l+1) Y of the single harmonic, which fixes every sign above.
//
// Radial vorticity. The momentum equations, divided by the squared frequency, read
// xi_h - i nu cos(theta) e_r x xi_h = grad_h(psi); the radial curl of a gradient is 0 and
// curl_r(e_r x A) = div_h A, so curl_r xi_h = i nu div_h(cos(theta) xi_h)
// = i nu (mu div_h xi_h - sin(theta) xi_theta). With curl_r xi_h
// = (1/sin)(d(sin xi_phi)/dtheta - i m xi_theta) = -i(-d(xi_p)/dmu + m xi_t / (1 - mu^2)):
//   -d(xi_p)/dmu + m xi_t / (1 - mu^2) = nu (lambda mu xi_r + xi_t).
// Projected on Y_p this is p(p+1) R_p = nu (lambda (J_p B_(p-1)(p+1)/p
// + J_(p+1) B_(p+1) p/(p+1)) + m R_p), the rule by which R follows from B and nu; the
// truncated series balances every degree but the one above the last L degree, whose
// residue is of the size of the last coefficient.
struct mode_case {
  int32_t m, k;
  double nu;
};

struct solved_mode {
  std::vector<double> mu;  // the cosine the harmonics were evaluated at
  fields f;
  double lambda;
  std::vector<double> y_mode;  // column i_mode of y_l
};

// On the exactly uniform grid mu = -1 + 2(p - 1)/(n_mu - 1) when n_mu - 1 is a power of 2
// (the run's single-precision grid is uneven by 1e-7 / step, too much for the
// differences below).
solved_mode solve_mode(const mode_case& mc, int32_t n, int32_t n_mu) {
  std::vector<double> theta(static_cast<std::size_t>(n_mu));
  for (int32_t p = 0; p < n_mu; ++p) theta[static_cast<std::size_t>(p)] =
      (std::acos(-1.0 + 2.0 * p / (n_mu - 1)) * 180.0) / PI;
  const mode_choice mode = select_mode(mc.k, n);
  tables tb(n_mu, n);
  build_basis_tables(mc.m, n, mode.even, theta, tb.view());
  std::vector<double> LL(static_cast<std::size_t>(n));
  array2<double> B(n, n), Q(n, n), R(n, n);
  coriolis::w_eigen(mc.nu, mc.m, mode.even, n, LL, B.view(), Q.view(), R.view(), true);
  solved_mode s{{}, fast_fields(mc.m, mode.i_mode, B, Q, R, tb), LL[static_cast<std::size_t>(mode.i_mode - 1)], {}};
  for (double t : theta) s.mu.push_back(std::cos((t * PI) / 180.0));
  const double* y = tb.y_l.col(mode.i_mode).data;
  s.y_mode.assign(y, y + n_mu);
  return s;
}

double largest(const std::vector<double>& v) {
  double a = 0.0;
  for (double x : v) a = std::max(a, std::fabs(x));
  return a;
}

// d/dmu at grid point p by fourth-order central differences on the uniform grid.
double slope(const std::vector<double>& f, std::size_t p, double h) {
  return ((f[p - 2] - f[p + 2]) + 8.0 * (f[p + 1] - f[p - 1])) / (12.0 * h);
}

// Largest |residual(p)| over |mu| < 0.9, relative to `scale`. The coupling coefficients
// are single precision, so the identities hold to about 1e-7; the differences add
// about 1e-6 for the most oscillatory case (lambda near 4000).
template <class Residual>
double worst_residual(const solved_mode& s, double scale, Residual residual) {
  double worst = 0.0;
  for (std::size_t p = 2; p + 2 < s.mu.size(); ++p)
    if (std::fabs(s.mu[p]) < 0.9) worst = std::max(worst, std::fabs(residual(p)) / scale);
  return worst;
}

constexpr int32_t FINE_N_MU = 2049;
constexpr double FINE_H = 2.0 / (FINE_N_MU - 1);

const mode_case PHYSICS_CASES[] = {{2, 0, 3.0}, {1, 1, -4.0}, {0, 2, 5.0}, {-3, 1, 2.5}, {2, -2, 4.0},
                                   {1, 0, 0.0}, {-2, 3, 0.0}, {0, 1, -1.5}, {4, 2, 9.0}};

TEST(MatrixFields, HorizontalDivergenceIsMinusLambdaTimesRadialField) {
  for (const mode_case& mc : PHYSICS_CASES) {
    const solved_mode s = solve_mode(mc, 40, FINE_N_MU);
    const auto& [xr, xt, xp] = s.f;
    const double m = mc.m;
    const double scale = std::fabs(s.lambda) * largest(xr);
    const double worst = worst_residual(s, scale, [&](std::size_t p) {
      const double mu = s.mu[p];
      return -slope(xt, p, FINE_H) + m * xp[p] / (1.0 - mu * mu) + s.lambda * xr[p];
    });
    EXPECT_LT(worst, 5e-6) << "m " << mc.m << " k " << mc.k << " nu " << mc.nu << " lambda " << s.lambda;
    if (mc.nu == 0.0) {
      // A single harmonic: xi_r is +-Y of the mode's degree.
      const double sign = xr[xr.size() / 3] / s.y_mode[xr.size() / 3] > 0.0 ? 1.0 : -1.0;
      for (std::size_t p = 0; p < xr.size(); ++p) EXPECT_NEAR(xr[p], sign * s.y_mode[p], 1e-12);
    }
  }
}

TEST(MatrixFields, RadialVorticityBalancesTheCoriolisTerm) {
  for (const mode_case& mc : PHYSICS_CASES) {
    const solved_mode s = solve_mode(mc, 40, FINE_N_MU);
    const auto& [xr, xt, xp] = s.f;
    const double m = mc.m;
    double scale = 0.0;
    for (std::size_t p = 0; p < xr.size(); ++p)
      scale = std::max(scale, std::fabs(mc.nu * (s.lambda * s.mu[p] * xr[p] + xt[p])) + std::fabs(m * xt[p]));
    const double worst = worst_residual(s, scale, [&](std::size_t p) {
      const double mu = s.mu[p];
      return -slope(xp, p, FINE_H) + m * xt[p] / (1.0 - mu * mu) - mc.nu * (s.lambda * mu * xr[p] + xt[p]);
    });
    EXPECT_LT(worst, 5e-6) << "m " << mc.m << " k " << mc.k << " nu " << mc.nu << " lambda " << s.lambda;
  }
}

TEST(MatrixFields, VanishAtThePolesForNonzeroOrder) {
  for (const mode_case& mc : {mode_case{1, 0, 2.5}, mode_case{-2, 1, -3.5}, mode_case{3, -1, 6.0}}) {
    const solved_mode s = solve_mode(mc, 12, 17);
    for (const auto* v : {&s.f.r, &s.f.t, &s.f.p}) {
      EXPECT_EQ(v->front(), 0.0) << mc.m;
      EXPECT_EQ(v->back(), 0.0) << mc.m;
    }
  }
}

}  // namespace
}  // namespace ltide::run
