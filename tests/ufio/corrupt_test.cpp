// Damaged and hostile array files fed to the parser from memory: it must refuse them
// without crashing and without allocating more than the input holds.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstdlib>
#include <limits>
#include <new>
#include <random>
#include <vector>

#include "test_util.hpp"
#include "ufio/detail.hpp"

// The largest single allocation while tracking is on.
namespace {
bool tracking = false;
std::size_t largest = 0;
}  // namespace

void* operator new(std::size_t n) {
  if (tracking && n > largest) largest = n;
  if (void* p = std::malloc(n != 0 ? n : 1)) return p;
  throw std::bad_alloc();
}
void operator delete(void* p) noexcept { std::free(p); }
void operator delete(void* p, std::size_t) noexcept { std::free(p); }

namespace ltide::ufio::detail {
namespace {

using test::bytes_t;

// Parses `bytes` as a rank-2 double file; the parse must never allocate more than the
// input size plus room for a short message.
bool accepted(const bytes_t& bytes, std::string* reason = nullptr) {
  memory_source in(bytes);
  largest = 0;
  tracking = true;
  auto r = parse_array_file<double, 2>(in);
  tracking = false;
  EXPECT_LE(largest, bytes.size() + 256);
  if (auto* f = std::get_if<parse_failure>(&r); f && reason) *reason = f->reason;
  return std::holds_alternative<contents<double, 2>>(r);
}

// A valid 3 x 2 file whose records are chained in pieces of `piece` bytes.
bytes_t valid_file(std::size_t piece) {
  memory_sink sink;
  const double x[] = {1, 2, 3}, y[] = {4, 5}, z[] = {6, 7, 8, 9, 10, 11};
  const std::int32_t counts[] = {3, 2};
  auto record = [&](const void* p, std::size_t n) { write_record(sink, static_cast<const std::byte*>(p), n, piece); };
  record("UD2", 3);
  record(counts, 8);
  record(x, 24);
  record(y, 16);
  record(z, 48);
  return sink.bytes;
}

const std::size_t piece_lengths[] = {3, 16, max_piece};

TEST(CorruptArrayFile, EveryTruncationIsRefused) {
  for (std::size_t piece : piece_lengths) {
    auto full = valid_file(piece);
    ASSERT_TRUE(accepted(full));
    EXPECT_GE(largest, 48u);  // the data array was allocated and tracked
    for (std::size_t n = 0; n < full.size(); ++n)
      EXPECT_FALSE(accepted(bytes_t(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(n)))) << n;
  }
}

TEST(CorruptArrayFile, EveryLyingMarkerIsRefused) {
  constexpr std::int32_t lo = std::numeric_limits<std::int32_t>::min(), hi = std::numeric_limits<std::int32_t>::max();
  for (std::size_t piece : piece_lengths) {
    const auto full = valid_file(piece);
    for (std::size_t pos = 0; pos < full.size();) {
      std::int32_t lead = test::marker_at(full, pos), len = lead < 0 ? -lead : lead;
      for (std::size_t at : {pos, pos + 4 + static_cast<std::size_t>(len)}) {
        const std::int32_t real = test::marker_at(full, at);
        // Negating the real marker claims (or denies) a continuation that isn't there.
        for (std::int32_t lie : {lo, hi, -1, 0, 1, 0x7FFFFFF7, -0x7FFFFFF7, -real, real + 1, real - 1}) {
          if (lie == real) continue;
          auto bad = full;
          std::memcpy(bad.data() + at, &lie, 4);
          EXPECT_FALSE(accepted(bad)) << "marker at " << at << " = " << lie;
        }
      }
      pos += 8 + static_cast<std::size_t>(len);
    }
  }
}

TEST(CorruptArrayFile, NegativeMarkerWithoutContinuationIsRefused) {
  auto bad = valid_file(max_piece);
  const std::int32_t neg = -48;  // the data record, last in the file
  std::memcpy(bad.data() + bad.size() - 56, &neg, 4);
  std::string reason;
  EXPECT_FALSE(accepted(bad, &reason));
  EXPECT_EQ(reason, "record 5 is continued but the file ends");
}

TEST(CorruptArrayFile, CountsThatLieAreRefusedWithoutLargeAllocation) {
  for (std::int32_t nx : {3, 4, 1000, std::numeric_limits<std::int32_t>::max(), -7}) {
    for (std::int32_t ny : {2, 3, 1 << 30, std::numeric_limits<std::int32_t>::max()}) {
      auto bytes = valid_file(max_piece);
      std::memcpy(bytes.data() + 15, &nx, 4);
      std::memcpy(bytes.data() + 19, &ny, 4);
      // Only the true counts, or a negative nx (an empty x and data), fit the records.
      EXPECT_EQ(accepted(bytes), ny == 2 && (nx == 3 || nx == -7)) << nx << " " << ny;
    }
  }
}

TEST(CorruptArrayFile, RandomDamageNeverCrashesOrOverallocates) {
  std::mt19937 rng(20240611);
  for (std::size_t piece : piece_lengths) {
    const auto full = valid_file(piece);
    std::uniform_int_distribution<std::size_t> where(0, full.size() - 1);
    std::uniform_int_distribution<int> byte(0, 255), flips(1, 4);
    for (int trial = 0; trial < 3000; ++trial) {
      auto bad = full;
      for (int k = flips(rng); k > 0; --k) bad[where(rng)] = static_cast<std::byte>(byte(rng));
      if (trial % 3 == 0) bad.resize(where(rng));
      accepted(bad);
    }
  }
}

}  // namespace
}  // namespace ltide::ufio::detail
