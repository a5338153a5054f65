// Every array-file reader (four kinds, three ranks) on arbitrary bytes, through the same
// parser the file readers use. Checked for every input:
//  - no crash, no memory error, no undefined behaviour (the sanitizers);
//  - the most memory live at once during a parse exceeds what was live before by at most
//    the input's size plus a little for messages: the counts in a file never buy an
//    allocation that its own bytes do not back;
//  - a parse that succeeds comes from a file with the reader's own header, and the arrays
//    it returns, framed again as a file, parse to the same counts and bits.
#include <array>
#include <complex>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <span>
#include <variant>

#include <ltide/ufio/detail.hpp>
#include <ltide/ufio/kind.hpp>

namespace {

// Live bytes of operator new, counted through a header in front of each block.
std::size_t live = 0;
std::size_t peak = 0;
constexpr std::size_t header = 16;

void* counted_new(std::size_t n) {
  auto* p = static_cast<unsigned char*>(std::malloc(n + header));
  if (p == nullptr) throw std::bad_alloc();
  std::memcpy(p, &n, sizeof n);
  live += n;
  if (live > peak) peak = live;
  return p + header;
}

void counted_delete(void* q) noexcept {
  if (q == nullptr) return;
  auto* p = static_cast<unsigned char*>(q) - header;
  std::size_t n;
  std::memcpy(&n, p, sizeof n);
  live -= n;
  std::free(p);
}

}  // namespace

void* operator new(std::size_t n) { return counted_new(n); }
void* operator new[](std::size_t n) { return counted_new(n); }
void* operator new(std::size_t n, const std::nothrow_t&) noexcept {
  try {
    return counted_new(n);
  } catch (...) {
    return nullptr;
  }
}
void* operator new[](std::size_t n, const std::nothrow_t& t) noexcept { return operator new(n, t); }
void operator delete(void* p) noexcept { counted_delete(p); }
void operator delete[](void* p) noexcept { counted_delete(p); }
void operator delete(void* p, std::size_t) noexcept { counted_delete(p); }
void operator delete[](void* p, std::size_t) noexcept { counted_delete(p); }

namespace {

using namespace ltide;
using namespace ltide::ufio::detail;

[[noreturn]] void fail(const char* what, const char* kind) {
  std::fprintf(stderr, "fuzz_ufio: %s (%s)\n", what, kind);
  std::abort();
}

template <numeric_kind T, int Rank>
std::vector<std::byte> reframe(const contents<T, Rank>& c) {
  memory_sink sink;
  const std::string h = ufio::header_text<T>(Rank);
  write_record(sink, reinterpret_cast<const std::byte*>(h.data()), h.size());
  std::array<std::int32_t, Rank> counts{};
  for (int d = 0; d < Rank; ++d) counts[d] = static_cast<std::int32_t>(c.counts[d]);
  write_record(sink, reinterpret_cast<const std::byte*>(counts.data()), sizeof counts);
  for (const auto& axis : c.axes)
    write_record(sink, reinterpret_cast<const std::byte*>(axis.data()), axis.size() * sizeof(real_of<T>));
  write_record(sink, reinterpret_cast<const std::byte*>(c.data.data()), c.data.size() * sizeof(T));
  return sink.bytes;
}

template <class V>
bool same_bits(const V& a, const V& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof(a[0])) == 0);
}

template <numeric_kind T, int Rank>
void check(std::span<const std::byte> bytes) {
  const std::string kind = ufio::header_text<T>(Rank);
  memory_source in(bytes);
  const std::size_t before = live;
  peak = live;
  auto parsed = parse_array_file<T, Rank>(in);
  if (peak - before > bytes.size() + 4096) fail("allocation beyond the input's bytes", kind.c_str());

  const auto* c = std::get_if<contents<T, Rank>>(&parsed);
  if (c == nullptr) return;
  // The header's first three payload bytes (the record may be chained in pieces).
  const auto first = scan_record(in, 0, 1);
  char head[3] = {};
  if (!std::holds_alternative<record_span>(first) ||
      read_payload(in, std::get<record_span>(first), reinterpret_cast<std::byte*>(head), 3) ||
      std::memcmp(head, kind.data(), 3) != 0)
    fail("foreign header accepted", kind.c_str());
  std::size_t elements = 1;
  for (int d = 0; d < Rank; ++d) {
    if (c->counts[d] < 0 || c->axes[d].size() != static_cast<std::size_t>(c->counts[d]))
      fail("axis length differs from its count", kind.c_str());
    elements *= static_cast<std::size_t>(c->counts[d]);
  }
  if (c->data.size() != elements) fail("data length differs from the counts", kind.c_str());

  const std::vector<std::byte> again_bytes = reframe(*c);
  memory_source again_in(again_bytes);
  auto again = parse_array_file<T, Rank>(again_in);
  const auto* a = std::get_if<contents<T, Rank>>(&again);
  if (a == nullptr) fail("re-framed file does not parse", kind.c_str());
  if (a->counts != c->counts || !same_bits(a->data, c->data)) fail("re-framed file parses differently", kind.c_str());
  for (int d = 0; d < Rank; ++d)
    if (!same_bits(a->axes[d], c->axes[d])) fail("re-framed axis parses differently", kind.c_str());
}

template <int Rank>
void check_rank(std::span<const std::byte> bytes) {
  check<float, Rank>(bytes);
  check<double, Rank>(bytes);
  check<std::complex<float>, Rank>(bytes);
  check<std::complex<double>, Rank>(bytes);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, std::size_t size) {
  const std::span<const std::byte> bytes(reinterpret_cast<const std::byte*>(data), size);
  check_rank<1>(bytes);
  check_rank<2>(bytes);
  check_rank<3>(bytes);
  return 0;
}
