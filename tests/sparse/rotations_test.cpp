// The recorded and blocked application of the QL rotations against the column-pair loop:
// the same bits in every element (signed zeros and NaNs included), with every kernel.
#include "sparse/rotations.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <vector>

#include "sparse/eigen.hpp"

namespace ltide::sparse {
namespace {

struct tridiagonal {
  std::vector<double> d, e;
};

// Random; early splits (zero, -0 and negligible couplings, -0 diagonals); an all -0 diagonal;
// and blocks of order 6 one after the other (each ends with a zero coupling) on which, under
// flush-to-zero, a sweep meets r = 0 exactly and restarts, or (the last) makes a rotation with
// c = 1, s = 0, which still changes signed zeros and NaNs.
std::vector<tridiagonal> matrices(index_t n) {
  static const std::vector<tridiagonal> blocks{
      {{-0x1p+0, 0x1.b31576d71db1dp+1, 0x1.573d68f903ea2p-512, -0x0p+0, 0x0p+0, -0x0p+0},
       {0x1.1e7aec5f63027p-511, 0x1.8p+1, -0x1.38d352e5096afp+498, 0x1.56e1fc2f8f359p-997, 0x1.6e99ee96b045dp+511, 0}},
      {{-0x1.56e1fc2f8f359p-997, 0x1.0863ec4333c76p-664, 0x1.88a288a5d1619p-513, 0x1.011d04b94d658p+0,
        0x1.87e92154ef7acp-665, -0x1.c5a4bb7e1aa53p-533},
       {-0x1.199867a1e99b9p-531, -0x1.18631d0ee8ddep-532, 0x1.39debd1aa3c68p+511, -0x1.e3fb2066aa5e7p+0, -0x0p+0, 0}},
      {{0x1.e25523d7a6834p+1, 0x1.4fbb8b09ee244p+512, 0x1.87e92154ef7acp-665, 0x1.56e1fc2f8f359p-997, 0,
        0x1.87e92154ef7acp-665},
       {0x1.67e9c127b6e74p-532, -0x1.7009c35e359ebp+0, 0x1p-1, 0x1.a37191b0e581p-532, 0x1.38d352e5096afp+498, 0}},
      {{0x1.573d68f903ea2p-512, -0x1.58bb132cbc22fp+497, -0x1.7776b100af2bp-532, -0x1.40b0eda581e7cp-531,
        0x1.87e92154ef7acp-665, 0x1.f2b2afbb807bap-532},
       {-0x0p+0, -0x1p+0, -0x1.e11c711385e2cp-533, 0x1p+0, 0x1.92f6b4e28edc4p+0, 0}},
      {{-0x1.181dea33aa2ccp+32, -0x1.6923458e594p-560, 0x1.9d7da5e214828p-545, -0x1.8d24b6eefd90cp+438,
        0x1.e2b210dffd9d8p-3, 0x1.0f0260aec284p-533},
       {-0x1.c6eed189d34c3p+180, -0x1.f59ab00293778p-577, 0x1.81e731336185ep+448, -0x1.f388af9d47f36p+106,
        -0x1.5589243430b5ep-213, 0}},
  };
  std::mt19937_64 gen(static_cast<unsigned>(n));
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const auto size = static_cast<std::size_t>(n);
  tridiagonal random{std::vector<double>(size), std::vector<double>(size)}, splits, embedded;
  for (std::size_t i = 0; i < size; ++i) random.d[i] = u(gen), random.e[i] = u(gen);
  splits = embedded = random;
  for (std::size_t i = 0; i < size; ++i) {
    const auto k = gen() % 10;
    if (k < 3) splits.e[i] = k == 0 ? 0.0 : k == 1 ? -0.0 : 1e-30 * splits.e[i];
    if (k == 3) splits.d[i] = -0.0;
  }
  for (std::size_t k = 0, at = 0; k < blocks.size() && at + 6 <= size; ++k, at += 6) {
    std::copy_n(blocks[k].d.begin(), 6, embedded.d.begin() + static_cast<std::ptrdiff_t>(at));
    std::copy_n(blocks[k].e.begin(), 6, embedded.e.begin() + static_cast<std::ptrdiff_t>(at));
  }
  return {random, splits, {std::vector<double>(size, -0.0), random.e}, embedded};
}

bool same_bits(const double* a, const double* b, index_t count) {
  return std::memcmp(a, b, static_cast<std::size_t>(count) * sizeof(double)) == 0;
}

void expect_every_path_matches(const std::string& kernel) {
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  for (index_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 95, 96, 129, 200, 300}) {
    for (int which = 0; const tridiagonal& t : matrices(n)) {
      SCOPED_TRACE(kernel + " n=" + std::to_string(n) + " matrix " + std::to_string(which++));
      array2<double> identity(n, n);
      for (index_t i = 1; i <= n; ++i) identity(i, i) = 1.0;
      array2<double> plain = identity;
      std::vector<double> lambda = t.d, d = t.d, e = t.e;
      ql_implicit(lambda.data(), e.data(), n, ql_rotate_columns{plain.view(), n});
      // Chunks of 1 and 7 rotations (cutting runs anywhere; small orders, for time) and the default.
      for (index_t capacity : {index_t{1}, index_t{7}, rotation_chunk_capacity}) {
        if ((capacity == 1 && n > 65) || (capacity == 7 && n > 129)) continue;
        array2<double> V = identity;
        d = t.d, e = t.e;
        ql_implicit_blocked(d.data(), e.data(), n, V.view(), capacity);
        EXPECT_TRUE(same_bits(d.data(), lambda.data(), n));
        EXPECT_TRUE(same_bits(V.data(), plain.data(), n * n)) << "capacity " << capacity;
      }
      // s_eigen_ST keeping a matrix strewn with NaNs and signed zeros, a block of a larger one (ld > rows),
      // lambda along a row of it: each row of the kept matrix follows the rotations, nothing else moves.
      array2<double> big(n + 5, n + 2, -7.0);
      const matrix_view<double> V = big.view().block(3, 2, n, n);
      const double special[] = {NAN, -0.0, 0.0};
      for (index_t j = 1; j <= n; ++j)
        for (index_t i = 1; i <= n; ++i) V(i, j) = gen() % 6 == 0 ? special[gen() % 3] : u(gen);
      array2<double> expected = big;
      d = t.d, e = t.e;
      ql_implicit(d.data(), e.data(), n, ql_rotate_columns{expected.view().block(3, 2, n, n), n});
      for (index_t j = 1; j <= n; ++j) expected(1, j) = lambda[j - 1];
      std::vector<ST> A(t.d.size());
      for (std::size_t i = 0; i < A.size(); ++i) A[i] = {t.d[i], t.e[i]};
      s_eigen_ST(A, big.view().row(1).sub(1, n), V, true);
      EXPECT_TRUE(same_bits(big.data(), expected.data(), (n + 5) * (n + 2))) << "kept";
      // One column of the recorded sequence at a time, as w_eigen_mode takes it.
      for (index_t capacity : {index_t{5}, rotation_chunk_capacity}) {
        std::vector<double> column(t.d.size());
        rotation_log log(capacity);
        d = t.d, e = t.e;
        ql_implicit_logged(d.data(), e.data(), n, log);
        for (index_t target = 0; target < n; target += n <= 33 || target < 3 || target > n - 4 ? 1 : n / 7) {
          rotated_identity_column(n, log.sequence(), target, column);
          EXPECT_TRUE(same_bits(column.data(), plain.view().col(target + 1).data, n)) << "column " << target;
        }
      }
    }
  }
}

TEST(Rotations, EveryKernelMatchesTheColumnPairLoopBitForBit) {
  const auto kernels = detail::rotation_kernels();
  for (std::string_view k : kernels) {
    ASSERT_TRUE(detail::use_rotation_kernel(k));
    expect_every_path_matches(std::string(k));
  }
  detail::use_rotation_kernel(kernels.front());
  EXPECT_EQ(kernels.back(), "baseline");
  EXPECT_FALSE(detail::use_rotation_kernel("none"));
}

}  // namespace
}  // namespace ltide::sparse
