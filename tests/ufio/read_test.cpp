#include <gtest/gtest.h>

#include <bit>
#include <complex>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "test_util.hpp"
#include "ufio/detail.hpp"
#include "ufio/ufio.hpp"

namespace ltide::ufio {
namespace {

using namespace test;
using cf = std::complex<float>;
using cd = std::complex<double>;

// The named readers of each kind, so that one typed test covers all twelve.
template <class T>
struct named;
template <>
struct named<float> {
  static constexpr auto read1 = &u_read_ur1, read2 = &u_read_ur2, read3 = &u_read_ur3;
};
template <>
struct named<double> {
  static constexpr auto read1 = &u_read_ud1, read2 = &u_read_ud2, read3 = &u_read_ud3;
};
template <>
struct named<cf> {
  static constexpr auto read1 = &u_read_uc1, read2 = &u_read_uc2, read3 = &u_read_uc3;
};
template <>
struct named<cd> {
  static constexpr auto read1 = &u_read_uk1, read2 = &u_read_uk2, read3 = &u_read_uk3;
};

// Values whose bits must survive: signed zeros, a subnormal, infinity, a NaN with a
// payload, then ordinary numbers.
template <class T>
std::vector<T> values(index_t n, int seed) {
  using R = real_of<T>;
  using U = std::conditional_t<sizeof(R) == 4, std::uint32_t, std::uint64_t>;
  const U special[] = {0, U{1} << (sizeof(U) * 8 - 1), 1, std::bit_cast<U>(std::numeric_limits<R>::infinity()),
                       std::bit_cast<U>(std::numeric_limits<R>::quiet_NaN()) | 5};
  auto real = [&](index_t i) { return i < 5 ? std::bit_cast<R>(special[i]) : static_cast<R>(seed + i) / R(7); };
  std::vector<T> out;
  for (index_t i = 0; i < n; ++i) {
    if constexpr (complex_kind<T>)
      out.emplace_back(real(i), real(n - 1 - i));
    else
      out.push_back(real((i + seed) % n));
  }
  return out;
}

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  // memcmp must not be handed the null data() of an empty vector, even for 0 bytes.
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

template <class T>
class ArrayFileRoundTrip : public ::testing::Test {};
using kinds = ::testing::Types<float, double, cf, cd>;
TYPED_TEST_SUITE(ArrayFileRoundTrip, kinds);

// Every kind and rank, with empty axes, in single pieces and in chains of pieces
// shorter than, equal to and splitting an element.
TYPED_TEST(ArrayFileRoundTrip, EveryRankReadsBackBitForBit) {
  using T = TypeParam;
  using R = real_of<T>;
  scratch_dir tmp;
  const std::string file = tmp.path("f");
  for (std::size_t piece : {detail::max_piece, std::size_t{3}, std::size_t{8}, std::size_t{16}}) {
    for (auto [nx, ny, nz] : {std::array<index_t, 3>{7, 5, 3}, {0, 4, 3}, {5, 0, 1}, {1, 1, 0}}) {
      auto x = values<R>(nx, 0), y = values<R>(ny, 1), z = values<R>(nz, 2);
      auto d1 = values<T>(nx, 3), d2 = values<T>(nx * ny, 4), d3 = values<T>(nx * ny * nz, 5);
      holder<R, 1> hx[3], hy[2], hz;
      holder<T, 1> h1;
      holder<T, 2> h2;
      holder<T, 3> h3;

      detail::write_u1<T>(file, x, d1, piece);
      named<T>::read1(file, hx[0], h1);
      detail::write_u2<T>(file, x, y, matrix_view<const T>(d2.data(), nx, ny), piece);
      named<T>::read2(file, hx[1], hy[0], h2);
      detail::write_u3<T>(file, x, y, z, cube_view<const T>(d3.data(), nx, ny, nz), piece);
      named<T>::read3(file, hx[2], hy[1], hz, h3);

      for (const auto& h : hx) EXPECT_TRUE(same_bits(h.values(), x));
      for (const auto& h : hy) EXPECT_TRUE(same_bits(h.values(), y));
      EXPECT_TRUE(same_bits(hz.values(), z));
      EXPECT_TRUE(same_bits(h1.values(), d1));
      EXPECT_TRUE(same_bits(h2.values(), d2));
      EXPECT_TRUE(same_bits(h3.values(), d3));
      EXPECT_EQ(h2.extent(2), ny);
      EXPECT_EQ(h3.extent(3), nz);
      EXPECT_TRUE(hx[0].associated() && h3.associated());
    }
  }
}

TEST(ArrayFileReader, HolderIndexesFromOneInColumnMajorOrder) {
  scratch_dir tmp;
  std::vector<double> x{1, 2}, y{3, 4, 5}, z{11, 21, 12, 22, 13, 23};
  u_write_ud2(tmp.path("f"), x, y, matrix_view<const double>(z.data(), 2, 3));
  vector_holder<double> hx, hy;
  matrix_holder<double> hz;
  u_read_ud2(tmp.path("f"), hx, hy, hz);
  EXPECT_EQ(hy(3), 5.0);
  EXPECT_EQ(hz(2, 1), 21.0);
  EXPECT_EQ(hz.view()(1, 3), 13.0);
  EXPECT_EQ(hz.release().size(), 6u);
  EXPECT_FALSE(hz.associated());
}

// A rank-2 double file made by hand, one record per argument after the header.
bytes_t ud2_file(const std::string& header, const std::vector<std::int32_t>& counts,
                 const std::vector<std::vector<double>>& arrays) {
  bytes_t out;
  auto record = [&](const void* p, std::size_t n) {
    append(out, static_cast<std::int32_t>(n));
    out.insert(out.end(), static_cast<const std::byte*>(p), static_cast<const std::byte*>(p) + n);
    append(out, static_cast<std::int32_t>(n));
  };
  record(header.data(), header.size());
  record(counts.data(), 4 * counts.size());
  for (const auto& a : arrays) record(a.data(), 8 * a.size());
  return out;
}

TEST(ArrayFileReader, NegativeCountReadsAsEmptyAndSurplusIsSkipped) {
  scratch_dir tmp;
  vector_holder<double> hx, hy;
  matrix_holder<double> hz;
  write_bytes(tmp.path("f"), ud2_file("UD2", {-5, 2}, {{}, {1.5, 2.5}, {}}));
  u_read_ud2(tmp.path("f"), hx, hy, hz);
  EXPECT_TRUE(hx.associated());
  EXPECT_EQ(hx.size(), 0);
  EXPECT_EQ(hy.values(), (std::vector<double>{1.5, 2.5}));
  EXPECT_EQ(hz.extent(1), 0);
  EXPECT_EQ(hz.extent(2), 2);

  // A longer header, a third count, extra values in every array, an extra record.
  write_bytes(tmp.path("g"), ud2_file("UD2 and more", {1, 2, 99}, {{0.5, 9}, {1, 2, 9}, {3, 4, 9}, {9}}));
  hx.reset(), hy.reset(), hz.reset();
  u_read_ud2(tmp.path("g"), hx, hy, hz);
  EXPECT_EQ(hx.values(), (std::vector<double>{0.5}));
  EXPECT_EQ(hy.values(), (std::vector<double>{1, 2}));
  EXPECT_EQ(hz.values(), (std::vector<double>{3, 4}));
}

TEST(ArrayFileReaderDeath, AssociatedHolderStopsBeforeTheFileIsOpened) {
  vector_holder<double> free1, free2, free3, full;
  cube_holder<cd> full_f;
  full.assign({1.0}, {1});
  full_f.assign({}, {0, 0, 0});
  auto msg = [](const char* text) { return literal(std::string("** ") + text); };
  // The file does not exist; the holders are checked first, in the order x, y, z, f.
  EXPECT_EXIT(u_read_uk3("/no/such", full, free1, full, full_f), ::testing::ExitedWithCode(1),
              msg("x pointer already associated [ufio::u_read_uk3]"));
  EXPECT_EXIT(u_read_uk3("/no/such", free1, free2, full, full_f), ::testing::ExitedWithCode(1),
              msg("z pointer already associated [ufio::u_read_uk3]"));
  EXPECT_EXIT(u_read_uk3("/no/such", free1, free2, free3, full_f), ::testing::ExitedWithCode(1),
              msg("f pointer already associated [ufio::u_read_uk3]"));
  EXPECT_EXIT(u_read_ud1("/no/such", free1, full), ::testing::ExitedWithCode(1),
              msg("y pointer already associated [ufio::u_read_ud1]"));
}

TEST(ArrayFileReaderDeath, OtherKindOrRankIsAnInvalidHeader) {
  scratch_dir tmp;
  const std::string file = tmp.path("f");
  std::vector<double> x{1, 2}, y{3}, z{4, 5};
  u_write_ud2(file, x, y, matrix_view<const double>(z.data(), 2, 1));
  auto msg = [](const char* name) { return literal(std::string("** Invalid text header on file [ufio::") + name + "]"); };
  holder<float, 1> r1, r2;
  holder<float, 2> r3;
  vector_holder<double> a, b, c;
  cube_holder<double> d;
  EXPECT_EXIT(u_read_ur2(file, r1, r2, r3), ::testing::ExitedWithCode(1), msg("u_read_ur2"));
  EXPECT_EXIT(u_read_ud1(file, a, b), ::testing::ExitedWithCode(1), msg("u_read_ud1"));
  EXPECT_EXIT(u_read_ud3(file, a, b, c, d), ::testing::ExitedWithCode(1), msg("u_read_ud3"));
}

TEST(ArrayFileReaderDeath, MissingUnreadableOrShortFileIsAnIoError) {
  scratch_dir tmp;
  const std::string file = tmp.path("f");
  auto fails = [&](const std::string& name, const std::string& reason) {
    vector_holder<double> x, y;
    matrix_holder<double> z;
    EXPECT_EXIT(u_read_ud2(name, x, y, z), ::testing::ExitedWithCode(1),
                literal("** " + reason + " [ufio::u_read_ud2]"));
  };
  fails("/no/such", "cannot open file \"/no/such\": No such file or directory");
  fails("/", "cannot read file \"/\": Is a directory");
  fails("/dev/null", "cannot read file \"/dev/null\": not a regular file");

  auto short_file = [&](const bytes_t& bytes, const std::string& reason) {
    write_bytes(file, bytes);
    fails(file, "cannot read file \"" + file + "\": " + reason);
  };
  short_file({}, "file ends before record 1");
  short_file(ud2_file("UD", {1, 1}, {{1}, {2}, {3}}), "header record holds 2 bytes, 3 needed");
  short_file(ud2_file("UD2", {1}, {{1}, {2}, {3}}), "sizes record holds 4 bytes, 8 needed");
  short_file(ud2_file("UD2", {2, 1}, {{1}, {2}, {3}}), "record 3 holds 8 bytes, the counts need 16");
  short_file(ud2_file("UD2", {1, 1}, {{1}, {2}, {}}), "record 5 holds 0 bytes, the counts need 8");
  short_file(ud2_file("UD2", {1, 1}, {{1}, {2}}), "file ends before record 5");
  // Counts far beyond the file are refused before anything is allocated.
  short_file(ud2_file("UD2", {2147483647, 1}, {{1}, {2}, {3}}), "record 3 holds 8 bytes, the counts need 17179869176");
  short_file(ud2_file("UD2", {2147483647, 2147483647}, {{1}, {2}, {3}}), "the counts' product overflows");
}

}  // namespace
}  // namespace ltide::ufio
