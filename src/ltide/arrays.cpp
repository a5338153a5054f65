#include <ltide/ltide/arrays.hpp>

#include <sys/resource.h>
#include <sys/sysinfo.h>

#include <algorithm>
#include <cstdint>
#include <fstream>
#include <limits>
#include <sstream>
#include <string>
#include <new>
#include <stdexcept>

#include <ltide/common/fatal.hpp>
#include <ltide/common/kinds.hpp>

namespace ltide::run {

namespace {

[[noreturn]] void out_of_memory() { fatal("cannot allocate the arrays of the run", "ltide"); }

std::vector<double> vector_of(index_t size) { return std::vector<double>(static_cast<std::size_t>(extent(size))); }

// Vectors of n values that one spin parameter and the basis tables need at most at a
// time besides the run's own arrays (the operator's rows, the eigensolver's work, the
// ordering, the tables' per-degree values).
constexpr std::size_t TEMPORARY_VECTORS_OF_N = 20;

}  // namespace

std::optional<std::size_t> run_memory_bytes(const run_parameters& p) {
  const index_t n = extent(p.n), n_mu = extent(p.n_mu), n_nu = extent(p.n_nu);
  constexpr std::size_t limit = std::numeric_limits<std::size_t>::max();
  std::size_t total = 0;
  bool fits = true;
  // `count` arrays of the given extents.
  auto add = [&](std::initializer_list<index_t> extents, std::size_t count, std::size_t element = sizeof(double)) {
    const std::optional<std::size_t> one = checked_bytes(extents, element);
    if (!one || (*one != 0 && count > limit / *one) || *one * count > limit - total) {
      fits = false;
      return;
    }
    total += *one * count;
  };
  // Each thread's workspace: LL and the temporaries, the solvers' work, the mode's column
  // of B, Q, R, the work vectors, and its steps waiting in the window of six fields each.
  const auto threads = static_cast<std::size_t>(std::max(p.threads, 1));
  add({n}, threads * (1 + TEMPORARY_VECTORS_OF_N));
  if (p.solver == solver_kind::fast) add({n}, threads * 12);
  add({n_nu}, 3);                        // nu, lambda_matr, lambda_beta
  // The output files' buffers (each column goes to its file as the step ends).
  add({OUTPUT_BUFFER_BYTES}, (p.lflag ? 0 : 6) + (p.table_file.empty() ? 0 : 1), 1);
  if (!p.lflag) {
    add({n}, threads * 3);
    // The rotations kept by the eigen-solutions prepared together (about n^2 each, 16 bytes
    // apiece); the single-mode solver works in O(n).
    if (p.solver == solver_kind::ql)
      add({n, n}, threads * 2 * static_cast<std::size_t>(solves_ahead(static_cast<int32_t>(n))));
    add({n_mu, n}, 4);      // basis tables
    add({n_mu}, 2 + threads * 9);  // mu, theta and the work vectors
    add({n_mu}, threads * 6 * 2 * static_cast<std::size_t>(MAX_SOLVES_AHEAD));  // the window
    add({n_mu}, 6);         // one column of each field
  }
  if (!fits) return std::nullopt;
  return total;
}

namespace {

// A number read from a file of the system, or nothing.
std::optional<std::uint64_t> number_in(const std::string& file) {
  std::ifstream in(file);
  std::uint64_t v = 0;
  if (in >> v) return v;
  return std::nullopt;
}

// The value of "Name: <n> kB" lines, in bytes.
std::optional<std::uint64_t> kilobytes_field(const std::string& file, const std::string& name) {
  std::ifstream in(file);
  for (std::string line; std::getline(in, line);)
    if (line.starts_with(name + ":")) {
      std::istringstream rest(line.substr(name.size() + 1));
      std::uint64_t kb = 0;
      if (rest >> kb) return kb * 1024;
    }
  return std::nullopt;
}

// The room left under the memory limits of the process's cgroup and every cgroup above
// it: v2 memory.max less memory.current, v1 memory.limit_in_bytes less
// memory.usage_in_bytes. Inside a container the listed path may be relative to the
// mount, so the mount's own root counts too.
std::optional<std::uint64_t> cgroup_room() {
  std::optional<std::uint64_t> room;
  auto take = [&](const std::string& dir, const char* limit_name, const char* usage_name) {
    const auto limit = number_in(dir + "/" + limit_name), usage = number_in(dir + "/" + usage_name);
    if (!limit || !usage) return;  // "max", or no such controller here
    const std::uint64_t r = *limit > *usage ? *limit - *usage : 0;
    room = room ? std::min(*room, r) : r;
  };
  std::ifstream in("/proc/self/cgroup");
  for (std::string line; std::getline(in, line);) {
    const auto first = line.find(':'), second = line.find(':', first + 1);
    if (first == std::string::npos || second == std::string::npos) continue;
    const std::string controllers = line.substr(first + 1, second - first - 1);
    std::string path = line.substr(second + 1);
    const bool v2 = controllers.empty();
    if (!v2 && ("," + controllers + ",").find(",memory,") == std::string::npos) continue;
    const std::string mount = v2 ? "/sys/fs/cgroup" : "/sys/fs/cgroup/memory";
    for (;;) {
      if (v2) take(mount + path, "memory.max", "memory.current");
      else take(mount + path, "memory.limit_in_bytes", "memory.usage_in_bytes");
      if (path.empty() || path == "/") break;
      path.resize(path.rfind('/'));
    }
  }
  return room;
}

}  // namespace

std::size_t memory_limit_bytes() {
  std::uint64_t limit = std::numeric_limits<std::uint64_t>::max();
  auto lower = [&](std::optional<std::uint64_t> v) {
    if (v) limit = std::min(limit, *v);
  };
  // Memory the system can give without swapping out others; physical memory and swap
  // where the kernel does not say.
  if (const auto available = kilobytes_field("/proc/meminfo", "MemAvailable")) {
    lower(available);
  } else if (struct sysinfo info {}; ::sysinfo(&info) == 0) {
    const std::uint64_t unit = info.mem_unit == 0 ? 1 : info.mem_unit;
    lower((static_cast<std::uint64_t>(info.totalram) + static_cast<std::uint64_t>(info.totalswap)) * unit);
  }
  lower(cgroup_room());
  // The process's own limits, less what it already maps.
  const std::pair<int, const char*> limits[] = {{RLIMIT_AS, "VmSize"}, {RLIMIT_DATA, "VmData"}};
  for (const auto& [resource, field] : limits) {
    rlimit r{};
    if (::getrlimit(resource, &r) != 0 || r.rlim_cur == RLIM_INFINITY) continue;
    const std::uint64_t used = kilobytes_field("/proc/self/status", field).value_or(0);
    lower(r.rlim_cur > used ? r.rlim_cur - used : 0);
  }
  return static_cast<std::size_t>(std::min<std::uint64_t>(limit, std::numeric_limits<std::size_t>::max()));
}

run_arrays allocate_run_arrays(const run_parameters& p) {
  const index_t n = p.n, n_mu = p.n_mu, n_nu = p.n_nu;
  // Zero-filling touches every page, so a run larger than the machine's memory would
  // be killed part way by the system rather than refused here: refuse it up front.
  const std::optional<std::size_t> need = run_memory_bytes(p);
  if (!need || *need > memory_limit_bytes()) out_of_memory();
  run_arrays a;
  try {
    a.nu = vector_of(n_nu);
    a.lambda_matr = vector_of(n_nu);
    a.lambda_beta = vector_of(n_nu);
    if (!p.lflag) {
      for (array2<double>* t : {&a.y_l_im, &a.y_n_im, &a.dy_l_im, &a.dy_n_im}) *t = array2<double>(n_mu, n);
      a.mu = vector_of(n_mu);
      a.theta = vector_of(n_mu);
      for (array2<double>* f : {&a.xi_r_matr, &a.xi_t_matr, &a.xi_p_matr, &a.xi_r_beta, &a.xi_t_beta, &a.xi_p_beta})
        *f = array2<double>(n_mu, 1);
    }
  } catch (const std::bad_alloc&) {
    out_of_memory();
  } catch (const std::length_error&) {
    out_of_memory();
  }
  return a;
}

}  // namespace ltide::run
