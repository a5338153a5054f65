#pragma once
// Dense LU decomposition (Crout, implicit row scaling, partial pivoting), solving,
// inversion and determinants for the four kinds s, d, c, z.
#include <complex>
#include <cstdint>

#include "common/view.hpp"

namespace ltide::matrix {

// The n-by-n identity; `x` only selects the kind.
array2<float> s_unit(int32_t n, float x);
array2<double> d_unit(int32_t n, double x);
array2<std::complex<float>> c_unit(int32_t n, std::complex<float> x);
array2<std::complex<double>> z_unit(int32_t n, std::complex<double> x);
array2<float> s_unit_(int32_t n);

}  // namespace ltide::matrix
