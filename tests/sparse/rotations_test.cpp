// The recorded and blocked application of the QL rotations against the column-pair loop:
// the same bits in every element (signed zeros and NaNs included), with every kernel.
#include <ltide/sparse/rotations.hpp>

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>
#include <string_view>
#include <vector>

#include <ltide/sparse/eigen.hpp>

namespace ltide::sparse {
namespace {

// Diagonals then couplings of two blocks of order 6 (each ends with a zero coupling): under
// flush-to-zero a sweep of the first meets r = 0 exactly in its second sweep and restarts, and
// the second makes a rotation with c = 1, s = 0, which still changes signed zeros.
const double blocks[2][12] = {
    {0x1.573d68f903ea2p-512, -0x1.58bb132cbc22fp+497, -0x1.7776b100af2bp-532, -0x1.40b0eda581e7cp-531,
     0x1.87e92154ef7acp-665, 0x1.f2b2afbb807bap-532, -0x0p+0, -0x1p+0, -0x1.e11c711385e2cp-533, 0x1p+0,
     0x1.92f6b4e28edc4p+0, 0},
    {-0x1.181dea33aa2ccp+32, -0x1.6923458e594p-560, 0x1.9d7da5e214828p-545, -0x1.8d24b6eefd90cp+438,
     0x1.e2b210dffd9d8p-3, 0x1.0f0260aec284p-533, -0x1.c6eed189d34c3p+180, -0x1.f59ab00293778p-577,
     0x1.81e731336185ep+448, -0x1.f388af9d47f36p+106, -0x1.5589243430b5ep-213, 0}};

struct tridiagonal {
  std::vector<double> d, e;
};

// Random; with early splits (zero, -0 and negligible couplings, -0 diagonals); with an all -0
// diagonal; with the blocks above leading.
std::vector<tridiagonal> matrices(index_t n) {
  std::mt19937_64 gen(static_cast<unsigned>(n));
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const auto size = static_cast<std::size_t>(n);
  tridiagonal random{std::vector<double>(size), std::vector<double>(size)}, splits, zeros, blocked;
  for (std::size_t i = 0; i < size; ++i) random.d[i] = u(gen), random.e[i] = u(gen);
  splits = zeros = blocked = random;
  for (std::size_t i = 0; i < size; ++i) {
    const auto k = gen() % 10;
    if (k < 3) splits.e[i] = k == 0 ? 0.0 : k == 1 ? -0.0 : 1e-30 * splits.e[i];
    if (k == 3) splits.d[i] = -0.0;
    zeros.d[i] = -0.0;
    if (i < 12) blocked.d[i] = blocks[i / 6][i % 6], blocked.e[i] = blocks[i / 6][6 + i % 6];
  }
  return {random, splits, zeros, blocked};
}

void expect_every_path_matches(std::string_view kernel) {
  ASSERT_TRUE(detail::use_rotation_kernel(kernel));
  std::mt19937_64 gen(3);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  const double special[] = {NAN, -0.0, 0.0};
  for (index_t n : {1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 95, 96, 129, 200, 300})
    for (bool unit : {true, false})
      for (int which = 0; const tridiagonal& t : matrices(n)) {
        SCOPED_TRACE(::testing::Message() << kernel << " n=" << n << " matrix " << which++ << (unit ? " on I" : ""));
        // V a block of a larger matrix (ld > rows), the identity or strewn with NaNs and signed
        // zeros; the eigenvalues go along the first row, outside V. Nothing else may move.
        const auto V = [n](array2<double>& m) { return m.view().block(3, 2, n, n); };
        array2<double> start(n + 5, n + 2, -7.0);
        for (index_t j = 1; j <= n; ++j)
          for (index_t i = 1; i <= n; ++i)
            V(start)(i, j) = unit ? double(i == j) : gen() % 6 == 0 ? special[gen() % 3] : u(gen);
        array2<double> plain = start;
        std::vector<double> d = t.d, e = t.e;
        ql_implicit(d.data(), e.data(), n, ql_rotate_columns{V(plain), n});
        for (index_t j = 1; j <= n; ++j) plain(1, j) = d[j - 1];
        std::vector<ST> A(t.d.size());
        for (std::size_t i = 0; i < A.size(); ++i) A[i] = {t.d[i], t.e[i]};
        // Chunks of 1 and 7 rotations (cutting runs anywhere; small orders, for time), the
        // default, and (0) s_eigen_ST keeping V.
        for (index_t capacity : {index_t{1}, index_t{7}, rotation_chunk_capacity, index_t{0}}) {
          if ((capacity == 1 && n > 65) || (capacity == 7 && n > 129)) continue;
          array2<double> got = start;
          d = t.d, e = t.e;
          if (capacity == 0) s_eigen_ST(A, got.view().row(1).sub(1, n), V(got), true);
          else ql_implicit_blocked(d.data(), e.data(), n, V(got), capacity);
          for (index_t j = 1; capacity && j <= n; ++j) got(1, j) = d[j - 1];
          EXPECT_EQ(std::memcmp(got.data(), plain.data(), 8 * got.storage().size()), 0) << "capacity " << capacity;
        }
        if (!unit) continue;
        // One column of the recorded sequence at a time, as w_eigen_mode takes it.
        for (index_t capacity : {index_t{5}, rotation_chunk_capacity}) {
          std::vector<double> column(t.d.size());
          rotation_log log(capacity);
          d = t.d, e = t.e;
          ql_implicit_logged(d.data(), e.data(), n, log);
          for (index_t target = 0; target < n; target += n <= 33 || target < 3 || target > n - 4 ? 1 : n / 7) {
            rotated_identity_column(n, log.sequence(), target, column);
            EXPECT_EQ(std::memcmp(column.data(), V(plain).col(target + 1).data, 8 * column.size()), 0) << target;
          }
        }
      }
}

TEST(Rotations, EveryKernelMatchesTheColumnPairLoopBitForBit) {
  const auto kernels = detail::rotation_kernels();  // the one in use first, "baseline" last
  EXPECT_EQ(kernels.back(), "baseline");
  EXPECT_TRUE(!detail::use_rotation_kernel("none"));
  for (std::string_view k : kernels) expect_every_path_matches(k);
  detail::use_rotation_kernel(kernels.front());
}

}  // namespace
}  // namespace ltide::sparse
