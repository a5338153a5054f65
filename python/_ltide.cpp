// The compiled part of the Python package: the solver on NumPy arrays. The package's
// __init__.py checks the arguments' types and wraps the arrays in a result object.
#include <pybind11/numpy.h>
#include <pybind11/pybind11.h>
#include <pybind11/stl.h>

#include <cmath>
#include <cstdint>
#include <new>
#include <span>
#include <stdexcept>
#include <string>
#include <vector>

#include <ltide/common/fatal.hpp>
#include <ltide/common/fpmode.hpp>
#include <ltide/ltide/family.hpp>

namespace py = pybind11;
using ltide::run::family_output;
using ltide::run::family_request;
using ltide::run::solver_kind;

namespace {

// Shape (modes, n_nu), C order.
template <class T>
py::array_t<T> per_step(std::size_t modes, std::size_t n_nu) {
  return py::array_t<T>({modes, n_nu});
}

// Shape (modes, n_mu, n_nu); every mode's block column-major like the files, so that
// one column (one spin parameter) is contiguous.
py::array_t<double> field_array(std::size_t modes, std::size_t n_mu, std::size_t n_nu) {
  const auto d = static_cast<py::ssize_t>(sizeof(double));
  const auto mu = static_cast<py::ssize_t>(n_mu), nu = static_cast<py::ssize_t>(n_nu);
  return py::array_t<double>({static_cast<py::ssize_t>(modes), mu, nu}, {d * mu * nu, d, d * mu});
}

solver_kind solver_of(const std::string& name) {
  if (name == "ql") return solver_kind::ql;
  if (name == "fast") return solver_kind::fast;
  ltide::fatal("unknown solver " + name + " (ql or fast)", "ltide");
}

// Every array with a leading mode axis; the package drops it for a single k.
py::dict solve_arrays(int32_t m, const std::vector<int32_t>& ks, const py::array_t<double, py::array::c_style | py::array::forcecast>& nu,
               int32_t n, int32_t n_mu, double A, bool lflag, const std::string& solver, int32_t threads) {
  family_request r;
  r.m = m;
  r.ks = ks;
  r.n = n;
  r.n_mu = n_mu;
  r.A = A;
  r.lflag = lflag;
  r.solver = solver_of(solver);
  r.threads = threads;
  if (nu.ndim() != 1) ltide::fatal("nu must be one-dimensional", "ltide");
  const std::size_t n_nu = static_cast<std::size_t>(nu.shape(0));
  for (std::size_t j = 0; j < n_nu; ++j)
    if (!std::isfinite(nu.data()[j])) ltide::fatal("nu must be finite (entry " + std::to_string(j) + ")", "ltide");
  // Refused before any array is allocated.
  ltide::run::check_family(r, n_nu);

  const std::size_t modes = ks.size();
  const std::size_t mu_points = lflag ? 0 : static_cast<std::size_t>(n_mu);
  py::dict result;
  py::array_t<double> mu(static_cast<py::ssize_t>(mu_points));
  auto lambda_matr = per_step<double>(modes, n_nu), lambda_beta = per_step<double>(modes, n_nu);
  auto i_mode = per_step<int32_t>(modes, n_nu), nh = per_step<int32_t>(modes, n_nu);
  auto flag_matr = per_step<int32_t>(modes, n_nu), flag_beta = per_step<int32_t>(modes, n_nu);
  family_output out;
  out.mu = mu.mutable_data();
  out.lambda_matr = lambda_matr.mutable_data();
  out.lambda_beta = lambda_beta.mutable_data();
  out.i_mode = i_mode.mutable_data();
  out.nh = nh.mutable_data();
  out.flag_matr = flag_matr.mutable_data();
  out.flag_beta = flag_beta.mutable_data();
  result["mu"] = mu;
  result["lambda_matr"] = lambda_matr;
  result["lambda_beta"] = lambda_beta;
  result["i_mode"] = i_mode;
  result["nh"] = nh;
  result["flag_matr"] = flag_matr;
  result["flag_beta"] = flag_beta;
  if (!lflag) {
    double** targets[] = {&out.xi_r_matr, &out.xi_t_matr, &out.xi_p_matr,
                          &out.xi_r_beta, &out.xi_t_beta, &out.xi_p_beta};
    const char* names[] = {"xi_r_matr", "xi_t_matr", "xi_p_matr", "xi_r_beta", "xi_t_beta", "xi_p_beta"};
    for (std::size_t f = 0; f < 6; ++f) {
      auto a = field_array(modes, mu_points, n_nu);
      *targets[f] = a.mutable_data();
      result[names[f]] = a;
    }
  }
  // The nu values are copied so that the interpreter may change the caller's array
  // while the solve runs without the lock.
  std::vector<double> nus(nu.data(), nu.data() + n_nu);
  {
    // Solves from several Python threads run side by side: each keeps its state in its
    // own workspaces and its threads' search starts.
    py::gil_scoped_release unlocked;
    // Every result is defined with subnormals flushed; the interpreter's own mode is
    // restored afterwards.
    const ltide::flush_to_zero_scope ftz;
    ltide::run::solve_family(r, nus, out);
  }
  return result;
}

// Memory that runs out fails as the program fails.
py::dict solve(int32_t m, const std::vector<int32_t>& ks,
               const py::array_t<double, py::array::c_style | py::array::forcecast>& nu, int32_t n, int32_t n_mu,
               double A, bool lflag, const std::string& solver, int32_t threads) {
  try {
    return solve_arrays(m, ks, nu, n, n_mu, A, lflag, solver, threads);
  } catch (const std::bad_alloc&) {
  } catch (const std::length_error&) {
  } catch (py::error_already_set& e) {
    if (!e.matches(PyExc_MemoryError)) throw;
  }
  ltide::fatal("cannot allocate the arrays of the run", "ltide");
}

}  // namespace

PYBIND11_MODULE(_ltide, mod) {
  mod.doc() = "Compiled solver of the ltide package; use the functions of the package itself.";
  static py::exception<ltide::error> error(mod, "Error", PyExc_RuntimeError);
  py::register_exception_translator([](std::exception_ptr p) {
    try {
      if (p) std::rethrow_exception(p);
    } catch (const ltide::error& e) {
      // The exception object itself, so that it carries the text and tag apart.
      py::object instance = py::handle(error.ptr())(py::str(e.what()));
      instance.attr("text") = py::str(e.text());
      instance.attr("tag") = py::str(e.tag());
      PyErr_SetObject(error.ptr(), instance.ptr());
    }
  });
  mod.def("solve", &solve, py::arg("m"), py::arg("ks"), py::arg("nu"), py::arg("n"), py::arg("n_mu"), py::arg("A"),
          py::arg("lflag"), py::arg("solver"), py::arg("threads"),
          "solve(m, ks, nu, n, n_mu, A, lflag, solver, threads) -> dict of arrays with a leading mode axis;\n"
          "threads 0 takes OMP_NUM_THREADS, else the CPUs of the affinity mask");
}
