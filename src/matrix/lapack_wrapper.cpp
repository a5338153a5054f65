#include <ltide/matrix/lapack_wrapper.hpp>

#include <algorithm>
#include <cctype>
#include <cstddef>
#include <cstdio>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include <ltide/common/fatal.hpp>
#include <ltide/common/kinds.hpp>
#include <ltide/matrix/lapack.hpp>


namespace ltide::matrix {

namespace {

// The message of the last argument error LAPACK reported on this thread (empty: none).
// Written by xerbla_, which runs inside Fortran frames and so must neither throw nor
// allocate; read and cleared by check_lapack_info once the routine has returned.
thread_local char argument_error[160] = {};

// The LAPACK routine of each kind; the wrappers are otherwise the same.
template <numeric_kind T>
struct lapack_routines;
template <>
struct lapack_routines<float> {
  static constexpr std::string_view letter = "s";
  static constexpr auto gesv = sgesv_;
  static constexpr auto steqr = ssteqr_;
  static constexpr auto stegr = sstegr_;
};
template <>
struct lapack_routines<double> {
  static constexpr std::string_view letter = "d";
  static constexpr auto gesv = dgesv_;
  static constexpr auto steqr = dsteqr_;
  static constexpr auto stegr = dstegr_;
};
template <>
struct lapack_routines<std::complex<float>> {
  static constexpr std::string_view letter = "c";
  static constexpr auto gesv = cgesv_;
};
template <>
struct lapack_routines<std::complex<double>> {
  static constexpr std::string_view letter = "z";
  static constexpr auto gesv = zgesv_;
};

template <numeric_kind T>
std::string tag_of(std::string_view routine) {
  std::string tag = "lapack_wrapper::";
  tag.append(lapack_routines<T>::letter);
  tag.append(routine);
  return tag;
}

template <numeric_kind T>
[[noreturn, gnu::cold]] void stop(std::string_view text, std::string_view routine) {
  fatal(text, tag_of<T>(routine));
}

// A size as LAPACK's 32-bit integer (sizes are formed in 64 bits and checked here).
template <numeric_kind T>
int32_t lapack_int(index_t v, std::string_view routine) {
  if (v > std::numeric_limits<int32_t>::max()) stop<T>("array too large", routine);
  return static_cast<int32_t>(v);
}

// The leading r-by-c block of a view as contiguous storage with leading dimension r:
// the view itself when its columns already lie that way, otherwise a copy that
// write_back() returns to the view.
template <class T>
class packed_matrix {
 public:
  packed_matrix(matrix_view<T> v, index_t r, index_t c) : view_(v), rows_(r), cols_(c), data_(v.data) {
    if (v.ld == r || c <= 1) return;
    copy_.resize(static_cast<std::size_t>(std::max<index_t>(r * c, 1)));
    for (index_t j = 1; j <= c; ++j)
      for (index_t i = 1; i <= r; ++i) copy_[static_cast<std::size_t>((i - 1) + (j - 1) * r)] = v(i, j);
    data_ = copy_.data();
  }
  T* data() const { return data_; }
  void write_back() const {
    if (copy_.empty()) return;
    for (index_t j = 1; j <= cols_; ++j)
      for (index_t i = 1; i <= rows_; ++i) view_(i, j) = copy_[static_cast<std::size_t>((i - 1) + (j - 1) * rows_)];
  }

 private:
  matrix_view<T> view_;
  index_t rows_;
  index_t cols_;
  T* data_;
  std::vector<T> copy_;
};

// `need` contiguous values starting with the view's first ones: the view itself when
// it is contiguous and long enough, otherwise a private array into which the view's
// first min(size, need) values are copied, and from which write_back() returns them.
template <class T>
class packed_vector {
 public:
  packed_vector(vector_view<T> v, index_t need)
      : view_(v), count_(std::clamp<index_t>(v.size, 0, need)), data_(v.data) {
    if (count_ == need && (v.stride == 1 || need <= 1)) return;
    copy_.assign(static_cast<std::size_t>(std::max<index_t>(need, 1)), T(0));
    for (index_t i = 0; i < count_; ++i) copy_[static_cast<std::size_t>(i)] = v[i];
    data_ = copy_.data();
  }
  T* data() const { return data_; }
  void write_back() const {
    if (copy_.empty()) return;
    for (index_t i = 0; i < count_; ++i) view_[i] = copy_[static_cast<std::size_t>(i)];
  }

 private:
  vector_view<T> view_;
  index_t count_;
  T* data_;
  std::vector<T> copy_;
};

// dgesv_ on packed storage; LDA = LDB = N (at least 1, which LAPACK demands even for
// an empty system).
template <numeric_kind T>
void call_gesv(index_t n, index_t nrhs, T* a, T* b, pivots_out ipiv, info_out info, std::string_view routine) {
  const int32_t n32 = lapack_int<T>(n, routine);
  const int32_t nrhs32 = lapack_int<T>(nrhs, routine);
  const int32_t ld = std::max<int32_t>(n32, 1);
  std::vector<int32_t> pivots(static_cast<std::size_t>(std::max<index_t>(n, 1)));
  int32_t code = 0;
  lapack_routines<T>::gesv(&n32, &nrhs32, a, &ld, pivots.data(), b, &ld, &code);
  if (code != 0) check_lapack_info(code, std::string(lapack_routines<T>::letter) + "gesv", tag_of<T>(routine), true);
  if (ipiv) {
    const index_t count = std::min(ipiv->size, n);
    for (index_t i = 0; i < count; ++i) (*ipiv)[i] = pivots[static_cast<std::size_t>(i)];
  }
  if (info) info->get() = code;
}

template <numeric_kind T>
void gesv(matrix_view<T> a, matrix_view<T> b, pivots_out ipiv, info_out info) {
  constexpr std::string_view routine = "gesv_wrap";
  const index_t n = extent(a.rows);
  const index_t nrhs = extent(b.cols);
  if (a.cols < n || b.rows < n) stop<T>("array sizes do not match", routine);
  const packed_matrix<T> pa(a, n, n);
  const packed_matrix<T> pb(b, n, nrhs);
  call_gesv(n, nrhs, pa.data(), pb.data(), ipiv, info, routine);
  pa.write_back();
  pb.write_back();
}

template <numeric_kind T>
void gesv_vec(matrix_view<T> a, vector_view<T> b, pivots_out ipiv, info_out info) {
  constexpr std::string_view routine = "gesv_vec_wrap";
  const index_t n = extent(a.rows);
  if (a.cols < n || b.size < n) stop<T>("array sizes do not match", routine);
  const packed_matrix<T> pa(a, n, n);
  const packed_vector<T> pb(b, n);
  call_gesv(n, index_t{1}, pa.data(), pb.data(), ipiv, info, routine);
  pa.write_back();
  pb.write_back();
}

template <real_kind T>
void steqr(char compz, vector_view<T> d, vector_view<T> e, std::optional<matrix_view<T>> z,
           std::optional<vector_view<T>> work, info_out info) {
  constexpr std::string_view routine = "steqr_wrap";
  const index_t n = extent(d.size);
  const index_t ne = std::max<index_t>(n - 1, 0);
  if (e.size < ne || (z && (z->rows < n || z->cols < n))) stop<T>("array sizes do not match", routine);
  const int32_t n32 = lapack_int<T>(n, routine);
  const packed_vector<T> pd(d, n);
  const packed_vector<T> pe(e, ne);

  // Without eigenvectors LAPACK references neither Z nor WORK; one-element dummies
  // stand in for them.
  T z_dummy = T(0);
  T work_dummy = T(0);
  T* z_data = &z_dummy;
  T* work_data = &work_dummy;
  int32_t ldz = 1;
  std::optional<packed_matrix<T>> pz;
  std::optional<packed_vector<T>> pw;
  if (z) {
    pz.emplace(*z, z->rows, n);
    z_data = pz->data();
    ldz = std::max<int32_t>(lapack_int<T>(z->rows, routine), 1);
    // LAPACK needs max(1, 2n - 2) values of work; a missing or short array is
    // replaced by a private one rather than overrun.
    const index_t need = std::max<index_t>(2 * n - 2, 1);
    pw.emplace(work.value_or(vector_view<T>{}), need);
    work_data = pw->data();
  }

  int32_t code = 0;
  lapack_routines<T>::steqr(&compz, &n32, pd.data(), pe.data(), z_data, &ldz, work_data, &code, 1);
  if (code != 0) check_lapack_info(code, std::string(lapack_routines<T>::letter) + "steqr", tag_of<T>(routine), true);
  pd.write_back();
  pe.write_back();
  if (pz) pz->write_back();
  if (pw) pw->write_back();
  if (info) info->get() = code;
}

template <real_kind T>
void stegr(vector_view<T> d, vector_view<T> e, vector_view<T> w, std::optional<matrix_view<T>> z) {
  constexpr std::string_view routine = "stegr_wrap";
  const index_t n = extent(d.size);
  if (e.size < n || w.size < n || (z && (z->rows < n || z->cols < n)))
    stop<T>("array sizes do not match", routine);
  const int32_t n32 = lapack_int<T>(n, routine);
  const char jobz = z ? 'V' : 'N';
  const char range = 'A';
  // Bounds and indices are not referenced when RANGE is 'A'.
  const T vl = T(0);
  const T vu = T(0);
  const int32_t il = 0;
  const int32_t iu = 0;
  const T abstol = T(0);
  int32_t found = 0;

  const packed_vector<T> pd(d, n);
  const packed_vector<T> pe(e, n);
  const packed_vector<T> pw(w, n);
  T z_dummy = T(0);
  T* z_data = &z_dummy;
  int32_t ldz = 1;
  std::optional<packed_matrix<T>> pz;
  if (z) {
    pz.emplace(*z, n, n);
    z_data = pz->data();
    ldz = std::max<int32_t>(n32, 1);
  }

  const index_t one = 1;
  std::vector<int32_t> isuppz(static_cast<std::size_t>(2 * std::max(n, one)));
  const int32_t lwork = lapack_int<T>(std::max(18 * n, one), routine);
  const int32_t liwork = lapack_int<T>(std::max(10 * n, one), routine);
  std::vector<T> lwork_array(static_cast<std::size_t>(lwork));
  std::vector<int32_t> liwork_array(static_cast<std::size_t>(liwork));
  int32_t code = 0;
  lapack_routines<T>::stegr(&jobz, &range, &n32, pd.data(), pe.data(), &vl, &vu, &il, &iu, &abstol, &found,
                            pw.data(), z_data, &ldz, isuppz.data(), lwork_array.data(), &lwork,
                            liwork_array.data(), &liwork, &code, 1, 1);
  if (code != 0) check_lapack_info(code, std::string(lapack_routines<T>::letter) + "stegr", tag_of<T>(routine));
  pd.write_back();
  pe.write_back();
  pw.write_back();
  if (pz) pz->write_back();
}

using cfloat = std::complex<float>;
using cdouble = std::complex<double>;

}  // namespace

void check_lapack_info(int32_t info, std::string_view routine, std::string_view tag, bool positive_ok) {
  if (info < 0) {
    std::string text = argument_error;
    argument_error[0] = '\0';
    // A LAPACK whose routines bypass the replaceable xerbla_ still sets INFO.
    if (text.empty()) {
      std::string name(routine);
      for (char& c : name) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
      text = "On entry to " + name + " parameter number " + std::to_string(-static_cast<int64_t>(info)) +
             " had an illegal value";
    }
    fatal(text, "lapack_wrapper::xerbla");
  }
  argument_error[0] = '\0';
  if (info > 0 && !positive_ok) fatal(std::string(routine) + " failed with INFO = " + std::to_string(info), tag);
}

void sgesv_wrap(matrix_view<float> a, matrix_view<float> b, pivots_out ipiv, info_out info) {
  gesv(a, b, ipiv, info);
}
void dgesv_wrap(matrix_view<double> a, matrix_view<double> b, pivots_out ipiv, info_out info) {
  gesv(a, b, ipiv, info);
}
void cgesv_wrap(matrix_view<cfloat> a, matrix_view<cfloat> b, pivots_out ipiv, info_out info) {
  gesv(a, b, ipiv, info);
}
void zgesv_wrap(matrix_view<cdouble> a, matrix_view<cdouble> b, pivots_out ipiv, info_out info) {
  gesv(a, b, ipiv, info);
}

void sgesv_vec_wrap(matrix_view<float> a, vector_view<float> b, pivots_out ipiv, info_out info) {
  gesv_vec(a, b, ipiv, info);
}
void dgesv_vec_wrap(matrix_view<double> a, vector_view<double> b, pivots_out ipiv, info_out info) {
  gesv_vec(a, b, ipiv, info);
}
void cgesv_vec_wrap(matrix_view<cfloat> a, vector_view<cfloat> b, pivots_out ipiv, info_out info) {
  gesv_vec(a, b, ipiv, info);
}
void zgesv_vec_wrap(matrix_view<cdouble> a, vector_view<cdouble> b, pivots_out ipiv, info_out info) {
  gesv_vec(a, b, ipiv, info);
}

void ssteqr_wrap(char compz, vector_view<float> d, vector_view<float> e, std::optional<matrix_view<float>> z,
                 std::optional<vector_view<float>> work, info_out info) {
  steqr(compz, d, e, z, work, info);
}
void dsteqr_wrap(char compz, vector_view<double> d, vector_view<double> e, std::optional<matrix_view<double>> z,
                 std::optional<vector_view<double>> work, info_out info) {
  steqr(compz, d, e, z, work, info);
}

void sstegr_wrap(vector_view<float> d, vector_view<float> e, vector_view<float> w,
                 std::optional<matrix_view<float>> z) {
  stegr(d, e, w, z);
}
void dstegr_wrap(vector_view<double> d, vector_view<double> e, vector_view<double> w,
                 std::optional<matrix_view<double>> z) {
  stegr(d, e, w, z);
}

double dlamch_wrap(double /*x*/, char cmach) { return dlamch_(&cmach, 1); }
float slamch_wrap(float /*x*/, char cmach) { return slamch_(&cmach, 1); }

}  // namespace ltide::matrix

// LAPACK's own error handler prints a message and ends the process with STOP, whose
// status is 0, so a routine called with an illegal argument would pass for a normal
// end. This definition takes the place of the library's (the routines call xerbla_
// through the dynamic symbol table, where the program's definition comes first). It
// only records the message and returns: LAPACK then returns with INFO < 0, and the
// wrapper throws from C++ frames (an exception must never cross the Fortran ones).
// srname is a Fortran character argument: blank-padded, not terminated, with its
// length passed as a hidden trailing value.
extern "C" void xerbla_(const char* srname, const int32_t* info, std::size_t srname_len) noexcept {
  std::size_t len = srname_len;
  while (len > 0 && srname[len - 1] == ' ') --len;
  if (len > 32) len = 32;
  std::snprintf(ltide::matrix::argument_error, sizeof ltide::matrix::argument_error,
                "On entry to %.*s parameter number %d had an illegal value", static_cast<int>(len), srname,
                static_cast<int>(*info));
}
