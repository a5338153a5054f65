// The parts of a run, each on its own: the mode it follows, the grids, the spin parameters
// singular for its basis; the two solutions of a spin parameter (basis tables and matrix fields
// bit for bit, the physics the fields obey, the asymptotic eigenvalue that the matrix one
// approaches); the report line, against a Fortran compiler's E14.6 output.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <bit>
#include <cinttypes>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <random>

#include <ltide/common/constants.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/functions/functions.hpp>
#include <ltide/ltide/asymptotic.hpp>
#include <ltide/ltide/fields.hpp>
#include <ltide/ltide/grid.hpp>
#include <ltide/ltide/report.hpp>
#include <ltide/ltide/run.hpp>

namespace ltide::run {
namespace {

TEST(Grids, StepThroughSinglePrecisionFractions) {
  std::vector<double> mu(3), theta(3);
  build_mu_grid(mu, theta);
  EXPECT_EQ(mu, (std::vector<double>{-1.0, 0.0, 1.0}));
  // Degrees from the single-precision pi: the equator is not at 90.
  EXPECT_EQ(theta, (std::vector<double>{179.99999499104382, 89.99999749552191, 0.0}));
  EXPECT_EQ(spin_parameter(2, 4, 0.0, 3.0), static_cast<double>(1.0F / 3.0F) * 3.0);
}

using tables = std::vector<array2<double>>;  // y_l, y_n, dy_l, dy_n

tables build(int32_t m, int32_t n, bool even, const std::vector<double>& theta) {
  tables t(4, array2<double>(static_cast<index_t>(theta.size()), n));
  build_basis_tables(m, n, even, theta, {t[0].view(), t[1].view(), t[2].view(), t[3].view()});
  return t;
}

bool same_bits(vector_view<const double> a, const std::vector<double>& b) {
  return a.size == static_cast<index_t>(b.size()) && std::memcmp(a.data, b.data(), b.size() * sizeof(double)) == 0;
}

// Y_l at longitude 0 and D_l = Y_(l+1) (l J_(l+1)) - Y_(l-1) ((l + 1) J_l), without the second term at l = |m|.
std::vector<double> Y(int32_t l, int32_t m, const std::vector<double>& theta) {
  return functions::f_spherical_ylm_vec(l, m, theta, std::vector<double>(theta.size(), 0.0));
}
std::vector<double> D(int32_t l, int32_t m, const std::vector<double>& theta) {
  std::vector<double> d = Y(l + 1, m, theta), below = l == std::abs(m) ? d : Y(l - 1, m, theta);
  for (std::size_t p = 0; p < d.size(); ++p) {
    d[p] = d[p] * (static_cast<double>(l) * functions::f_spherical_jlm(l + 1, m));
    if (l != std::abs(m)) d[p] = d[p] - below[p] * (static_cast<double>(l + 1) * functions::f_spherical_jlm(l, m));
  }
  return d;
}

struct fields { std::vector<double> r, t, p; };

fields matrix_fields_of(int32_t m, int32_t c, const array2<double>& B, const array2<double>& Q,
                        const array2<double>& R, const tables& tb) {
  std::vector<double> z(static_cast<std::size_t>(tb[0].rows())), t1 = z, t2 = z, t3 = z, t4 = z;
  fields f{z, z, z};
  matrix_fields(m, B.col(c), Q.col(c), R.col(c), {tb[0].view(), tb[1].view(), tb[2].view(), tb[3].view()},
                {t1, t2, t3, t4}, f.r, f.t, f.p);
  return f;
}

// The tables against one harmonic call per degree, and the fields of random coefficients
// against the plain sums, each from 0 over the degrees in order at every grid point.
TEST(BasisTablesAndMatrixFields, EqualThePlainComputationBitForBit) {
  std::mt19937_64 engine(7);
  std::uniform_real_distribution<double> coefficient(-1.0, 1.0);
  // m = 70 with n = 48 passes the last degree (163) whose normalisation is a normal double.
  for (int32_t m : {0, 1, -1, 2, -3, 6, 70, -86})
    for (bool even : {true, false})
      for (auto [n, n_mu] : {std::pair{1, 2}, std::pair{2, 3}, std::pair{9, 40}, std::pair{40, 31}, std::pair{48, 7}}) {
        std::vector<double> mu(n_mu), theta(n_mu);
        build_mu_grid(mu, theta);
        const tables tb = build(m, n, even, theta);
        const auto where = ::testing::Message() << "m " << m << " even " << even << " n " << n << " n_mu " << n_mu;
        for (int32_t i = 1; i <= n; ++i) {
          const int32_t l = std::abs(m) + (even ? 0 : 1) + 2 * (i - 1), nn = std::abs(m) + (even ? 1 : 0) + 2 * (i - 1);
          for (int t = 0; t < 4; ++t)  // y_l, y_n, dy_l, dy_n
            EXPECT_TRUE(same_bits(tb[t].col(i), (t < 2 ? Y : D)(t % 2 ? nn : l, m, theta))) << where << " table " << t << " column " << i;
        }
        array2<double> B(n, n), Q(n, n), R(n, n);
        for (array2<double>* a : {&B, &Q, &R}) std::ranges::generate(a->storage(), [&] { return coefficient(engine); });
        if (m == 0) R.fill(0.0);  // with R = 0, xi_p = t3 * (-m) keeps the sign of t3 only if -m is +0
        const int32_t c = (n + 1) / 2;
        const fields f = matrix_fields_of(m, c, B, Q, R, tb);
        fields plain = f;
        for (index_t p = 1; p <= n_mu; ++p) {
          double xr = 0.0, t1 = 0.0, t2 = 0.0, t3 = 0.0, t4 = 0.0;
          for (index_t i = 1; i <= n; ++i) {
            xr = xr + tb[0](p, i) * B(i, c), t1 = t1 + tb[2](p, i) * Q(i, c), t2 = t2 + tb[1](p, i) * R(i, c);
            t3 = t3 + tb[0](p, i) * Q(i, c), t4 = t4 + tb[3](p, i) * R(i, c);
          }
          plain.r[p - 1] = xr, plain.t[p - 1] = t2 * static_cast<double>(m) + t1;
          plain.p[p - 1] = t3 * static_cast<double>(-m) - t4;
        }
        for (auto c : {&fields::r, &fields::t, &fields::p}) EXPECT_TRUE(same_bits(f.*c, plain.*c)) << where;
      }
}

// With exp(i m phi), xi_t = sin xi_theta and xi_p = i sin xi_phi: div_h xi_h = -d(xi_t)/dmu
// + m xi_p / (1 - mu^2) = -lambda xi_r (at nu = 0 Legendre's equation, which fixes the signs),
// and the radial curl of the momentum equations, xi_h - i nu mu e_r x xi_h = grad_h psi, reads
// -d(xi_p)/dmu + m xi_t / (1 - mu^2) = nu (mu lambda xi_r + xi_t).
TEST(MatrixFields, ObeyTheDivergenceAndVorticityBalances) {
  // An exactly uniform mu for fourth-order differences, fine enough for the equatorial
  // fields of m = 1000 (their width in mu is about 1/sqrt(m)).
  const int32_t n = 40, n_mu = 8193;
  const double h = 2.0 / (n_mu - 1);
  std::vector<double> mu(n_mu), theta(n_mu);
  for (int32_t p = 0; p < n_mu; ++p) mu[p] = -1.0 + p * h, theta[p] = (std::acos(mu[p]) * 180.0) / PI;
  const auto slope = [h](const std::vector<double>& f, std::size_t p) {
    return ((f[p - 2] - f[p + 2]) + 8.0 * (f[p + 1] - f[p - 1])) / (12.0 * h);
  };
  // m = 80: the product form up to degree 97, the scaled one beyond; |m| >= 86: the scaled form throughout.
  const struct { int32_t m, k; double nu; } cases[] = {
      {2, 0, 3.0}, {1, 1, -4.0}, {0, 2, 5.0}, {-3, 1, 2.5}, {2, -2, 4.0}, {1, 0, 0.0}, {-2, 3, 0.0}, {0, 1, -1.5},
      {4, 2, 9.0}, {80, 1, 2.0}, {86, 0, 1.0}, {-86, 1, 3.0}, {200, 2, -2.0}, {-200, 1, 0.0}, {1000, 0, 5.0}, {-1000, 1, -3.0}};
  for (const auto& mc : cases) {
    const coriolis::mode_choice mode = coriolis::select_mode(mc.k, n);
    std::vector<double> LL(n);
    array2<double> B(n, n), Q(n, n), R(n, n);
    coriolis::w_eigen(mc.nu, mc.m, mode.even, n, LL, B.view(), Q.view(), R.view(), true);
    const double lambda = LL[mode.i_mode - 1], m = mc.m;
    const fields f = matrix_fields_of(mc.m, mode.i_mode, B, Q, R, build(mc.m, n, mode.even, theta));
    // Residuals over |mu| < 0.9 against their terms: single-precision couplings allow 1e-7, the differences 1e-6.
    double div_scale = 0.0, vort_scale = 0.0, div = 0.0, vort = 0.0;
    for (std::size_t p = 0; p < mu.size(); ++p) {
      div_scale = std::max(div_scale, std::fabs(lambda * f.r[p]));
      vort_scale = std::max(vort_scale, std::fabs(mc.nu * (lambda * mu[p] * f.r[p] + f.t[p])) + std::fabs(m * f.t[p]));
      if (p < 2 || p + 2 >= mu.size() || std::fabs(mu[p]) >= 0.9) continue;
      const double w = 1.0 - mu[p] * mu[p];
      div = std::max(div, std::fabs(-slope(f.t, p) + m * f.p[p] / w + lambda * f.r[p]));
      vort = std::max(vort, std::fabs(-slope(f.p, p) + m * f.t[p] / w - mc.nu * (lambda * mu[p] * f.r[p] + f.t[p])));
    }
    EXPECT_TRUE(div < 5e-6 * div_scale) << mc.m << " " << mc.k << " " << mc.nu;
    EXPECT_TRUE(vort < 5e-6 * vort_scale) << mc.m << " " << mc.k << " " << mc.nu;
  }
}

// Modes trapped near the equator, the more so the larger |nu|. Measured: 2e-3 .. 2e-5 (retrograde, m nu > 0),
// 8e-4 .. 1e-6 (Gaussian branch), 2e-2 .. 7e-4 (k = -2); 3/|nu| is loose for all.
TEST(AsymptoticSolution, MatrixEigenvalueApproachesItForLargeSpin) {
  const struct { int32_t m, k; std::vector<double> nus; } trends[] = {
      {1, 0, {10.0, 30.0, 100.0}}, {2, 1, {12.0, 30.0, 100.0}}, {1, 0, {-10.0, -30.0, -100.0, -300.0}},
      {2, 0, {-10.0, -30.0, -100.0, -300.0}}, {1, 1, {-10.0, -30.0, -100.0}}, {2, -2, {30.0, 100.0, 300.0, 1000.0}}};
  const int32_t n = 800;
  std::vector<double> LL(n);
  for (const auto& t : trends) {
    const coriolis::mode_choice mode = coriolis::select_mode(t.k, n);
    for (double nu : t.nus) {
      coriolis::w_eigen(nu, t.m, mode.even, n, LL, std::nullopt, std::nullopt, std::nullopt, true);
      const asymptotic_result a = asymptotic_solution(t.m, t.k, nu, false, {}, {}, {}, {}, {});
      ASSERT_EQ(a.flags, 0);
      EXPECT_LT(std::fabs(LL[mode.i_mode - 1] - a.lambda) * std::fabs(nu), 3.0 * std::fabs(a.lambda)) << t.m << " " << nu;
    }
  }
  // The Gaussian branch's 2 m^3 is formed in single precision: 2006006002 for m = 1001 rounds to 2006006016.
  const auto c3 = static_cast<double>((1002001.0F * 2.0F) * 1001.0F);
  EXPECT_EQ(asymptotic_solution(1001, 0, -1.0, false, {}, {}, {}, {}, {}).lambda, (c3 * -1.0) / (2002.0 * -1.0 + 1.0));
}

// The driver's step with either solver over grids that pass singular spin parameters, nu = 0
// and |nu| < 1 for k < 0: status bits 1, 2 and 4 the same; eigenvalues and normalised fields
// apart only by the single-precision J of the QL operator (measured up to 4e-7 and 5e-6 of
// the field's largest value).
TEST(RunSpinStep, SolversAgreeOnBitsEigenvaluesAndFields) {
  int32_t singular = 0, below_one = 0;
  for (int32_t m : {0, 1, -2, 2})
    for (int32_t k : {-2, -1, 0, 1, 2, 3}) {
      run_parameters p;
      p.m = m, p.k = k, p.A = 1.0, p.nu_min = -12.0, p.nu_max = 12.0, p.n_nu = 33, p.n_mu = 41, p.n = 60;
      const coriolis::mode_choice mode = coriolis::select_mode(k, p.n);
      const auto prepared = [&](solver_kind s) {
        p.solver = s;
        run_arrays a = allocate_run_arrays(p);
        build_mu_grid(a.mu, a.theta);
        build_basis_tables(m, p.n, mode.even, a.theta, {a.y_l_im.view(), a.y_n_im.view(), a.dy_l_im.view(), a.dy_n_im.view()});
        return a;
      };
      run_arrays ql = prepared(solver_kind::ql), fast = prepared(solver_kind::fast);
      step_workspace w_ql = make_step_workspace(p), w_fast = make_step_workspace(p);
      for (int32_t j = 1; j <= p.n_nu; ++j) {
        p.solver = solver_kind::ql;
        const step_result a = run_spin_step(p, mode, ql, w_ql, j);
        p.solver = solver_kind::fast;
        const step_result b = run_spin_step(p, mode, fast, w_fast, j);
        const auto where = ::testing::Message() << "m " << m << " k " << k << " nu " << ql.nu[j - 1];
        EXPECT_EQ(a.flag_matr, b.flag_matr) << where;
        singular += (a.flag_matr & FLAG_SINGULAR) != 0, below_one += (a.flag_matr & FLAG_NU_BELOW_ONE) != 0;
        const double la = ql.lambda_matr[j - 1], lb = fast.lambda_matr[j - 1];
        EXPECT_NEAR(lb, la, 1e-6 * std::fabs(la)) << where;
        if (a.flag_matr & (FLAG_SINGULAR | FLAG_NOT_NORMALISED)) continue;
        for (auto field : {&run_arrays::xi_r_matr, &run_arrays::xi_t_matr, &run_arrays::xi_p_matr}) {
          const vector_view<const double> x = (ql.*field).col(1), y = (fast.*field).col(1);
          double big = 0.0, diff = 0.0;
          for (index_t i = 0; i < x.size; ++i) big = std::max(big, std::fabs(x[i])), diff = std::max(diff, std::fabs(x[i] - y[i]));
          EXPECT_LE(diff, 1e-5 * big) << where;
        }
      }
    }
  EXPECT_GT(singular, 0);
  EXPECT_GT(below_one, 0);
}

TEST(ReportLine, FiveExponentialItemsThenFourIntegersInTheFewestCharacters) {
  EXPECT_EQ(report_line({0.5, 12.3456789, 12.0, 1, 1, 0, 0}),
            "  0.500000E+00   0.123457E+02   0.120000E+02   0.112534E+01   0.111394E+01 1 1 0 0");
  EXPECT_EQ(report_line({-2.0, -3.0, -0.0, 100, -1, 5, 27}),
            " -0.200000E+01  -0.300000E+01   0.000000E+00  -0.602060E+00   0.000000E+00 100 -1 5 27");
}

// Both signs of: values where six-digit rounding is delicate (exact decimal ties, the doubles
// around near-ties at every scale, powers of two, the ends of the range), the non-finite
// values, and random normal doubles.
TEST(FormatE14_6, AgreesWithFortranE14_6) {
#ifndef E14_6_REFERENCE
  GTEST_SKIP() << "no Fortran compiler for the reference program";
#else
  std::vector<double> v = {0.9999995, 0.9999996, 0.9999994999999999, 1e-100, 1e100, 9.9999995e99, 9.99999949e99,
                           1e-99, 1e99, 99999.95, 999999.5, 1.7976931348623157e308, 2.2250738585072014e-308,
                           HUGE_VAL, NAN};
  for (int e = 1; e <= 80; ++e) v.push_back(std::ldexp(1.0, -e));
  std::mt19937_64 rng(61);
  std::uniform_int_distribution<int64_t> six(100000, 999999);
  std::uniform_int_distribution<int> scale(-306, 300);
  for (int i = 0; i < 300; ++i)
    for (double tie = static_cast<double>(six(rng) * 10 + 5); tie < 1e16; tie *= 10.0) v.push_back(tie);
  for (int i = 0; i < 3000; ++i) {
    const std::string digits = std::to_string(six(rng)) + "5e";
    double x = std::strtod((digits + std::to_string(scale(rng))).c_str(), nullptr);
    x = std::nextafter(std::nextafter(x, 0.0), 0.0);
    for (int s = 0; s < 5; ++s, x = std::nextafter(x, HUGE_VAL)) v.push_back(x);
  }
  while (v.size() < 40000)  // normal: the exponent field neither 0 nor 0x7FF
    if (const uint64_t bits = rng(); ((bits >> 52) & 0x7FF) % 0x7FF != 0) v.push_back(std::bit_cast<double>(bits));
  for (std::size_t i = 0, count = v.size(); i < count; ++i) v.push_back(-v[i]);
  const std::string out = ::testing::TempDir() + "e14_6_" + std::to_string(getpid());
  FILE* reference = popen(("'" E14_6_REFERENCE "' >'" + out + "'").c_str(), "w");
  for (double x : v) std::fprintf(reference, "%016" PRIX64 "\n", std::bit_cast<uint64_t>(x));
  ASSERT_EQ(pclose(reference), 0);
  std::ifstream s(out);
  for (std::string expected; double x : v) {
    ASSERT_TRUE(std::getline(s, expected)) << "reference output ended early";
    EXPECT_EQ(format_e14_6(x), expected) << std::hexfloat << x;
  }
  std::remove(out.c_str());
#endif
}

}  // namespace
}  // namespace ltide::run
