#pragma once
// Array files: one-, two- or three-dimensional arrays stored together with the
// coordinate values of each axis, in sequential unformatted records (a 4-byte
// little-endian length before and after every payload) that a Fortran program can
// read back with plain unformatted READs.
//
// A file of rank N holds N + 3 records: the three header characters ("U", the kind
// letter in upper case, the rank digit), the N axis counts as 4-byte integers, each
// axis, and the data array in column-major order. Kind letters: r float, d double,
// c std::complex<float>, k std::complex<double>; axes of complex kinds are real.
//
// Writers replace the file whole or not at all: the records go to a temporary file in
// the same directory (mode 0600, an unpredictable name), which is synced and renamed
// over the target once it is complete. A symbolic link at the target is followed only
// where the kernel's protected-symlinks rule would; a target that exists must be a
// regular file the process may write. A replaced file is a new file: other hard links
// to the old one keep the old bytes. Readers check every record's framing and length
// against the file before they allocate. Every failure throws ltide::error.
#include <array>
#include <complex>
#include <cstddef>
#include <cstdint>
#include <span>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include <ltide/common/view.hpp>

namespace ltide::ufio {

// The array a reader hands back: empty until a reader fills it, then owning a new
// array with its extents, indexed from 1 along every dimension. A reader refuses a
// holder that already owns an array; release() or reset() empties it again.
template <class T, int Rank>
class holder {
  static_assert(Rank >= 1 && Rank <= 3);

 public:
  holder() = default;

  // True once the holder owns an array (even an empty one).
  bool associated() const noexcept { return store_.has_value(); }

  // Extent along dimension d (from 1); 0 while nothing is owned.
  index_t extent(int d) const { return ext_[static_cast<std::size_t>(d - 1)]; }
  // Number of elements; 0 while nothing is owned.
  index_t size() const noexcept { return store_ ? static_cast<index_t>(store_->size()) : 0; }

  T* data() noexcept { return store_ ? store_->data() : nullptr; }
  const T* data() const noexcept { return store_ ? store_->data() : nullptr; }

  // The elements in column-major order (empty while nothing is owned).
  const std::vector<T>& values() const noexcept { return store_ ? *store_ : empty_; }

  T& operator()(index_t i)
    requires(Rank == 1)
  {
    return (*store_)[static_cast<std::size_t>(i - 1)];
  }
  const T& operator()(index_t i) const
    requires(Rank == 1)
  {
    return (*store_)[static_cast<std::size_t>(i - 1)];
  }
  T& operator()(index_t i, index_t j)
    requires(Rank == 2)
  {
    return (*store_)[static_cast<std::size_t>((i - 1) + (j - 1) * ext_[0])];
  }
  const T& operator()(index_t i, index_t j) const
    requires(Rank == 2)
  {
    return (*store_)[static_cast<std::size_t>((i - 1) + (j - 1) * ext_[0])];
  }
  T& operator()(index_t i, index_t j, index_t k)
    requires(Rank == 3)
  {
    return (*store_)[static_cast<std::size_t>((i - 1) + (j - 1) * ext_[0] + (k - 1) * ext_[0] * ext_[1])];
  }
  const T& operator()(index_t i, index_t j, index_t k) const
    requires(Rank == 3)
  {
    return (*store_)[static_cast<std::size_t>((i - 1) + (j - 1) * ext_[0] + (k - 1) * ext_[0] * ext_[1])];
  }

  // Views of the owned array (empty views while nothing is owned).
  vector_view<const T> view() const
    requires(Rank == 1)
  {
    return {data(), ext_[0], 1};
  }
  matrix_view<const T> view() const
    requires(Rank == 2)
  {
    return {data(), ext_[0], ext_[1], ext_[0]};
  }
  cube_view<const T> view() const
    requires(Rank == 3)
  {
    return {data(), ext_[0], ext_[1], ext_[2]};
  }

  // Takes ownership of `values` (extents multiplied out must equal its size).
  void assign(std::vector<T> values, std::array<index_t, Rank> extents) {
    store_ = std::move(values);
    ext_ = extents;
  }

  // Hands the array to the caller and leaves the holder empty.
  std::vector<T> release() {
    std::vector<T> out = store_ ? std::move(*store_) : std::vector<T>{};
    reset();
    return out;
  }

  void reset() noexcept {
    store_.reset();
    ext_ = {};
  }

 private:
  std::optional<std::vector<T>> store_;
  std::array<index_t, Rank> ext_{};
  static inline const std::vector<T> empty_{};
};

template <class T>
using vector_holder = holder<T, 1>;
template <class T>
using matrix_holder = holder<T, 2>;
template <class T>
using cube_holder = holder<T, 3>;

using cfloat = std::complex<float>;
using cdouble = std::complex<double>;

// Writers: file name, axes, data. Each axis must have as many elements as the data
// array's matching extent, and fewer than 2^31. Strided views are written in element
// order. The name is used as given.
void u_write_ur1(const std::string& file, vector_view<const float> x, vector_view<const float> y);
void u_write_ud1(const std::string& file, vector_view<const double> x, vector_view<const double> y);
void u_write_uc1(const std::string& file, vector_view<const float> x, vector_view<const cfloat> y);
void u_write_uk1(const std::string& file, vector_view<const double> x, vector_view<const cdouble> y);

void u_write_ur2(const std::string& file, vector_view<const float> x, vector_view<const float> y,
                 matrix_view<const float> z);
void u_write_ud2(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                 matrix_view<const double> z);
void u_write_uc2(const std::string& file, vector_view<const float> x, vector_view<const float> y,
                 matrix_view<const cfloat> z);
void u_write_uk2(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                 matrix_view<const cdouble> z);

void u_write_ur3(const std::string& file, vector_view<const float> x, vector_view<const float> y,
                 vector_view<const float> z, cube_view<const float> f);
void u_write_ud3(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                 vector_view<const double> z, cube_view<const double> f);
void u_write_uc3(const std::string& file, vector_view<const float> x, vector_view<const float> y,
                 vector_view<const float> z, cube_view<const cfloat> f);
void u_write_uk3(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                 vector_view<const double> z, cube_view<const cdouble> f);

class ud2_stream;
class text_file;
namespace detail {
// The stream with a chosen piece length (tests of the framing).
ud2_stream open_ud2_stream(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                           std::size_t piece);
}  // namespace detail

// Commits files written together as one: each is completed, given its final mode and
// synced first; then all are renamed under an exclusive advisory lock (flock) on each
// target directory, so that runs replacing the same names at the same time leave the
// whole set of one of them, and the directories are synced. `text` may be null.
void commit_together(std::span<ud2_stream* const> streams, text_file* text);

// A text file written like the array files: the text goes to a temporary file beside
// `file` and replaces it whole once commit() succeeds; dropped without commit(), it leaves
// no trace. Failures stop the run with the writers' messages, tagged [ufio::text_file].
class text_file {
 public:
  explicit text_file(const std::string& file);
  text_file(const text_file&) = delete;
  text_file& operator=(const text_file&) = delete;
  ~text_file();
  void write(std::string_view text);
  void commit();

 private:
  friend void commit_together(std::span<ud2_stream* const>, text_file*);
  struct impl;
  std::unique_ptr<impl> impl_;
};

// A rank-2 double file written column by column, as u_write_ud2 would write it whole:
// creating it checks the target and creates the temporary, and writes the header and
// both axes; write_column(j, ...) puts column j (from 1, any order, each once) in its
// place; commit() replaces the target once every column is written. Memory held is
// independent of the number of columns. Failures are tagged [ufio::u_write_ud2].
class ud2_stream {
 public:
  ud2_stream(const std::string& file, vector_view<const double> x, vector_view<const double> y);
  ud2_stream(ud2_stream&&) noexcept;
  ud2_stream& operator=(ud2_stream&&) noexcept;
  ~ud2_stream();
  void write_column(index_t j, vector_view<const double> column);
  void commit();

 private:
  ud2_stream();
  friend ud2_stream detail::open_ud2_stream(const std::string&, vector_view<const double>, vector_view<const double>,
                                            std::size_t);
  friend void commit_together(std::span<ud2_stream* const>, text_file*);
  struct impl;
  std::unique_ptr<impl> impl_;
};

// Bytes of a rank-2 double file of nx by ny values (its records split in pieces below
// 2 GiB as the writers split them).
std::uint64_t ud2_file_bytes(index_t nx, index_t ny);

// Installs handlers for SIGINT, SIGTERM and SIGHUP that remove the temporary file of
// every writer still open, then end the process by the same signal with its usual
// status. For a program's main: the library installs no handler by itself. A signal the
// process ignores stays ignored. A SIGKILL or a power cut leaves the temporaries: they
// are named ".<target name>.XXXXXX.tmp" (six random characters) beside their targets.
void install_cleanup_handlers();

// Readers: file name, then empty holders for the axes and the data. Each reader
// accepts only its own kind and rank; a negative count in the file reads as 0.
void u_read_ur1(const std::string& file, holder<float, 1>& x, holder<float, 1>& y);
void u_read_ud1(const std::string& file, holder<double, 1>& x, holder<double, 1>& y);
void u_read_uc1(const std::string& file, holder<float, 1>& x, holder<cfloat, 1>& y);
void u_read_uk1(const std::string& file, holder<double, 1>& x, holder<cdouble, 1>& y);

void u_read_ur2(const std::string& file, holder<float, 1>& x, holder<float, 1>& y, holder<float, 2>& z);
void u_read_ud2(const std::string& file, holder<double, 1>& x, holder<double, 1>& y, holder<double, 2>& z);
void u_read_uc2(const std::string& file, holder<float, 1>& x, holder<float, 1>& y, holder<cfloat, 2>& z);
void u_read_uk2(const std::string& file, holder<double, 1>& x, holder<double, 1>& y, holder<cdouble, 2>& z);

void u_read_ur3(const std::string& file, holder<float, 1>& x, holder<float, 1>& y, holder<float, 1>& z,
                holder<float, 3>& f);
void u_read_ud3(const std::string& file, holder<double, 1>& x, holder<double, 1>& y, holder<double, 1>& z,
                holder<double, 3>& f);
void u_read_uc3(const std::string& file, holder<float, 1>& x, holder<float, 1>& y, holder<float, 1>& z,
                holder<cfloat, 3>& f);
void u_read_uk3(const std::string& file, holder<double, 1>& x, holder<double, 1>& y, holder<double, 1>& z,
                holder<cdouble, 3>& f);

}  // namespace ltide::ufio
