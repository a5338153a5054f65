#include "matrix/lu.hpp"

#include "common/kinds.hpp"

namespace ltide::matrix {

namespace {

template <numeric_kind T>
array2<T> unit(int32_t n) {
  array2<T> u(n, n, T(0));
  for (index_t i = 1; i <= u.rows(); ++i) u(i, i) = T(1);
  return u;
}

}  // namespace

array2<float> s_unit(int32_t n, float /*x*/) { return unit<float>(n); }
array2<double> d_unit(int32_t n, double /*x*/) { return unit<double>(n); }
array2<std::complex<float>> c_unit(int32_t n, std::complex<float> /*x*/) { return unit<std::complex<float>>(n); }
array2<std::complex<double>> z_unit(int32_t n, std::complex<double> /*x*/) {
  return unit<std::complex<double>>(n);
}
array2<float> s_unit_(int32_t n) {
  array2<float> u = s_unit(n, 1.0F);
  return u;
}

}  // namespace ltide::matrix
