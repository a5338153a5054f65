#pragma once
// Internals of the array files, open to tests and fuzzers: record framing, the
// writers with a chosen piece length, and the parser that turns bytes into arrays.
#include <array>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <variant>
#include <vector>

#include <ltide/common/kinds.hpp>
#include <ltide/common/view.hpp>

namespace ltide::ufio::detail {

// Values and markers go to the file as they lie in memory; the format is little-endian.
static_assert(std::endian::native == std::endian::little, "array files are little-endian");

// Longest payload of one framed piece: with its two 4-byte markers a piece stays
// below 2^31 bytes, so a signed 32-bit reader can step over it.
inline constexpr std::size_t max_piece = 2147483639;

// Destination of framed records. write() writes all bytes or stops the process.
class byte_sink {
 public:
  virtual void write(const std::byte* data, std::size_t n) = 0;

 protected:
  ~byte_sink() = default;
};

// Collects bytes in memory (tests of the framing).
class memory_sink final : public byte_sink {
 public:
  void write(const std::byte* data, std::size_t n) override { bytes.insert(bytes.end(), data, data + n); }
  std::vector<std::byte> bytes;
};

// One record: the payload split into pieces of at most `piece` bytes (a single empty
// piece for an empty payload). The leading marker is negated when a piece follows,
// the trailing one when a piece precedes.
void write_record(byte_sink& out, const std::byte* payload, std::size_t n, std::size_t piece = max_piece);

// The writers with a chosen piece length (the named writers use max_piece).
template <numeric_kind T>
void write_u1(const std::string& file, vector_view<const real_of<T>> x, vector_view<const T> y,
              std::size_t piece = max_piece);
template <numeric_kind T>
void write_u2(const std::string& file, vector_view<const real_of<T>> x, vector_view<const real_of<T>> y,
              matrix_view<const T> z, std::size_t piece = max_piece);
template <numeric_kind T>
void write_u3(const std::string& file, vector_view<const real_of<T>> x, vector_view<const real_of<T>> y,
              vector_view<const real_of<T>> z, cube_view<const T> f, std::size_t piece = max_piece);

// Random-access bytes of an array file.
class byte_source {
 public:
  virtual std::uint64_t size() const = 0;
  // Copies n bytes from `offset` (which with n lies within size()) into dst; on
  // failure returns the reason.
  virtual std::optional<std::string> read_at(std::uint64_t offset, std::byte* dst, std::size_t n) const = 0;

 protected:
  ~byte_source() = default;
};

class memory_source final : public byte_source {
 public:
  explicit memory_source(std::span<const std::byte> bytes) : bytes_(bytes) {}
  std::uint64_t size() const override { return bytes_.size(); }
  std::optional<std::string> read_at(std::uint64_t offset, std::byte* dst, std::size_t n) const override;

 private:
  std::span<const std::byte> bytes_;
};

// Where a record lies: the offset of its first marker, the payload length of all its
// pieces together, and the offset just past its last marker.
struct record_span {
  std::uint64_t start = 0;
  std::uint64_t payload = 0;
  std::uint64_t end = 0;
};

// Walks the markers of the record that starts at `offset` (record number `index`
// from 1, for messages), checking that every piece lies within the source, that its
// trailing marker agrees with its leading one, and that a continued record goes on.
// Reads no payload.
std::variant<record_span, std::string> scan_record(const byte_source& in, std::uint64_t offset, int index);

// Copies the first n payload bytes of a scanned record (n <= its payload) into dst.
std::optional<std::string> read_payload(const byte_source& in, const record_span& record, std::byte* dst,
                                        std::size_t n);

// The arrays of a parsed file: counts from the sizes record (negative ones as 0).
template <numeric_kind T, int Rank>
struct contents {
  std::array<index_t, Rank> counts{};
  std::array<std::vector<real_of<T>>, Rank> axes;
  std::vector<T> data;
};

// Why bytes are not a file of the asked kind and rank.
struct parse_failure {
  bool bad_header = false;  // a well-framed file of another kind or rank
  std::string reason;
};

// Parses a whole array file of kind T and rank Rank. Nothing is allocated for an
// array before the framing of every record and the record lengths the counts need
// have been checked against the source, so a hostile input can never make it
// allocate more than the source holds.
template <numeric_kind T, int Rank>
std::variant<contents<T, Rank>, parse_failure> parse_array_file(const byte_source& in);

}  // namespace ltide::ufio::detail
