#include "sparse/eigen.hpp"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <limits>
#include <random>
#include <tuple>
#include <vector>

#include "sparse/invmul.hpp"
#include "functions/functions.hpp"
#include "sparse/ql.hpp"

extern "C" void dsteqr_(const char* compz, const int32_t* n, double* d, double* e, double* z, const int32_t* ldz,
                        double* work, int32_t* info, std::size_t compz_len);

namespace ltide::sparse {
namespace {

// Diagonal in [lo, lo + 2], off-diagonal in [-1, 1]; the last off is garbage on purpose.
std::vector<ST> random_st(index_t n, unsigned seed, double lo = -1.0) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::vector<ST> A(static_cast<std::size_t>(n));
  for (auto& x : A) x = {lo + 1.0 + u(gen), u(gen)};
  if (n > 0) A.back().off = 123.0;
  return A;
}

struct solution {
  std::vector<double> lambda;
  array2<double> V;
};

solution solve(const std::vector<ST>& A) {
  const auto n = static_cast<index_t>(A.size());
  solution s{std::vector<double>(A.size()), array2<double>(n, n)};
  s_eigen_ST(A, s.lambda, s.V.view());
  return s;
}

std::vector<double> lapack_eigenvalues(const std::vector<ST>& A) {
  const auto n = static_cast<int32_t>(A.size());
  std::vector<double> d(A.size()), e(A.size());
  for (std::size_t i = 0; i < A.size(); ++i) std::tie(d[i], e[i]) = std::pair(A[i].diag, A[i].off);
  double z = 0.0;
  const int32_t ldz = 1;
  int32_t info = 0;
  dsteqr_("N", &n, d.data(), e.data(), &z, &ldz, nullptr, &info, 1);
  EXPECT_EQ(info, 0);
  return d;
}

// A v_j - lambda_j v_j, entry i, for the tridiagonal A.
double residual(const std::vector<ST>& A, const solution& s, index_t i, index_t j) {
  const auto n = static_cast<index_t>(A.size());
  const auto at = [&](index_t k) { return A[static_cast<std::size_t>(k - 1)]; };
  double r = at(i).diag * s.V(i, j) - s.lambda[static_cast<std::size_t>(j - 1)] * s.V(i, j);
  if (i > 1) r += at(i - 1).off * s.V(i - 1, j);
  if (i < n) r += at(i).off * s.V(i + 1, j);
  return r;
}

TEST(EigenST, OrdersZeroAndOne) {
  std::vector<double> lambda{7.0};
  double v = 7.0;
  s_eigen_ST({}, vector_view<double>(lambda.data(), 0), matrix_view<double>(&v, 0, 0));
  EXPECT_EQ(lambda[0], 7.0);  // nothing touched
  EXPECT_EQ(v, 7.0);
  s_eigen_ST(std::vector<ST>{{-2.5, 99.0}}, lambda, matrix_view<double>(&v, 1, 1));
  EXPECT_EQ(lambda[0], -2.5);
  EXPECT_EQ(v, 1.0);
}

TEST(EigenST, DiagonalInputKeepsElementOrderAndIdentity) {
  std::vector<ST> A{{2.0, 0.0}, {1.0, 0.0}, {-4.0, 0.0}, {3.0, 55.0}};
  solution s = solve(A);
  EXPECT_EQ(s.lambda, (std::vector<double>{2.0, 1.0, -4.0, 3.0}));  // not sorted
  for (index_t j = 1; j <= 4; ++j)
    for (index_t i = 1; i <= 4; ++i) EXPECT_EQ(s.V(i, j), i == j ? 1.0 : 0.0);
}

TEST(EigenST, LastOffComponentHasNoEffect) {
  auto A = random_st(17, 1);
  const solution ref = solve(A);
  for (double last : {0.0, -1e300, std::numeric_limits<double>::quiet_NaN()}) {
    A.back().off = last;
    const solution s = solve(A);
    EXPECT_EQ(s.lambda, ref.lambda);
    EXPECT_EQ(s.V, ref.V);
  }
}

TEST(EigenST, ReproducesReferenceBitsForFixedMatrix) {
  // Reference bits from an independent scalar transcription of the same arithmetic
  // (IEEE double, no fused operations): any regrouping of the iteration changes them.
  const std::vector<ST> A{{0.5, 1.0}, {-1.25, 0.3}, {2.0, -2.0}, {0.75, 0.125}, {3.5, 0.0}};
  const solution s = solve(A);
  EXPECT_EQ(s.lambda, (std::vector<double>{0x1.e7f09960e6d45p-1, -0x1.bd28cc9d50c37p+0, -0x1.6683243cfffc2p-1,
                                           0x1.b59b4ea685f93p+1, 0x1.c89dba5f28b28p+1}));
  EXPECT_EQ(s.V.col(3).to_vector(), (std::vector<double>{-0.10446900284188104, 0.12538571144304095, 0.5780121649097485,
                                                         0.7991876527915855, -0.023784105048688726}));
}

TEST(EigenST, EigenvaluesAgreeWithLapack) {
  for (index_t n : {2, 3, 5, 9, 30, 100, 250}) {
    // Diagonal in [4, 6] keeps every eigenvalue in [2, 8]: relative accuracy is meaningful.
    const auto A = random_st(n, static_cast<unsigned>(n), 4.0);
    std::vector<double> ours(A.size()), robust(A.size());
    s_eigen_ST(A, ours);
    s_eigen_ST_lapack(A, robust);
    std::sort(ours.begin(), ours.end());
    const auto ql = lapack_eigenvalues(A);
    for (std::size_t i = 0; i < A.size(); ++i) {
      EXPECT_NEAR(ours[i], ql[i], 1e-13 * std::fabs(ql[i])) << "n=" << n << " i=" << i;
      EXPECT_NEAR(ours[i], robust[i], 1e-13 * std::fabs(ql[i])) << "n=" << n << " i=" << i;
    }
  }
}

TEST(EigenST, EigenvectorsAreOrthonormalWithSmallResiduals) {
  for (index_t n : {2, 7, 60, 300}) {
    const auto A = random_st(n, 100 + static_cast<unsigned>(n));
    const solution s = solve(A);
    double worst_dot = 0.0, worst_res = 0.0;
    for (index_t j = 1; j <= n; ++j) {
      for (index_t k = j; k <= n; ++k) {
        double dot = 0.0;
        for (index_t i = 1; i <= n; ++i) dot += s.V(i, j) * s.V(i, k);
        worst_dot = std::max(worst_dot, std::fabs(dot - (j == k ? 1.0 : 0.0)));
      }
      for (index_t i = 1; i <= n; ++i) worst_res = std::max(worst_res, std::fabs(residual(A, s, i, j)));
    }
    // ||A|| <= 4 here; errors grow slowly with n.
    EXPECT_LT(worst_dot, 1e-14 * std::sqrt(static_cast<double>(n)) * 10) << "n=" << n;
    EXPECT_LT(worst_res, 1e-14 * std::sqrt(static_cast<double>(n)) * 40) << "n=" << n;
  }
}

TEST(EigenST, KeepVAppliesTheRotationsToTheGivenMatrix) {
  const index_t n = 12;
  const auto A = random_st(n, 7);
  const solution plain = solve(A);
  array2<double> Z = solve(random_st(n, 8)).V;  // some orthogonal matrix
  array2<double> V = Z;
  std::vector<double> lambda(n);
  s_eigen_ST(A, lambda, V.view(), true);
  EXPECT_EQ(lambda, plain.lambda);
  for (index_t i = 1; i <= n; ++i)
    for (index_t j = 1; j <= n; ++j) {
      double zv = 0.0;
      for (index_t k = 1; k <= n; ++k) zv += Z(i, k) * plain.V(k, j);
      EXPECT_NEAR(V(i, j), zv, 1e-14);
    }
  // Kept identity gives exactly the reset result.
  array2<double> I(n, n);
  for (index_t i = 1; i <= n; ++i) I(i, i) = 1.0;
  s_eigen_ST(A, lambda, I.view(), true);
  EXPECT_EQ(I, plain.V);
}

TEST(EigenST, ReplayedRotationsReproduceTheEigenvectorsExactly) {
  const index_t n = 40;
  const auto A = random_st(n, 11);
  const solution ref = solve(A);

  std::vector<double> d(n), e(n);
  for (std::size_t i = 0; i < A.size(); ++i) std::tie(d[i], e[i]) = std::pair(A[i].diag, A[i].off);
  std::vector<std::tuple<index_t, double, double>> rotations;
  ql_implicit(d.data(), e.data(), n, [&](index_t i, double c, double s) { rotations.emplace_back(i, c, s); });
  EXPECT_EQ(d, ref.lambda);

  array2<double> V(n, n);
  for (index_t i = 1; i <= n; ++i) V(i, i) = 1.0;
  const ql_rotate_columns rotate{V.view(), n};
  for (auto [i, c, s] : rotations) rotate(i, c, s);
  EXPECT_EQ(V, ref.V);
}

TEST(EigenST, StridedLambdaAndPaddedVGiveTheSameBits) {
  const index_t n = 9;
  const auto A = random_st(n, 3);
  const solution ref = solve(A);
  std::vector<double> lambda(2 * n, -1.0);
  array2<double> big(n + 3, n + 1, -1.0);
  s_eigen_ST(A, vector_view<double>(lambda.data(), n, 2), big.view().block(2, 2, n, n));
  for (index_t i = 1; i <= n; ++i) EXPECT_EQ(lambda[static_cast<std::size_t>(2 * (i - 1))], ref.lambda[i - 1]);
  EXPECT_EQ(lambda[1], -1.0);
  for (index_t j = 1; j <= n; ++j)
    for (index_t i = 1; i <= n; ++i) EXPECT_EQ(big(i + 1, j + 1), ref.V(i, j));
  EXPECT_EQ(big(1, 1), -1.0);
  EXPECT_EQ(big(n + 2, 2), -1.0);
}

TEST(EigenST, InlinePythagIsTheLibraryFunctionBitForBit) {
  const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
  std::vector<double> values{0.0, -0.0, 1.0, -1.0, 3.0, 4.0, 1e-300, 1e300, 1.7976931348623157e308, 2.2250738585072014e-308,
                             inf, -inf, nan};
  std::mt19937_64 gen(5);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (int k = 0; k < 2000; ++k) values.push_back(std::ldexp(u(gen), static_cast<int>(gen() % 600) - 300));
  for (double a : values)
    for (double b : {values[static_cast<std::size_t>(gen() % values.size())], 1.0, a, -a}) {
      const double x = ql_pythag(a, b), y = functions::f_pythag_d(a, b);
      EXPECT_EQ(std::memcmp(&x, &y, sizeof x), 0) << a << " " << b;
    }
}

TEST(EigenSTDeathTest, NonConvergingInputStopsWithQLMessage) {
  std::vector<ST> A{{std::numeric_limits<double>::quiet_NaN(), 1.0}, {1.0, 0.0}, {2.0, 0.0}};
  std::vector<double> lambda(3);
  EXPECT_EXIT(s_eigen_ST(A, lambda), ::testing::ExitedWithCode(1),
              "^\\*\\* too many iterations in QL algorithm \\[sparse::s_eigen_ST\\]\n$");
}

TEST(EigenD, DiagonalInElementOrderAndIdentity) {
  std::vector<D> A{{3.0}, {-1.0}, {2.0}};
  std::vector<double> lambda(3);
  array2<double> V(3, 3, 9.0);
  s_eigen_d(A, lambda, V.view());
  EXPECT_EQ(lambda, (std::vector<double>{3.0, -1.0, 2.0}));
  for (index_t j = 1; j <= 3; ++j)
    for (index_t i = 1; i <= 3; ++i) EXPECT_EQ(V(i, j), i == j ? 1.0 : 0.0);
}

}  // namespace
}  // namespace ltide::sparse
