// For the driver's cases (m = 1, 2; k = -4 .. 6; nu from -20 to 20), the share of the QL
// rotations that can reach the selected mode's column and are therefore applied by
// w_eigen_mode. Arguments: n [n_nu].
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include <ltide/common/fpmode.hpp>
#include <ltide/coriolis/terms.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/sort/sort.hpp>
#include <ltide/sparse/rotations.hpp>

int main(int argc, char** argv) {
  using namespace ltide;
  enable_flush_to_zero();
  const int32_t n = argc > 1 ? std::atoi(argv[1]) : 400;
  const int32_t n_nu = argc > 2 ? std::atoi(argv[2]) : 21;
  std::printf("share of rotations applied for the selected mode, n = %d, %d spin parameters in [-20, 20]\n", n, n_nu);
  std::printf("%3s %3s %8s %8s %8s\n", "m", "k", "mean", "min", "max");
  double all = 0.0;
  int count = 0;
  for (int32_t m : {1, 2}) {
    for (int32_t k = -4; k <= 6; ++k) {
      const bool even = (k < 0 ? -k : k) % 2 == 0;
      const int32_t i_mode = k >= 0 ? k / 2 + 1 : n - (-k - 1) / 2;
      double sum = 0.0, lo = 1.0, hi = 0.0;
      for (int32_t j = 0; j < n_nu; ++j) {
        const double nu = -20.0 + 40.0 * j / (n_nu - 1);
        const auto A = coriolis::aleph_matrix(nu, m, even, n);
        std::vector<double> d(A.size()), e(A.size());
        for (std::size_t i = 0; i < A.size(); ++i) d[i] = A[i].diag, e[i] = A[i].off;
        sparse::rotation_log log;
        sparse::ql_implicit_logged(d.data(), e.data(), n, log);
        std::vector<int32_t> idx = sort::s_index_sort_d(vector_view<const double>(d));
        std::reverse(idx.begin(), idx.end());
        const int64_t c = coriolis::rotation_count(m, even, n, nu) % n;
        std::rotate(idx.begin(), idx.begin() + c, idx.end());
        const double share = sparse::rotated_identity_column_share(log.sequence(), idx[i_mode - 1] - 1);
        sum += share;
        lo = std::min(lo, share);
        hi = std::max(hi, share);
      }
      std::printf("%3d %3d %8.3f %8.3f %8.3f\n", m, k, sum / n_nu, lo, hi);
      all += sum;
      count += n_nu;
    }
  }
  std::printf("mean over all: %.3f\n", all / count);
  return 0;
}
