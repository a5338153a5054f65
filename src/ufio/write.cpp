// The twelve writers over one template.
#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include <ltide/common/escape.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/ufio/detail.hpp>
#include <ltide/ufio/kind.hpp>
#include <ltide/ufio/output_file.hpp>
#include <ltide/ufio/ufio.hpp>

namespace ltide::ufio {
namespace {

using detail::output_file;

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

// The data record of a rank-2 file, laid out when the file is created: its markers are
// written at once, and column j's bytes go to payload bytes [(j-1) c, j c), c the bytes of
// a column, which lie in the pieces of at most `piece` bytes exactly as a sequential write
// would have put them. Adjacent columns are gathered into one positioned write.
struct ud2_stream::impl {
  output_file out;
  std::size_t piece = detail::max_piece;
  std::uint64_t data_start = 0;    // the data record's first marker
  std::uint64_t column_bytes = 0;  // of one column
  index_t rows = 0, columns = 0, written = 0;
  std::uint64_t pending_from = 0;  // payload offset of the gathered bytes
  std::vector<std::byte> pending;

  impl(const std::string& file, const std::string& tag) : out(file, tag) {}

  // Payload bytes [from, from + n) into their pieces.
  void put(std::uint64_t from, const std::byte* bytes, std::size_t n) {
    while (n > 0) {
      const std::uint64_t q = from / piece, within = from % piece;
      const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(n, piece - within));
      out.write_at(data_start + q * (piece + 8) + 4 + within, bytes, take);
      from += take, bytes += take, n -= take;
    }
  }
  void flush() {
    put(pending_from, pending.data(), pending.size());
    pending.clear();
  }
};

namespace detail {

ud2_stream open_ud2_stream(const std::string& file, vector_view<const double> x, vector_view<const double> y,
                           std::size_t piece) {
  // Failures read as those of the whole-file writer the stream replaces.
  const std::string tag = "ufio::u_write_ud2";
  for (const auto& [axis, name] : {std::pair{x, "x"}, std::pair{y, "y"}})
    if (axis.size > INT32_MAX)
      fatal(std::string(name) + " array has " + std::to_string(axis.size) +
                " elements, more than a 32-bit count can hold",
            tag);
  const auto column = checked_bytes({extent(x.size)}, sizeof(double));
  const auto total = checked_bytes({extent(x.size), extent(y.size)}, sizeof(double));
  if (!column || !total) fatal("z array is too large to be written", tag);
  ud2_stream s;
  s.impl_ = std::make_unique<ud2_stream::impl>(file, tag);
  ud2_stream::impl& m = *s.impl_;
  m.piece = std::clamp<std::size_t>(piece, 1, max_piece);
  m.rows = extent(x.size);
  m.columns = extent(y.size);
  m.column_bytes = *column;
  const std::string header = header_text<double>(2);
  const std::array<std::int32_t, 2> counts{static_cast<std::int32_t>(m.rows), static_cast<std::int32_t>(m.columns)};
  write_record(m.out, reinterpret_cast<const std::byte*>(header.data()), header.size(), m.piece);
  write_record(m.out, reinterpret_cast<const std::byte*>(counts.data()), sizeof(counts), m.piece);
  write_array(m.out, as_strided(x), m.piece);
  write_array(m.out, as_strided(y), m.piece);
  m.data_start = m.out.position();
  // The markers of every piece, as write_record would frame the whole payload.
  const std::uint64_t n = *total;
  std::uint64_t done = 0;
  do {
    const std::uint64_t len = std::min<std::uint64_t>(m.piece, n - done);
    const bool first = done == 0, last = done + len == n;
    const std::uint64_t at = m.data_start + (done / m.piece) * (m.piece + 8);
    const std::int32_t lead = static_cast<std::int32_t>(len) * (last ? 1 : -1);
    const std::int32_t trail = static_cast<std::int32_t>(len) * (first ? 1 : -1);
    m.out.write_at(at, reinterpret_cast<const std::byte*>(&lead), 4);
    m.out.write_at(at + 4 + len, reinterpret_cast<const std::byte*>(&trail), 4);
    done += len;
  } while (done < n);
  return s;
}

}  // namespace detail

ud2_stream::ud2_stream(const std::string& file, vector_view<const double> x, vector_view<const double> y)
    : ud2_stream(detail::open_ud2_stream(file, x, y, detail::max_piece)) {}
ud2_stream::ud2_stream() = default;
ud2_stream::ud2_stream(ud2_stream&&) noexcept = default;
ud2_stream& ud2_stream::operator=(ud2_stream&&) noexcept = default;
ud2_stream::~ud2_stream() = default;

void ud2_stream::write_column(index_t j, vector_view<const double> column) {
  impl& m = *impl_;
  if (j < 1 || j > m.columns || extent(column.size) != m.rows)
    fatal("column " + std::to_string(j) + " of " + std::to_string(column.size) +
              " values does not fit the array of " + std::to_string(m.rows) + " x " + std::to_string(m.columns),
          "ufio::u_write_ud2");
  const std::uint64_t from = static_cast<std::uint64_t>(j - 1) * m.column_bytes;
  if (!m.pending.empty() && (from != m.pending_from + m.pending.size() || m.pending.size() + m.column_bytes > (1u << 16)))
    m.flush();
  if (m.pending.empty()) m.pending_from = from;
  if (column.stride == 1 || column.size <= 1) {
    const auto* bytes = reinterpret_cast<const std::byte*>(column.data);
    m.pending.insert(m.pending.end(), bytes, bytes + m.column_bytes);
  } else {
    for (index_t i = 0; i < column.size; ++i) {
      const auto* bytes = reinterpret_cast<const std::byte*>(&column[i]);
      m.pending.insert(m.pending.end(), bytes, bytes + sizeof(double));
    }
  }
  if (m.pending.size() >= (1u << 16)) m.flush();
  ++m.written;
}

std::uint64_t ud2_file_bytes(index_t nx, index_t ny) {
  // A record of n bytes: n and two markers for each piece (one piece when empty).
  auto record = [](std::uint64_t n) {
    const std::uint64_t pieces = n == 0 ? 1 : (n + detail::max_piece - 1) / detail::max_piece;
    return n + 8 * pieces;
  };
  const auto x = static_cast<std::uint64_t>(extent(nx)), y = static_cast<std::uint64_t>(extent(ny));
  return record(3) + record(8) + record(8 * x) + record(8 * y) + record(8 * x * y);
}

void ud2_stream::commit() {
  ud2_stream* self = this;
  commit_together({&self, 1}, nullptr);
}

void commit_together(std::span<ud2_stream* const> streams, text_file* text) {
  std::vector<output_file*> files;
  for (ud2_stream* s : streams) {
    ud2_stream::impl& m = *s->impl_;
    m.flush();
    // A column never written would leave a hole of zero bytes in the file.
    if (m.written != m.columns)
      fatal(std::to_string(m.written) + " of " + std::to_string(m.columns) + " columns written to file " +
                quoted_name(m.out.name()),
            m.out.tag());
    files.push_back(&m.out);
  }
  if (text != nullptr) files.push_back(&text->impl_->out);
  output_file::publish(files);
}

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
