// The Aleph matrix and its eigen-solution against the tidal operator composed from the
// recurrences of the spherical harmonics (not from the element formulas under test):
// mu Y_s = J(s+1) Y_{s+1} + J(s) Y_{s-1} and (1 - mu^2) dY_s/dmu = -s J(s+1) Y_{s+1} +
// (s+1) J(s) Y_{s-1} give the coupling of the two parity series G = mu + (1 - mu^2) d/dmu
// Lambda^-1: G(s+1 <- s) = s J(s+1)/(s+1), G(s-1 <- s) = (s+1) J(s)/s. The Aleph matrix is
// Z Lambda^-1, Z = L - nu^2 G Ltilde^-1 G, L = 1 - m nu/Lambda on the primary degrees and
// Ltilde the same on the other ones (1 at degree 0: no Coriolis term there).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include <ltide/common/constants.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/functions/functions.hpp>
#include <ltide/sparse/invmul.hpp>

#include "support.hpp"

namespace ltide::coriolis {
namespace {

double Jc(int64_t l, int32_t m) { return functions::f_spherical_jlm(static_cast<int32_t>(l), m); }
double coupling(int64_t t, int64_t s, int32_t m) {  // G(t <- s)
  if (t == s + 1) return Jc(t, m) - Jc(t, m) / (static_cast<double>(s) + 1.0);
  return t == s - 1 ? Jc(s, m) + Jc(s, m) / static_cast<double>(s) : 0.0;
}
double l_factor(int64_t l, int32_t m, double nu) {
  return l == 0 ? 1.0 : 1.0 - static_cast<double>(m) * nu / static_cast<double>(l * (l + 1));
}

struct solution {
  std::vector<double> lambda;
  array2<double> B, Q, R;
};
solution solve(double nu, int32_t m, bool even, int32_t n, bool tidal = false) {
  solution s{std::vector<double>(n), array2<double>(n, n), array2<double>(n, n), array2<double>(n, n)};
  (tidal ? w_eigen : Aleph_eigen)(nu, m, even, n, s.lambda, s.B.view(), s.Q.view(), s.R.view(), true);
  return s;
}

// Z and Zabs (the sum of its terms' magnitudes, the scale of rounding errors) give the Aleph
// matrix on its band (so that is symmetric) and 0 beyond; so does aleph_test, its recomposition
// from the factor matrices (not for m = 0, where those are not guarded); w_matrix is its inverse.
// The ordered eigenvalues are LAPACK's, descending, rotated left by the number of modes that
// m nu > 0 lifts past the others: one per primary degree with (l+1)(l+2) < m nu, one more for
// the odd series when |m|(|m|+1) < m nu; at nu = 0 they are 1/(l(l+1)) with B the identity.
// B is orthonormal; A b = a b gives Z q = b for the column q = Lambda^-1 b / a of Q, and R
// holds r = nu Ltilde^-1 G q (tolerances scale with the largest term of the column).
// Degree 0 (m = 0, even) is its own mode, HUGE_VALUE with the first unit vector (0 as a tidal
// eigenvalue). w_lambda(k) is the tidal eigenvalue of the entry the run takes for mode k.
TEST(AlephEigen, MatrixAndSolutionFollowFromTheHarmonicRecurrences) {
  for (int32_t m : {-3, -1, 0, 1, 2, 4})
    for (bool even : {true, false})
      for (double nu : {-7.3, -0.6, 0.0, 0.45, 1.7, 2.5, 7.7, 12.9, 25.0})
        for (int32_t n : {1, 2, 3, 8, 17}) {
          const std::string where = "m=" + std::to_string(m) + (even ? " even" : " odd") + " nu=" + std::to_string(nu) +
                                    " n=" + std::to_string(n) + " @";
          const solution s = solve(nu, m, even, n);
          std::vector<double> w(n);
          w_eigen(nu, m, even, n, w, std::nullopt, std::nullopt, std::nullopt, true);
          double norm = 0.0;  // Aleph eigenvalues are accurate relative to the matrix norm (degree 0 apart)
          for (double x : s.lambda) norm = x == HUGE_VALUE ? norm : std::max(norm, std::fabs(x));
          for (int32_t k = even ? n % 2 - n : 1 - n % 2 - n; k < n; k += 2) {
            const double want = w[k >= 0 ? k / 2 : n - 1 - (std::abs(k) - 1) / 2], got = w_lambda(nu, m, k, n);
            EXPECT_TRUE(want == 0.0 ? got == 0.0 : std::fabs(1.0 / got - 1.0 / want) <= 1e-13 * norm) << where << k;
          }
          if (m == 0 && even) {
            EXPECT_TRUE(s.lambda[0] == HUGE_VALUE && w[0] == 0.0) << where;  // 1/HUGE flushes to zero
            for (index_t k = 1; k <= n; ++k)
              EXPECT_TRUE(s.B(1, k) == (k == 1) && s.B(k, 1) == s.B(1, k) && s.Q(1, k) == s.B(1, k) &&
                          s.Q(k, 1) == s.B(1, k)) << where << k;
            continue;
          }
          std::vector<int64_t> l(n), q(n);  // primary and other-parity degrees
          for (int32_t i = 0; i < n; ++i) l[i] = std::abs(m) + (even ? 0 : 1) + 2 * i, q[i] = l[i] + (even ? 1 : -1);
          array2<double> Z(n, n), Zabs(n, n);
          for (index_t i = 1; i <= n; ++i)
            for (index_t k = 1; k <= n; ++k) {
              for (const int64_t p : q) {
                const double term = coupling(l[i - 1], p, m) * coupling(p, l[k - 1], m) / l_factor(p, m, nu);
                Z(i, k) += term;
                Zabs(i, k) += std::fabs(term);
              }
              Z(i, k) = (i == k ? l_factor(l[i - 1], m, nu) : 0.0) - nu * nu * Z(i, k);
              Zabs(i, k) = (i == k ? std::fabs(l_factor(l[i - 1], m, nu)) : 0.0) + nu * nu * Zabs(i, k);
            }
          // The matrices; a lone degree 1 (|m| = 1, even) is defined without its coupling through degree 2.
          const auto A = aleph_matrix(nu, m, even, n);
          const auto X = aleph_test(nu, m, even, n);
          const array2<double> W = w_matrix(nu, m, even, n);
          for (index_t i = 1; i <= n; ++i)
            for (index_t k = 1; k <= n; ++k) {
              const double lam = static_cast<double>(l[k - 1] * (l[k - 1] + 1));
              const double want = Z(i, k) / lam, tol = 1e-14 * Zabs(i, k) / lam + 1e-300;
              const double a = k == i ? A[i - 1].diag : k == i + 1 ? A[i - 1].off : k == i - 1 ? A[k - 1].off : 0.0;
              const double x = k == i ? X[i - 1].diag : k == i + 1 ? X[i - 1].upper : k == i - 1 ? X[k - 1].lower : 0.0;
              double aw = A[i - 1].diag * W(i, k);
              if (i > 1) aw += A[i - 2].off * W(i - 1, k);
              if (i < n) aw += A[i - 1].off * W(i + 1, k);
              EXPECT_TRUE((even && std::abs(m) == 1 && n == 1) ||
                          (std::fabs(a - want) <= tol && (m == 0 || std::fabs(x - want) <= tol)))
                  << where << i << "," << k;
              EXPECT_NEAR(aw, i == k ? 1.0 : 0.0, 1e-12) << where << i << "," << k;
            }
          // The eigen-solution.
          std::vector<double> ref(n);  // LAPACK's, descending
          sparse::s_eigen_ST_lapack(A, ref);
          std::reverse(ref.begin(), ref.end());
          int64_t lifted = !even && std::abs(m) * (std::abs(m) + 1) < m * nu;
          for (int64_t li : l) lifted += static_cast<double>((li + 1) * (li + 2)) < m * nu;
          for (index_t j = 1; j <= n; ++j) {
            EXPECT_NEAR(s.lambda[j - 1], ref[(j - 1 + lifted) % n], 1e-13 * norm) << where;
            const double ll1 = static_cast<double>(l[j - 1] * (l[j - 1] + 1));
            EXPECT_TRUE(nu != 0.0 || std::fabs(1.0 / s.lambda[j - 1] - ll1) <= 4e-16 * ll1) << where;
            double zscale = 0.0, rscale = 0.0;
            std::vector<double> zq(n, 0.0), r(n, 0.0);
            for (index_t i = 1; i <= n; ++i) {
              double dot = 0.0, bound = 0.0, gq = 0.0, gbound = 0.0;
              for (index_t k = 1; k <= n; ++k) {
                dot += s.B(k, i) * s.B(k, j);
                zq[i - 1] += Z(i, k) * s.Q(k, j);
                bound += Zabs(i, k) * std::fabs(s.Q(k, j));
                const double g = coupling(q[i - 1], l[k - 1], m);
                gq += g * s.Q(k, j);
                gbound += std::fabs(g * s.Q(k, j));
              }
              EXPECT_NEAR(dot, i == j ? 1.0 : 0.0, 1e-13) << where;
              EXPECT_TRUE(nu != 0.0 || s.B(i, j) == (i == j ? 1.0 : 0.0)) << where;
              const double f = nu / l_factor(q[i - 1], m, nu);
              r[i - 1] = f * gq;
              zscale = std::max(zscale, bound);
              rscale = std::max(rscale, std::fabs(f) * gbound);
            }
            for (index_t i = 1; i <= n; ++i) {
              EXPECT_TRUE((even && std::abs(m) == 1 && n == 1) || std::fabs(zq[i - 1] - s.B(i, j)) <= 1e-13 * zscale)
                  << where;
              EXPECT_NEAR(s.R(i, j), r[i - 1], 1e-13 * rscale + 1e-300) << where;
            }
          }
        }
}

// w_eigen_mode, alone or prepared with other spin parameters (used in another order than
// prepared; the workspace reused): every value bit for bit what w_eigen gives, degree 0
// (m = 0, even) included.
TEST(WEigenMode, EveryModeMatchesTheFullSolutionBitForBit) {
  const auto same = [](const std::vector<double>& a, vector_view<const double> b) {  // b is contiguous here
    return std::memcmp(a.data(), b.data, a.size() * sizeof(double)) == 0;
  };
  mode_workspace work;
  const std::vector<double> nus{-20.0, -1.5, 0.0, -0.0, 0.3, 5.0, 20.0, 117.0}, prepared{20.0, 0.3, -1.5, -0.0};
  for (int32_t n : {1, 2, 3, 5, 17, 40, 96, 257, 301})
    for (int32_t m : {0, 1, 2, -2, 5})
      for (bool even : {true, false}) {
        w_eigen_mode_prepare(prepared, m, even, n, work);
        EXPECT_TRUE(work.ready_for(-0.0, m, even, n) && !work.ready_for(0.0, m, even, n));  // nu bit for bit
        for (double nu : nus) {
          if (n > 96 && nu != 5.0 && nu != -20.0) continue;  // for time
          const bool from_work = work.ready_for(nu, m, even, n);
          const solution full = solve(nu, m, even, n, true);
          std::vector<double> lambda(n), b(n), q(n), r(n);
          for (int32_t mode = 1; mode <= n; mode += n <= 96 ? 1 : n / 7) {
            w_eigen_mode(nu, m, even, n, mode, lambda, b, q, r, from_work && mode == 1 ? &work : nullptr);
            ASSERT_TRUE(same(lambda, full.lambda) && same(b, full.B.view().col(mode)) &&
                        same(q, full.Q.view().col(mode)) && same(r, full.R.view().col(mode)))
                << "nu=" << nu << " m=" << m << " even=" << even << " n=" << n << " mode " << mode;
          }
        }
      }
}

TEST(EigenFailure, Messages) {
  std::vector<double> lambda(4), b(4), q(4), r(4);
  array2<double> M(4, 4);
  EXPECT_EQ(error_line([&] { Aleph_eigen(1.0, 2, true, 4, lambda, std::nullopt, M.view(), M.view()); }),
            "** Cannot calculate Q without calculating B [coriolis::Aleph_eigen]");
  EXPECT_EQ(error_line([&] { w_eigen(1.0, 2, true, 4, lambda, std::nullopt, std::nullopt, M.view()); }),
            "** Cannot calculate R without calculating B [coriolis::Aleph_eigen]");
  for (int32_t mode : {0, 5})
    EXPECT_EQ(error_line([&] { w_eigen_mode(1.0, 1, true, 4, mode, lambda, b, q, r); }),
              "** mode index out of range [coriolis::w_eigen_mode]");
  // A prepared iteration that failed throws only when it is asked for; the workspace
  // serves the next solves as if nothing had happened.
  mode_workspace work;
  w_eigen_mode_prepare(std::vector<double>{2.0, NAN}, 1, true, 4, work);
  EXPECT_EQ(error_line([&] { w_eigen_mode(2.0, 1, true, 4, 1, lambda, b, q, r, &work); }), "(returned normally)");
  EXPECT_EQ(error_line([&] { w_eigen_mode(NAN, 1, true, 4, 1, lambda, b, q, r, &work); }),
            stop::QL);
  std::vector<double> lambda_alone(4), b_alone(4), q_alone(4), r_alone(4);
  w_eigen_mode(3.0, 1, true, 4, 2, lambda, b, q, r, &work);
  w_eigen_mode(3.0, 1, true, 4, 2, lambda_alone, b_alone, q_alone, r_alone);
  EXPECT_EQ(lambda, lambda_alone);
  EXPECT_EQ(b, b_alone);
}

}  // namespace
}  // namespace ltide::coriolis
