// Copies an array file with the library's reader and writer, to check the Python module
// against them:  uf2_fixture KIND RANK IN OUT PIECE  (the longest payload of one piece).
#include <cstdlib>
#include <string>

#include <ltide/ufio/detail.hpp>
#include <ltide/ufio/ufio.hpp>

using namespace ltide;
using namespace ltide::ufio;

template <class T>
int copy(int rank, const char* in, const char* out, std::size_t piece, auto read1, auto read2, auto read3) {
  holder<real_of<T>, 1> x, y, z;  // the axes, then the data of each rank
  holder<T, 1> f1; holder<T, 2> f2; holder<T, 3> f3;
  if (rank == 1) { read1(in, x, f1); detail::write_u1<T>(out, x.view(), f1.view(), piece); }
  if (rank == 2) { read2(in, x, y, f2); detail::write_u2<T>(out, x.view(), y.view(), f2.view(), piece); }
  if (rank == 3) { read3(in, x, y, z, f3); detail::write_u3<T>(out, x.view(), y.view(), z.view(), f3.view(), piece); }
  return rank >= 1 && rank <= 3 ? 0 : 2;
}

int main(int argc, char** argv) {
  if (argc != 6) return 2;
  const std::string kind = argv[1];
  const int rank = std::atoi(argv[2]);
  const std::size_t piece = std::strtoul(argv[5], nullptr, 10);
  if (kind == "r") return copy<float>(rank, argv[3], argv[4], piece, u_read_ur1, u_read_ur2, u_read_ur3);
  if (kind == "d") return copy<double>(rank, argv[3], argv[4], piece, u_read_ud1, u_read_ud2, u_read_ud3);
  if (kind == "c") return copy<cfloat>(rank, argv[3], argv[4], piece, u_read_uc1, u_read_uc2, u_read_uc3);
  if (kind == "k") return copy<cdouble>(rank, argv[3], argv[4], piece, u_read_uk1, u_read_uk2, u_read_uk3);
  return 2;
}
