#include <ltide/ltide/asymptotic.hpp>

#include <cmath>

#include <ltide/coriolis/degrees.hpp>
#include <ltide/functions/functions.hpp>

namespace ltide::run {

namespace {

enum class root { larger, smaller };

struct order_rule {
  int32_t nh;
  int32_t flags;  // BETA_NO_SOLUTION or BETA_DOUBLE_ROOT, else 0
  root rule;
};

// Hermite order and root from k and x = m nu. Retrograde modes (x > 0) of negative k
// exist only above x = m^2, and k = -1 switches to the larger root above 2 m^2, where
// the two roots of its quadratic cross.
order_rule choose_order(int32_t m, int32_t k, double x) {
  const int64_t k64 = k;
  if (!(x > 0.0)) {  // also a NaN x
    const auto nh = static_cast<int32_t>(k64 - 1);
    return {nh, k >= 0 ? 0 : BETA_NO_SOLUTION, root::larger};
  }
  if (k >= 0) return {static_cast<int32_t>(k64 + 1), 0, root::larger};
  const auto nh = static_cast<int32_t>(-k64 - 1);
  const double m2 = coriolis::exact_product(m, m);
  const double two_m2 = coriolis::exact_product(2 * int64_t{m}, m);
  if (x <= m2) return {nh, BETA_NO_SOLUTION, root::smaller};
  // The order is compared in single precision.
  if (static_cast<float>(nh) >= 1.0F || x < two_m2) return {nh, 0, root::smaller};
  if (x == two_m2) return {nh, BETA_DOUBLE_ROOT, root::smaller};
  return {nh, 0, root::larger};
}

// nh = -1 (k = 0, x <= 0): a Gaussian without Hermite factor, valid for x <= -3.
asymptotic_result gaussian_branch(int32_t m, double nu, double x, bool fields, vector_view<const double> mu,
                                  const asymptotic_work& work, vector_view<double> xi_r, vector_view<double> xi_t,
                                  vector_view<double> xi_p) {
  asymptotic_result out{-1, 0, 0.0};
  if (x == 0.0 || std::isnan(x) || -3.0 / x > 1.0) {
    out.flags = BETA_NOT_VALID;
    return out;
  }
  const int64_t m64 = m;
  // c3 = 2 m^3 and c1 = 2 m are single-precision constants: each operation is rounded
  // to float, and only the results are widened.
  const float c3 = (static_cast<float>(m64 * m64) * 2.0F) * static_cast<float>(m);
  const float c1 = static_cast<float>(m) + static_cast<float>(m);
  out.lambda = (static_cast<double>(c3) * nu) / (static_cast<double>(c1) * nu + 1.0);
  if (!fields) return out;

  const double w = std::sqrt(0.0 - x);
  const double d = static_cast<double>(2 * m64) * nu + 1.0;
  const double M = coriolis::exact_product(m, m);
  const auto dm = static_cast<double>(m);
  for (index_t p = 0; p < mu.size; ++p) {
    const double s = mu[p] * w;
    work.sigma[p] = s;
    const double E = std::exp((s * s) * (-0.5));
    xi_r[p] = E;
    xi_t[p] = -((mu[p] * (M / d)) * E);
    xi_p[p] = -((((s * s) / d + 1.0) * dm) * E);
  }
  return out;
}

}  // namespace

// Equatorial beta-plane limit (Matsuno 1966): s = sqrt(lambda) solves s^2 - (2 nh + 1) nu s +
// m nu - m^2 = 0 and xi_t = H_nh(sigma) exp(-sigma^2/2), sigma = mu sqrt(s nu); trusted while
// the turning point sqrt((2 nh + 1)/(s nu)) lies inside |mu| < 1.
asymptotic_result asymptotic_solution(int32_t m, int32_t k, double nu, bool fields, vector_view<const double> mu,
                                      const asymptotic_work& work, vector_view<double> xi_r,
                                      vector_view<double> xi_t, vector_view<double> xi_p) {
  const double x = coriolis::m_nu(m, nu);
  const order_rule rule = choose_order(m, k, x);
  if (rule.flags != 0) return {rule.nh, rule.flags, 0.0};
  if (rule.nh == -1) return gaussian_branch(m, nu, x, fields, mu, work, xi_r, xi_t, xi_p);

  asymptotic_result out{rule.nh, 0, 0.0};
  const int64_t q = 2 * int64_t{rule.nh} + 1;
  const double M = coriolis::exact_product(m, m);
  const double D = coriolis::exact_product(q, q) * (nu * nu) - (x - M) * 4.0;
  const double r = std::sqrt(D);  // NaN for a negative discriminant
  const double g = nu * static_cast<double>(q);
  const double s_plus = (r + g) * 0.5;
  const double s_minus = (g - r) * 0.5;
  const bool plus_larger = std::fabs(s_plus) > std::fabs(s_minus);
  const double s = rule.rule == root::larger ? (plus_larger ? s_plus : s_minus) : (plus_larger ? s_minus : s_plus);
  if (!(s * nu > 0.0)) {
    out.flags = BETA_ROOT_NOT_POSITIVE;
    return out;
  }
  if (static_cast<double>(q) / (s * nu) > 1.0) {
    out.flags = BETA_NOT_VALID;
    return out;
  }
  out.lambda = s * s;
  if (!fields) return out;

  const double w = std::sqrt(s * nu);
  const double L = out.lambda;
  const auto dm = static_cast<double>(m);
  const auto dnh = static_cast<double>(rule.nh);
  const double a1 = dnh * (dm / s + 1.0);
  const double a2 = (dm / s - 1.0) * 0.5;
  const double b1 = dnh * (dm + s);
  const double b2 = (s - dm) * 0.5;
  const double radial_scale = w / (L - M);
  const double azimuthal_scale = w / (M - L);
  // nh + 1 fits: a run with fields holds n x n arrays, so n (and nh <= n) stays far
  // below 2^31.
  const int32_t lower = rule.nh - 1, upper = rule.nh + 1;
  for (index_t p = 0; p < mu.size; ++p) {
    const double sg = mu[p] * w;
    work.sigma[p] = sg;
    work.h_lower[p] = functions::f_hermite_hn(lower, sg);
    work.h_order[p] = functions::f_hermite_hn(rule.nh, sg);
    work.h_upper[p] = functions::f_hermite_hn(upper, sg);
  }
  for (index_t p = 0; p < mu.size; ++p) {
    const double E = std::exp((work.sigma[p] * work.sigma[p]) * (-0.5));
    xi_r[p] = ((work.h_lower[p] * a1 + work.h_upper[p] * a2) * radial_scale) * E;
    xi_t[p] = E * work.h_order[p];
    xi_p[p] = ((work.h_lower[p] * b1 + work.h_upper[p] * b2) * azimuthal_scale) * E;
  }
  return out;
}

}  // namespace ltide::run
