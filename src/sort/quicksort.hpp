#pragma once
// The one sorting procedure behind every member of the sort module. It rearranges
// "slots" 1..n; a slot holds either an index into the keys (index sort) or a key
// itself (in-place sort), and `key_of` turns a slot's content into the key compared.
// The stack depth is a template parameter so that its overflow can be provoked.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <utility>
#include <vector>

#include <ltide/common/fatal.hpp>
#include <ltide/common/view.hpp>

namespace ltide::sort::detail {

inline constexpr std::size_t NSTACK = 50;

// Segments of at most this many elements + 1 are finished by straight insertion.
inline constexpr index_t INSERTION_LIMIT = 7;

// slot(p) returns a reference to slot p (1-based); key_of(content) its key.
template <std::size_t Nstack, class Slot, class KeyOf>
void quicksort(index_t n, Slot&& slot, KeyOf&& key_of, std::string_view overflow_tag) {
  std::array<index_t, Nstack> stack{};  // pairs (lower, upper); stack(d) is stack[d - 1]
  std::size_t d = 0;
  index_t l = 1;
  index_t r = n;
  for (;;) {
    if (r - l < INSERTION_LIMIT) {
      for (index_t j = l + 1; j <= r; ++j) {
        auto t = slot(j);
        const auto v = key_of(t);
        index_t p = j - 1;
        // Bounded by l: every key left of a segment is no greater than the keys in it,
        // so the scan would stop there anyway.
        while (p >= l && key_of(slot(p)) > v) {
          slot(p + 1) = slot(p);
          --p;
        }
        slot(p + 1) = t;
      }
      if (d == 0) return;
      r = stack[d - 1];
      l = stack[d - 2];
      d -= 2;
      continue;
    }
    // Median of three: afterwards key(l + 1) <= key(l) <= key(r), the pivot sits at l and
    // positions l + 1 and r bound both scans.
    const index_t k = (l + r) / 2;
    std::swap(slot(k), slot(l + 1));
    if (key_of(slot(l + 1)) > key_of(slot(r))) std::swap(slot(l + 1), slot(r));
    if (key_of(slot(l)) > key_of(slot(r))) std::swap(slot(l), slot(r));
    if (key_of(slot(l + 1)) > key_of(slot(l))) std::swap(slot(l + 1), slot(l));
    index_t i = l + 1;
    index_t j = r;
    auto t = slot(l);
    const auto v = key_of(t);
    for (;;) {
      do ++i; while (key_of(slot(i)) < v);
      do --j; while (key_of(slot(j)) > v);
      if (j < i) break;
      std::swap(slot(i), slot(j));
    }
    slot(l) = slot(j);
    slot(j) = t;
    d += 2;
    if (d > Nstack) fatal("NSTACK too small", overflow_tag);
    // Push the longer part (the right one at equal lengths) and go on with the shorter:
    // at most log2(n) segments are ever pending.
    if (r - i + 1 >= j - l) {
      stack[d - 2] = i;
      stack[d - 1] = r;
      r = j - 1;
    } else {
      stack[d - 2] = l;
      stack[d - 1] = j - 1;
      l = i;
    }
  }
}

// Per-kind overflow tags. The in-place members share one tag (with a single colon).
template <class T>
struct sort_tags;
template <>
struct sort_tags<float> {
  static constexpr std::string_view index = "sort::s_index_sort_s";
};
template <>
struct sort_tags<double> {
  static constexpr std::string_view index = "sort::s_index_sort_d";
};
template <>
struct sort_tags<int32_t> {
  static constexpr std::string_view index = "sort::s_index_sort_i";
};
inline constexpr std::string_view quick_sort_tag = "sort:s_quick_sort_r";

template <class T, std::size_t Nstack = NSTACK>
std::vector<int32_t> index_sort(vector_view<const T> arr) {
  const index_t n = extent(arr.size);
  // Index values are 32-bit; a longer array cannot be described by them.
  if (n > INT32_MAX) fatal("array too long for 32-bit indices", sort_tags<T>::index);
  std::vector<int32_t> index(static_cast<std::size_t>(n));
  for (index_t p = 0; p < n; ++p) index[static_cast<std::size_t>(p)] = static_cast<int32_t>(p + 1);
  quicksort<Nstack>(
      n, [&](index_t p) -> int32_t& { return index[static_cast<std::size_t>(p - 1)]; },
      [&](int32_t t) { return arr(t); }, sort_tags<T>::index);
  return index;
}

template <class T, std::size_t Nstack = NSTACK>
void quick_sort(vector_view<T> arr, bool reverse) {
  const index_t n = extent(arr.size);
  quicksort<Nstack>(n, [&](index_t p) -> T& { return arr(p); }, [](T value) { return value; }, quick_sort_tag);
  if (reverse) {
    const std::vector<T> copy = arr.to_vector();
    for (index_t p = 1; p <= n; ++p) arr(p) = copy[static_cast<std::size_t>(n - p)];
  }
}

}  // namespace ltide::sort::detail
