#include "sparse/invmul.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <vector>

#include "banded.hpp"

extern "C" void dgesv_(const int32_t* n, const int32_t* nrhs, double* a, const int32_t* lda, int32_t* ipiv,
                       double* b, const int32_t* ldb, int32_t* info);

namespace ltide::sparse {
namespace {

using namespace test;

void expect_dense_solve(array2<double> A, array2<double> C, const std::vector<double>& got, const char* what) {
  const auto n = static_cast<int32_t>(A.rows()), nrhs = static_cast<int32_t>(C.cols());
  std::vector<int32_t> ipiv(static_cast<std::size_t>(n));
  int32_t info = 0;
  dgesv_(&n, &nrhs, A.data(), &n, ipiv.data(), C.data(), &n, &info);
  ASSERT_TRUE(info == 0 && got.size() == C.storage().size());
  for (std::size_t k = 0; k < got.size(); ++k)
    EXPECT_NEAR(got[k], C.storage()[k], 1e-14 * (1.0 + std::fabs(C.storage()[k]))) << what << " n=" << n;
}

// Vector and dense right-hand sides for every kind of A (diagonally dominant, so safe
// without pivoting; element n's off-diagonals are huge and unused), and banded ones for
// diagonal A, whose results have zero off-diagonals in element n.
template <class K>
void check_solves(const char* what, auto solve_v, auto solve_m, auto solve_d) {
  for (index_t n = 1; n <= 9; ++n) {
    const auto A = random_band<K>(n, 5.0, 1e300);
    const array2<double> C = random_dense(n, 3);
    expect_dense_solve(dense_of(A), C, solve_m(A, C.view()).storage(), what);
    expect_dense_solve(dense_of(A), to_array2(C.view().block(1, 2, n, 1)), solve_v(A, C.view().col(2)), what);
    const auto diag = random_band<D>(n, 5.0);
    const auto X = solve_d(diag, A);
    expect_dense_solve(dense_of(diag), dense_of(A), dense_of(X).storage(), what);
    EXPECT_EQ(entries(X.back()), (std::array{X.back().diag, 0.0, 0.0})) << what;
  }
}

TEST(Invmul, AgreesWithDenseSolvesForEveryKind) {
  check_solves<D>("d", s_invmul_d_v, s_invmul_d_m, s_invmul_d_d);
  check_solves<LB>("lb", s_invmul_lb_v, s_invmul_lb_m, s_invmul_d_lb);
  check_solves<RB>("rb", s_invmul_rb_v, s_invmul_rb_m, s_invmul_d_rb);
  check_solves<ST>("st", s_invmul_st_v, s_invmul_st_m, s_invmul_d_st);
  check_solves<T>("t", s_invmul_t_v, s_invmul_t_m, s_invmul_d_t);
}

TEST(Invmul, WorkedCasesAndStridedRightHandSides) {
  // x1 = b1/d1 - u1*x2/d1, each term divided separately: (1 - 0.3*0.7)/3 would be 0.26333333333333336.
  EXPECT_EQ(s_invmul_rb_v(std::vector<RB>{{3.0, 0.3}, {1.0, 0.0}}, std::vector<double>{1.0, 0.7}),
            (std::vector<double>{0.2633333333333333, 0.7}));
  const auto inverse = s_inverse_d(std::vector<D>{{4.0}, {-0.5}, {0.0}});
  EXPECT_TRUE(inverse[0].diag == 0.25 && inverse[1].diag == -2.0 && inverse[2].diag == HUGE_VAL);
  const auto A = random_band<T>(6, 5.0, 1e300);
  const array2<double> big = random_dense(9, 7);
  const auto block = big.view().block(2, 3, 6, 4);
  EXPECT_EQ(s_invmul_t_m(A, block), s_invmul_t_m(A, to_array2(block).view()));
  const auto row = big.view().block(4, 1, 1, 6).row(1);  // stride 9
  EXPECT_EQ(s_invmul_t_v(A, row), s_invmul_t_v(A, row.to_vector()));
}

}  // namespace
}  // namespace ltide::sparse
