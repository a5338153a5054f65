// The basis bookkeeping every solver and the run share.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstdint>

#include <ltide/coriolis/degrees.hpp>

namespace ltide::coriolis {
namespace {

TEST(SelectMode, KCountsFromTheFrontAndNegativeKFromTheBack) {
  const struct { int32_t k, n; bool even; int32_t i_mode; } rows[] = {
      {3, 9, false, 2}, {-2, 9, true, 9}, {-3, 9, false, 8}, {8, 9, true, 5}, {-8, 9, true, 6},
      {INT32_MAX - 1, INT32_MAX, true, INT32_MAX / 2 + 1}, {1 - INT32_MAX, INT32_MAX, true, INT32_MAX / 2 + 2}};
  for (const auto& row : rows) {
    EXPECT_EQ(select_mode(row.k, row.n).even, row.even) << row.k;
    EXPECT_EQ(select_mode(row.k, row.n).i_mode, row.i_mode) << row.k;
  }
}

// Even series of m = 2 (l = 2, 4, ...): m nu = 13 lifts degree 2 ((l+1)(l+2) = 12 < 13), m nu
// = 12 does not, so the mode order starts one entry down the descending list and wraps
// around (positions below 1 too). The odd series of m = 3 is lifted by |m|(|m|+1) = 12 < m nu.
TEST(DescendingPosition, ModeOrderRotatesTheDescendingList) {
  const struct { int32_t m; bool even; int32_t n; double nu; int64_t i_mode, position; } rows[] = {
      {2, true, 4, 6.0, 1, 0},  {2, true, 4, 6.5, 1, 1},  {2, true, 4, 6.5, 4, 0}, {2, true, 4, -6.5, 1, 0},
      {3, false, 4, 13.0 / 3.0, 1, 1}, {3, false, 4, 4.0, 1, 0}, {1, true, 3, 1e9, 2, 1}, {2, true, 4, 6.5, -1, 3}};
  for (const auto& r : rows)
    EXPECT_EQ(descending_position(r.m, r.even, r.n, r.nu, r.i_mode), r.position) << r.m << " " << r.nu << " " << r.i_mode;
}

TEST(SingularSpin, ExactZeroDenominatorsOfTheBasisDegrees) {
  const struct { int32_t m; bool even; int32_t n; double nu; bool singular; } rows[] = {
      // m = 1, odd: l(l - 1) = 2 at l = 2; even: 6 and (l + 1)(l + 2) = 20 at l = 3, never degree 1.
      {1, false, 3, 2.0, true}, {1, true, 2, 2.0, false}, {1, true, 2, 6.0, true}, {1, true, 2, 20.0, true},
      {1, true, 1, 6.0, false}, {0, false, 50, 20.0, false}, {2, true, 10, std::nan(""), false},
      {3, true, 4, 2.0, false}, {-3, true, 4, -2.0, true}, {3, true, 4, 20.0 / 3.0, true},  // l(l - 1) exempt at l = m
      // l = 2^31: (l + 1)(l + 2) is exact before its one rounding (to 2^62 + 3 * 2^31). Then two
      // billion degrees, of which only those with l(l - 1) <= m nu can match.
      {INT32_MIN, true, 1, -2147483651.0, true}, {INT32_MIN, true, 1, -2147483649.0, false},
      {1, false, INT32_MAX, 1e6 + 0.5, false}, {1, false, INT32_MAX, 1000.0 * 999.0, true}};
  for (const auto& r : rows) EXPECT_EQ(singular_spin(r.m, r.even, r.n, r.nu), r.singular) << r.m << " " << r.nu;
}

}  // namespace
}  // namespace ltide::coriolis
