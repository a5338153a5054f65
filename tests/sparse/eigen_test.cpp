#include "sparse/eigen.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <vector>

#include "banded.hpp"
#include "functions/functions.hpp"
#include "sparse/invmul.hpp"
#include "sparse/ql.hpp"

namespace ltide::sparse {
namespace {

// Against LAPACK's relatively robust solver: the same eigenvalues and eigenvectors, orthonormal
// with small residuals (|diag| >= 5.5 against |off| <= 2 keeps every |eigenvalue| in [1.5, 11]).
TEST(EigenST, AgreesWithLapackWithOrthonormalVectorsAndSmallResiduals) {
  for (index_t n : {0, 1, 2, 3, 5, 9, 30, 100, 250}) {
    const auto A = test::random_band<ST>(static_cast<std::size_t>(n), 5.0, NAN);
    std::vector<double> lambda(A.size()), robust(A.size());
    array2<double> V(n, n), W(n, n);
    s_eigen_ST(A, lambda, V.view());
    s_eigen_ST_lapack(A, robust, W.view());
    std::vector<int> idx(A.size());
    for (std::size_t i = 0; i < idx.size(); ++i) idx[i] = static_cast<int>(i);
    std::sort(idx.begin(), idx.end(), [&](int a, int b) { return lambda[a] < lambda[b]; });
    const double tol = 1e-13 * std::sqrt(static_cast<double>(n));
    for (index_t j = 1; j <= n; ++j) {
      EXPECT_NEAR(lambda[idx[j - 1]], robust[j - 1], 1e-14 * 11) << "n=" << n << " j=" << j;
      double vw = 0.0;  // the same eigenvector up to sign
      for (index_t i = 1; i <= n; ++i) vw += V(i, idx[j - 1] + 1) * W(i, j);
      EXPECT_NEAR(std::fabs(vw), 1.0, tol) << "n=" << n << " j=" << j;
      for (index_t k = j; k <= n; ++k) {
        double dot = 0.0;
        for (index_t i = 1; i <= n; ++i) dot += V(i, j) * V(i, k);
        EXPECT_NEAR(dot, j == k ? 1.0 : 0.0, tol) << "n=" << n;
      }
      for (index_t i = 1; i <= n; ++i) {  // (A - lambda_j) v_j
        double r = (A[i - 1].diag - lambda[j - 1]) * V(i, j);
        if (i > 1) r += A[i - 2].off * V(i - 1, j);
        if (i < n) r += A[i - 1].off * V(i + 1, j);
        EXPECT_NEAR(r, 0.0, 11 * tol) << "n=" << n;
      }
    }
  }
}

TEST(EigenST, ReproducesReferenceBitsWithTheLibraryHypotenuse) {
  // From an independent scalar transcription of the iteration (no fused operations): any
  // regrouping, another shift or another hypotenuse changes them.
  std::vector<double> lambda(5), two(2);
  array2<double> V(5, 5);
  s_eigen_ST(std::vector<ST>{{0.5, 1.0}, {-1.25, 0.3}, {2.0, -2.0}, {0.75, 0.125}, {3.5, 0.0}}, lambda, V.view());
  EXPECT_EQ(lambda, (std::vector<double>{0x1.e7f09960e6d45p-1, -0x1.bd28cc9d50c37p+0, -0x1.6683243cfffc2p-1,
                                         0x1.b59b4ea685f93p+1, 0x1.c89dba5f28b28p+1}));
  EXPECT_EQ(V.view().col(3).to_vector(), (std::vector<double>{-0.10446900284188104, 0.12538571144304095,
                                                              0.5780121649097485, 0.7991876527915855,
                                                              -0.023784105048688726}));
  // The first shift meets g = (1 - 1)/(2 * -1) = -0, which counts as non-negative: sigma = +1.
  s_eigen_ST(std::vector<ST>{{1.0, -1.0}, {1.0, 0.0}}, two);
  EXPECT_EQ(two, (std::vector<double>{0x1.fffffffffffffp+0, 0x1p-52}));
  std::vector<double> values{0.0, -0.0, 1.0, 3.0, 1e-300, 1e300, 0x1.fffffffffffffp+1023, 0x1p-1022, HUGE_VAL, NAN};
  for (int k = 0; k < 2000; ++k) values.push_back(std::ldexp(test::draw(), static_cast<int>(test::rng() % 600) - 300));
  for (double a : values)
    for (double b : {values[test::rng() % values.size()], 1.0, a, -a}) {
      const double x = ql_pythag(a, b), y = functions::f_pythag_d(a, b);
      EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0) << a << " " << b;
    }
}

TEST(EigenSTDeathTest, NonConvergingInputStopsWithQLMessage) {
  std::vector<ST> A{{NAN, 1.0}, {1.0, 0.0}, {2.0, 0.0}};
  std::vector<double> lambda(3);
  EXPECT_EXIT(s_eigen_ST(A, lambda), ::testing::ExitedWithCode(1),
              "^\\*\\* too many iterations in QL algorithm \\[sparse::s_eigen_ST\\]\n$");
}

}  // namespace
}  // namespace ltide::sparse
