#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <numeric>
#include <random>
#include <vector>

#include <ltide/sort/quicksort.hpp>
#include <ltide/sort/sort.hpp>

#include "support.hpp"

namespace ltide::sort {
namespace {

using idx = std::vector<int32_t>;

// The order among equal keys is the procedure's own; these rows fix it.
TEST(IndexSort, WorkedExamplesFixTheOrderOfEqualKeys) {
  const std::vector<std::pair<std::vector<double>, idx>> rows{
      {{5, 3, 9, 1, 3, 7, 2, 8, 3, 0}, {10, 4, 7, 9, 5, 2, 1, 6, 8, 3}},
      {{2, 1, 2, 1, 2, 1, 2, 1, 2, 1}, {8, 10, 4, 2, 6, 9, 1, 7, 3, 5}},
      {{2, 1, 2, 1, 2, 1, 2}, {2, 4, 6, 1, 3, 5, 7}}, {{3, 1, 2}, {2, 3, 1}}, {{4}, {1}}, {{}, {}}};
  for (const auto& [keys, expect] : rows) EXPECT_EQ(s_index_sort_d(keys), expect);
}

// Distinct keys have one ordering permutation: the stable sort of the positions.
TEST(IndexSort, RandomDistinctKeysMatchStableSortForEveryKind) {
  std::mt19937 gen(12345);
  auto check = [&]<class T>(idx (*index_sort)(vector_view<const T>)) {
    for (int trial = 0; trial < 100; ++trial) {
      std::vector<T> a(static_cast<std::size_t>(std::uniform_int_distribution<int>(0, 3000)(gen)));
      std::iota(a.begin(), a.end(), T(-1000));
      std::shuffle(a.begin(), a.end(), gen);
      idx expect(a.size());
      std::iota(expect.begin(), expect.end(), 1);
      std::stable_sort(expect.begin(), expect.end(), [&](int32_t p, int32_t q) { return a[p - 1] < a[q - 1]; });
      ASSERT_EQ(index_sort(a), expect);
    }
  };
  check(s_index_sort_s); check(s_index_sort_d); check(s_index_sort_i);
}

// Few distinct keys exercise equal-key partitioning; the gaps of the strided view stay.
TEST(QuickSort, StridedViewMatchesStdSortBothWays) {
  std::mt19937 gen(777);
  for (int trial = 0; trial < 100; ++trial) {
    const int n = std::uniform_int_distribution<int>(0, 2000)(gen);
    std::vector<float> store(2 * static_cast<std::size_t>(n), -1.0F), keys(static_cast<std::size_t>(n));
    for (int p = 0; p < n; ++p) store[2 * p] = keys[p] = float(std::uniform_int_distribution<int>(0, n / 3)(gen));
    s_quick_sort_s(vector_view<float>(store.data(), n, 2), trial % 2 == 1);
    std::sort(keys.begin(), keys.end());
    if (trial % 2 == 1) std::reverse(keys.begin(), keys.end());
    for (int p = 0; p < n; ++p) ASSERT_EQ(store[2 * p], keys[p]) << p;
    ASSERT_EQ(std::count(store.begin(), store.end(), -1.0F), n);
  }
}

TEST(QuickSort, DoubleAndIntegerMembersSortBothWays) {
  std::vector<double> d{2.5, -1.0, 7.0, 2.5};
  std::vector<int32_t> i{3, -8, 0, 3};
  s_quick_sort_d(d);
  s_quick_sort_i(i, true);
  EXPECT_EQ(d, (std::vector<double>{-1.0, 2.5, 2.5, 7.0}));
  EXPECT_EQ(i, (std::vector<int32_t>{3, 3, 0, -8}));
}

// With one pending pair, a sorted array of 64 overflows the stack at the second partition.
TEST(SortStack, OverflowStopsWithTheMembersMessage) {
  std::vector<double> d(64);
  std::iota(d.begin(), d.end(), 0.0);
  const std::vector<int32_t> i(d.begin(), d.end());
  EXPECT_EQ(error_line([&] { detail::index_sort<double, 2>(d); }), "** NSTACK too small [sort::s_index_sort_d]");
  EXPECT_EQ(error_line([&] { detail::index_sort<int32_t, 2>(i); }), "** NSTACK too small [sort::s_index_sort_i]");
  EXPECT_EQ(error_line([&] { detail::quick_sort<double, 2>(d, false); }), "** NSTACK too small [sort:s_quick_sort_r]");
}

}  // namespace
}  // namespace ltide::sort
