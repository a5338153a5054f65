// Writes and copies array files with the library's own writers and readers, so that
// the Python module can be checked against them.
//
//   uf2_fixture make KIND RANK FILE PIECE N1 [N2 [N3]]
//     writes a file whose values follow a rule the Python tests reproduce:
//     axis d (from 0), element i:  (i + 1) / (d + 3)
//     data element (i, j, k):      re = (1 + i + 100 j + 10000 k) / 7, im = -re / 3
//     each operation rounded in the kind's real type.
//   uf2_fixture copy KIND RANK IN OUT PIECE
//     reads IN with the reader of that kind and rank and writes it again to OUT.
// PIECE is the longest payload of one framed piece (small values chain every record).
#include <complex>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "common/kinds.hpp"
#include "common/view.hpp"
#include "ufio/detail.hpp"
#include "ufio/ufio.hpp"

namespace {

using namespace ltide;
using namespace ltide::ufio;

template <class T>
T element(index_t i, index_t j, index_t k) {
  using R = real_of<T>;
  const R re = static_cast<R>(1 + i + 100 * j + 10000 * k) / R(7);
  if constexpr (complex_kind<T>)
    return T(re, -re / R(3));
  else
    return re;
}

template <class T>
void make(int rank, const std::string& file, std::size_t piece, const index_t n[3]) {
  using R = real_of<T>;
  std::vector<std::vector<R>> axes(3);
  for (int d = 0; d < 3; ++d)
    for (index_t i = 0; i < n[d]; ++i) axes[d].push_back(static_cast<R>(i + 1) / static_cast<R>(d + 3));
  std::vector<T> data;
  for (index_t k = 0; k < n[2]; ++k)
    for (index_t j = 0; j < n[1]; ++j)
      for (index_t i = 0; i < n[0]; ++i) data.push_back(element<T>(i, j, k));
  const vector_view<const R> x(axes[0]), y(axes[1]), z(axes[2]);
  if (rank == 1) detail::write_u1<T>(file, x, vector_view<const T>(data), piece);
  if (rank == 2) detail::write_u2<T>(file, x, y, matrix_view<const T>(data.data(), n[0], n[1]), piece);
  if (rank == 3) detail::write_u3<T>(file, x, y, z, cube_view<const T>(data.data(), n[0], n[1], n[2]), piece);
}

// The named readers of one kind.
template <class T>
struct readers;
template <>
struct readers<float> {
  static constexpr auto r1 = &u_read_ur1, r2 = &u_read_ur2, r3 = &u_read_ur3;
};
template <>
struct readers<double> {
  static constexpr auto r1 = &u_read_ud1, r2 = &u_read_ud2, r3 = &u_read_ud3;
};
template <>
struct readers<cfloat> {
  static constexpr auto r1 = &u_read_uc1, r2 = &u_read_uc2, r3 = &u_read_uc3;
};
template <>
struct readers<cdouble> {
  static constexpr auto r1 = &u_read_uk1, r2 = &u_read_uk2, r3 = &u_read_uk3;
};

template <class T>
void copy(int rank, const std::string& in, const std::string& out, std::size_t piece) {
  using R = real_of<T>;
  holder<R, 1> x, y, z;
  if (rank == 1) {
    holder<T, 1> f;
    readers<T>::r1(in, x, f);
    detail::write_u1<T>(out, x.view(), f.view(), piece);
  } else if (rank == 2) {
    holder<T, 2> f;
    readers<T>::r2(in, x, y, f);
    detail::write_u2<T>(out, x.view(), y.view(), f.view(), piece);
  } else {
    holder<T, 3> f;
    readers<T>::r3(in, x, y, z, f);
    detail::write_u3<T>(out, x.view(), y.view(), z.view(), f.view(), piece);
  }
}

template <class T>
int run(const std::string& mode, int rank, char** args, int nargs) {
  if (mode == "make" && nargs == 2 + rank) {
    const index_t n[3] = {std::atol(args[2]), rank > 1 ? std::atol(args[3]) : 0, rank > 2 ? std::atol(args[4]) : 0};
    const index_t ones[3] = {n[0], rank > 1 ? n[1] : 1, rank > 2 ? n[2] : 1};
    make<T>(rank, args[0], std::strtoul(args[1], nullptr, 10), ones);
    return 0;
  }
  if (mode == "copy" && nargs == 3) {
    copy<T>(rank, args[0], args[1], std::strtoul(args[2], nullptr, 10));
    return 0;
  }
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc >= 4) {
    const std::string mode = argv[1], kind = argv[2];
    const int rank = std::atoi(argv[3]);
    if (rank >= 1 && rank <= 3) {
      int rc = 2;
      if (kind == "r") rc = run<float>(mode, rank, argv + 4, argc - 4);
      if (kind == "d") rc = run<double>(mode, rank, argv + 4, argc - 4);
      if (kind == "c") rc = run<cfloat>(mode, rank, argv + 4, argc - 4);
      if (kind == "k") rc = run<cdouble>(mode, rank, argv + 4, argc - 4);
      if (rc == 0) return 0;
    }
  }
  std::fputs("usage: uf2_fixture make KIND RANK FILE PIECE N1 [N2 [N3]]\n"
             "       uf2_fixture copy KIND RANK IN OUT PIECE\n",
             stderr);
  return 2;
}
