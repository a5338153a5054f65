#include <ltide/sparse/rotations.hpp>

#include <algorithm>
#include <cstring>
#include <memory>
#include <new>

namespace ltide::sparse {

rotation_chunk::rotation_chunk(index_t capacity) {
  const auto cap = static_cast<std::size_t>(std::max<index_t>(capacity, 1));
  c.reserve(cap);
  s.reserve(cap);
}

namespace {

// A packed row block: column j (from `lo`) holds R consecutive rows, so a descending run
// walks down contiguous memory. Rows past the matrix are zero and never copied back.
struct packed_block {
  std::unique_ptr<double[]> data;
  index_t rows = 0, width = 0;

  packed_block(index_t r, index_t w) : data(new double[static_cast<std::size_t>(r * std::max<index_t>(w, 1))]), rows(r), width(w) {}
  double* col(index_t j) const { return data.get() + j * rows; }
};

// Rows k0 .. k0+present-1 of V moved into or out of a packed block; present = 0: none.
struct block_move {
  index_t k0 = 0, present = 0;
};

// The rotations of consecutive runs on one packed row block of K vectors. Per rotation
// and row:
//   V(k, i+1) = s * V(k, i) + c * t,  V(k, i) = c * V(k, i) - s * t,  t = old V(k, i+1),
// with the same products and sums as the column-pair loop (no fused multiply-add: the
// build contracts nothing). t is the carried column x, kept in registers along a run.
//
// G runs are processed as a wavefront: run g does its rotation i at step i - 2g, the
// steps counting down. Rotations that share a column keep their order (run g touches
// columns i and i+1 two steps after run g-1 last touched them), so every element sees
// the same operations in the same order as run after run. The wave keeps a window of
// about 2G columns in the first-level cache, so each column comes from the second level
// once per G runs instead of once per run, and the G x K carried vectors are independent
// chains that hide the latency of the multiply and the add.
template <class Vec, int K, int G>
struct wave {
  static constexpr index_t W = sizeof(Vec) / sizeof(double);
  static constexpr index_t R = W * K;

  double* P;
  Vec x[G][K];
  index_t top[G], bottom[G];
  const double* c[G];
  const double* s[G];

  [[gnu::always_inline]] void load(int g, index_t j) {
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) std::memcpy(&x[g][k], P + j * R + k * W, sizeof(Vec));
  }
  [[gnu::always_inline]] void store(int g, index_t j) {
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) std::memcpy(P + j * R + k * W, &x[g][k], sizeof(Vec));
  }
  // Rotation i of run g: column i is read, column i+1 written final, column i carried.
  [[gnu::always_inline]] void rotate(int g, index_t i) {
    const double cv = *c[g]++;
    const double sv = *s[g]++;
    double* const a_col = P + i * R;
#pragma GCC unroll 16
    for (int k = 0; k < K; ++k) {
      Vec a;
      std::memcpy(&a, a_col + k * W, sizeof(Vec));
      const Vec y = sv * a + cv * x[g][k];
      std::memcpy(a_col + R + k * W, &y, sizeof(Vec));
      x[g][k] = cv * a - sv * x[g][k];
    }
  }
  [[gnu::always_inline]] void checked_step(index_t t) {
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g) {
      const index_t i = t + 2 * g;
      if (i > top[g] || i < bottom[g]) continue;
      if (i == top[g]) load(g, i + 1);
      rotate(g, i);
      if (i == bottom[g]) store(g, i);
    }
  }

  [[gnu::always_inline]] void run(double* packed, const rotation_run* runs, const double* cs, const double* ss,
                                  index_t lo) {
    P = packed;
    index_t t_hi = 0, t_lo = 0, t_start = 0, t_end = 0;
#pragma GCC unroll 16
    for (int g = 0; g < G; ++g) {
      top[g] = runs[g].top - lo;
      bottom[g] = top[g] - runs[g].count + 1;
      c[g] = cs + runs[g].first;
      s[g] = ss + runs[g].first;
      const index_t first = top[g] - 2 * g, last = bottom[g] - 2 * g;
      t_hi = g == 0 ? first : std::max(t_hi, first);
      t_start = g == 0 ? first : std::min(t_start, first);
      t_lo = g == 0 ? last : std::min(t_lo, last);
      t_end = g == 0 ? last : std::max(t_end, last);
    }
    // Between the last run's start and the first run's end every run is inside its
    // range and none starts or ends: no tests there.
    index_t t = t_hi;
    if (t_end + 1 <= t_start - 1) {
      for (; t >= t_start; --t) checked_step(t);
      for (; t > t_end; --t) {
#pragma GCC unroll 16
        for (int g = 0; g < G; ++g) rotate(g, t + 2 * g);
      }
    }
    for (; t >= t_lo; --t) checked_step(t);
  }
};

template <class Vec, int K, int G>
[[gnu::always_inline]] inline void rotate_runs(double* P, const rotation_run* runs, index_t nruns, const double* c,
                                               const double* s, index_t lo) {
  index_t q = 0;
  for (; q + G <= nruns; q += G) wave<Vec, K, G>{}.run(P, runs + q, c, s, lo);
  for (; q < nruns; ++q) wave<Vec, K, 1>{}.run(P, runs + q, c, s, lo);
}

// One pass over the columns that writes the finished block back to V (out) and fills
// the buffer with the next block (in). Both blocks sit in the same column, so each
// column's page is looked up once; the next columns are prefetched, since the stride
// between columns defeats the hardware prefetchers. Rows past the matrix are zeroed.
template <index_t R>
void transfer_block(matrix_view<double> V, index_t lo, const packed_block& P, block_move out, block_move in) {
  constexpr index_t ahead = 16;
  for (index_t j = 0; j < P.width; ++j) {
    double* const packed = P.col(j);
    double* const column = V.data + (lo + j) * V.ld;
    if (in.present > 0 && j + ahead < P.width) {
      const double* next = column + ahead * V.ld + in.k0;
      for (index_t r = 0; r < in.present; r += 8) __builtin_prefetch(next + r, 0, 1);
      __builtin_prefetch(next + in.present - 1, 0, 1);
    }
    if (out.present == R) {
      std::memcpy(column + out.k0, packed, R * sizeof(double));
    } else {
      for (index_t r = 0; r < out.present; ++r) column[out.k0 + r] = packed[r];
    }
    if (in.present == R) {
      std::memcpy(packed, column + in.k0, R * sizeof(double));
    } else if (in.present > 0) {
      for (index_t r = 0; r < in.present; ++r) packed[r] = column[in.k0 + r];
      for (index_t r = in.present; r < R; ++r) packed[r] = 0.0;
    }
  }
}

using vec2 = double __attribute__((vector_size(16)));
using rotate_fn = void (*)(double*, const rotation_run*, index_t, const double*, const double*, index_t);

using transfer_fn = void (*)(matrix_view<double>, index_t lo, const packed_block&, block_move out, block_move in);

struct kernel {
  std::string_view name;
  index_t rows;
  rotate_fn rotate;
  transfer_fn transfer;
};

// Baseline x86-64 (two lanes) or whatever the compiler makes of a two-lane vector.
void rotate_default(double* P, const rotation_run* runs, index_t nruns, const double* c, const double* s, index_t lo) {
  rotate_runs<vec2, 2, 2>(P, runs, nruns, c, s, lo);
}

#if defined(__x86_64__) && (defined(__GNUC__) || defined(__clang__))
#define LTIDE_ROTATION_CLONES 1
using vec4 = double __attribute__((vector_size(32)));
using vec8 = double __attribute__((vector_size(64)));

// Wider clones for processors that have the instructions; the arithmetic per lane is the
// same IEEE multiply and add (or subtract) as the scalar loop, under the same rounding,
// flush-to-zero and denormals-are-zero modes.
__attribute__((target("avx2"))) void rotate_avx2(double* P, const rotation_run* runs, index_t nruns, const double* c,
                                                 const double* s, index_t lo) {
  rotate_runs<vec4, 2, 2>(P, runs, nruns, c, s, lo);
}

__attribute__((target("avx512f"))) void rotate_avx512(double* P, const rotation_run* runs, index_t nruns,
                                                      const double* c, const double* s, index_t lo) {
  rotate_runs<vec8, 4, 2>(P, runs, nruns, c, s, lo);
}
#endif

// Widest first: the first is the one used.
std::vector<kernel> supported_kernels() {
  std::vector<kernel> ks;
#ifdef LTIDE_ROTATION_CLONES
  __builtin_cpu_init();
  if (__builtin_cpu_supports("avx512f")) ks.push_back({"avx512", 32, rotate_avx512, transfer_block<32>});
  if (__builtin_cpu_supports("avx2")) ks.push_back({"avx2", 8, rotate_avx2, transfer_block<8>});
#endif
  ks.push_back({"baseline", 4, rotate_default, transfer_block<4>});
  return ks;
}

// Chosen once, on first use (a thread-safe initialisation); only use_rotation_kernel
// changes it afterwards.
kernel& the_kernel() {
  static kernel k = supported_kernels().front();
  return k;
}

// The part of each run that can reach `target` at the end, walking the sequence backwards.
// The columns that can still reach it form an interval [lo, hi]; rotation i reaches it
// when i or i+1 lies inside, and then widens it to include both. A descending run visited
// backwards meets its rotations in ascending i, so once one is taken every later one is
// (hi only grows past it): what is taken is a leading part of the run, top down to i0.
struct pruned_sequence {
  std::vector<std::vector<rotation_run>> runs;  // per chunk, in forward order
  index_t lo = 0, hi = 0;
  index_t applied = 0, total = 0;
};

pruned_sequence prune(std::span<const rotation_chunk> chunks, index_t target) {
  pruned_sequence p;
  p.runs.resize(chunks.size());
  p.lo = p.hi = target;
  for (std::size_t q = chunks.size(); q-- > 0;) {
    const rotation_chunk& chunk = chunks[q];
    std::vector<rotation_run>& kept = p.runs[q];
    p.total += chunk.size();
    for (auto run = chunk.runs.rbegin(); run != chunk.runs.rend(); ++run) {
      const index_t bottom = run->top - run->count + 1;
      const index_t i0 = std::max(bottom, p.lo - 1);
      if (i0 > p.hi || i0 > run->top) continue;
      kept.push_back({run->top, run->top - i0 + 1, run->first});
      p.applied += run->top - i0 + 1;
      p.lo = std::min(p.lo, i0);
      p.hi = std::max(p.hi, run->top + 1);
    }
    std::reverse(kept.begin(), kept.end());
  }
  return p;
}

}  // namespace

std::vector<std::string_view> detail::rotation_kernels() {
  std::vector<std::string_view> names;
  for (const kernel& k : supported_kernels()) names.push_back(k.name);
  return names;
}

bool detail::use_rotation_kernel(std::string_view name) {
  for (const kernel& k : supported_kernels()) {
    if (k.name == name) {
      the_kernel() = k;
      return true;
    }
  }
  return false;
}

void apply_rotations(matrix_view<double> V, index_t rows, const rotation_chunk& chunk) {
  if (chunk.c.empty() || rows <= 0) return;
  const kernel& k = the_kernel();
  packed_block P(k.rows, chunk.hi - chunk.lo + 1);
  const auto nruns = static_cast<index_t>(chunk.runs.size());
  const auto block = [&](index_t k0) { return k0 < rows ? block_move{k0, std::min(k.rows, rows - k0)} : block_move{}; };
  k.transfer(V, chunk.lo, P, {}, block(0));
  for (index_t k0 = 0; k0 < rows; k0 += k.rows) {
    k.rotate(P.data.get(), chunk.runs.data(), nruns, chunk.c.data(), chunk.s.data(), chunk.lo);
    k.transfer(V, chunk.lo, P, block(k0), block(k0 + k.rows));
  }
}

void rotated_identity_column(index_t n, std::span<const rotation_chunk> chunks, index_t target,
                             vector_view<double> out) {
  if (n <= 0) return;
  const pruned_sequence p = prune(chunks, target);
  const kernel& k = the_kernel();
  const index_t width = p.hi - p.lo + 1;
  // Row r of the identity restricted to the columns lo .. hi is a unit vector for r in
  // [lo, hi] and all +0 otherwise. Rows that start equal end equal, so the rows outside
  // the interval share one result: compute the interval's rows and one zero row.
  const index_t rows = width + (width < n ? 1 : 0);
  double zero_row = 0.0;
  packed_block P(k.rows, width);
  for (index_t k0 = 0; k0 < rows; k0 += k.rows) {
    for (index_t j = 0; j < width; ++j) {
      double* dst = P.col(j);
      std::fill(dst, dst + P.rows, 0.0);
      if (j >= k0 && j < k0 + k.rows) dst[j - k0] = 1.0;
    }
    for (std::size_t q = 0; q < chunks.size(); ++q) {
      const std::vector<rotation_run>& runs = p.runs[q];
      if (runs.empty()) continue;
      k.rotate(P.data.get(), runs.data(), static_cast<index_t>(runs.size()), chunks[q].c.data(), chunks[q].s.data(),
               p.lo);
    }
    const double* result = P.col(target - p.lo);
    for (index_t r = 0; r < k.rows && k0 + r < rows; ++r) {
      if (k0 + r < width) {
        out[p.lo + k0 + r] = result[r];
      } else {
        zero_row = result[r];
      }
    }
  }
  for (index_t r = 0; r < p.lo; ++r) out[r] = zero_row;
  for (index_t r = p.hi + 1; r < n; ++r) out[r] = zero_row;
}

double rotated_identity_column_share(std::span<const rotation_chunk> chunks, index_t target) {
  const pruned_sequence p = prune(chunks, target);
  return p.total == 0 ? 0.0 : static_cast<double>(p.applied) / static_cast<double>(p.total);
}

}  // namespace ltide::sparse
