// Record framing: a 4-byte length before and after every payload piece.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <limits>
#include <string>

#include <ltide/ufio/detail.hpp>

namespace ltide::ufio::detail {
namespace {

void put_marker(byte_sink& out, std::int32_t marker) {
  std::byte bytes[4];
  std::memcpy(bytes, &marker, 4);
  out.write(bytes, 4);
}

std::int32_t as_marker(std::size_t length, bool negate) {
  auto m = static_cast<std::int32_t>(length);
  return negate ? -m : m;
}

}  // namespace

void write_record(byte_sink& out, const std::byte* payload, std::size_t n, std::size_t piece) {
  piece = std::clamp<std::size_t>(piece, 1, max_piece);
  std::size_t done = 0;
  do {
    std::size_t len = std::min(piece, n - done);
    bool first = done == 0;
    bool last = done + len == n;
    put_marker(out, as_marker(len, !last));
    if (len != 0) out.write(payload + done, len);
    put_marker(out, as_marker(len, !first));
    done += len;
  } while (done < n);
}

std::optional<std::string> memory_source::read_at(std::uint64_t offset, std::byte* dst, std::size_t n) const {
  if (offset > bytes_.size() || n > bytes_.size() - offset) return "read beyond the end of the data";
  if (n != 0) std::memcpy(dst, bytes_.data() + offset, n);
  return std::nullopt;
}

std::variant<record_span, std::string> scan_record(const byte_source& in, std::uint64_t offset, int index) {
  const std::uint64_t size = in.size();
  const std::string which = "record " + std::to_string(index);
  record_span rec{offset, 0, offset};
  std::uint64_t pos = offset;
  bool first = true;
  for (;;) {
    if (pos > size || size - pos < 4) {
      if (first) return "file ends before " + which;
      return which + " is continued but the file ends";
    }
    std::int32_t lead = 0;
    if (auto err = in.read_at(pos, reinterpret_cast<std::byte*>(&lead), 4)) return *err;
    // -2^31 has no positive counterpart, so it cannot be a length.
    if (lead == std::numeric_limits<std::int32_t>::min())
      return which + " has an invalid marker " + std::to_string(lead);
    const bool more = lead < 0;
    const auto len = static_cast<std::uint64_t>(more ? -static_cast<std::int64_t>(lead) : lead);
    if (size - pos - 4 < len || size - pos - 4 - len < 4)
      return which + " claims " + std::to_string(len) + " bytes but the file ends after " +
             std::to_string(size - pos - 4);
    std::int32_t trail = 0;
    if (auto err = in.read_at(pos + 4 + len, reinterpret_cast<std::byte*>(&trail), 4)) return *err;
    // A continuation piece carries its length negated in the trailing marker.
    const std::int64_t expected = first ? static_cast<std::int64_t>(len) : -static_cast<std::int64_t>(len);
    if (trail != expected)
      return which + " has mismatched markers " + std::to_string(lead) + " and " + std::to_string(trail);
    rec.payload += len;
    pos += 8 + len;
    first = false;
    if (!more) break;
  }
  rec.end = pos;
  return rec;
}

std::optional<std::string> read_payload(const byte_source& in, const record_span& record, std::byte* dst,
                                        std::size_t n) {
  // The markers were checked by scan_record; walk them again to find the pieces.
  std::uint64_t pos = record.start;
  std::size_t done = 0;
  while (done < n && pos < record.end) {
    std::int32_t lead = 0;
    if (auto err = in.read_at(pos, reinterpret_cast<std::byte*>(&lead), 4)) return err;
    const auto len = static_cast<std::uint64_t>(lead < 0 ? -static_cast<std::int64_t>(lead) : lead);
    const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(len, n - done));
    if (take != 0)
      if (auto err = in.read_at(pos + 4, dst + done, take)) return err;
    done += take;
    pos += 8 + len;
  }
  if (done < n) return "record payload shorter than expected";
  return std::nullopt;
}

}  // namespace ltide::ufio::detail
