#pragma once
// What differs between the kinds of array file: the kind letter, which names the
// routines and forms the header text.
#include <string>

#include <ltide/common/kinds.hpp>

namespace ltide::ufio {

template <numeric_kind T>
struct kind_traits;
template <>
struct kind_traits<float> {
  static constexpr char letter = 'r';
};
template <>
struct kind_traits<double> {
  static constexpr char letter = 'd';
};
template <>
struct kind_traits<std::complex<float>> {
  static constexpr char letter = 'c';
};
template <>
struct kind_traits<std::complex<double>> {
  static constexpr char letter = 'k';
};

// "UD2" for kind d, rank 2.
template <numeric_kind T>
std::string header_text(int rank) {
  return {'U', static_cast<char>(kind_traits<T>::letter - 'a' + 'A'), static_cast<char>('0' + rank)};
}

// "ufio::u_write_ud2" or "ufio::u_read_ud2".
template <numeric_kind T>
std::string routine_tag(bool reader, int rank) {
  return std::string(reader ? "ufio::u_read_u" : "ufio::u_write_u") + kind_traits<T>::letter +
         static_cast<char>('0' + rank);
}

}  // namespace ltide::ufio
