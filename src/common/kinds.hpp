#pragma once
// The data kinds of the numerical families: single real, double real, single complex,
// double complex. One template per algorithm is constrained by these concepts; the
// kind letter lives only in the thin named functions.
#include <complex>
#include <concepts>
#include <cstddef>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>

namespace ltide {

template <class T>
concept real_kind = std::same_as<T, float> || std::same_as<T, double>;

template <class T>
struct complex_traits : std::false_type {};
template <real_kind R>
struct complex_traits<std::complex<R>> : std::true_type {
  using real = R;
};

template <class T>
concept complex_kind = complex_traits<T>::value;

template <class T>
concept numeric_kind = real_kind<T> || complex_kind<T>;

// The real type of a kind: itself for real kinds, the part type for complex kinds.
template <class T>
struct real_part_type {
  using type = T;
};
template <real_kind R>
struct real_part_type<std::complex<R>> {
  using type = R;
};
template <class T>
using real_of = typename real_part_type<T>::type;

// Product of non-negative extents and an element size, or nothing when it does not
// fit in a std::size_t (or in a signed index). Callers check before they allocate.
inline std::optional<std::size_t> checked_bytes(std::initializer_list<std::ptrdiff_t> extents,
                                                std::size_t element_size) {
  std::size_t total = element_size;
  constexpr auto limit = static_cast<std::size_t>(std::numeric_limits<std::ptrdiff_t>::max());
  for (std::ptrdiff_t e : extents) {
    auto n = static_cast<std::size_t>(e < 0 ? 0 : e);
    if (n != 0 && total > limit / n) return std::nullopt;
    total *= n;
  }
  return total;
}

}  // namespace ltide
