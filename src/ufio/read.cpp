// The twelve readers over one template, and the parser under them.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <ltide/common/escape.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/ufio/detail.hpp>
#include <ltide/ufio/kind.hpp>
#include <ltide/ufio/ufio.hpp>

namespace ltide::ufio {

namespace detail {

template <numeric_kind T, int Rank>
std::variant<contents<T, Rank>, parse_failure> parse_array_file(const byte_source& in) {
  using R = real_of<T>;
  auto io = [](std::string reason) { return parse_failure{false, std::move(reason)}; };

  // Every record's framing is checked, and its length against what the counts need,
  // before any array is allocated: the counts alone are never trusted.
  std::array<record_span, Rank + 3> rec{};
  std::uint64_t offset = 0;
  auto scan = [&](int i) -> std::optional<parse_failure> {
    auto r = scan_record(in, offset, i + 1);
    if (auto* err = std::get_if<std::string>(&r)) return io(*err);
    rec[i] = std::get<record_span>(r);
    offset = rec[i].end;
    return std::nullopt;
  };

  if (auto f = scan(0)) return *f;
  char header[3];
  if (rec[0].payload < 3) return io("header record holds " + std::to_string(rec[0].payload) + " bytes, 3 needed");
  if (auto err = read_payload(in, rec[0], reinterpret_cast<std::byte*>(header), 3)) return io(*err);
  if (std::string(header, 3) != header_text<T>(Rank)) return parse_failure{true, "invalid text header"};

  if (auto f = scan(1)) return *f;
  std::array<std::int32_t, Rank> raw{};
  if (rec[1].payload < sizeof(raw))
    return io("sizes record holds " + std::to_string(rec[1].payload) + " bytes, " + std::to_string(sizeof(raw)) +
              " needed");
  if (auto err = read_payload(in, rec[1], reinterpret_cast<std::byte*>(raw.data()), sizeof(raw))) return io(*err);

  contents<T, Rank> out;
  for (int d = 0; d < Rank; ++d) out.counts[d] = raw[d] < 0 ? 0 : raw[d];

  std::array<std::size_t, Rank + 1> need{};
  for (int d = 0; d < Rank; ++d) need[d] = static_cast<std::size_t>(out.counts[d]) * sizeof(R);
  std::size_t elements = 1;
  {
    std::optional<std::size_t> bytes;
    if constexpr (Rank == 1) bytes = checked_bytes({out.counts[0]}, sizeof(T));
    if constexpr (Rank == 2) bytes = checked_bytes({out.counts[0], out.counts[1]}, sizeof(T));
    if constexpr (Rank == 3) bytes = checked_bytes({out.counts[0], out.counts[1], out.counts[2]}, sizeof(T));
    if (!bytes) return io("the counts' product overflows");
    need[Rank] = *bytes;
    elements = *bytes / sizeof(T);
  }
  for (int i = 0; i <= Rank; ++i) {
    if (auto f = scan(i + 2)) return *f;
    if (rec[i + 2].payload < need[i])
      return io("record " + std::to_string(i + 3) + " holds " + std::to_string(rec[i + 2].payload) +
                " bytes, the counts need " + std::to_string(need[i]));
  }

  // Each array is no longer than a record that lies within the source.
  for (int d = 0; d < Rank; ++d) {
    out.axes[d].resize(static_cast<std::size_t>(out.counts[d]));
    if (auto err = read_payload(in, rec[d + 2], reinterpret_cast<std::byte*>(out.axes[d].data()), need[d]))
      return io(*err);
  }
  out.data.resize(elements);
  if (auto err = read_payload(in, rec[Rank + 2], reinterpret_cast<std::byte*>(out.data.data()), need[Rank]))
    return io(*err);
  return out;
}

template std::variant<contents<float, 1>, parse_failure> parse_array_file<float, 1>(const byte_source&);
template std::variant<contents<double, 1>, parse_failure> parse_array_file<double, 1>(const byte_source&);
template std::variant<contents<cfloat, 1>, parse_failure> parse_array_file<cfloat, 1>(const byte_source&);
template std::variant<contents<cdouble, 1>, parse_failure> parse_array_file<cdouble, 1>(const byte_source&);
template std::variant<contents<float, 2>, parse_failure> parse_array_file<float, 2>(const byte_source&);
template std::variant<contents<double, 2>, parse_failure> parse_array_file<double, 2>(const byte_source&);
template std::variant<contents<cfloat, 2>, parse_failure> parse_array_file<cfloat, 2>(const byte_source&);
template std::variant<contents<cdouble, 2>, parse_failure> parse_array_file<cdouble, 2>(const byte_source&);
template std::variant<contents<float, 3>, parse_failure> parse_array_file<float, 3>(const byte_source&);
template std::variant<contents<double, 3>, parse_failure> parse_array_file<double, 3>(const byte_source&);
template std::variant<contents<cfloat, 3>, parse_failure> parse_array_file<cfloat, 3>(const byte_source&);
template std::variant<contents<cdouble, 3>, parse_failure> parse_array_file<cdouble, 3>(const byte_source&);

}  // namespace detail

namespace {

std::string quoted(const std::string& file) { return quoted_name(file); }

// A regular file read with positioned reads; its size is fixed when it is opened.
// Markers and short pieces are served from a window read in one call, so a record
// chained in many short pieces costs a read per window rather than a read per marker;
// longer reads go straight into their destination.
class file_source final : public detail::byte_source {
 public:
  file_source(const std::string& file, const std::string& tag) {
    // Refuse a FIFO, device or socket (also behind a link) before opening it: opening
    // a FIFO waits for a writer, and opening a device may act on it.
    struct stat st {};
    if (::stat(file.c_str(), &st) == 0 && !S_ISREG(st.st_mode) && !S_ISDIR(st.st_mode))
      fatal("cannot read file " + quoted(file) + ": not a regular file", tag);
    // Non-blocking, so that a FIFO put there since cannot stall the open; the fstat
    // below then refuses it.
    fd_ = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
    if (fd_ < 0) fatal("cannot open file " + quoted(file) + ": " + std::strerror(errno), tag);
    if (::fstat(fd_, &st) != 0) fail(file, tag, std::strerror(errno));
    // A stream has no size to check the counts against.
    if (S_ISDIR(st.st_mode)) fail(file, tag, std::strerror(EISDIR));
    if (!S_ISREG(st.st_mode)) fail(file, tag, "not a regular file");
    const int flags = ::fcntl(fd_, F_GETFL);
    if (flags < 0 || ::fcntl(fd_, F_SETFL, flags & ~O_NONBLOCK) != 0) fail(file, tag, std::strerror(errno));
    size_ = static_cast<std::uint64_t>(st.st_size);
  }
  file_source(const file_source&) = delete;
  file_source& operator=(const file_source&) = delete;
  ~file_source() { close(); }

  std::uint64_t size() const override { return size_; }

  std::optional<std::string> read_at(std::uint64_t offset, std::byte* dst, std::size_t n) const override {
    if (n >= window_bytes) return read_fully(offset, dst, n);
    if (offset < window_start_ || offset - window_start_ > window_.size() ||
        n > window_.size() - (offset - window_start_)) {
      // offset + n lies within size_, so the window holds at least the n bytes asked for.
      const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(window_bytes, size_ - offset));
      window_.resize(want);
      if (auto err = read_fully(offset, window_.data(), want)) {
        window_.clear();
        return err;
      }
      window_start_ = offset;
    }
    if (n != 0) std::memcpy(dst, window_.data() + (offset - window_start_), n);
    return std::nullopt;
  }

  void close() noexcept {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
  }

  [[noreturn]] void fail(const std::string& file, const std::string& tag, const std::string& reason) {
    close();
    fatal("cannot read file " + quoted(file) + ": " + reason, tag);
  }

 private:
  static constexpr std::size_t window_bytes = std::size_t{1} << 16;

  std::optional<std::string> read_fully(std::uint64_t offset, std::byte* dst, std::size_t n) const {
    while (n > 0) {
      ssize_t r = ::pread(fd_, dst, n < (std::size_t{1} << 30) ? n : (std::size_t{1} << 30),
                          static_cast<off_t>(offset));
      if (r < 0 && errno == EINTR) continue;
      if (r < 0) return std::string(std::strerror(errno));
      if (r == 0) return "file ends early (it was shortened while being read)";
      dst += r;
      offset += static_cast<std::uint64_t>(r);
      n -= static_cast<std::size_t>(r);
    }
    return std::nullopt;
  }

  int fd_ = -1;
  std::uint64_t size_ = 0;
  mutable std::vector<std::byte> window_;
  mutable std::uint64_t window_start_ = 0;
};

template <numeric_kind T, int Rank>
void read_file(const std::string& file, const std::array<holder<real_of<T>, 1>*, Rank>& axes,
               holder<T, Rank>& data) {
  const std::string tag = routine_tag<T>(true, Rank);
  const char* names[] = {"x", "y", "z", "f"};
  for (int d = 0; d < Rank; ++d)
    if (axes[d]->associated()) fatal(std::string(names[d]) + " pointer already associated", tag);
  if (data.associated()) fatal(std::string(names[Rank]) + " pointer already associated", tag);

  file_source in(file, tag);
  auto parsed = detail::parse_array_file<T, Rank>(in);
  if (auto* f = std::get_if<detail::parse_failure>(&parsed)) {
    if (f->bad_header) {
      in.close();
      fatal("Invalid text header on file", tag);
    }
    in.fail(file, tag, f->reason);
  }
  auto& c = std::get<detail::contents<T, Rank>>(parsed);
  for (int d = 0; d < Rank; ++d) axes[d]->assign(std::move(c.axes[d]), {c.counts[d]});
  std::array<index_t, Rank> ext{};
  for (int d = 0; d < Rank; ++d) ext[d] = c.counts[d];
  data.assign(std::move(c.data), ext);
}

}  // namespace

void u_read_ur1(const std::string& file, holder<float, 1>& x, holder<float, 1>& y) {
  read_file<float, 1>(file, {&x}, y);
}
void u_read_ud1(const std::string& file, holder<double, 1>& x, holder<double, 1>& y) {
  read_file<double, 1>(file, {&x}, y);
}
void u_read_uc1(const std::string& file, holder<float, 1>& x, holder<cfloat, 1>& y) {
  read_file<cfloat, 1>(file, {&x}, y);
}
void u_read_uk1(const std::string& file, holder<double, 1>& x, holder<cdouble, 1>& y) {
  read_file<cdouble, 1>(file, {&x}, y);
}

void u_read_ur2(const std::string& file, holder<float, 1>& x, holder<float, 1>& y, holder<float, 2>& z) {
  read_file<float, 2>(file, {&x, &y}, z);
}
void u_read_ud2(const std::string& file, holder<double, 1>& x, holder<double, 1>& y, holder<double, 2>& z) {
  read_file<double, 2>(file, {&x, &y}, z);
}
void u_read_uc2(const std::string& file, holder<float, 1>& x, holder<float, 1>& y, holder<cfloat, 2>& z) {
  read_file<cfloat, 2>(file, {&x, &y}, z);
}
void u_read_uk2(const std::string& file, holder<double, 1>& x, holder<double, 1>& y, holder<cdouble, 2>& z) {
  read_file<cdouble, 2>(file, {&x, &y}, z);
}

void u_read_ur3(const std::string& file, holder<float, 1>& x, holder<float, 1>& y, holder<float, 1>& z,
                holder<float, 3>& f) {
  read_file<float, 3>(file, {&x, &y, &z}, f);
}
void u_read_ud3(const std::string& file, holder<double, 1>& x, holder<double, 1>& y, holder<double, 1>& z,
                holder<double, 3>& f) {
  read_file<double, 3>(file, {&x, &y, &z}, f);
}
void u_read_uc3(const std::string& file, holder<float, 1>& x, holder<float, 1>& y, holder<float, 1>& z,
                holder<cfloat, 3>& f) {
  read_file<cfloat, 3>(file, {&x, &y, &z}, f);
}
void u_read_uk3(const std::string& file, holder<double, 1>& x, holder<double, 1>& y, holder<double, 1>& z,
                holder<cdouble, 3>& f) {
  read_file<cdouble, 3>(file, {&x, &y, &z}, f);
}

}  // namespace ltide::ufio
