// The tridiagonal eigen-solution with eigenvectors, on Aleph matrices of real runs
// (m = 2, even modes): the column-pair loop, the blocked application that s_eigen_ST
// uses, LAPACK's dsteqr_ (COMPZ = "I") and dstevr_ (all eigenvectors), and the
// eigenvalue iteration alone. Arguments: n and nu.
#include <benchmark/benchmark.h>

#include <cstdint>
#include <vector>

#include <ltide/common/fpmode.hpp>
#include <ltide/coriolis/coriolis.hpp>
#include <ltide/sparse/eigen.hpp>
#include <ltide/sparse/ql.hpp>
#include <ltide/sparse/rotations.hpp>

extern "C" {
void dsteqr_(const char* compz, const int32_t* n, double* d, double* e, double* z, const int32_t* ldz, double* work,
             int32_t* info, std::size_t compz_len);
void dstevr_(const char* jobz, const char* range, const int32_t* n, double* d, double* e, const double* vl,
             const double* vu, const int32_t* il, const int32_t* iu, const double* abstol, int32_t* m, double* w,
             double* z, const int32_t* ldz, int32_t* isuppz, double* work, const int32_t* lwork, int32_t* iwork,
             const int32_t* liwork, int32_t* info, std::size_t jobz_len, std::size_t range_len);
}

namespace {

using namespace ltide;

struct tridiagonal {
  std::vector<double> d, e;
};

tridiagonal aleph(const benchmark::State& state) {
  const auto n = static_cast<int32_t>(state.range(0));
  const auto nu = static_cast<double>(state.range(1));
  tridiagonal t;
  for (const sparse::ST& x : coriolis::aleph_matrix(nu, 2, true, n)) {
    t.d.push_back(x.diag);
    t.e.push_back(x.off);
  }
  return t;
}

void set_identity(array2<double>& V) {
  V.fill(0.0);
  for (index_t i = 1; i <= V.rows(); ++i) V(i, i) = 1.0;
}

void count_rotations(benchmark::State& state, const tridiagonal& a) {
  tridiagonal t = a;
  int64_t rotations = 0;
  sparse::ql_implicit(t.d.data(), t.e.data(), static_cast<index_t>(t.d.size()),
                      [&](index_t, double, double) { ++rotations; });
  state.counters["rotations"] = static_cast<double>(rotations);
}

void plain_loop(benchmark::State& state) {
  const tridiagonal a = aleph(state);
  const auto n = static_cast<index_t>(a.d.size());
  array2<double> V(n, n);
  for (auto _ : state) {
    tridiagonal t = a;
    set_identity(V);
    sparse::ql_implicit(t.d.data(), t.e.data(), n, sparse::ql_rotate_columns{V.view(), n});
    benchmark::DoNotOptimize(V.data());
  }
  count_rotations(state, a);
}

void blocked(benchmark::State& state) {
  const tridiagonal a = aleph(state);
  const auto n = static_cast<index_t>(a.d.size());
  std::vector<sparse::ST> A(a.d.size());
  for (std::size_t i = 0; i < A.size(); ++i) A[i] = {a.d[i], a.e[i]};
  std::vector<double> lambda(a.d.size());
  array2<double> V(n, n);
  for (auto _ : state) {
    sparse::s_eigen_ST(A, lambda, V.view());
    benchmark::DoNotOptimize(V.data());
  }
}

void eigenvalues_only(benchmark::State& state) {
  const tridiagonal a = aleph(state);
  const auto n = static_cast<index_t>(a.d.size());
  for (auto _ : state) {
    tridiagonal t = a;
    sparse::ql_implicit(t.d.data(), t.e.data(), n, sparse::ql_discard{});
    benchmark::DoNotOptimize(t.d.data());
  }
}

void lapack_dsteqr(benchmark::State& state) {
  const tridiagonal a = aleph(state);
  const auto n = static_cast<int32_t>(a.d.size());
  array2<double> Z(n, n);
  std::vector<double> work(static_cast<std::size_t>(2 * n));
  for (auto _ : state) {
    tridiagonal t = a;
    int32_t info = 0;
    dsteqr_("I", &n, t.d.data(), t.e.data(), Z.data(), &n, work.data(), &info, 1);
    if (info != 0) state.SkipWithError("dsteqr_ failed");
    benchmark::DoNotOptimize(Z.data());
  }
}

void lapack_dstevr(benchmark::State& state) {
  const tridiagonal a = aleph(state);
  const auto n = static_cast<int32_t>(a.d.size());
  array2<double> Z(n, n);
  std::vector<double> w(static_cast<std::size_t>(n));
  std::vector<int32_t> isuppz(static_cast<std::size_t>(2 * n));
  const int32_t lwork = 20 * n, liwork = 10 * n;
  std::vector<double> work(static_cast<std::size_t>(lwork));
  std::vector<int32_t> iwork(static_cast<std::size_t>(liwork));
  const double vl = 0.0, vu = 0.0, abstol = 0.0;
  const int32_t il = 0, iu = 0;
  for (auto _ : state) {
    tridiagonal t = a;
    int32_t found = 0, info = 0;
    dstevr_("V", "A", &n, t.d.data(), t.e.data(), &vl, &vu, &il, &iu, &abstol, &found, w.data(), Z.data(), &n,
            isuppz.data(), work.data(), &lwork, iwork.data(), &liwork, &info, 1, 1);
    if (info != 0) state.SkipWithError("dstevr_ failed");
    benchmark::DoNotOptimize(Z.data());
  }
}

void sizes(benchmark::internal::Benchmark* b) {
  b->ArgNames({"n", "nu"})->Unit(benchmark::kMillisecond)->MeasureProcessCPUTime()->UseRealTime();
  for (int64_t n : {100, 400, 1000, 2000})
    for (int64_t nu : {5, 20}) b->Args({n, nu});
}

BENCHMARK(plain_loop)->Apply(sizes);
BENCHMARK(blocked)->Apply(sizes);
BENCHMARK(lapack_dsteqr)->Apply(sizes);
BENCHMARK(lapack_dstevr)->Apply(sizes);
BENCHMARK(eigenvalues_only)->Apply(sizes);

}  // namespace

int main(int argc, char** argv) {
  ltide::enable_flush_to_zero();
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
