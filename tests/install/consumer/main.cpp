// Uses an installed ltide: operator eigenvalues (and what they need), array files, the FP mode.
#include <cstdio>
#include <string>
#include <vector>

#include <ltide/common/fatal.hpp>
#include <ltide/common/fpmode.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/ufio/ufio.hpp>

int main(int argc, char** argv) {
  ltide::enable_flush_to_zero();
  if (argc != 2) return 2;
  // Without rotation the operator's eigenvalues are l(l + 1): 6, 20, 42 for m = 2.
  std::vector<double> lambda(8), degree = {2, 4, 6};
  ltide::coriolis::w_eigen(0.0, 2, true, 8, lambda, std::nullopt, std::nullopt, std::nullopt, true);
  std::printf("lambda %.6f %.6f %.6f\n", lambda[0], lambda[1], lambda[2]);
  const std::string file = std::string(argv[1]) + "/lambda.uf1";
  ltide::ufio::u_write_ud1(file, degree, ltide::vector_view<const double>(lambda.data(), 3));
  ltide::ufio::holder<double, 1> x, y;
  ltide::ufio::u_read_ud1(file, x, y);
  std::printf("file %td values, last %.1f at degree %.0f\n", y.size(), y(3), x(3));
  // A failure is an exception the consumer handles; the process goes on.
  try {
    ltide::ufio::holder<double, 1> u, v;
    ltide::ufio::u_read_ud1(std::string(argv[1]) + "/missing.uf1", u, v);
  } catch (const ltide::error& e) {
    std::printf("caught [%s]\n", e.tag().c_str());
  }
}
