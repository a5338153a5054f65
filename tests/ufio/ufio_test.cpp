// Array files: exact bytes, round trips, whole-or-nothing replacement, damaged files, Fortran I/O.
#include <gtest/gtest.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <numeric>

#include <ltide/common/escape.hpp>
#include <ltide/ufio/detail.hpp>
#include <ltide/ufio/ufio.hpp>

#include "support.hpp"

namespace ltide::ufio {
namespace {

namespace fs = std::filesystem;
using bytes_t = std::vector<std::byte>;
using cd = std::complex<double>;

bytes_t read_bytes(const std::string& file) {
  bytes_t out(fs::file_size(file));
  std::ifstream(file, std::ios::binary).read(reinterpret_cast<char*>(out.data()), std::streamsize(out.size()));
  return out;
}

template <class... T>
void append(bytes_t& out, const T&... v) {  // the little-endian image of each value
  (out.insert(out.end(), reinterpret_cast<const std::byte*>(&v), reinterpret_cast<const std::byte*>(&v) + sizeof(T)), ...);
}

void expect_errors(const std::vector<std::pair<std::function<void()>, std::string>>& table) {  // "** message"
  for (const auto& [call, message] : table) EXPECT_EQ(error_line(call), "** " + message);
}

// n values of arbitrary bit patterns (NaNs with payloads among them): files carry bits.
template <class T>
std::vector<T> values(index_t n, int seed) {
  std::vector<T> out(static_cast<std::size_t>(n));
  auto* bytes = reinterpret_cast<char*>(out.data());
  for (std::size_t i = 0; i < out.size() * sizeof(T); ++i) bytes[i] = char(i * 167 + i / 7 + seed * 31);
  return out;
}

template <class T>
bool same_bits(const std::vector<T>& a, const std::vector<T>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(T)) == 0);
}

void write_worked(const std::string& file) {
  std::vector<double> x{0.25, -1.5}, y{1, 2, 3}, z{11, 21, 12, 22, 13, 23};
  u_write_ud2(file, x, y, matrix_view<const double>(z.data(), 2, 3));
}

TEST(ArrayFileWriter, FilesAreExactByteForByte) {
  scratch_dir tmp;
  bytes_t ud2, chained;
  // The worked 2 x 3 file: 139 bytes, 03 00 00 00 55 44 32 03 00 00 00 08 00 00 00 ...
  write_worked(tmp.path("d"));
  append(ud2, 3, 'U', 'D', '2', 3, 8, 2, 3, 8, 16, 0.25, -1.5, 16, 24, 1.0, 2.0, 3.0, 24, 48);
  append(ud2, 11.0, 21.0, 12.0, 22.0, 13.0, 23.0, 48);
  EXPECT_EQ(read_bytes(tmp.path("d")), ud2);
  // Chained in 8-byte pieces: the leading marker is negated when a piece follows, the
  // trailing one when a piece precedes; never an empty last piece.
  detail::write_u1<double>(tmp.path("c"), std::vector<double>{1, 2}, std::vector<double>{3, 4}, 8);
  append(chained, 3, 'U', 'D', '1', 3, 4, 2, 4, -8, 1.0, 8, 8, 2.0, -8, -8, 3.0, 8, 8, 4.0, -8);
  EXPECT_EQ(read_bytes(tmp.path("c")), chained);
  EXPECT_EQ(detail::max_piece + 8, std::size_t{0x7FFFFFFF});
  // Strided views are written in element order. From a 4 x 6 matrix: part of a row as x, part
  // of a column as y, a block as z; then a 2 x 3 x 2 cube padded in both leading dimensions.
  std::vector<double> big(24), a{1, 2}, b{3, 4, 5};
  std::iota(big.begin(), big.end(), 0.5);
  matrix_view<const double> m(big.data(), 4, 6), z = m.block(2, 3, 3, 2);
  auto x = m.row(2).sub(1, 3), y = m.col(2).sub(1, 2);
  u_write_ud2(tmp.path("strided"), x, y, z);
  u_write_ud2(tmp.path("plain"), x.to_vector(), y.to_vector(), to_array2(z).view());
  EXPECT_EQ(read_bytes(tmp.path("strided")), read_bytes(tmp.path("plain")));
  auto fc = to_array2(matrix_view<const double>(big.data(), 2, 6, 4));
  u_write_ud3(tmp.path("strided"), a, b, a, cube_view<const double>(big.data(), 2, 3, 2, 4, 12));
  u_write_ud3(tmp.path("plain"), a, b, a, cube_view<const double>(fc.data(), 2, 3, 2));
  EXPECT_EQ(read_bytes(tmp.path("strided")), read_bytes(tmp.path("plain")));
}

// Every failure stops with status 1 and names the routine. A writer's leaves the older file
// (reached through a link) as it was; a success replaces it whole, keeping its mode and the
// link, and leaves no temporary. (Writes failing part way, a full device and a read-only
// directory: extreme-input rows.)
TEST(ArrayFileFailure, FailuresThrowAndFilesAreReplacedWholeOrNotAtAll) {
  scratch_dir tmp;
  const std::string old = tmp.path("old"), keep = tmp.path("link"), cut = tmp.path("cut"), missing = tmp.path("no/dir"),
                    same = " arrays must have same dimensions";
  std::vector<float> f3(3), f4(4);
  std::vector<double> one(1), two(2), three(3), z(6), big(100000, 9.0);
  std::vector<cd> c(24);
  double d = 1;  // stride-0 views: the size checks come before any value is read
  vector_view<const double> max(&d, 2147483647, 0), too_long(&d, index_t{1} << 31, 0);
  vector_holder<double> h1, h2, h3, full;
  holder<float, 1> r1, r2; holder<float, 2> r3; matrix_holder<double> m; cube_holder<cd> full_f;
  full.assign({1.0}, {1}), full_f.assign({}, {0, 0, 0});
  write_worked(cut), fs::resize_file(cut, 60);  // cut inside the axis y
  u_write_ud1(old, big, big);
  ASSERT_EQ(::chmod(old.c_str(), 0604), 0);
  ASSERT_EQ(::symlink("old", keep.c_str()), 0);
  const bytes_t before = read_bytes(keep);
  expect_errors({
      {[&] { write_worked(missing); }, "cannot create file \"" + missing + "\": No such file or directory [ufio::u_write_ud2]"},
      {[&] { u_write_ur1(keep, f3, f4); }, "x and y" + same + " [ufio::u_write_ur1]"},
      {[&] { u_write_ud2(keep, two, one, {z.data(), 2, 3}); }, "y and z(,*)" + same + " [ufio::u_write_ud2]"},
      {[&] { u_write_uk3(keep, two, three, one, {c.data(), 2, 3, 4}); }, "z and f(,,*)" + same + " [ufio::u_write_uk3]"},
      {[&] { u_write_ud2(keep, {&d, 2, 0}, too_long, {&d, 2, index_t{1} << 31, 0}); },
       "y array has 2147483648 elements, more than a 32-bit count can hold [ufio::u_write_ud2]"},
      {[&] { u_write_uk3(keep, max, max, max, {c.data(), 2147483647, 2147483647, 2147483647, 0, 0}); },
       "f array is too large to be written [ufio::u_write_uk3]"},
      // Holders are checked in the order x, y, z, f, before the (here missing) file is opened.
      {[&] { u_read_uk3("/no/such", full, h1, full, full_f); }, "x pointer already associated [ufio::u_read_uk3]"},
      {[&] { u_read_uk3("/no/such", h1, h2, full, full_f); }, "z pointer already associated [ufio::u_read_uk3]"},
      {[&] { u_read_uk3("/no/such", h1, h2, h3, full_f); }, "f pointer already associated [ufio::u_read_uk3]"},
      {[&] { u_read_ud1("/no/such", h1, full); }, "y pointer already associated [ufio::u_read_ud1]"},
      {[&] { u_read_ur2(cut, r1, r2, r3); }, "Invalid text header on file [ufio::u_read_ur2]"},
      {[&] { u_read_ud1(cut, h1, h2); }, "Invalid text header on file [ufio::u_read_ud1]"},
      {[&] { u_read_ud2("/no/such", h1, h2, m); }, "cannot open file \"/no/such\": No such file or directory [ufio::u_read_ud2]"},
      {[&] { u_read_ud2(cut, h1, h2, m); },
       "cannot read file \"" + cut + "\": record 4 claims 24 bytes but the file ends after 5 [ufio::u_read_ud2]"},
  });
  EXPECT_EQ(read_bytes(keep), before);
  const mode_t saved = ::umask(027);
  write_worked(keep);
  write_worked(tmp.path("new"));
  ::umask(saved);
  EXPECT_TRUE(read_bytes(old).size() == 139 && fs::is_symlink(keep));  // no trace of the longer file
  EXPECT_EQ(fs::status(old).permissions(), fs::perms(0604));
  EXPECT_EQ(fs::status(tmp.path("new")).permissions(), fs::perms(0640));  // a new file follows the umask
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.dir), {}), 4);
}

// Every kind and rank, with empty axes, written whole by the named writers and chained in
// pieces that split elements, read back with the named readers.
template <class T>
void expect_round_trips(auto write1, auto write2, auto write3, auto read1, auto read2, auto read3) {
  using R = real_of<T>;
  scratch_dir tmp;
  const std::string file = tmp.path("f");
  for (std::size_t piece : {detail::max_piece, std::size_t{3}, std::size_t{8}, std::size_t{16}}) {
    for (auto [nx, ny, nz] : {std::array<index_t, 3>{7, 5, 3}, {0, 4, 3}, {5, 0, 1}, {1, 1, 0}}) {
      auto x = values<R>(nx, 0), y = values<R>(ny, 1), z = values<R>(nz, 2);
      auto d1 = values<T>(nx, 3), d2 = values<T>(nx * ny, 4), d3 = values<T>(nx * ny * nz, 5);
      const matrix_view<const T> v2{d2.data(), nx, ny};
      const cube_view<const T> v3{d3.data(), nx, ny, nz};
      holder<R, 1> hx[3], hy[2], hz;
      holder<T, 1> h1; holder<T, 2> h2; holder<T, 3> h3;
      const bool whole = piece == detail::max_piece;
      whole ? write1(file, x, d1) : detail::write_u1<T>(file, x, d1, piece);
      read1(file, hx[0], h1);
      whole ? write2(file, x, y, v2) : detail::write_u2<T>(file, x, y, v2, piece);
      read2(file, hx[1], hy[0], h2);
      whole ? write3(file, x, y, z, v3) : detail::write_u3<T>(file, x, y, z, v3, piece);
      read3(file, hx[2], hy[1], hz, h3);
      for (const auto& h : hx) {
        EXPECT_TRUE(h.associated());
        EXPECT_TRUE(same_bits(h.values(), x));
      }
      for (const auto& h : hy) EXPECT_TRUE(same_bits(h.values(), y));
      EXPECT_TRUE(same_bits(hz.values(), z));
      EXPECT_TRUE(same_bits(h1.values(), d1));
      EXPECT_TRUE(same_bits(h2.values(), d2));
      EXPECT_TRUE(same_bits(h3.values(), d3));
      EXPECT_EQ(h2.extent(2), ny);
      EXPECT_EQ(h3.extent(3), nz);
      // Indexed from 1, first index fastest: the last element is (nx, ny, nz).
      if (!d3.empty()) {
        EXPECT_EQ(std::memcmp(&h3(nx, ny, nz), &d3.back(), sizeof(T)), 0);
      }
    }
  }
}

TEST(ArrayFileRoundTrip, EveryKindAndRankReadsBackBitForBit) {
  expect_round_trips<float>(u_write_ur1, u_write_ur2, u_write_ur3, u_read_ur1, u_read_ur2, u_read_ur3);
  expect_round_trips<double>(u_write_ud1, u_write_ud2, u_write_ud3, u_read_ud1, u_read_ud2, u_read_ud3);
  expect_round_trips<std::complex<float>>(u_write_uc1, u_write_uc2, u_write_uc3, u_read_uc1, u_read_uc2, u_read_uc3);
  expect_round_trips<cd>(u_write_uk1, u_write_uk2, u_write_uk3, u_read_uk1, u_read_uk2, u_read_uk3);
}

// A rank-2 double file built record by record, chained in pieces of `piece` bytes.
bytes_t ud2_file(const std::string& header, std::vector<std::int32_t> counts,
                 const std::vector<std::vector<double>>& arrays, std::size_t piece = detail::max_piece) {
  detail::memory_sink s;
  auto record = [&](const void* p, std::size_t n) { detail::write_record(s, static_cast<const std::byte*>(p), n, piece); };
  record(header.data(), header.size());
  record(counts.data(), 4 * counts.size());
  for (const auto& a : arrays) record(a.data(), 8 * a.size());
  return s.bytes;
}

TEST(ArrayFileReader, TakesNegativeCountsAndSurplusButRefusesDamagedFiles) {
  const auto parse = [](const bytes_t& bytes) -> std::optional<detail::contents<double, 2>> {
    auto r = detail::parse_array_file<double, 2>(detail::memory_source(bytes));
    return r.index() == 0 ? std::optional(std::get<0>(r)) : std::nullopt;
  };
  // A negative count is an empty axis; a longer header, surplus counts, values and records are skipped.
  using axes = std::array<std::vector<double>, 2>;
  for (const auto& [bytes, counts, axes, data] :
       {std::tuple{ud2_file("UD2", {-5, 2}, {{}, {1.5, 2.5}, {}}), std::array<index_t, 2>{0, 2}, axes{{{}, {1.5, 2.5}}},
                   std::vector<double>{}},
        {ud2_file("UD2 and more", {1, 2, 99}, {{0.5, 9}, {1, 2, 9}, {3, 4, 9}, {9}}), {1, 2}, {{{0.5}, {1, 2}}}, {3, 4}}}) {
    const auto c = parse(bytes);
    ASSERT_TRUE(c);
    EXPECT_EQ(c->counts, counts);
    EXPECT_EQ(c->axes, axes);
    EXPECT_EQ(c->data, data);
  }
  // A valid 3 x 2 file, whole or chained, cut short anywhere, with any marker lying, or
  // with counts its records cannot back (a parser that trusted them would ask for gigabytes).
  const std::vector<std::vector<double>> arrays{{1, 2, 3}, {4, 5}, {6, 7, 8, 9, 10, 11}};
  for (std::size_t piece : {std::size_t{3}, std::size_t{16}, detail::max_piece}) {
    const auto full = ud2_file("UD2", {3, 2}, arrays, piece);
    ASSERT_TRUE(parse(full));
    for (std::size_t n = 0; n < full.size(); ++n) EXPECT_FALSE(parse(bytes_t(full.begin(), full.begin() + long(n)))) << n;
    auto marker = [&](std::size_t at) { std::int32_t m; std::memcpy(&m, full.data() + at, 4); return m; };
    for (std::size_t pos = 0, len; pos < full.size(); pos += 8 + len) {
      len = std::size_t(std::abs(marker(pos)));
      for (std::size_t at : {pos, pos + 4 + len})
        for (const std::int32_t m = marker(at); std::int32_t lie : {INT32_MIN, INT32_MAX, -1, 0, 1, 0x7FFFFFF7, -0x7FFFFFF7, -m, m + 1, m - 1}) {
          auto bad = full;
          std::memcpy(bad.data() + at, &lie, 4);
          EXPECT_TRUE(lie == m || !parse(bad)) << "marker at " << at << " = " << lie;
        }
    }
  }
  // Only the true counts, or a negative nx (empty x and data), fit the records.
  for (std::int32_t nx : {3, 4, 1000, INT32_MAX, -7})
    for (std::int32_t ny : {2, 3, 1 << 30, INT32_MAX})
      EXPECT_EQ(bool(parse(ud2_file("UD2", {nx, ny}, arrays))), ny == 2 && (nx == 3 || nx == -7)) << nx << " " << ny;
}

// A FIFO (read without a writer would wait for one), a link to it, a socket and a device are refused at once.
TEST(ArrayFileReader, RefusesSpecialFilesWithoutBlocking) {
  ::alarm(20);  // a reader that waits for a writer ends the test instead of hanging it
  scratch_dir tmp;
  const std::string fifo = tmp.path("fifo"), link = tmp.path("link"), sock = tmp.path("sock");
  ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
  ASSERT_EQ(::symlink("fifo", link.c_str()), 0);
  sockaddr_un addr{};
  addr.sun_family = AF_UNIX;
  std::strncpy(addr.sun_path, sock.c_str(), sizeof(addr.sun_path) - 1);
  const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
  ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof(addr)), 0);
  vector_holder<double> x, y;
  matrix_holder<double> m;
  for (const std::string& file : {fifo, link, sock, std::string("/dev/null")})
    expect_errors({{[&] { u_read_ud2(file, x, y, m); }, "cannot read file \"" + file + "\": not a regular file [ufio::u_read_ud2]"},
                   {[&] { u_read_ud1(file, x, y); }, "cannot read file \"" + file + "\": not a regular file [ufio::u_read_ud1]"},
                   {[&] { u_read_ud1(tmp.dir, x, y); }, "cannot read file \"" + tmp.dir.string() + "\": Is a directory [ufio::u_read_ud1]"}});
  ::close(fd);
  ::alarm(0);
}

// read() calls this process has made, from the kernel's count; -1 where it is not available.
long read_calls() {
  std::ifstream io("/proc/self/io");
  for (std::string key; io >> key;) {
    long v = 0;
    io >> v;
    if (key == "syscr:") return v;
  }
  return -1;
}

// 200,000 pieces of one byte: read back exactly, with reads in proportion to the file's size, not to its pieces.
TEST(ArrayFileReader, RecordsOfManyShortPiecesReadInFewCalls) {
  scratch_dir tmp;
  const std::string file = tmp.path("chained");
  const auto x = values<float>(25000, 1), y = values<float>(25000, 2);
  detail::write_u1<float>(file, x, y, 1);
  const auto size = long(fs::file_size(file));
  ASSERT_EQ(size, 9 * (3 + 4 + 8 * 25000));
  holder<float, 1> hx, hy;
  const long before = read_calls();
  u_read_ur1(file, hx, hy);
  const long calls = read_calls() - before;
  EXPECT_TRUE(same_bits(hx.values(), x));
  EXPECT_TRUE(same_bits(hy.values(), y));
  if (before < 0) GTEST_SKIP() << "no /proc/self/io to count the reads";
  EXPECT_LT(calls, size / 16384) << "a read per marker or piece would be some 400000";
}

#ifdef LTIDE_FORTRAN_COPY
// Plain Fortran unformatted I/O reads our files, whole or chained, and writes them
// again chained in 16-byte pieces, which we read back bit for bit.
TEST(FortranInterchange, FortranCopiesReadBackBitForBit) {
  scratch_dir tmp;
  std::vector<double> x{0.0, 0.5, -0.0}, y{1e-300, -2.5e300}, z = values<double>(6, 7);
  for (std::size_t piece : {detail::max_piece, std::size_t{16}}) {
    detail::write_u2<double>(tmp.path("ours"), x, y, {z.data(), 3, 2}, piece);
    ASSERT_EQ(std::system((LTIDE_FORTRAN_COPY " " + tmp.path("ours") + " " + tmp.path("theirs")).c_str()), 0);
    EXPECT_EQ(fs::file_size(tmp.path("theirs")), 139u + 3 * 8);  // x in 2 pieces, z in 3
    vector_holder<double> hx, hy; matrix_holder<double> hz;
    u_read_ud2(tmp.path("theirs"), hx, hy, hz);
    EXPECT_TRUE(same_bits(hx.values(), x));
    EXPECT_TRUE(same_bits(hy.values(), y));
    EXPECT_TRUE(same_bits(hz.values(), z));
  }
}
#endif

// A file streamed column by column, in any order, has the bytes of the whole-array
// writer, chained in pieces or not (pieces that split elements and columns alike).
TEST(ArrayFileStream, ColumnsInAnyOrderGiveTheWholeWritersBytes) {
  scratch_dir tmp;
  for (std::size_t piece : {detail::max_piece, std::size_t{3}, std::size_t{8}, std::size_t{20}, std::size_t{64}})
    for (auto [nx, ny] : {std::array<index_t, 2>{5, 7}, {1, 3}, {0, 4}, {3, 0}, {300, 240}}) {
      auto x = values<double>(nx, 1), y = values<double>(ny, 2), z = values<double>(nx * ny, 3);
      detail::write_u2<double>(tmp.path("whole"), x, y, {z.data(), nx, ny}, piece);
      fs::remove(tmp.path("streamed"));
      ud2_stream s = detail::open_ud2_stream(tmp.path("streamed"), x, y, piece);
      for (index_t j = ny; j >= 1; j -= 2) s.write_column(j, {z.data() + (j - 1) * nx, nx, 1});  // even then odd
      for (index_t j = ny - 1; j >= 1; j -= 2) s.write_column(j, {z.data() + (j - 1) * nx, nx, 1});
      EXPECT_FALSE(fs::exists(tmp.path("streamed")));  // a temporary until committed
      s.commit();
      EXPECT_EQ(read_bytes(tmp.path("streamed")), read_bytes(tmp.path("whole"))) << piece << " " << nx << " " << ny;
      EXPECT_EQ(fs::file_size(tmp.path("streamed")), piece == detail::max_piece ? ud2_file_bytes(nx, ny) : fs::file_size(tmp.path("whole")));
    }
}

// Temporaries: 0600 from their creation, named after the target, and listed; a stream
// dropped or missing a column leaves nothing; the final mode comes with the rename.
TEST(ArrayFileStream, TemporariesArePrivateRecognisableAndNeverLeftBehind) {
  scratch_dir tmp;
  std::vector<double> x{1, 2}, y{3, 4};
  const mode_t saved = ::umask(0);
  {
    ud2_stream s(tmp.path("out.uf2"), x, y);
    std::vector<fs::path> temps(fs::directory_iterator(tmp.dir), {});
    ASSERT_EQ(temps.size(), 1u);
    const std::string name = temps[0].filename();
    EXPECT_EQ(name.size(), std::string(".out.uf2.XXXXXX.tmp").size());
    EXPECT_TRUE(name.starts_with(".out.uf2.")) << name;
    EXPECT_TRUE(name.ends_with(".tmp")) << name;
    EXPECT_EQ(fs::status(temps[0]).permissions(), fs::perms(0600));
    s.write_column(1, x);
    EXPECT_EQ(error_line([&] { s.commit(); }),
              "** 1 of 2 columns written to file \"" + tmp.path("out.uf2") + "\" [ufio::u_write_ud2]");
  }
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.dir), {}), 0);
  ud2_stream s(tmp.path("out.uf2"), x, y);
  s.write_column(2, y), s.write_column(1, x), s.commit();
  ::umask(saved);
  EXPECT_EQ(fs::status(tmp.path("out.uf2")).permissions(), fs::perms(0666));
  EXPECT_EQ(std::distance(fs::directory_iterator(tmp.dir), {}), 1);
}

// The renames wait for the directory's lock: another run holding it keeps a set from mixing.
TEST(ArrayFileStream, RenamesWaitForTheDirectoryLock) {
  scratch_dir tmp;
  std::vector<double> x{1}, y{2};
  ud2_stream s(tmp.path("a"), x, y);
  s.write_column(1, x);
  const int dir = ::open(tmp.dir.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_EQ(::flock(dir, LOCK_EX), 0);
  const pid_t child = ::fork();
  if (child == 0) {  // commits while the parent holds the lock: it must wait
    ::close(dir);  // a copy of the locked descriptor would keep the lock alive
    ::_exit(error_line([&] { s.commit(); }) == "(returned normally)" ? 0 : 1);
  }
  ::usleep(300000);
  EXPECT_FALSE(fs::exists(tmp.path("a")));
  ::close(dir);  // releases the lock
  int status = 0;
  ::waitpid(child, &status, 0);
  EXPECT_EQ(status, 0);
  EXPECT_TRUE(fs::exists(tmp.path("a")));
}

TEST(Escaped, ControlCharactersAndBackslashesAreWrittenAsEscapes) {
  const std::pair<std::string, std::string> cases[] = {
      {"plain name.uf2", "plain name.uf2"}, {"a\nb", "a\\nb"},   {"tab\there", "tab\\there"},
      {"\x1b[31m", "\\e[31m"},               {"back\\slash", "back\\\\slash"}, {std::string("nul\0x", 5), "nul\\x00x"},
      {"\x7f\x01", "\\x7f\\x01"},            {"caf\xc3\xa9", "caf\xc3\xa9"}};
  for (const auto& [in, out] : cases) EXPECT_EQ(escaped(in), out);
  EXPECT_EQ(quoted_name("a\rb"), "\"a\\rb\"");
}

}  // namespace
}  // namespace ltide::ufio
