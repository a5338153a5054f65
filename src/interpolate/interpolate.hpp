#pragma once
// Interpolation of tabulated one-dimensional data y(x): natural cubic spline (value and
// slope), piecewise-linear interpolation and the integral of the natural spline.
//
// Kinds: s (float abscissae and ordinates), d (double), c (float abscissae, complex<float>
// ordinates), z (double abscissae, complex<double> ordinates). The abscissae x are strictly
// monotonic, increasing or decreasing (the direction is read from the end points), and
// may be a strided view; y holds at least as many values as x. A query outside the closed
// range of x, or one that is not a number, stops the run: there is no extrapolation.
//
// Each routine family keeps a start index for its bracketing search between calls, so a
// run of nearby or ordered queries is found quickly; see interpolate/spline.hpp.
#include <complex>
#include <vector>

#include <ltide/common/view.hpp>

namespace ltide::interpolate {

// Spline value at q.
float s_interpolate_data(vector_view<const float> x, vector_view<const float> y, float q);
double d_interpolate_data(vector_view<const double> x, vector_view<const double> y, double q);
std::complex<float> c_interpolate_data(vector_view<const float> x, vector_view<const std::complex<float>> y,
                                       float q);
std::complex<double> z_interpolate_data(vector_view<const double> x,
                                        vector_view<const std::complex<double>> y, double q);

// Spline derivative dy/dx at q.
float s_interpolate_deriv(vector_view<const float> x, vector_view<const float> y, float q);
double d_interpolate_deriv(vector_view<const double> x, vector_view<const double> y, double q);
std::complex<float> c_interpolate_deriv(vector_view<const float> x, vector_view<const std::complex<float>> y,
                                        float q);
std::complex<double> z_interpolate_deriv(vector_view<const double> x,
                                         vector_view<const std::complex<double>> y, double q);

// Spline values at every q(i), in order; the spline is set up once.
std::vector<float> s_interpolate_data_vec(vector_view<const float> x, vector_view<const float> y,
                                          vector_view<const float> q);
std::vector<double> d_interpolate_data_vec(vector_view<const double> x, vector_view<const double> y,
                                           vector_view<const double> q);
std::vector<std::complex<float>> c_interpolate_data_vec(vector_view<const float> x,
                                                        vector_view<const std::complex<float>> y,
                                                        vector_view<const float> q);
std::vector<std::complex<double>> z_interpolate_data_vec(vector_view<const double> x,
                                                         vector_view<const std::complex<double>> y,
                                                         vector_view<const double> q);

// Spline derivatives at every q(i), in order.
std::vector<float> s_interpolate_deriv_vec(vector_view<const float> x, vector_view<const float> y,
                                           vector_view<const float> q);
std::vector<double> d_interpolate_deriv_vec(vector_view<const double> x, vector_view<const double> y,
                                            vector_view<const double> q);
std::vector<std::complex<float>> c_interpolate_deriv_vec(vector_view<const float> x,
                                                         vector_view<const std::complex<float>> y,
                                                         vector_view<const float> q);
std::vector<std::complex<double>> z_interpolate_deriv_vec(vector_view<const double> x,
                                                          vector_view<const std::complex<double>> y,
                                                          vector_view<const double> q);

// Piecewise-linear value at q.
float s_interpolate_lin(vector_view<const float> x, vector_view<const float> y, float q);
double d_interpolate_lin(vector_view<const double> x, vector_view<const double> y, double q);
std::complex<float> c_interpolate_lin(vector_view<const float> x, vector_view<const std::complex<float>> y,
                                      float q);
std::complex<double> z_interpolate_lin(vector_view<const double> x, vector_view<const std::complex<double>> y,
                                       double q);

// Piecewise-linear values at every q(i), in order.
std::vector<float> s_interpolate_lin_vec(vector_view<const float> x, vector_view<const float> y,
                                         vector_view<const float> q);
std::vector<double> d_interpolate_lin_vec(vector_view<const double> x, vector_view<const double> y,
                                          vector_view<const double> q);
std::vector<std::complex<float>> c_interpolate_lin_vec(vector_view<const float> x,
                                                       vector_view<const std::complex<float>> y,
                                                       vector_view<const float> q);
std::vector<std::complex<double>> z_interpolate_lin_vec(vector_view<const double> x,
                                                        vector_view<const std::complex<double>> y,
                                                        vector_view<const double> q);

// Integral of the natural cubic spline from x(1) to x(n) (negative of the integral over
// the increasing range when x decreases). One point, or none, gives 0.
double d_integrate_spline(vector_view<const double> x, vector_view<const double> y);

}  // namespace ltide::interpolate
