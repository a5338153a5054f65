#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "common/constants.hpp"
#include "coriolis/coriolis.hpp"
#include "reference.hpp"

namespace ltide::coriolis {
namespace {

using test::Jc;

TEST(AlephMatrix, WorkedCaseOfOrderOneDegreesOneAndThree) {
  // m = 1, even, nu = 0.5: degrees 1 and 3 with the single-precision J.
  const auto A = aleph_matrix(0.5, 1, true, 2);
  ASSERT_EQ(A.size(), 2u);
  EXPECT_NEAR(A[0].diag, 0.3545454550, 0.3545454550 * 5e-10);
  EXPECT_NEAR(A[1].diag, 0.07047397057, 0.07047397057 * 5e-10);
  EXPECT_NEAR(A[0].off, -0.009718590596, 0.009718590596 * 5e-10);
  EXPECT_EQ(A[1].off, 0.0);
}

TEST(AlephMatrix, ZeroSpinIsDiagonalWithInverseDegreeProducts) {
  for (int32_t m : {-3, 0, 1, 2})
    for (bool even : {true, false}) {
      const auto A = aleph_matrix(0.0, m, even, 6);
      const auto s = test::degrees(m, even, 6);
      for (std::size_t i = 0; i < A.size(); ++i) {
        const int64_t l = s.primary[i];
        const double expected = l == 0 ? HUGE_VALUE : 1.0 / static_cast<double>(l * (l + 1));
        EXPECT_EQ(A[i].diag, expected) << "m=" << m << " even=" << even << " l=" << l;
        EXPECT_EQ(A[i].off, 0.0);
      }
    }
}

TEST(AlephMatrix, EqualsTheCompositionOfCouplingOperators) {
  // (L - nu^2 G Ltilde^-1 G) Lambda^-1 from the harmonic recurrences (reference.hpp):
  // its diagonal and both neighbouring entries must equal diag and off, so the Aleph
  // matrix is the symmetric form of that product; entries beyond the band vanish.
  // A single degree 1 (|m| = 1, even, n = 1) is the one row built without its coupling
  // through degree 2: (1 - m nu/2)/2 by definition, so it is left out here.
  for (int32_t m : {-3, -1, 0, 1, 2, 4})
    for (bool even : {true, false}) {
      if (m == 0 && even) continue;  // degree 0: Lambda = 0, handled apart
      for (double nu : {-7.3, -0.6, 0.35, 1.7, 5.1, 12.9})
        for (int32_t n : {1, 2, 3, 9}) {
          if (even && std::abs(m) == 1 && n == 1) continue;
          const auto A = aleph_matrix(nu, m, even, n);
          const auto c = test::compose(m, even, n, nu);
          const auto s = test::degrees(m, even, n);
          for (index_t i = 1; i <= n; ++i)
            for (index_t k = 1; k <= n; ++k) {
              const double lam = static_cast<double>(s.primary[k - 1] * (s.primary[k - 1] + 1));
              const double ref = c.Z(i, k) / lam;
              const double tol = 1e-14 * c.Zabs(i, k) / lam + 1e-300;
              double got = 0.0;
              if (k == i) got = A[i - 1].diag;
              if (k == i + 1) got = A[i - 1].off;
              if (k == i - 1) got = A[k - 1].off;
              EXPECT_NEAR(got, ref, tol) << "m=" << m << " even=" << even << " nu=" << nu << " n=" << n
                                         << " (" << i << "," << k << ")";
            }
        }
    }
}

TEST(AlephMatrix, DegreeZeroRowIsHugeAndCouplesToDegreeTwo) {
  const double nu = 0.8;
  const auto A = aleph_matrix(nu, 0, true, 3);
  EXPECT_EQ(A[0].diag, HUGE_VALUE);
  EXPECT_EQ(A[0].off, -(nu * nu * Jc(1, 0) * Jc(2, 0)) / 2.0);  // b_0 = 2
  EXPECT_TRUE(std::isfinite(A[1].diag));
  EXPECT_EQ(aleph_matrix(nu, 0, true, 1)[0].diag, HUGE_VALUE);
}

TEST(AlephMatrix, SingleDegreeOneIsHalfOfOneMinusHalfMNu) {
  EXPECT_EQ(aleph_matrix(0.5, 1, true, 1)[0].diag, 0.375);
  EXPECT_EQ(aleph_matrix(-2.0, -1, true, 1)[0].diag, 0.0);  // m nu = 2
  EXPECT_EQ(aleph_matrix(3.0, 0, false, 1)[0].diag, 0.5);
  // b_1 = 0 at m nu = 6 does not matter for a single degree: no coupling to degree 2.
  EXPECT_EQ(aleph_matrix(6.0, 1, true, 1)[0].diag, -1.0);
}

TEST(AlephMatrix, LowestDegreeResonanceIsRegularOnlyForPositiveM) {
  // a_2 = 2 - m nu = 0 at degree 2: for m = 2 the degree-1 coupling does not exist
  // (J(2) = 0), for m = -2 the row is singular. Only the sign of m differs.
  const auto pos = aleph_matrix(1.0, 2, true, 3);
  const auto neg = aleph_matrix(-1.0, -2, true, 3);
  EXPECT_TRUE(std::isfinite(pos[0].diag));
  EXPECT_LT(pos[0].diag, HUGE_VALUE);
  EXPECT_EQ(neg[0].diag, HUGE_VALUE);
  EXPECT_EQ(pos[0].off, neg[0].off);
  EXPECT_EQ(pos[1].diag, neg[1].diag);
  // The last row has no such exception.
  EXPECT_EQ(aleph_matrix(1.0, 2, true, 1)[0].diag, HUGE_VALUE);
}

TEST(AlephMatrix, SignOfMEntersOnlyThroughMNu) {
  // Away from resonances, (nu, -m) and (-nu, m) give the same matrix bit for bit.
  for (bool even : {true, false}) {
    const auto a = aleph_matrix(2.3, -3, even, 7);
    const auto b = aleph_matrix(-2.3, 3, even, 7);
    for (std::size_t i = 0; i < a.size(); ++i) {
      EXPECT_EQ(a[i].diag, b[i].diag);
      EXPECT_EQ(a[i].off, b[i].off);
    }
  }
}

TEST(AlephMatrix, ZeroDenominatorsGiveHuge) {
  // m = 2, even, nu = 15: b_4 = 30 - 30 = 0 in row 2.
  const auto A = aleph_matrix(15.0, 2, true, 3);
  EXPECT_EQ(A[1].diag, HUGE_VALUE);
  EXPECT_EQ(A[1].off, HUGE_VALUE);
  EXPECT_TRUE(std::isfinite(A[0].diag) && A[0].diag < HUGE_VALUE);
  // m = 1, odd: a_4 = 12 - nu = 0 in row 2, l != m: diag HUGE, off regular.
  const auto B = aleph_matrix(12.0, 1, false, 3);
  EXPECT_EQ(B[1].diag, HUGE_VALUE);
  EXPECT_TRUE(std::isfinite(B[1].off) && std::fabs(B[1].off) < HUGE_VALUE);
  // Last row, either denominator.
  EXPECT_EQ(aleph_matrix(12.0, 1, false, 2)[1].diag, HUGE_VALUE);
  EXPECT_EQ(aleph_matrix(20.0, 1, true, 2)[1].diag, HUGE_VALUE);  // b_3 = 20 - 20
}

TEST(AlephMatrix, DegreeOneWithVanishingB1IsNotGuarded) {
  // |m| = 1, m nu = 6: b_1 = 0 and no test is made, so IEEE arithmetic shows through.
  const auto A = aleph_matrix(6.0, 1, true, 2);
  EXPECT_FALSE(std::isfinite(A[0].diag));
  EXPECT_FALSE(std::isfinite(A[0].off));
}

}  // namespace
}  // namespace ltide::coriolis
