#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "ltide/singular.hpp"

namespace ltide::run {
namespace {

TEST(SingularSpin, OddModeOfOrderOneIsSingularAtTwo) {
  // m = 1, odd: degrees 2, 4, ...; l = 2 gives l(l - 1) = 2 = m nu and l differs from m.
  EXPECT_TRUE(singular_spin(1, false, 3, 2.0));
  EXPECT_FALSE(singular_spin(1, false, 3, 2.5));
}

TEST(SingularSpin, EvenModeOfOrderOneSkipsDegreeOne) {
  // m = 1, even: degrees 1, 3, ...; degree 1 is never tested, l = 3 gives 6 and 20.
  EXPECT_FALSE(singular_spin(1, true, 2, 2.0));
  EXPECT_TRUE(singular_spin(1, true, 2, 6.0));
  EXPECT_TRUE(singular_spin(1, true, 2, 20.0));
  EXPECT_FALSE(singular_spin(1, true, 1, 6.0));  // degree 3 lies beyond n = 1
}

TEST(SingularSpin, OrderZeroIsNeverSingular) {
  for (double nu : {-6.0, 0.0, 2.0, 6.0, 12.0, 20.0, 1e300})
    for (bool even : {true, false}) EXPECT_FALSE(singular_spin(0, even, 50, nu));
}

TEST(SingularSpin, DegreeEqualToSignedOrderIsExempt) {
  EXPECT_FALSE(singular_spin(3, true, 4, 2.0));   // l = 3 = m, l(l - 1) = 6 = 3 * 2
  EXPECT_TRUE(singular_spin(-3, true, 4, -2.0));  // l = 3 differs from m = -3
  EXPECT_TRUE(singular_spin(3, true, 4, 20.0 / 3.0));
}

TEST(SingularSpin, NaNAndNonPositiveProductsAreNotSingular) {
  EXPECT_FALSE(singular_spin(2, true, 10, std::numeric_limits<double>::quiet_NaN()));
  EXPECT_FALSE(singular_spin(2, true, 10, -1.0));
  EXPECT_FALSE(singular_spin(2, true, 10, 0.0));
}

TEST(SingularSpin, ExtremeOrdersFormExactDegreeProducts) {
  const int32_t m = std::numeric_limits<int32_t>::min();
  // l = 2^31 differs from m = -2^31; l(l - 1) = 2^62 - 2^31 = m * -(2^31 - 1).
  EXPECT_TRUE(singular_spin(m, true, 1, -2147483647.0));
  // (l + 1)(l + 2) = 2^62 + 3 * 2^31 + 2 rounds to the double 2^62 + 3 * 2^31.
  EXPECT_TRUE(singular_spin(m, true, 1, -2147483651.0));
  EXPECT_FALSE(singular_spin(m, true, 1, -2147483649.0));
  // m = 2^31 - 1 with odd parity starts at l = 2^31.
  const int32_t big = std::numeric_limits<int32_t>::max();
  EXPECT_FALSE(singular_spin(big, true, 1, 2147483646.0));  // l = m is exempt
}

TEST(SingularSpin, HugeBasisEndsEarly) {
  // Two billion degrees, but only those with l(l - 1) up to m nu can match.
  EXPECT_FALSE(singular_spin(1, false, std::numeric_limits<int32_t>::max(), 1e6 + 0.5));
  EXPECT_TRUE(singular_spin(1, false, std::numeric_limits<int32_t>::max(), 1000.0 * 999.0));
}

// Plain scan over every degree, for comparison with the early-ending one.
bool scan_every_degree(int32_t m, bool even, int32_t n, double nu) {
  const double x = static_cast<double>(m) * nu;
  const long long l0 = std::llabs(m) + (even ? 0 : 1);
  bool singular = false;
  for (long long i = 1; i <= n; ++i) {
    const long long l = l0 + 2 * (i - 1);
    if (l < 2) continue;
    if (x == static_cast<double>((l + 1) * (l + 2))) singular = true;
    if (x == static_cast<double>(l * (l - 1)) && l != m) singular = true;
  }
  return singular;
}

TEST(SingularSpin, AgreesWithAScanOfEveryDegree) {
  for (int32_t m = -7; m <= 7; ++m)
    for (bool even : {true, false})
      for (int32_t n = 0; n <= 9; ++n)
        for (int p = -30; p <= 400; ++p) {
          const double nu = m == 0 ? p : static_cast<double>(p) / m;
          ASSERT_EQ(singular_spin(m, even, n, nu), scan_every_degree(m, even, n, nu))
              << "m=" << m << " even=" << even << " n=" << n << " nu=" << nu;
        }
}

}  // namespace
}  // namespace ltide::run
