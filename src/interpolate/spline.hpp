#pragma once
// The building blocks of the interpolation routines: the bracketing search (hunt), the
// second-derivative table of the natural spline and the evaluation of value and slope
// from that table, with the start indices they keep between calls.
#include <complex>
#include <vector>

#include <ltide/common/view.hpp>

namespace ltide::interpolate {

// Bracketing search. On return jlo (1-based) satisfies 1 <= jlo <= n-1 and q lies in the
// closed interval between x(jlo) and x(jlo+1). The incoming jlo is a starting hint: from a
// value in 1..n the search hunts outwards with doubling steps, otherwise it bisects the
// whole table. At an interior node the interval depends on the hint (both neighbours
// give the same spline value to rounding). q outside the closed range of x, q not a
// number, or a table of fewer than two points stops with the range message.
// s_hunt serves the kinds s and c, d_hunt the kinds d and z.
void s_hunt(vector_view<const float> x, float q, index_t& jlo);
void d_hunt(vector_view<const double> x, double q, index_t& jlo);

// Second derivatives of the natural spline through (x(i), y(i)), i = 1..n (zero at both
// ends), as a new array of n values.
std::vector<float> s_calc_y_2(vector_view<const float> x, vector_view<const float> y);
std::vector<double> d_calc_y_2(vector_view<const double> x, vector_view<const double> y);
std::vector<std::complex<float>> c_calc_y_2(vector_view<const float> x,
                                            vector_view<const std::complex<float>> y);
std::vector<std::complex<double>> z_calc_y_2(vector_view<const double> x,
                                             vector_view<const std::complex<double>> y);

// Spline value at q from a table y2 made by the kind's *_calc_y_2; hunts from, and
// updates, the saved start index `value` of the kind.
float s_calc_y(vector_view<const float> x, vector_view<const float> y, vector_view<const float> y2, float q);
double d_calc_y(vector_view<const double> x, vector_view<const double> y, vector_view<const double> y2,
                double q);
std::complex<float> c_calc_y(vector_view<const float> x, vector_view<const std::complex<float>> y,
                             vector_view<const std::complex<float>> y2, float q);
std::complex<double> z_calc_y(vector_view<const double> x, vector_view<const std::complex<double>> y,
                              vector_view<const std::complex<double>> y2, double q);

// Spline derivative at q from y2; uses the saved start index `deriv` of the kind.
float s_calc_y_1(vector_view<const float> x, vector_view<const float> y, vector_view<const float> y2,
                 float q);
double d_calc_y_1(vector_view<const double> x, vector_view<const double> y, vector_view<const double> y2,
                  double q);
std::complex<float> c_calc_y_1(vector_view<const float> x, vector_view<const std::complex<float>> y,
                               vector_view<const std::complex<float>> y2, float q);
std::complex<double> z_calc_y_1(vector_view<const double> x, vector_view<const std::complex<double>> y,
                                vector_view<const std::complex<double>> y2, double q);

// Start indices of the hunt that persist between calls, one set per kind and per thread,
// each 0 when the thread starts:
// `value` is shared by *_interpolate_data, *_interpolate_data_vec and *_calc_y; `deriv` by
// *_interpolate_deriv, *_interpolate_deriv_vec and *_calc_y_1; `lin` by *_interpolate_lin
// and *_interpolate_lin_vec. Every evaluation leaves in its index the interval it used.
// Only hints (any value is accepted), but they decide which interval an interior node
// falls in, so results are reproducible bit for bit only for the same call history (of
// the calling thread; a caller that needs more sets them explicitly through these
// references before its calls).
struct saved_start {
  index_t value = 0;
  index_t deriv = 0;
  index_t lin = 0;
};
// The calling thread's indices.
saved_start& s_saved_start();
saved_start& d_saved_start();
saved_start& c_saved_start();
saved_start& z_saved_start();

}  // namespace ltide::interpolate
