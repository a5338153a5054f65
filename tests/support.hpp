#pragma once
// What the tests share: a fresh directory, the line a failing call would have the program
// print, and the stop messages that more than one test expects.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <exception>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <ltide/common/fatal.hpp>

// A fresh directory under the test's temporary folder, removed with everything in it.
struct scratch_dir {
  std::filesystem::path dir = ::mkdtemp((::testing::TempDir() + "ltide_XXXXXX").data());
  ~scratch_dir() {
    std::error_code ec;
    std::filesystem::remove_all(dir, ec);
  }
  std::string path(const std::string& name) const { return (dir / name).string(); }
};

// A whole file as bytes, and a text's lines without their ends.
inline std::string slurp(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}
inline std::vector<std::string> lines_of(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// what() of the ltide::error a call throws. A call that returns, or throws anything else,
// gives a line no message has, so EXPECT_EQ(error_line(call), "** text [tag]") shows what
// happened instead.
template <class F>
std::string error_line(F&& call) {
  try {
    call();
  } catch (const ltide::error& e) {
    return e.what();
  } catch (const std::exception& e) {
    return std::string("(other exception: ") + e.what() + ")";
  }
  return "(returned normally)";
}

namespace stop {
const std::string QL = "** too many iterations in QL algorithm [sparse::s_eigen_ST]";
const std::string SINGULAR_REAL = "** singular matrix [matrix::r_lu_decompose]";
const std::string K_BELOW_N = "** k must be (significantly) less than n [ltide]";
const std::string TWO_MU = "** n_mu must be at least 2 [ltide]";
const std::string NO_MEMORY = "** cannot allocate the arrays of the run [ltide]";
const std::string DEGREES = "** |m| + 2n must not exceed 2147483647 [ltide]";
const std::string NOT_INTEGER = "** ^^ Cannot convert to integer type [args::a_argv_i]";
const std::string NOT_REAL = "** ^^ Cannot convert to real type [args::a_argv_dp]";
const std::string NOT_LOGICAL = "** ^^ Cannot convert to logical type [args::a_argv_l]";
}  // namespace stop
