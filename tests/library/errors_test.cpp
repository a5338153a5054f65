// One process meets a failure of each kind, catches it and carries on: a reader on a
// missing file, a solve with bad sizes, a LAPACK routine handed an illegal argument.
// Nothing of a failure may leak into the calls after it.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

#include <ltide/common/fatal.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/matrix/lapack_wrapper.hpp>
#include <ltide/matrix/lu.hpp>
#include <ltide/ufio/ufio.hpp>

namespace ltide {
namespace {

TEST(LibraryErrors, CaughtOneAfterAnotherAndTheProcessCarriesOn) {
  const std::string file = ::testing::TempDir() + "library_errors_" + std::to_string(getpid()) + ".uf2";
  std::remove(file.c_str());
  std::vector<std::string> caught;
  auto attempt = [&](auto&& call) {
    try {
      call();
      caught.push_back("(returned)");
    } catch (const error& e) {
      caught.push_back(e.tag() + ": " + e.text());
    }
  };
  ufio::vector_holder<double> x, y;
  attempt([&] { ufio::u_read_ud1(file, x, y); });
  array2<double> a = matrix::d_unit(3, 1.0), b(2, 1, 1.0);
  a(3, 3) = 2.0;
  attempt([&] { matrix::d_invmul(a.view(), b.view()); });
  std::vector<double> d{2.0, 2.0, 2.0}, e{-1.0, -1.0};
  attempt([&] { matrix::dsteqr_wrap('Q', d, e); });
  std::vector<double> lambda(6), col_b(6), col_q(6), col_r(6);
  attempt([&] { coriolis::w_eigen_mode(1.5, 2, true, 6, 7, lambda, col_b, col_q, col_r); });
  ASSERT_EQ(caught.size(), 4U);
  EXPECT_EQ(caught[0], "ufio::u_read_ud1: cannot open file \"" + file + "\": No such file or directory");
  EXPECT_EQ(caught[1], "matrix::d_invmul: array sizes do not match");
  EXPECT_EQ(caught[2], "lapack_wrapper::xerbla: On entry to DSTEQR parameter number 1 had an illegal value");
  EXPECT_EQ(caught[3], "coriolis::w_eigen_mode: mode index out of range");

  // The same routines now succeed, with the results of a fresh process.
  matrix::dsteqr_wrap('N', d, e);
  EXPECT_NEAR(d[0], 2.0 - std::sqrt(2.0), 1e-15);
  EXPECT_NEAR(d[2], 2.0 + std::sqrt(2.0), 1e-15);
  b = array2<double>(3, 1, 1.0);
  EXPECT_EQ(matrix::d_invmul(a.view(), b.view())(3, 1), 0.5);
  ufio::u_write_ud1(file, std::vector<double>{1.0, 2.0}, std::vector<double>{3.0, 4.0});
  ufio::u_read_ud1(file, x, y);
  EXPECT_EQ(y.values(), (std::vector<double>{3.0, 4.0}));
  std::remove(file.c_str());
  std::vector<double> all(6);
  coriolis::w_eigen_mode(1.5, 2, true, 6, 1, lambda, col_b, col_q, col_r);
  coriolis::w_eigen(1.5, 2, true, 6, all, std::nullopt, std::nullopt, std::nullopt, true);
  EXPECT_EQ(lambda, all);
}

}  // namespace
}  // namespace ltide
