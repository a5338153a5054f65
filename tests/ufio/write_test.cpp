#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <complex>
#include <cstdint>
#include <string>
#include <vector>

#include "test_util.hpp"
#include "ufio/detail.hpp"
#include "ufio/ufio.hpp"

namespace ltide::ufio {
namespace {

using namespace test;
using cd = std::complex<double>;
using pairs = std::vector<std::pair<std::int32_t, std::int32_t>>;

// The (leading, trailing) markers of every piece of one framed payload.
pairs pieces(std::size_t n, std::size_t piece) {
  detail::memory_sink sink;
  std::vector<std::byte> payload(n, std::byte{7});
  detail::write_record(sink, payload.data(), n, piece);
  pairs out;
  for (std::size_t pos = 0; pos < sink.bytes.size();) {
    std::int32_t lead = marker_at(sink.bytes, pos), len = lead < 0 ? -lead : lead;
    out.emplace_back(lead, marker_at(sink.bytes, pos + 4 + static_cast<std::size_t>(len)));
    pos += 8 + static_cast<std::size_t>(len);
  }
  return out;
}

TEST(RecordFraming, LongPayloadChainsPiecesWithNegatedContinuationMarkers) {
  // Leading marker negated when a piece follows, trailing one when a piece precedes.
  EXPECT_EQ(pieces(40, 16), (pairs{{-16, 16}, {-16, -16}, {8, -8}}));
  EXPECT_EQ(pieces(32, 16), (pairs{{-16, 16}, {16, -16}}));  // no empty last piece
  EXPECT_EQ(pieces(16, 16), (pairs{{16, 16}}));
  EXPECT_EQ(pieces(0, 16), (pairs{{0, 0}}));
  EXPECT_EQ(detail::max_piece + 8, std::size_t{0x7FFFFFFF});
}

void write_worked(const std::string& file) {
  std::vector<double> x{0.25, -1.5}, y{1, 2, 3}, z{11, 21, 12, 22, 13, 23};
  u_write_ud2(file, x, y, matrix_view<const double>(z.data(), 2, 3));
}

TEST(ArrayFileWriter, WorkedTwoByThreeFileIsExact) {
  scratch_dir tmp;
  write_worked(tmp.path("w"));
  // 03 00 00 00, 55 44 32, 03 00 00 00, 08 00 00 00, 02 00 00 00, 03 00 00 00, ...
  bytes_t expected;
  append(expected, 3, 'U', 'D', '2', 3, 8, 2, 3, 8, 16, 0.25, -1.5, 16, 24, 1.0, 2.0, 3.0, 24, 48);
  append(expected, 11.0, 21.0, 12.0, 22.0, 13.0, 23.0, 48);
  EXPECT_EQ(expected.size(), 139u);
  EXPECT_EQ(read_bytes(tmp.path("w")), expected);
}

TEST(ArrayFileWriter, ComplexDoubleDataIsSixteenBytesRealPartFirst) {
  scratch_dir tmp;
  std::vector<double> x{0.5}, y{-0.5, 7};
  std::vector<cd> z{{1.25, -2.5}, {3, 4}};
  u_write_uk2(tmp.path("k"), x, y, matrix_view<const cd>(z.data(), 1, 2));
  bytes_t expected;
  append(expected, 3, 'U', 'K', '2', 3, 8, 1, 2, 8, 8, 0.5, 8, 16, -0.5, 7.0, 16, 32, 1.25, -2.5, 3.0, 4.0, 32);
  EXPECT_EQ(read_bytes(tmp.path("k")), expected);
}

TEST(ArrayFileWriter, EmptyAxisGivesZeroCountAndEmptyRecords) {
  scratch_dir tmp;
  std::vector<float> x, y{1, 2};
  u_write_ur2(tmp.path("e"), x, y, matrix_view<const float>(nullptr, 0, 2));
  bytes_t expected;
  append(expected, 3, 'U', 'R', '2', 3, 8, 0, 2, 8, 0, 0, 8, 1.0F, 2.0F, 8, 0, 0);
  EXPECT_EQ(read_bytes(tmp.path("e")), expected);
}

TEST(ArrayFileWriter, StridedViewsAreWrittenInElementOrder) {
  scratch_dir tmp;
  // From a 4 x 6 matrix: part of a row as x, part of a column as y, a block as z.
  std::vector<double> big(24);
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<double>(i) + 0.5;
  matrix_view<const double> m(big.data(), 4, 6);
  auto x = m.row(2).sub(1, 3), y = m.col(2).sub(1, 2);
  auto z = m.block(2, 3, 3, 2);
  u_write_ud2(tmp.path("strided"), x, y, z);
  auto xc = x.to_vector(), yc = y.to_vector();
  u_write_ud2(tmp.path("plain"), xc, yc, to_array2(z).view());
  EXPECT_EQ(read_bytes(tmp.path("strided")), read_bytes(tmp.path("plain")));

  // A cube padded in both leading dimensions.
  cube_view<const double> f(big.data(), 2, 3, 2, 4, 12);
  std::vector<double> fc;
  for (index_t k = 1; k <= 2; ++k)
    for (index_t j = 1; j <= 3; ++j)
      for (index_t i = 1; i <= 2; ++i) fc.push_back(f(i, j, k));
  std::vector<double> a{1, 2}, b{3, 4, 5};
  u_write_ud3(tmp.path("strided"), a, b, a, f);
  u_write_ud3(tmp.path("plain"), a, b, a, cube_view<const double>(fc.data(), 2, 3, 2));
  EXPECT_EQ(read_bytes(tmp.path("strided")), read_bytes(tmp.path("plain")));
}

TEST(ArrayFileWriter, ReplacingLongerFileLeavesNoTraceNorTemporary) {
  scratch_dir tmp;
  std::vector<double> big(1000, 9.0);
  u_write_ud1(tmp.path("f"), big, big);
  write_worked(tmp.path("f"));
  EXPECT_EQ(read_bytes(tmp.path("f")).size(), 139u);
  EXPECT_EQ(tmp.entries(), std::vector<std::string>{"f"});
}

TEST(ArrayFileWriter, ReplacedFileKeepsPermissionsAndNewFileFollowsUmask) {
  scratch_dir tmp;
  write_worked(tmp.path("old"));
  ASSERT_EQ(::chmod(tmp.path("old").c_str(), 0604), 0);
  mode_t saved = ::umask(027);
  write_worked(tmp.path("old"));
  write_worked(tmp.path("new"));
  ::umask(saved);
  struct stat st {};
  ASSERT_EQ(::stat(tmp.path("old").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0604u);
  ASSERT_EQ(::stat(tmp.path("new").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u);
}

TEST(ArrayFileWriter, SymbolicLinkStillPointsAtTheReplacedFile) {
  scratch_dir tmp;
  std::vector<double> v(50, 1.0);
  u_write_ud1(tmp.path("target"), v, v);
  ASSERT_EQ(::symlink("target", tmp.path("link").c_str()), 0);
  write_worked(tmp.path("link"));
  EXPECT_TRUE(fs::is_symlink(tmp.path("link")));
  EXPECT_EQ(read_bytes(tmp.path("target")).size(), 139u);
}

// Failures stop with status 1 and name the writer; an older file stays whole.

TEST(ArrayFileWriterDeath, MissingDirectoryOrEmptyNameIsReported) {
  scratch_dir tmp;
  std::string file = tmp.path("no/dir.uf2");
  EXPECT_EXIT(write_worked(file), ::testing::ExitedWithCode(1),
              literal("** cannot create file \"" + file + "\": No such file or directory [ufio::u_write_ud2]"));
  EXPECT_EXIT(write_worked(""), ::testing::ExitedWithCode(1),
              literal("** cannot create file \"\": No such file or directory [ufio::u_write_ud2]"));
}

TEST(ArrayFileWriterDeath, FailedWriteLeavesOlderFileIntact) {
  scratch_dir tmp;
  std::string file = tmp.path("keep");
  write_worked(file);
  auto before = read_bytes(file);
  // A file-size limit makes the new, larger file fail part way.
  auto write_big = [&] {
    ::signal(SIGXFSZ, SIG_IGN);
    rlimit lim{200000, 200000};
    ::setrlimit(RLIMIT_FSIZE, &lim);
    std::vector<double> x(100000, 1.0);
    u_write_ud1(file, x, x);
  };
  EXPECT_EXIT(write_big(), ::testing::ExitedWithCode(1),
              literal("** cannot write file \"" + file + "\": File too large [ufio::u_write_ud1]"));
  EXPECT_EQ(read_bytes(file), before);
  EXPECT_EQ(tmp.entries(), std::vector<std::string>{"keep"});
  if (::access("/dev/full", W_OK) == 0) {
    EXPECT_EXIT(write_worked("/dev/full"), ::testing::ExitedWithCode(1),
                literal("** cannot write file \"/dev/full\": No space left on device [ufio::u_write_ud2]"));
  }
}

TEST(ArrayFileWriterDeath, ReadOnlyDirectoryLeavesOlderFileIntact) {
  scratch_dir tmp;
  std::string file = tmp.path("keep");
  write_worked(file);
  ASSERT_EQ(::chmod(file.c_str(), 0666), 0);  // the file itself stays writable
  ASSERT_EQ(::chmod(tmp.dir().c_str(), 0555), 0);
  auto write_as_user = [&] {
    // Permissions do not bind the superuser: the child gives up its rights first.
    if (::geteuid() == 0 && (::setgid(65534) != 0 || ::setuid(65534) != 0)) std::_Exit(2);
    write_worked(file);
  };
  EXPECT_EXIT(write_as_user(), ::testing::ExitedWithCode(1),
              literal("** cannot create file \"" + file + "\": Permission denied [ufio::u_write_ud2]"));
  EXPECT_EQ(read_bytes(file).size(), 139u);
}

TEST(ArrayFileWriterDeath, MismatchedSizesStopAtTheFirstFailingCheck) {
  scratch_dir tmp;
  std::string file = tmp.path("keep");
  write_worked(file);
  auto msg = [](const std::string& text, const char* writer) {
    return literal("** " + text + " arrays must have same dimensions [ufio::" + writer + "]");
  };
  std::vector<float> f3(3), f4(4);
  EXPECT_EXIT(u_write_ur1(file, f3, f4), ::testing::ExitedWithCode(1), msg("x and y", "u_write_ur1"));

  std::vector<double> one(1), two(2), three(3), z(24);
  matrix_view<const double> z23(z.data(), 2, 3);
  EXPECT_EXIT(u_write_ud2(file, three, one, z23), ::testing::ExitedWithCode(1), msg("x and z(*,)", "u_write_ud2"));
  EXPECT_EXIT(u_write_ud2(file, two, one, z23), ::testing::ExitedWithCode(1), msg("y and z(,*)", "u_write_ud2"));

  std::vector<cd> c(24);
  cube_view<const cd> f234(c.data(), 2, 3, 4);
  EXPECT_EXIT(u_write_uk3(file, one, one, one, f234), ::testing::ExitedWithCode(1), msg("x and f(*,,)", "u_write_uk3"));
  EXPECT_EXIT(u_write_uk3(file, two, one, one, f234), ::testing::ExitedWithCode(1), msg("y and f(,*,)", "u_write_uk3"));
  EXPECT_EXIT(u_write_uk3(file, two, three, one, f234), ::testing::ExitedWithCode(1),
              msg("z and f(,,*)", "u_write_uk3"));
  // The checks come before the file is touched.
  EXPECT_EQ(read_bytes(file).size(), 139u);
}

TEST(ArrayFileWriterDeath, AxisTooLongForA32BitCountIsFatal) {
  // One element repeated (stride 0): the checks come before any value is read.
  double d = 1;
  vector_view<const double> two(&d, 2, 0), huge(&d, index_t{1} << 31, 0), max(&d, 2147483647, 0);
  EXPECT_EXIT(u_write_ud2("unused", two, huge, matrix_view<const double>(&d, 2, index_t{1} << 31, 0)),
              ::testing::ExitedWithCode(1),
              literal("** y array has 2147483648 elements, more than a 32-bit count can hold [ufio::u_write_ud2]"));
  // Every count fits, but the data array's byte count does not.
  cd c;
  EXPECT_EXIT(u_write_uk3("unused", max, max, max, cube_view<const cd>(&c, 2147483647, 2147483647, 2147483647, 0, 0)),
              ::testing::ExitedWithCode(1), literal("** f array is too large to be written [ufio::u_write_uk3]"));
}

}  // namespace
}  // namespace ltide::ufio
