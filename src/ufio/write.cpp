// The twelve writers over one template.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "common/fatal.hpp"
#include "ufio/detail.hpp"
#include "ufio/kind.hpp"
#include "ufio/ufio.hpp"

namespace ltide::ufio {
namespace {

std::string quoted(const std::string& file) { return "\"" + file + "\""; }

// The bytes of a finished file go to a temporary file beside the target, which is
// renamed over it only once every record and the close have succeeded: a failure
// part way leaves the old file (or no file) rather than a truncated one. Targets that
// are not regular files (devices, pipes) are written in place, since they cannot be
// replaced by a rename.
class output_file final : public detail::byte_sink {
 public:
  output_file(const std::string& file, const std::string& tag) : file_(file), tag_(tag) {
    if (file.empty()) fail("cannot create file", ENOENT);
    struct stat st {};
    const bool exists = ::stat(file.c_str(), &st) == 0;
    if (exists && !S_ISREG(st.st_mode)) {
      fd_ = ::open(file.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
      if (fd_ < 0) fail("cannot create file", errno);
      return;
    }
    target_ = file;
    // Through a symbolic link the linked file is replaced, not the link.
    struct stat lst {};
    if (exists && ::lstat(file.c_str(), &lst) == 0 && S_ISLNK(lst.st_mode)) {
      if (char* real = ::realpath(file.c_str(), nullptr)) {
        target_ = real;
        std::free(real);
      }
    }
    std::string dir = ".";
    if (auto slash = target_.rfind('/'); slash != std::string::npos) dir = slash == 0 ? "/" : target_.substr(0, slash);
    for (int attempt = 0;; ++attempt) {
      temp_ = dir + "/.ufio-" + std::to_string(::getpid()) + "-" + std::to_string(counter_++) + ".tmp";
      // 0666 less the creation mask: what a plain create would give a new file.
      fd_ = ::open(temp_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
      if (fd_ >= 0) break;
      if (errno != EEXIST || attempt == 100) {
        temp_.clear();
        fail("cannot create file", errno);
      }
    }
    if (exists) {
      // An existing file keeps its owner (where we may set it) and its permission bits.
      if (st.st_uid != ::geteuid() || st.st_gid != ::getegid()) (void)::fchown(fd_, st.st_uid, st.st_gid);
      if (::fchmod(fd_, st.st_mode & 07777) != 0) fail("cannot set the permissions of file", errno);
    }
  }

  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;

  // Only reached without commit() when an exception (out of memory) unwinds.
  ~output_file() { discard(); }

  void write(const std::byte* data, std::size_t n) override {
    if (n >= buffer_capacity) {
      flush();
      write_all(data, n);
      return;
    }
    if (buffer_.size() + n > buffer_capacity) flush();
    buffer_.insert(buffer_.end(), data, data + n);
  }

  void commit() {
    flush();
    int fd = fd_;
    fd_ = -1;
    if (::close(fd) != 0) fail("cannot write file", errno);
    if (!temp_.empty()) {
      if (::rename(temp_.c_str(), target_.c_str()) != 0) fail("cannot replace file", errno);
      temp_.clear();
    }
  }

 private:
  static constexpr std::size_t buffer_capacity = std::size_t{1} << 16;

  void flush() {
    write_all(buffer_.data(), buffer_.size());
    buffer_.clear();
  }

  void write_all(const std::byte* data, std::size_t n) {
    while (n > 0) {
      // One call moves at most about 2 GiB on Linux; larger blocks take several.
      ssize_t r = ::write(fd_, data, n < (std::size_t{1} << 30) ? n : (std::size_t{1} << 30));
      if (r < 0 && errno == EINTR) continue;
      if (r <= 0) fail("cannot write file", r < 0 ? errno : ENOSPC);
      data += r;
      n -= static_cast<std::size_t>(r);
    }
  }

  void discard() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    if (!temp_.empty()) ::unlink(temp_.c_str());
    temp_.clear();
  }

  [[noreturn]] void fail(const char* what, int err) {
    discard();
    fatal(std::string(what) + " " + quoted(file_) + ": " + std::strerror(err), tag_);
  }

  std::string file_;
  std::string tag_;
  std::string target_;
  std::string temp_;
  int fd_ = -1;
  std::vector<std::byte> buffer_;
  // Temporary names of writers in several threads must differ too.
  static inline std::atomic<unsigned long> counter_ = 0;
};

// An array of up to three dimensions with element strides, walked in column-major
// element order. Unused dimensions have extent 1.
template <class T>
struct strided {
  const T* data;
  std::array<index_t, 3> n;
  std::array<index_t, 3> step;

  index_t count() const { return n[0] * n[1] * n[2]; }

  // Contiguous when each stride is the product of the extents before it (a dimension
  // of extent 1 may have any stride).
  bool contiguous() const {
    index_t expect = 1;
    for (int d = 0; d < 3; ++d) {
      if (n[d] > 1 && step[d] != expect) return false;
      expect *= n[d];
    }
    return true;
  }
};

template <class T>
strided<T> as_strided(vector_view<const T> v) {
  return {v.data, {extent(v.size), 1, 1}, {v.stride, 0, 0}};
}
template <class T>
strided<T> as_strided(matrix_view<const T> m) {
  return {m.data, {extent(m.rows), extent(m.cols), 1}, {1, m.ld, 0}};
}
template <class T>
strided<T> as_strided(cube_view<const T> c) {
  return {c.data, {extent(c.n1), extent(c.n2), extent(c.n3)}, {1, c.ld1, c.ld2}};
}

// A contiguous argument goes out straight from its storage; a strided one is first
// gathered into element order, and the copy is released once written.
template <class T>
void write_array(detail::byte_sink& out, const strided<T>& a, std::size_t piece) {
  const auto bytes = static_cast<std::size_t>(a.count()) * sizeof(T);
  if (a.count() == 0 || a.contiguous()) {
    detail::write_record(out, reinterpret_cast<const std::byte*>(a.data), bytes, piece);
    return;
  }
  std::vector<T> copy;
  copy.reserve(static_cast<std::size_t>(a.count()));
  for (index_t k = 0; k < a.n[2]; ++k)
    for (index_t j = 0; j < a.n[1]; ++j)
      for (index_t i = 0; i < a.n[0]; ++i) copy.push_back(a.data[i * a.step[0] + j * a.step[1] + k * a.step[2]]);
  detail::write_record(out, reinterpret_cast<const std::byte*>(copy.data()), bytes, piece);
}

template <numeric_kind T, int Rank>
void write_file(const std::string& file, const std::array<strided<real_of<T>>, Rank>& axes, const strided<T>& data,
                std::size_t piece) {
  const std::string tag = routine_tag<T>(false, Rank);
  const char* names[] = {"x", "y", "z", "f"};
  const std::string data_name = names[Rank];

  // Each axis against the matching extent of the data array, in axis order.
  for (int d = 0; d < Rank; ++d) {
    if (axes[d].n[0] == data.n[d]) continue;
    std::string dims;
    if (Rank > 1) {
      dims = "(";
      for (int e = 0; e < Rank; ++e) dims += std::string(e == d ? "*" : "") + (e + 1 < Rank ? "," : "");
      dims += ")";
    }
    fatal(std::string(names[d]) + " and " + data_name + dims + " arrays must have same dimensions", tag);
  }
  // The counts are 32-bit signed integers in the file; a larger axis would wrap.
  for (int d = 0; d < Rank; ++d)
    if (axes[d].n[0] > INT32_MAX)
      fatal(std::string(names[d]) + " array has " + std::to_string(axes[d].n[0]) +
                " elements, more than a 32-bit count can hold",
            tag);
  if (!checked_bytes({data.n[0], data.n[1], data.n[2]}, sizeof(T)))
    fatal(data_name + " array is too large to be written", tag);

  const std::string header = header_text<T>(Rank);
  std::array<std::int32_t, Rank> counts{};
  for (int d = 0; d < Rank; ++d) counts[d] = static_cast<std::int32_t>(axes[d].n[0]);

  output_file out(file, tag);
  detail::write_record(out, reinterpret_cast<const std::byte*>(header.data()), header.size(), piece);
  detail::write_record(out, reinterpret_cast<const std::byte*>(counts.data()), sizeof(counts), piece);
  for (const auto& axis : axes) write_array(out, axis, piece);
  write_array(out, data, piece);
  out.commit();
}

}  // namespace

namespace detail {

template <numeric_kind T>
void write_u1(const std::string& file, vector_view<const real_of<T>> x, vector_view<const T> y, std::size_t piece) {
  write_file<T, 1>(file, {as_strided(x)}, as_strided(y), piece);
}

template <numeric_kind T>
void write_u2(const std::string& file, vector_view<const real_of<T>> x, vector_view<const real_of<T>> y,
              matrix_view<const T> z, std::size_t piece) {
  write_file<T, 2>(file, {as_strided(x), as_strided(y)}, as_strided(z), piece);
}

template <numeric_kind T>
void write_u3(const std::string& file, vector_view<const real_of<T>> x, vector_view<const real_of<T>> y,
              vector_view<const real_of<T>> z, cube_view<const T> f, std::size_t piece) {
  write_file<T, 3>(file, {as_strided(x), as_strided(y), as_strided(z)}, as_strided(f), piece);
}

// The four kinds of each rank.
template void write_u1<float>(const std::string&, vector_view<const real_of<float>>, vector_view<const float>, std::size_t);
template void write_u1<double>(const std::string&, vector_view<const real_of<double>>, vector_view<const double>, std::size_t);
template void write_u1<cfloat>(const std::string&, vector_view<const real_of<cfloat>>, vector_view<const cfloat>, std::size_t);
template void write_u1<cdouble>(const std::string&, vector_view<const real_of<cdouble>>, vector_view<const cdouble>, std::size_t);
template void write_u2<float>(const std::string&, vector_view<const real_of<float>>, vector_view<const real_of<float>>,
                            matrix_view<const float>, std::size_t);
template void write_u2<double>(const std::string&, vector_view<const real_of<double>>, vector_view<const real_of<double>>,
                            matrix_view<const double>, std::size_t);
template void write_u2<cfloat>(const std::string&, vector_view<const real_of<cfloat>>, vector_view<const real_of<cfloat>>,
                            matrix_view<const cfloat>, std::size_t);
template void write_u2<cdouble>(const std::string&, vector_view<const real_of<cdouble>>, vector_view<const real_of<cdouble>>,
                            matrix_view<const cdouble>, std::size_t);
template void write_u3<float>(const std::string&, vector_view<const real_of<float>>, vector_view<const real_of<float>>,
                            vector_view<const real_of<float>>, cube_view<const float>, std::size_t);
template void write_u3<double>(const std::string&, vector_view<const real_of<double>>, vector_view<const real_of<double>>,
                            vector_view<const real_of<double>>, cube_view<const double>, std::size_t);
template void write_u3<cfloat>(const std::string&, vector_view<const real_of<cfloat>>, vector_view<const real_of<cfloat>>,
                            vector_view<const real_of<cfloat>>, cube_view<const cfloat>, std::size_t);
template void write_u3<cdouble>(const std::string&, vector_view<const real_of<cdouble>>, vector_view<const real_of<cdouble>>,
                            vector_view<const real_of<cdouble>>, cube_view<const cdouble>, std::size_t);

}  // namespace detail

struct text_file::impl {
  output_file out;
};

text_file::text_file(const std::string& file) : impl_(new impl{output_file(file, "ufio::text_file")}) {}
text_file::~text_file() = default;

void text_file::write(std::string_view text) {
  impl_->out.write(reinterpret_cast<const std::byte*>(text.data()), text.size());
}

void text_file::commit() { impl_->out.commit(); }

void u_write_ur1(const std::string& file, vector_view<const float> x, vector_view<const float> y) {
  detail::write_u1<float>(file, x, y);
}
void u_write_ud1(const std::string& file, vector_view<const double> x, vector_view<const double> y) {
  detail::write_u1<double>(file, x, y);
}
void u_write_uc1(const std::string& file, vector_view<const float> x, vector_view<const cfloat> y) {
  detail::write_u1<cfloat>(file, x, y);
}
void u_write_uk1(const std::string& file, vector_view<const double> x, vector_view<const cdouble> y) {
  detail::write_u1<cdouble>(file, x, y);
}

void u_write_ur2(const std::string& file, vector_view<const float> x, vector_view<const float> y,
                 matrix_view<const float> z) {
  detail::write_u2<float>(file, x, y, z);
}
void u_write_ud2(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                 matrix_view<const double> z) {
  detail::write_u2<double>(file, x, y, z);
}
void u_write_uc2(const std::string& file, vector_view<const float> x, vector_view<const float> y,
                 matrix_view<const cfloat> z) {
  detail::write_u2<cfloat>(file, x, y, z);
}
void u_write_uk2(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                 matrix_view<const cdouble> z) {
  detail::write_u2<cdouble>(file, x, y, z);
}

void u_write_ur3(const std::string& file, vector_view<const float> x, vector_view<const float> y,
                 vector_view<const float> z, cube_view<const float> f) {
  detail::write_u3<float>(file, x, y, z, f);
}
void u_write_ud3(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                 vector_view<const double> z, cube_view<const double> f) {
  detail::write_u3<double>(file, x, y, z, f);
}
void u_write_uc3(const std::string& file, vector_view<const float> x, vector_view<const float> y,
                 vector_view<const float> z, cube_view<const cfloat> f) {
  detail::write_u3<cfloat>(file, x, y, z, f);
}
void u_write_uk3(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                 vector_view<const double> z, cube_view<const cdouble> f) {
  detail::write_u3<cdouble>(file, x, y, z, f);
}

}  // namespace ltide::ufio
