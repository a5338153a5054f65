#pragma once
// Helpers shared by the array-file tests: a scratch directory, raw file bytes and
// literal death-test patterns.
#include <gtest/gtest.h>

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

namespace ltide::ufio::test {

namespace fs = std::filesystem;
using bytes_t = std::vector<std::byte>;

// A fresh directory, removed with everything in it.
class scratch_dir {
 public:
  scratch_dir() {
    std::string pattern = ::testing::TempDir() + "ufio_test_XXXXXX";
    dir_ = ::mkdtemp(pattern.data());
  }
  ~scratch_dir() {
    fs::permissions(dir_, fs::perms::owner_all, fs::perm_options::add);
    fs::remove_all(dir_);
  }
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;

  const std::string& dir() const { return dir_; }
  std::string path(const std::string& name) const { return dir_ + "/" + name; }
  std::vector<std::string> entries() const {
    std::vector<std::string> out;
    for (const auto& e : fs::directory_iterator(dir_)) out.push_back(e.path().filename());
    std::sort(out.begin(), out.end());
    return out;
  }

 private:
  std::string dir_;
};

inline bytes_t read_bytes(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> c((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  bytes_t out(c.size());
  std::memcpy(out.data(), c.data(), c.size());
  return out;
}

inline void write_bytes(const std::string& file, const bytes_t& bytes) {
  std::ofstream(file, std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()),
                                              static_cast<std::streamsize>(bytes.size()));
}

// Appends the little-endian image of each value.
template <class... T>
void append(bytes_t& out, const T&... values) {
  (out.insert(out.end(), reinterpret_cast<const std::byte*>(&values), reinterpret_cast<const std::byte*>(&values) + sizeof(T)),
   ...);
}

inline std::int32_t marker_at(const bytes_t& bytes, std::size_t offset) {
  std::int32_t m = 0;
  std::memcpy(&m, bytes.data() + offset, 4);
  return m;
}

// A death-test pattern matching `text` literally.
inline std::string literal(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (std::strchr("\\^$.|?*+()[]{}", c) != nullptr) out.push_back('\\');
    out.push_back(c);
  }
  return out;
}

}  // namespace ltide::ufio::test
