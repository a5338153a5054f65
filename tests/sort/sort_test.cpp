#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>
#include <vector>

#include "sort/quicksort.hpp"
#include "sort/sort.hpp"

namespace ltide::sort {
namespace {

using idx = std::vector<int32_t>;

TEST(IndexSort, WorkedExamplesFixTheOrderOfEqualKeys) {
  EXPECT_EQ(s_index_sort_d(std::vector<double>{5, 3, 9, 1, 3, 7, 2, 8, 3, 0}), (idx{10, 4, 7, 9, 5, 2, 1, 6, 8, 3}));
  EXPECT_EQ(s_index_sort_d(std::vector<double>{2, 1, 2, 1, 2, 1, 2, 1, 2, 1}), (idx{8, 10, 4, 2, 6, 9, 1, 7, 3, 5}));
  EXPECT_EQ(s_index_sort_i(std::vector<int32_t>{5, 3, 9, 1, 3, 7, 2, 8, 3, 0}), (idx{10, 4, 7, 9, 5, 2, 1, 6, 8, 3}));
  EXPECT_EQ(s_index_sort_s(std::vector<float>{2, 1, 2, 1, 2, 1, 2, 1, 2, 1}), (idx{8, 10, 4, 2, 6, 9, 1, 7, 3, 5}));
}

TEST(IndexSort, ShortArraysUseInsertionAndKeepEqualKeysInOrder) {
  EXPECT_TRUE(s_index_sort_d(std::vector<double>{}).empty());
  EXPECT_EQ(s_index_sort_d(std::vector<double>{4}), (idx{1}));
  EXPECT_EQ(s_index_sort_d(std::vector<double>{3, 1, 2}), (idx{2, 3, 1}));
  EXPECT_EQ(s_index_sort_d(std::vector<double>{1, 1, 1}), (idx{1, 2, 3}));
  EXPECT_EQ(s_index_sort_i(std::vector<int32_t>{2, 1, 2, 1, 2, 1, 2}), (idx{2, 4, 6, 1, 3, 5, 7}));
}

// On distinct keys the order is unique, so it must equal a stable sort of the positions;
// with many equal keys the result must still be an ordering permutation.
template <class T, class IndexSort>
void check_random_index_sorts(IndexSort index_sort, std::mt19937& gen) {
  for (int trial = 0; trial < 200; ++trial) {
    const int n = std::uniform_int_distribution<int>(0, 3000)(gen);
    const bool distinct = trial % 2 == 0;
    std::vector<T> a(static_cast<std::size_t>(n));
    std::iota(a.begin(), a.end(), T(-n / 2));
    std::shuffle(a.begin(), a.end(), gen);
    if (!distinct)
      for (auto& v : a) v = static_cast<T>(static_cast<int>(v) % 10);
    const idx index = index_sort(a);
    idx expect(static_cast<std::size_t>(n));
    std::iota(expect.begin(), expect.end(), 1);
    std::stable_sort(expect.begin(), expect.end(), [&](int32_t p, int32_t q) { return a[p - 1] < a[q - 1]; });
    if (distinct) {
      ASSERT_EQ(index, expect);
    }
    for (int p = 1; p < n; ++p) ASSERT_LE(a[index[p - 1] - 1], a[index[p] - 1]);
    idx sorted = index;
    std::sort(sorted.begin(), sorted.end());
    std::iota(expect.begin(), expect.end(), 1);
    ASSERT_EQ(sorted, expect);
  }
}

TEST(IndexSort, RandomArraysGiveOrderingPermutations) {
  std::mt19937 gen(12345);
  check_random_index_sorts<float>([](const std::vector<float>& a) { return s_index_sort_s(a); }, gen);
  check_random_index_sorts<double>([](const std::vector<double>& a) { return s_index_sort_d(a); }, gen);
  check_random_index_sorts<int32_t>([](const std::vector<int32_t>& a) { return s_index_sort_i(a); }, gen);
}

TEST(QuickSort, WorkedExampleAscendingAndReversed) {
  std::vector<double> a{5, 3, 9, 1, 3, 7, 2, 8, 3, 0};
  auto b = a;
  s_quick_sort_d(a);
  EXPECT_EQ(a, (std::vector<double>{0, 1, 2, 3, 3, 3, 5, 7, 8, 9}));
  s_quick_sort_d(b, true);
  EXPECT_EQ(b, (std::vector<double>{9, 8, 7, 5, 3, 3, 3, 2, 1, 0}));
  std::vector<int32_t> empty, one{7};
  s_quick_sort_i(empty, true);
  s_quick_sort_i(one, true);
  EXPECT_TRUE(empty.empty());
  EXPECT_EQ(one, (std::vector<int32_t>{7}));
}

TEST(QuickSort, StridedViewMatchesStdSortAndLeavesGapsAlone) {
  std::mt19937 gen(777);
  for (int trial = 0; trial < 100; ++trial) {
    const int n = std::uniform_int_distribution<int>(0, 2000)(gen);
    std::vector<float> store(2 * static_cast<std::size_t>(n), -1.0F);
    std::vector<float> keys(static_cast<std::size_t>(n));
    for (int p = 0; p < n; ++p) store[2 * p] = keys[p] = static_cast<float>(std::uniform_int_distribution<int>(0, n / 3)(gen));
    const bool reverse = trial % 2 == 1;
    s_quick_sort_s(vector_view<float>(store.data(), n, 2), reverse);
    std::sort(keys.begin(), keys.end());
    if (reverse) std::reverse(keys.begin(), keys.end());
    for (int p = 0; p < n; ++p) {
      ASSERT_EQ(store[2 * p], keys[p]);
      ASSERT_EQ(store[2 * p + 1], -1.0F);
    }
  }
}

// With a pending-segment stack of one pair, a sorted array of 64 splits into halves of
// more than seven elements, so the second partition overflows the stack.
TEST(SortStack, OverflowStopsWithTheMembersMessage) {
  std::vector<double> d(64);
  std::iota(d.begin(), d.end(), 0.0);
  const std::vector<float> s(d.begin(), d.end());
  const std::vector<int32_t> i(d.begin(), d.end());
  auto exits = ::testing::ExitedWithCode(1);
  EXPECT_EXIT((detail::index_sort<double, 2>(d)), exits, "^\\*\\* NSTACK too small \\[sort::s_index_sort_d\\]\n$");
  EXPECT_EXIT((detail::index_sort<float, 2>(s)), exits, "^\\*\\* NSTACK too small \\[sort::s_index_sort_s\\]\n$");
  EXPECT_EXIT((detail::index_sort<int32_t, 2>(i)), exits, "^\\*\\* NSTACK too small \\[sort::s_index_sort_i\\]\n$");
  EXPECT_EXIT((detail::quick_sort<double, 2>(d, false)), exits, "^\\*\\* NSTACK too small \\[sort:s_quick_sort_r\\]\n$");
  // Four pending pairs are enough for 64 elements.
  EXPECT_EQ((detail::index_sort<double, 8>(d)), s_index_sort_d(d));
}

}  // namespace
}  // namespace ltide::sort
