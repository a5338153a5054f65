// The two solutions of a spin parameter: basis tables and matrix fields bit for bit, the
// physics the fields obey, and the asymptotic eigenvalue that the matrix one approaches.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

#include "common/constants.hpp"
#include "coriolis/coriolis.hpp"
#include "functions/functions.hpp"
#include "ltide/asymptotic.hpp"
#include "ltide/basis.hpp"
#include "ltide/grid.hpp"
#include "ltide/mode.hpp"

namespace ltide::run {
namespace {

using tables = std::vector<array2<double>>;  // y_l, y_n, dy_l, dy_n

tables build(int32_t m, int32_t n, bool even, const std::vector<double>& theta) {
  tables t(4, array2<double>(static_cast<index_t>(theta.size()), n));
  build_basis_tables(m, n, even, theta, {t[0].view(), t[1].view(), t[2].view(), t[3].view()});
  return t;
}

bool same_bits(vector_view<const double> a, const std::vector<double>& b) {
  return a.size == static_cast<index_t>(b.size()) && std::memcmp(a.data, b.data(), b.size() * sizeof(double)) == 0;
}

// Y_l at longitude 0 and D_l = Y_(l+1) (l J_(l+1)) - Y_(l-1) ((l + 1) J_l), one call per
// harmonic, without the second term at the first degree |m|.
std::vector<double> Y(int32_t l, int32_t m, const std::vector<double>& theta) {
  return functions::f_spherical_ylm_vec(l, m, theta, std::vector<double>(theta.size(), 0.0));
}
std::vector<double> D(int32_t l, int32_t m, const std::vector<double>& theta) {
  std::vector<double> d = Y(l + 1, m, theta);
  for (double& e : d) e = e * (static_cast<double>(l) * functions::f_spherical_jlm(l + 1, m));
  if (l == std::abs(m)) return d;
  const std::vector<double> below = Y(l - 1, m, theta);
  for (std::size_t p = 0; p < d.size(); ++p)
    d[p] = d[p] - below[p] * (static_cast<double>(l + 1) * functions::f_spherical_jlm(l, m));
  return d;
}

struct fields { std::vector<double> r, t, p; };

fields matrix_fields_of(int32_t m, int32_t c, const array2<double>& B, const array2<double>& Q,
                        const array2<double>& R, const tables& tb) {
  const auto n_mu = static_cast<std::size_t>(tb[0].rows());
  fields f{std::vector<double>(n_mu), std::vector<double>(n_mu), std::vector<double>(n_mu)};
  std::vector<double> t1(n_mu), t2(n_mu), t3(n_mu), t4(n_mu);
  matrix_fields(m, c, B.view(), Q.view(), R.view(), {tb[0].view(), tb[1].view(), tb[2].view(), tb[3].view()},
                {t1, t2, t3, t4}, f.r, f.t, f.p);
  return f;
}

// The tables against one harmonic call per degree, and the fields of random coefficients
// against the plain sums, each from 0 over the degrees in order at every grid point.
TEST(BasisTablesAndMatrixFields, EqualThePlainComputationBitForBit) {
  std::mt19937_64 engine(7);
  std::uniform_real_distribution<double> coefficient(-1.0, 1.0);
  for (int32_t m : {0, 1, -1, 2, -3, 6})
    for (bool even : {true, false})
      for (auto [n, n_mu] : {std::pair{1, 2}, std::pair{2, 3}, std::pair{9, 40}, std::pair{40, 31}}) {
        std::vector<double> mu(n_mu), theta(n_mu);
        build_mu_grid(mu, theta);
        const tables tb = build(m, n, even, theta);
        const auto where = ::testing::Message() << "m " << m << " even " << even << " n " << n << " n_mu " << n_mu;
        for (int32_t i = 1; i <= n; ++i) {
          const int32_t l = std::abs(m) + (even ? 0 : 1) + 2 * (i - 1), nn = std::abs(m) + (even ? 1 : 0) + 2 * (i - 1);
          EXPECT_TRUE(same_bits(tb[0].col(i), Y(l, m, theta)) && same_bits(tb[1].col(i), Y(nn, m, theta)) &&
                      same_bits(tb[2].col(i), D(l, m, theta)) && same_bits(tb[3].col(i), D(nn, m, theta)))
              << where << " column " << i;
        }
        array2<double> B(n, n), Q(n, n), R(n, n);
        for (array2<double>* a : {&B, &Q, &R})
          for (double& v : a->storage()) v = coefficient(engine);
        // With R = 0, xi_p = t3 * (-m) keeps the sign of t3 only if -m is +0 for m = 0.
        if (m == 0) R.fill(0.0);
        const int32_t c = (n + 1) / 2;
        const fields f = matrix_fields_of(m, c, B, Q, R, tb);
        fields plain = f;
        for (index_t p = 1; p <= n_mu; ++p) {
          double xr = 0.0, t1 = 0.0, t2 = 0.0, t3 = 0.0, t4 = 0.0;
          for (index_t i = 1; i <= n; ++i) {
            xr = xr + tb[0](p, i) * B(i, c);
            t1 = t1 + tb[2](p, i) * Q(i, c);
            t2 = t2 + tb[1](p, i) * R(i, c);
            t3 = t3 + tb[0](p, i) * Q(i, c);
            t4 = t4 + tb[3](p, i) * R(i, c);
          }
          plain.r[p - 1] = xr;
          plain.t[p - 1] = t2 * static_cast<double>(m) + t1;
          plain.p[p - 1] = t3 * static_cast<double>(-m) - t4;
        }
        EXPECT_TRUE(same_bits(f.r, plain.r) && same_bits(f.t, plain.t) && same_bits(f.p, plain.p)) << where;
      }
}

// With exp(i m phi), xi_r = sum B_l Y_l and xi_h = sum Q_l grad_h Y_l + i sum R_n e_r x grad_h Y_n;
// the fields are xi_t = sin xi_theta and xi_p = i sin xi_phi (D_l = sin dY_l/dtheta = -sin^2 dY_l/dmu).
// Divergence: div_h xi_h = -sum l(l+1) Q_l Y_l = -lambda xi_r (Q_l = B_l / (l(l+1) a),
// lambda = 1/a), and div_h xi_h = -d(xi_t)/dmu + m xi_p / (1 - mu^2); at nu = 0 this is
// Legendre's equation, which fixes the signs. Vorticity: the momentum equations over the
// squared frequency read xi_h - i nu mu e_r x xi_h = grad_h psi; with curl_r grad = 0 and
// curl_r(e_r x A) = div_h A their radial curl is -d(xi_p)/dmu + m xi_t / (1 - mu^2)
// = nu (mu lambda xi_r + xi_t).
TEST(MatrixFields, ObeyTheDivergenceAndVorticityBalances) {
  // An exactly uniform mu (n_mu - 1 a power of 2) for fourth-order differences.
  const int32_t n = 40, n_mu = 2049;
  const double h = 2.0 / (n_mu - 1);
  std::vector<double> mu(n_mu), theta(n_mu);
  for (int32_t p = 0; p < n_mu; ++p) {
    mu[p] = -1.0 + p * h;
    theta[p] = (std::acos(mu[p]) * 180.0) / PI;
  }
  const auto slope = [h](const std::vector<double>& f, std::size_t p) {
    return ((f[p - 2] - f[p + 2]) + 8.0 * (f[p + 1] - f[p - 1])) / (12.0 * h);
  };
  const struct { int32_t m, k; double nu; } cases[] = {{2, 0, 3.0},  {1, 1, -4.0}, {0, 2, 5.0},
                                                      {-3, 1, 2.5}, {2, -2, 4.0}, {1, 0, 0.0},
                                                      {-2, 3, 0.0}, {0, 1, -1.5}, {4, 2, 9.0}};
  for (const auto& mc : cases) {
    const mode_choice mode = select_mode(mc.k, n);
    std::vector<double> LL(n);
    array2<double> B(n, n), Q(n, n), R(n, n);
    coriolis::w_eigen(mc.nu, mc.m, mode.even, n, LL, B.view(), Q.view(), R.view(), true);
    const double lambda = LL[mode.i_mode - 1], m = mc.m;
    const fields f = matrix_fields_of(mc.m, mode.i_mode, B, Q, R, build(mc.m, n, mode.even, theta));
    // Residuals over |mu| < 0.9 against the size of their terms: the single-precision
    // coupling coefficients allow about 1e-7, the differences about 1e-6.
    double div_scale = 0.0, vort_scale = 0.0, div = 0.0, vort = 0.0;
    for (std::size_t p = 0; p < mu.size(); ++p) {
      div_scale = std::max(div_scale, std::fabs(lambda * f.r[p]));
      vort_scale = std::max(vort_scale, std::fabs(mc.nu * (lambda * mu[p] * f.r[p] + f.t[p])) + std::fabs(m * f.t[p]));
      if (p < 2 || p + 2 >= mu.size() || std::fabs(mu[p]) >= 0.9) continue;
      const double w = 1.0 - mu[p] * mu[p];
      div = std::max(div, std::fabs(-slope(f.t, p) + m * f.p[p] / w + lambda * f.r[p]));
      vort = std::max(vort, std::fabs(-slope(f.p, p) + m * f.t[p] / w - mc.nu * (lambda * mu[p] * f.r[p] + f.t[p])));
    }
    EXPECT_LT(div / div_scale, 5e-6) << "m " << mc.m << " k " << mc.k << " nu " << mc.nu;
    EXPECT_LT(vort / vort_scale, 5e-6) << "m " << mc.m << " k " << mc.k << " nu " << mc.nu;
  }
}

TEST(AsymptoticSolution, GaussianBranchConstantIsSinglePrecision) {
  // 2 m^3 = 2006006002 for m = 1001 rounds in single precision (to 2006006016).
  const auto c3 = static_cast<double>((1002001.0F * 2.0F) * 1001.0F);
  const double lambda = asymptotic_solution(1001, 0, -1.0, false, {}, {}, {}, {}, {}).lambda;
  EXPECT_EQ(lambda, (c3 * -1.0) / (2002.0 * -1.0 + 1.0));
}

// Modes trapped near the equator, the more so the larger |nu|. Measured relative
// differences: 2e-3 .. 2e-5 (prograde, nu = 10 .. 100), 8e-4 .. 1e-6 (Gaussian branch),
// 2e-2 .. 7e-4 (k = -2, nu = 30 .. 1000); 3/|nu| is loose for all. n = 800 resolves them.
TEST(AsymptoticSolution, MatrixEigenvalueApproachesItForLargeSpin) {
  const struct { int32_t m, k; std::vector<double> nus; } trends[] = {
      {1, 0, {10.0, 30.0, 100.0}},  {2, 1, {12.0, 30.0, 100.0}},   {1, 0, {-10.0, -30.0, -100.0, -300.0}},
      {2, 0, {-10.0, -30.0, -100.0, -300.0}}, {1, 1, {-10.0, -30.0, -100.0}}, {2, -2, {30.0, 100.0, 300.0, 1000.0}},
  };
  const int32_t n = 800;
  std::vector<double> LL(n);
  for (const auto& t : trends) {
    const mode_choice mode = select_mode(t.k, n);
    for (double nu : t.nus) {
      coriolis::w_eigen(nu, t.m, mode.even, n, LL, std::nullopt, std::nullopt, std::nullopt, true);
      const asymptotic_result a = asymptotic_solution(t.m, t.k, nu, false, {}, {}, {}, {}, {});
      ASSERT_EQ(a.flags, 0);
      const double relative = std::fabs(LL[mode.i_mode - 1] - a.lambda) / std::fabs(a.lambda);
      EXPECT_LT(relative, 3.0 / std::fabs(nu)) << "m " << t.m << " k " << t.k << " nu " << nu;
    }
  }
}

}  // namespace
}  // namespace ltide::run
