#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <vector>

#include "common/constants.hpp"
#include "coriolis/coriolis.hpp"
#include "reference.hpp"

extern "C" void dstev_(const char* jobz, const int* n, double* d, double* e, double* z, const int* ldz,
                       double* work, int* info, std::size_t jobz_len);

namespace ltide::coriolis {
namespace {

// Eigenvalues of the Aleph matrix from element `first` on, by LAPACK, descending.
std::vector<double> lapack_descending(double nu, int32_t m, bool even, int32_t n, std::size_t first = 0) {
  const auto A = aleph_matrix(nu, m, even, n);
  std::vector<double> d, e;
  for (std::size_t i = first; i < A.size(); ++i) {
    d.push_back(A[i].diag);
    e.push_back(A[i].off);
  }
  int k = static_cast<int>(d.size()), info = 0, ldz = 1;
  double z = 0.0, work = 0.0;
  dstev_("N", &k, d.data(), e.data(), &z, &ldz, &work, &info, 1);
  std::sort(d.begin(), d.end(), std::greater<>());
  return d;
}

double max_abs(const std::vector<double>& v) {
  double s = 0.0;
  for (double x : v) s = std::max(s, std::fabs(x));
  return s;
}

struct solution {
  std::vector<double> lambda;
  array2<double> B, Q, R;
};

solution aleph_full(double nu, int32_t m, bool even, int32_t n, bool ordered) {
  solution s{std::vector<double>(n), array2<double>(n, n), array2<double>(n, n), array2<double>(n, n)};
  Aleph_eigen(nu, m, even, n, s.lambda, s.B.view(), s.Q.view(), s.R.view(), ordered);
  return s;
}

std::vector<double> w_only(double nu, int32_t m, bool even, int32_t n) {
  std::vector<double> lambda(n);
  w_eigen(nu, m, even, n, lambda, std::nullopt, std::nullopt, std::nullopt, true);
  return lambda;
}

TEST(WEigen, WorkedCaseOfOrderOne) {
  const auto lambda = w_only(0.5, 1, true, 2);
  EXPECT_NEAR(lambda[0], 2.817873320, 2.817873320 * 5e-10);
  EXPECT_NEAR(lambda[1], 14.25682008, 14.25682008 * 5e-10);
}

TEST(WEigen, ZeroSpinGivesDegreeProductsIdentityAndNoOtherParity) {
  for (int32_t m : {1, -2, 3})
    for (bool even : {true, false}) {
      const int32_t n = 6;
      std::vector<double> lambda(n);
      array2<double> B(n, n), Q(n, n), R(n, n);
      w_eigen(0.0, m, even, n, lambda, B.view(), Q.view(), R.view(), true);
      const auto s = test::degrees(m, even, n);
      for (index_t i = 1; i <= n; ++i) {
        const double ll1 = static_cast<double>(s.primary[i - 1] * (s.primary[i - 1] + 1));
        EXPECT_NEAR(lambda[i - 1], ll1, ll1 * 4e-16);
        for (index_t j = 1; j <= n; ++j) {
          EXPECT_EQ(B(i, j), i == j ? 1.0 : 0.0);
          EXPECT_NEAR(Q(i, j), i == j ? 1.0 : 0.0, 4e-16);
          EXPECT_EQ(R(i, j), 0.0);
        }
      }
    }
}

TEST(AlephEigen, EigenpairsAgreeWithLapackAndAreOrthonormal) {
  for (int32_t m : {-2, 0, 1, 3})
    for (bool even : {true, false})
      for (double nu : {-4.2, 0.7, 6.5})
        for (int32_t n : {1, 4, 17}) {
          if (m == 0 && even) continue;
          const solution s = aleph_full(nu, m, even, n, false);
          const auto A = aleph_matrix(nu, m, even, n);
          const auto ref = lapack_descending(nu, m, even, n);
          const double norm = max_abs(ref);
          auto got = s.lambda;
          std::sort(got.begin(), got.end(), std::greater<>());
          for (int32_t i = 0; i < n; ++i) EXPECT_NEAR(got[i], ref[i], 1e-13 * norm);
          for (index_t j = 1; j <= n; ++j) {
            for (index_t k = 1; k <= n; ++k) {
              double dot = 0.0;
              for (index_t i = 1; i <= n; ++i) dot += s.B(i, j) * s.B(i, k);
              EXPECT_NEAR(dot, j == k ? 1.0 : 0.0, 1e-13);
            }
            for (index_t i = 1; i <= n; ++i) {  // A b = a b
              double ab = A[i - 1].diag * s.B(i, j);
              if (i > 1) ab += A[i - 2].off * s.B(i - 1, j);
              if (i < n) ab += A[i - 1].off * s.B(i + 1, j);
              EXPECT_NEAR(ab, s.lambda[j - 1] * s.B(i, j), 1e-13 * norm);
            }
          }
        }
}

// Ordered Aleph eigenvalues are the descending list rotated left by c, and w_eigen their
// reciprocals.
void expect_rotated(double nu, int32_t m, bool even, int32_t n, int32_t c) {
  std::vector<double> a(n);
  Aleph_eigen(nu, m, even, n, a, std::nullopt, std::nullopt, std::nullopt, true);
  const auto w = w_only(nu, m, even, n);
  const auto ref = lapack_descending(nu, m, even, n);
  for (int32_t j = 0; j < n; ++j) {
    EXPECT_NEAR(a[j], ref[(j + c) % n], 1e-13 * max_abs(ref)) << "nu=" << nu << " m=" << m << " j=" << j;
    EXPECT_EQ(w[j], 1.0 / a[j]);
  }
}

TEST(AlephEigen, ModeOrderRotatesPastLiftedEigenvalues) {
  // m = 2, even, degrees 2..10: (l+1)(l+2) = 12, 30, 56, 90, 132 against m nu.
  expect_rotated(5.0, 2, true, 5, 0);   // m nu = 10
  expect_rotated(10.0, 2, true, 5, 1);  // 20: 12 below
  expect_rotated(40.0, 2, true, 5, 3);  // 80: 12, 30, 56 below
  expect_rotated(-40.0, 2, true, 5, 0);  // never for m nu <= 0
  expect_rotated(40.0, -2, false, 5, 0);
  // m = 2, odd, degrees 3, 5, ...: (l+1)(l+2) = 20, 42, ... and |m|(|m|+1) = 6.
  expect_rotated(2.9, 2, false, 4, 0);   // m nu = 5.8
  expect_rotated(4.0, 2, false, 4, 1);   // 8: only the extra count
  expect_rotated(12.0, 2, false, 4, 2);  // 24: 20 and the extra count
  expect_rotated(25.0, 2, false, 2, 1);  // 50: c = 3 = n + 1, one step
}

TEST(AlephEigen, DegreeZeroIsSolvedApart) {
  const int32_t n = 6;
  const double nu = 1.3;
  const solution s = aleph_full(nu, 0, true, n, true);
  EXPECT_EQ(s.lambda[0], HUGE_VALUE);
  for (index_t k = 1; k <= n; ++k) {
    EXPECT_EQ(s.B(1, k), k == 1 ? 1.0 : 0.0);
    EXPECT_EQ(s.B(k, 1), k == 1 ? 1.0 : 0.0);
    EXPECT_EQ(s.Q(1, k), k == 1 ? 1.0 : 0.0);
    EXPECT_EQ(s.Q(k, 1), k == 1 ? 1.0 : 0.0);
  }
  // The rest: eigenvalues of the matrix without its first row and column.
  const auto ref = lapack_descending(nu, 0, true, n, 1);
  for (int i = 1; i < n; ++i) EXPECT_NEAR(s.lambda[i], ref[i - 1], 1e-14 * max_abs(ref));
  const auto w = w_only(nu, 0, true, n);
  EXPECT_EQ(w[0], 0.0);  // 1/HUGE flushes to zero
  for (int i = 1; i < n; ++i) EXPECT_EQ(w[i], 1.0 / s.lambda[i]);

  const solution one = aleph_full(2.0, 0, true, 1, true);
  EXPECT_EQ(one.lambda[0], HUGE_VALUE);
  EXPECT_EQ(one.B(1, 1), 1.0);
  EXPECT_EQ(one.Q(1, 1), 1.0);
}

TEST(AlephEigen, QAndRFollowFromBThroughTheHarmonicRecurrences) {
  // With A = Z Lambda^-1, Z = L - nu^2 G Ltilde^-1 G (reference.hpp), an eigenpair A b = a b
  // gives Z q = b for q = Lambda^-1 b / a: the columns of Q.
  // R holds the other-parity coefficients r = nu Ltilde^-1 G q: G takes the primary degrees
  // p-1 and p+1 to p with weights (p-1) J(p)/p and (p+2) J(p+1)/(p+1), and since
  // b_l = l(l+1) a q_l these are the weights J(p)/p^2 and J(p+1)/(p+1)^2 on B. The even
  // series loses the coupling through l_n + 2 at its end; at p = 0 (m = 0, odd) Ltilde is 1.
  // A lone degree 1 (|m| = 1, even, n = 1) is defined without its coupling through degree
  // 2, so Z does not describe it. Ordered columns also check that B, Q, R follow lambda.
  for (int32_t m : {-3, 0, 1, 2})
    for (bool even : {true, false})
      for (double nu : {-3.3, 0.45, 2.5, 7.7})
        for (int32_t n : {1, 3, 8}) {
          if (m == 0 && even) continue;
          const solution s = aleph_full(nu, m, even, n, true);
          const auto c = test::compose(m, even, n, nu);
          const auto deg = test::degrees(m, even, n);
          const auto G = test::coupling_matrix(deg.other, deg.primary, m);
          const bool check_z = !(even && std::abs(m) == 1 && n == 1);
          for (index_t j = 1; j <= n; ++j) {
            // Eigenvector components carry errors of the size of the column, not of their
            // own: tolerances scale with the largest term of the column.
            std::vector<double> zq(n, 0.0), r(n, 0.0);
            double zscale = 0.0, rscale = 0.0;
            for (index_t i = 1; i <= n; ++i) {
              double bound = 0.0, gq = 0.0, gbound = 0.0;
              for (index_t k = 1; k <= n; ++k) {
                zq[i - 1] += c.Z(i, k) * s.Q(k, j);
                bound += c.Zabs(i, k) * std::fabs(s.Q(k, j));
                gq += G(i, k) * s.Q(k, j);
                gbound += std::fabs(G(i, k) * s.Q(k, j));
              }
              const double f = nu / test::l_factor(deg.other[i - 1], m, nu);
              r[i - 1] = f * gq;
              zscale = std::max(zscale, bound);
              rscale = std::max(rscale, std::fabs(f) * gbound);
            }
            for (index_t i = 1; i <= n; ++i) {
              if (check_z) {
                EXPECT_NEAR(zq[i - 1], s.B(i, j), 1e-13 * zscale) << "m=" << m << " nu=" << nu;
              }
              EXPECT_NEAR(s.R(i, j), r[i - 1], 1e-13 * rscale + 1e-300) << "m=" << m << " nu=" << nu;
            }
          }
        }
}

TEST(WEigen, FundamentalModeConvergesWithBasisSize) {
  // m = 2, k = 0 (entry 1), nu = 5: the truncation error falls fast with n, then stays at
  // rounding level.
  std::vector<double> v;
  for (int32_t n : {20, 40, 80, 160}) v.push_back(w_only(5.0, 2, true, n)[0]);
  EXPECT_NEAR(v[0], v[3], 1e-7 * std::fabs(v[3]));
  EXPECT_GT(std::fabs(v[0] - v[3]), std::fabs(v[1] - v[3]));
  EXPECT_NEAR(v[1], v[3], 1e-12 * std::fabs(v[3]));
  EXPECT_NEAR(v[2], v[3], 1e-12 * std::fabs(v[3]));
}

TEST(AlephEigen, StridedOutputsMatchContiguousOnes) {
  const int32_t n = 7;
  const solution ref = aleph_full(3.7, 1, false, n, true);
  std::vector<double> lambda(2 * n, -1.0);
  array2<double> big(n + 3, 3 * n, -1.0);  // B, Q, R side by side, leading dimension n + 3
  const auto v = big.view();
  Aleph_eigen(3.7, 1, false, n, vector_view<double>(lambda.data(), n, 2), v.block(2, 1, n, n),
              v.block(2, n + 1, n, n), v.block(2, 2 * n + 1, n, n), true);
  for (index_t j = 1; j <= n; ++j) {
    EXPECT_EQ(lambda[2 * (j - 1)], ref.lambda[j - 1]);
    EXPECT_EQ(lambda[2 * (j - 1) + 1], -1.0);
    EXPECT_EQ(big(1, j), -1.0);
    EXPECT_EQ(big(n + 2, j), -1.0);
    for (index_t i = 1; i <= n; ++i) {
      EXPECT_EQ(big(i + 1, j), ref.B(i, j));
      EXPECT_EQ(big(i + 1, n + j), ref.Q(i, j));
      EXPECT_EQ(big(i + 1, 2 * n + j), ref.R(i, j));
    }
  }
}

TEST(AlephEigenDeathTest, QOrRWithoutBStops) {
  std::vector<double> lambda(3);
  array2<double> M(3, 3), N(3, 3);
  EXPECT_EXIT(Aleph_eigen(1.0, 2, true, 3, lambda, std::nullopt, M.view()), ::testing::ExitedWithCode(1),
              "^\\*\\* Cannot calculate Q without calculating B \\[coriolis::Aleph_eigen\\]");
  EXPECT_EXIT(w_eigen(1.0, 2, true, 3, lambda, std::nullopt, std::nullopt, M.view()), ::testing::ExitedWithCode(1),
              "^\\*\\* Cannot calculate R without calculating B \\[coriolis::Aleph_eigen\\]");
  EXPECT_EXIT(Aleph_eigen(1.0, 2, true, 3, lambda, std::nullopt, M.view(), N.view()), ::testing::ExitedWithCode(1),
              "^\\*\\* Cannot calculate Q without");  // the Q test comes first
}

}  // namespace
}  // namespace ltide::coriolis
