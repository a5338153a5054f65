// The blocked application of the QL rotations against the column-pair loop: the same
// bits in every element (signed zeros and NaNs included), over many matrices and orders,
// chunk sizes that cut runs anywhere, kept eigenvector matrices and padded blocks; and the
// single rotated column against the full matrix.
#include "sparse/rotations.hpp"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <string>
#include <vector>

#include "sparse/eigen.hpp"
#include "sparse/ql.hpp"

namespace ltide::sparse {
namespace {

struct tridiagonal {
  std::string name;
  std::vector<double> d, e;
};

bool same_bits(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }

// Position (from 0) of the first element whose bits differ, or -1.
index_t first_difference(const double* a, const double* b, index_t count) {
  for (index_t i = 0; i < count; ++i)
    if (!same_bits(a[i], b[i])) return i;
  return -1;
}

// Matrices on which a sweep meets r = 0 exactly (found by search; the tiny entries underflow
// to zero under flush-to-zero), so the sweep is abandoned part-way and restarted.
const std::vector<tridiagonal>& exact_splits() {
  static const std::vector<tridiagonal> m{
      {"split1",
       {-0x1p+0, 0x1.b31576d71db1dp+1, 0x1.573d68f903ea2p-512, -0x0p+0, 0x0p+0, -0x0p+0},
       {0x1.1e7aec5f63027p-511, 0x1.8p+1, -0x1.38d352e5096afp+498, 0x1.56e1fc2f8f359p-997, 0x1.6e99ee96b045dp+511,
        0x1.8p+1}},
      {"split2",
       {-0x1.56e1fc2f8f359p-997, 0x1.0863ec4333c76p-664, 0x1.88a288a5d1619p-513, 0x1.011d04b94d658p+0,
        0x1.87e92154ef7acp-665, -0x1.c5a4bb7e1aa53p-533},
       {-0x1.199867a1e99b9p-531, -0x1.18631d0ee8ddep-532, 0x1.39debd1aa3c68p+511, -0x1.e3fb2066aa5e7p+0, -0x0p+0,
        0x1p+0}},
      {"split3",
       {0x1.e25523d7a6834p+1, 0x1.4fbb8b09ee244p+512, 0x1.87e92154ef7acp-665, 0x1.56e1fc2f8f359p-997, 0x0p+0,
        0x1.87e92154ef7acp-665},
       {0x1.67e9c127b6e74p-532, -0x1.7009c35e359ebp+0, 0x1p-1, 0x1.a37191b0e581p-532, 0x1.38d352e5096afp+498, 0x1p+1}},
      {"split4",
       {0x1.573d68f903ea2p-512, -0x1.58bb132cbc22fp+497, -0x1.7776b100af2bp-532, -0x1.40b0eda581e7cp-531,
        0x1.87e92154ef7acp-665, 0x1.f2b2afbb807bap-532},
       {-0x0p+0, -0x1p+0, -0x1.e11c711385e2cp-533, 0x1p+0, 0x1.92f6b4e28edc4p+0, -0x1.8641e940a3dafp+0}},
  };
  return m;
}

// Matrices of order n of several kinds, reproducible from the seed.
std::vector<tridiagonal> matrices(index_t n, unsigned seed) {
  std::mt19937_64 gen(seed);
  std::uniform_real_distribution<double> u(-1.0, 1.0);
  std::uniform_int_distribution<int> pick(0, 9);
  const auto size = static_cast<std::size_t>(n);
  std::vector<tridiagonal> out;

  tridiagonal random{"random", std::vector<double>(size), std::vector<double>(size)};
  for (std::size_t i = 0; i < size; ++i) random.d[i] = u(gen), random.e[i] = u(gen);
  out.push_back(random);

  // Early splits: zero, negligible and negative-zero couplings, negative-zero diagonals.
  tridiagonal splits = random;
  splits.name = "splits";
  for (std::size_t i = 0; i < size; ++i) {
    const int k = pick(gen);
    if (k == 0) splits.e[i] = 0.0;
    if (k == 1) splits.e[i] = -0.0;
    if (k == 2) splits.e[i] = 1e-30 * splits.e[i];
    if (k == 3) splits.d[i] = -0.0;
  }
  out.push_back(splits);

  // Zero diagonal: every eigenvector mixes signed zeros through many rotations.
  tridiagonal zero_diagonal{"zero-diagonal", std::vector<double>(size, -0.0), random.e};
  out.push_back(zero_diagonal);

  // Graded over many orders of magnitude.
  tridiagonal graded{"graded", std::vector<double>(size), std::vector<double>(size)};
  for (std::size_t i = 0; i < size; ++i) {
    const double scale = std::ldexp(1.0, static_cast<int>(i % 16) * 6 - 48);
    graded.d[i] = u(gen) * scale;
    graded.e[i] = u(gen) * scale;
  }
  out.push_back(graded);

  // Close pairs of eigenvalues (Wilkinson's matrix).
  tridiagonal wilkinson{"wilkinson", std::vector<double>(size), std::vector<double>(size, 1.0)};
  for (std::size_t i = 0; i < size; ++i) wilkinson.d[i] = std::fabs(static_cast<double>(i) - (n - 1) / 2.0);
  out.push_back(wilkinson);

  // The exact-split matrices inside larger ones, cut off by zero couplings.
  for (const tridiagonal& s : exact_splits()) {
    if (n < static_cast<index_t>(s.d.size())) continue;
    tridiagonal t = random;
    t.name = "embedded-" + s.name;
    const std::size_t at = (size - s.d.size()) / 2;
    for (std::size_t i = 0; i < s.d.size(); ++i) t.d[at + i] = s.d[i], t.e[at + i] = s.e[i];
    if (at > 0) t.e[at - 1] = 0.0;
    t.e[at + s.d.size() - 1] = 0.0;
    out.push_back(t);
  }
  return out;
}

struct result {
  std::vector<double> d;
  array2<double> V;
};

array2<double> identity(index_t n) {
  array2<double> I(n, n);
  for (index_t i = 1; i <= n; ++i) I(i, i) = 1.0;
  return I;
}

result column_pair_loop(const tridiagonal& t, array2<double> V) {
  result r{t.d, std::move(V)};
  std::vector<double> e = t.e;
  const auto n = static_cast<index_t>(t.d.size());
  ql_implicit(r.d.data(), e.data(), n, ql_rotate_columns{r.V.view(), n});
  return r;
}

result blocked(const tridiagonal& t, array2<double> V, index_t capacity) {
  result r{t.d, std::move(V)};
  std::vector<double> e = t.e;
  ql_implicit_blocked(r.d.data(), e.data(), static_cast<index_t>(t.d.size()), r.V.view(), capacity);
  return r;
}

void expect_same(const result& a, const result& b, const std::string& what) {
  const auto n = static_cast<index_t>(a.d.size());
  EXPECT_EQ(first_difference(a.d.data(), b.d.data(), n), -1) << what;
  EXPECT_EQ(first_difference(a.V.data(), b.V.data(), n * n), -1) << what;
}

const std::vector<index_t> orders{1, 2, 3, 4, 5, 6, 7, 8, 9, 15, 16, 17, 31, 32, 33, 47, 63, 64, 65, 100, 129, 200, 300};

TEST(BlockedRotations, MatchTheColumnPairLoopBitForBit) {
  for (index_t n : orders) {
    for (const tridiagonal& t : matrices(n, static_cast<unsigned>(n))) {
      const result plain = column_pair_loop(t, identity(n));
      // Chunks of one rotation, of a few (cutting runs anywhere) and of the default size.
      for (index_t capacity : {index_t{1}, index_t{7}, index_t{1000}, rotation_chunk_capacity})
        expect_same(blocked(t, identity(n), capacity), plain,
                    t.name + " n=" + std::to_string(n) + " capacity=" + std::to_string(capacity));
    }
  }
}

TEST(BlockedRotations, SEigenSTMatchesTheColumnPairLoop) {
  for (index_t n : orders) {
    for (const tridiagonal& t : matrices(n, 1000 + static_cast<unsigned>(n))) {
      std::vector<ST> A(t.d.size());
      for (std::size_t i = 0; i < A.size(); ++i) A[i] = {t.d[i], t.e[i]};
      result ours{std::vector<double>(t.d.size()), array2<double>(n, n, 3.0)};
      s_eigen_ST(A, ours.d, ours.V.view());
      expect_same(ours, column_pair_loop(t, identity(n)), t.name + " n=" + std::to_string(n));
    }
  }
}

TEST(BlockedRotations, KeptMatrixAndPaddedBlockMatch) {
  for (index_t n : {5, 40, 77}) {
    const tridiagonal t = matrices(n, 7)[0];
    // Any starting matrix, with a NaN and signed zeros in it: each row just follows the rotations.
    array2<double> start(n, n);
    std::mt19937_64 gen(3);
    std::uniform_real_distribution<double> u(-1.0, 1.0);
    for (double& x : start.storage()) x = u(gen);
    start(1, 1) = std::numeric_limits<double>::quiet_NaN();
    start(2, 1) = -0.0;
    expect_same(blocked(t, start, 50), column_pair_loop(t, start), "kept n=" + std::to_string(n));

    // V as a block of a larger matrix: the surrounding elements stay untouched.
    array2<double> big(n + 5, n + 2, -7.0);
    const matrix_view<double> V = big.view().block(3, 2, n, n);
    for (index_t i = 1; i <= n; ++i)
      for (index_t j = 1; j <= n; ++j) V(i, j) = i == j ? 1.0 : 0.0;
    std::vector<double> d = t.d, e = t.e;
    ql_implicit_blocked(d.data(), e.data(), n, V, 33);
    const result plain = column_pair_loop(t, identity(n));
    for (index_t j = 1; j <= n; ++j)
      EXPECT_EQ(first_difference(V.col(j).data, plain.V.col(j).data, n), -1) << "block n=" << n << " column " << j;
    for (index_t i = 1; i <= n + 5; ++i) {
      EXPECT_EQ(big(i, 1), -7.0);
      EXPECT_EQ(big(i, n + 2), -7.0);
    }
    for (index_t j = 1; j <= n + 2; ++j) {
      EXPECT_EQ(big(1, j), -7.0);
      EXPECT_EQ(big(n + 3, j), -7.0);
    }
  }
}

TEST(RotatedIdentityColumn, EveryColumnMatchesTheFullMatrix) {
  for (index_t n : {1, 2, 3, 9, 32, 33, 70, 130}) {
    for (const tridiagonal& t : matrices(n, 50 + static_cast<unsigned>(n))) {
      const result plain = column_pair_loop(t, identity(n));
      for (index_t capacity : {index_t{5}, rotation_chunk_capacity}) {
        std::vector<double> d = t.d, e = t.e;
        rotation_log log(capacity);
        ql_implicit_logged(d.data(), e.data(), n, log);
        EXPECT_EQ(first_difference(d.data(), plain.d.data(), n), -1);
        std::vector<double> column(static_cast<std::size_t>(n));
        for (index_t target = 0; target < n; ++target) {
          rotated_identity_column(n, log.sequence(), target, column);
          EXPECT_EQ(first_difference(column.data(), plain.V.col(target + 1).data, n), -1)
              << t.name << " n=" << n << " column " << target;
        }
      }
    }
  }
}

TEST(RotatedIdentityColumn, AppliesOnlyTheRotationsThatReachTheColumn) {
  // Two sweeps over columns 2 .. 6 (rotations i = 5, 4, 3, 2 each).
  rotation_chunk chunk(16);
  for (int sweep = 0; sweep < 2; ++sweep)
    for (index_t i = 5; i >= 2; --i) chunk.push(i, 0.6, 0.8);
  const std::vector<rotation_chunk> chunks{chunk};
  // No rotation touches columns 0 and 1.
  EXPECT_EQ(rotated_identity_column_share(chunks, 0), 0.0);
  // Column 6 is final after the first rotation of a sweep; going back one sweep, the
  // columns that can reach it grow by one downwards: 1 rotation of the last sweep, 2 of the first.
  EXPECT_EQ(rotated_identity_column_share(chunks, 6), 3.0 / 8.0);
  // The last rotation of the last sweep touches column 2, and all before it reach it.
  EXPECT_EQ(rotated_identity_column_share(chunks, 2), 1.0);
  std::vector<double> column(7);
  rotated_identity_column(7, chunks, 0, column);
  EXPECT_EQ(column, (std::vector<double>{1, 0, 0, 0, 0, 0, 0}));
}

}  // namespace
}  // namespace ltide::sparse
