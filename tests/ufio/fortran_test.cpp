// Array files against a plain Fortran program with sequential unformatted I/O (built
// when gfortran is found): it reads our files, and we read its files.
#include <gtest/gtest.h>

#include <bit>
#include <cstdint>
#include <cstdio>
#include <sstream>
#include <string>
#include <vector>

#include "test_util.hpp"
#include "ufio/detail.hpp"
#include "ufio/ufio.hpp"

namespace ltide::ufio {
namespace {

#ifdef LTIDE_FORTRAN_READER

std::string run(const std::string& command) {
  std::string out;
  FILE* p = ::popen(command.c_str(), "r");
  if (p == nullptr) return out;
  char buf[4096];
  while (std::size_t n = std::fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  EXPECT_EQ(::pclose(p), 0) << command;
  return out;
}

// What the Fortran reader prints for these arrays: header, counts, then each value's
// bits in hexadecimal.
std::string expected_listing(const std::vector<double>& x, const std::vector<double>& y, const std::vector<double>& z) {
  std::ostringstream s;
  s << "UD2\n" << x.size() << " " << y.size() << "\n";
  for (const auto* a : {&x, &y, &z})
    for (double v : *a) {
      char hex[17];
      std::snprintf(hex, sizeof hex, "%016llX", static_cast<unsigned long long>(std::bit_cast<std::uint64_t>(v)));
      s << hex << "\n";
    }
  return s.str();
}

TEST(FortranInterchange, FortranReadsWhatTheWriterWrote) {
  test::scratch_dir tmp;
  std::vector<double> x{0.0, 0.5, -0.0}, y{1e-300, -2.5e300}, z{1, 2, 3, 4, 5, 6};
  u_write_ud2(tmp.path("w.uf2"), x, y, matrix_view<const double>(z.data(), 3, 2));
  EXPECT_EQ(run(std::string(LTIDE_FORTRAN_READER) + " " + tmp.path("w.uf2")), expected_listing(x, y, z));

  // The same file in chained pieces of 16 bytes is the same data to Fortran.
  detail::write_u2<double>(tmp.path("c.uf2"), x, y, matrix_view<const double>(z.data(), 3, 2), 16);
  EXPECT_EQ(run(std::string(LTIDE_FORTRAN_READER) + " " + tmp.path("c.uf2")), expected_listing(x, y, z));
}

TEST(FortranInterchange, ReaderReadsWhatFortranWroteInChainedPieces) {
  test::scratch_dir tmp;
  run(std::string(LTIDE_FORTRAN_WRITER) + " " + tmp.path("f.uf2"));
  vector_holder<double> hx, hy;
  matrix_holder<double> hz;
  u_read_ud2(tmp.path("f.uf2"), hx, hy, hz);
  ASSERT_EQ(hz.extent(1), 3);
  ASSERT_EQ(hz.extent(2), 4);
  for (index_t i = 1; i <= 3; ++i) EXPECT_EQ(hx(i), static_cast<double>(i) - 0.5);
  for (index_t j = 1; j <= 4; ++j) {
    EXPECT_EQ(hy(j), -static_cast<double>(j));
    for (index_t i = 1; i <= 3; ++i) EXPECT_EQ(hz(i, j), static_cast<double>(i) + 0.25 * static_cast<double>(j));
  }
}

#else

TEST(FortranInterchange, NeedsGfortran) { GTEST_SKIP() << "gfortran was not found when the tests were configured"; }

#endif

}  // namespace
}  // namespace ltide::ufio
