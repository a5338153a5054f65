#pragma once
// Recorded plane rotations of the QL iteration and their blocked application.
//
// Every row of the eigenvector matrix evolves on its own under the same sequence of
// rotations (c, s) on column pairs (i, i+1). Applying the sequence to a block of rows
// at a time, rotation after rotation, performs on every element exactly the operations
// of the column-pair loop (ql_rotate_columns) in the same order, so the results are the
// same bits; but the rows of a block stay in cache and in vector registers instead of
// streaming two whole columns through the cache per rotation.
//
// Within a sweep the rotations come as a descending run i = top, top-1, ...: after
// rotation i column i+1 is final and column i is carried into rotation i-1. A row block
// therefore costs one load and one store per rotation, with the carried column held in
// registers.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

#include <ltide/common/view.hpp>
#include <ltide/sparse/ql.hpp>

namespace ltide::sparse {

// Rotations i = top, top-1, ..., top-count+1 (columns counted from 0); their cosines and
// sines are entries first .. first+count-1 of the chunk's c and s.
struct rotation_run {
  index_t top = 0;
  index_t count = 0;
  index_t first = 0;
};

// A bounded stretch of the rotation sequence, grouped into descending runs.
struct rotation_chunk {
  std::vector<rotation_run> runs;
  std::vector<double> c, s;
  index_t lo = 0, hi = -1;  // columns touched: lo .. hi

  explicit rotation_chunk(index_t capacity);
  bool full() const { return c.size() == c.capacity(); }
  index_t size() const { return static_cast<index_t>(c.size()); }

  [[gnu::always_inline]] void push(index_t i, double cos, double sin) {
    if (!runs.empty() && i == runs.back().top - runs.back().count) {
      ++runs.back().count;
    } else {
      runs.push_back({i, 1, size()});
      if (i + 1 > hi) hi = i + 1;
    }
    if (i < lo || c.empty()) lo = i;
    c.push_back(cos);
    s.push_back(sin);
  }
  void clear() {
    runs.clear();
    c.clear();
    s.clear();
    lo = 0;
    hi = -1;
  }
};

// Rotations per chunk: 16 bytes each, so a chunk holds 8 MiB of cosines and sines. Every
// chunk is applied in one pass over the matrix (read and written back through memory),
// so a chunk should hold many more rotations than the matrix has columns: at order 2000
// (4 million rotations) half this size costs 7% more.
inline constexpr index_t rotation_chunk_capacity = index_t{1} << 19;

// Applies the chunk's rotations, in order, to rows 0 .. rows-1 of V: bit for bit what
// ql_rotate_columns{V, rows} does rotation after rotation.
void apply_rotations(matrix_view<double> V, index_t rows, const rotation_chunk& chunk);

// Column `target` (from 0) of the n-by-n identity after all rotations of the chunks, in
// order, into out (n values): the same bits as that column after the column-pair loop.
// Only the rotations that can still reach the target column are applied; walking the
// sequence backwards, the columns that can reach it form an interval, and of each
// descending run only a leading part touches that interval.
void rotated_identity_column(index_t n, std::span<const rotation_chunk> chunks, index_t target,
                             vector_view<double> out);

// Fraction of the rotations that rotated_identity_column applies (for measurements).
double rotated_identity_column_share(std::span<const rotation_chunk> chunks, index_t target);


namespace detail {
// The rotation kernels this processor can run, the one chosen at start first ("avx512",
// "avx2", "baseline"), and a switch to another of them, so that tests can hold every
// kernel against the column-pair loop. Returns false (and changes nothing) for a kernel
// this processor cannot run. The choice is process-wide: not while other threads rotate.
std::vector<std::string_view> rotation_kernels();
bool use_rotation_kernel(std::string_view name);
}  // namespace detail

// Below this order the two columns of a rotation sit in the first-level cache anyway and
// the column-pair loop is as fast as recording and replaying (measured: equal near 90).
inline constexpr index_t ql_blocked_min_order = 96;

// ql_implicit with the rotations recorded chunk by chunk and each chunk applied to V
// (rows 0 .. n-1) in row blocks: the same eigenvalues, and the same bits in V as
// ql_implicit(d, e, n, ql_rotate_columns{V, n}).
inline void ql_implicit_blocked(double* d, double* e, index_t n, matrix_view<double> V,
                                index_t capacity = rotation_chunk_capacity) {
  // A solve makes about n^2 rotations; small ones need no full-sized chunk.
  const index_t expected = n < 4096 ? std::max<index_t>(1024, 2 * n * n) : capacity;
  rotation_chunk chunk(std::min(capacity, expected));
  ql_implicit(d, e, n, [&](index_t i, double c, double s) {
    if (chunk.full()) {
      apply_rotations(V, n, chunk);
      chunk.clear();
    }
    chunk.push(i, c, s);
  });
  apply_rotations(V, n, chunk);
}

// The whole rotation sequence of a solve, kept in chunks (no chunk is ever copied).
// Chunks stay allocated when the log is reset, so a loop of solves of one size
// allocates only in its first solve.
class rotation_log {
 public:
  explicit rotation_log(index_t capacity = index_t{1} << 16) : capacity_(capacity) {}

  [[gnu::always_inline]] void operator()(index_t i, double c, double s) {
    if (used_ == 0 || chunks_[used_ - 1].full()) next_chunk();
    chunks_[used_ - 1].push(i, c, s);
  }
  void reset() {
    for (std::size_t k = 0; k < used_; ++k) chunks_[k].clear();
    used_ = 0;
  }
  std::span<const rotation_chunk> sequence() const { return {chunks_.data(), used_}; }

 private:
  [[gnu::noinline]] void next_chunk() {
    if (used_ == chunks_.size()) chunks_.emplace_back(capacity_);
    ++used_;
  }

  index_t capacity_;
  std::vector<rotation_chunk> chunks_;
  std::size_t used_ = 0;
};

// ql_implicit on d and e that also records every rotation, replacing what log held.
inline void ql_implicit_logged(double* d, double* e, index_t n, rotation_log& log) {
  log.reset();
  ql_implicit(d, e, n, log);
}

}  // namespace ltide::sparse
