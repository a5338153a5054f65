#pragma once
// Non-owning views of numerical arrays and the owning column-major containers.
//
// Indexing: operator() counts from 1, as every numerical description of the system
// does (x(i), a(i, j)); operator[] on a vector view counts from 0. Views are small
// values: pass them by value.
#include <algorithm>
#include <cstddef>
#include <type_traits>
#include <vector>

namespace ltide {

using index_t = std::ptrdiff_t;

// A negative extent means an empty array.
constexpr index_t extent(index_t n) noexcept { return n < 0 ? 0 : n; }

// Strided one-dimensional view: element i (from 0) is data[i * stride].
template <class T>
struct vector_view {
  T* data = nullptr;
  index_t size = 0;
  index_t stride = 1;

  constexpr vector_view() = default;
  constexpr vector_view(T* d, index_t n, index_t s = 1) : data(d), size(n), stride(s) {}

  // A std::vector as a contiguous view.
  template <class U>
    requires std::is_same_v<std::remove_const_t<T>, U>
  vector_view(std::vector<U>& v) : data(v.data()), size(static_cast<index_t>(v.size())) {}
  template <class U>
    requires(std::is_const_v<T> && std::is_same_v<std::remove_const_t<T>, U>)
  vector_view(const std::vector<U>& v) : data(v.data()), size(static_cast<index_t>(v.size())) {}

  // A view of T converts to a view of const T.
  template <class U>
    requires(std::is_const_v<T> && std::is_same_v<std::remove_const_t<T>, U>)
  constexpr vector_view(vector_view<U> v) : data(v.data), size(v.size), stride(v.stride) {}

  constexpr T& operator[](index_t i) const { return data[i * stride]; }
  constexpr T& operator()(index_t i) const { return data[(i - 1) * stride]; }
  constexpr bool empty() const { return size <= 0; }
  constexpr bool contiguous() const { return stride == 1 || size <= 1; }

  // count elements starting at element `first` (from 1).
  constexpr vector_view sub(index_t first, index_t count) const {
    return {data + (first - 1) * stride, count, stride};
  }

  // The elements in order, as a new contiguous array.
  std::vector<std::remove_const_t<T>> to_vector() const {
    std::vector<std::remove_const_t<T>> out(static_cast<std::size_t>(extent(size)));
    for (index_t i = 0; i < size; ++i) out[static_cast<std::size_t>(i)] = (*this)[i];
    return out;
  }
};

template <class U>
vector_view(std::vector<U>&) -> vector_view<U>;
template <class U>
vector_view(const std::vector<U>&) -> vector_view<const U>;

// Column-major matrix view: element (i, j) (from 1) is data[(i-1) + (j-1) * ld].
// A column is contiguous; a row is a strided vector view with stride ld.
template <class T>
struct matrix_view {
  T* data = nullptr;
  index_t rows = 0;
  index_t cols = 0;
  index_t ld = 0;

  constexpr matrix_view() = default;
  constexpr matrix_view(T* d, index_t r, index_t c, index_t lead) : data(d), rows(r), cols(c), ld(lead) {}
  constexpr matrix_view(T* d, index_t r, index_t c) : data(d), rows(r), cols(c), ld(r) {}

  template <class U>
    requires(std::is_const_v<T> && std::is_same_v<std::remove_const_t<T>, U>)
  constexpr matrix_view(matrix_view<U> m) : data(m.data), rows(m.rows), cols(m.cols), ld(m.ld) {}

  constexpr T& operator()(index_t i, index_t j) const { return data[(i - 1) + (j - 1) * ld]; }
  constexpr vector_view<T> col(index_t j) const { return {data + (j - 1) * ld, rows, 1}; }
  constexpr vector_view<T> row(index_t i) const { return {data + (i - 1), cols, ld}; }
  // The r-by-c block whose top-left element is (i, j).
  constexpr matrix_view block(index_t i, index_t j, index_t r, index_t c) const {
    return {data + (i - 1) + (j - 1) * ld, r, c, ld};
  }
  constexpr bool contiguous() const { return ld == rows || cols <= 1; }
  constexpr index_t count() const { return extent(rows) * extent(cols); }
};

// Column-major three-dimensional view: element (i, j, k) is
// data[(i-1) + (j-1) * ld1 + (k-1) * ld2].
template <class T>
struct cube_view {
  T* data = nullptr;
  index_t n1 = 0, n2 = 0, n3 = 0;
  index_t ld1 = 0, ld2 = 0;

  constexpr cube_view() = default;
  constexpr cube_view(T* d, index_t a, index_t b, index_t c, index_t l1, index_t l2)
      : data(d), n1(a), n2(b), n3(c), ld1(l1), ld2(l2) {}
  constexpr cube_view(T* d, index_t a, index_t b, index_t c) : cube_view(d, a, b, c, a, a * b) {}

  template <class U>
    requires(std::is_const_v<T> && std::is_same_v<std::remove_const_t<T>, U>)
  constexpr cube_view(cube_view<U> m) : data(m.data), n1(m.n1), n2(m.n2), n3(m.n3), ld1(m.ld1), ld2(m.ld2) {}

  constexpr T& operator()(index_t i, index_t j, index_t k) const {
    return data[(i - 1) + (j - 1) * ld1 + (k - 1) * ld2];
  }
  constexpr bool contiguous() const { return (ld1 == n1 || n2 * n3 <= 1) && (ld2 == ld1 * n2 || n3 <= 1); }
  constexpr index_t count() const { return extent(n1) * extent(n2) * extent(n3); }
};

// Owning column-major matrix (negative extents give an empty matrix).
template <class T>
class array2 {
 public:
  array2() = default;
  array2(index_t rows, index_t cols, T value = T{})
      : rows_(extent(rows)), cols_(extent(cols)), store_(static_cast<std::size_t>(rows_ * cols_), value) {}

  index_t rows() const { return rows_; }
  index_t cols() const { return cols_; }
  T* data() { return store_.data(); }
  const T* data() const { return store_.data(); }
  T& operator()(index_t i, index_t j) { return store_[static_cast<std::size_t>((i - 1) + (j - 1) * rows_)]; }
  const T& operator()(index_t i, index_t j) const {
    return store_[static_cast<std::size_t>((i - 1) + (j - 1) * rows_)];
  }
  matrix_view<T> view() { return {store_.data(), rows_, cols_, rows_}; }
  matrix_view<const T> view() const { return {store_.data(), rows_, cols_, rows_}; }
  vector_view<T> col(index_t j) { return view().col(j); }
  vector_view<const T> col(index_t j) const { return view().col(j); }
  std::vector<T>& storage() { return store_; }
  const std::vector<T>& storage() const { return store_; }
  void fill(T value) { std::fill(store_.begin(), store_.end(), value); }
  friend bool operator==(const array2&, const array2&) = default;

 private:
  index_t rows_ = 0;
  index_t cols_ = 0;
  std::vector<T> store_;
};

// A copy of any matrix view as an owning matrix.
template <class T>
array2<std::remove_const_t<T>> to_array2(matrix_view<T> m) {
  array2<std::remove_const_t<T>> out(m.rows, m.cols);
  for (index_t j = 1; j <= m.cols; ++j)
    for (index_t i = 1; i <= m.rows; ++i) out(i, j) = m(i, j);
  return out;
}

}  // namespace ltide
