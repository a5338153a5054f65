#pragma once
// The file under every writer: a temporary file beside the target, renamed over it
// once complete. Internal to the writers (and their tests).
#include <sys/types.h>

#include <cstddef>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include <ltide/ufio/detail.hpp>

namespace ltide::ufio::detail {

// Created: the target is checked (a symbolic link is followed only where the kernel's
// protected-symlinks rule would let it; a target that exists must be a regular file the
// process may write; its name must fit the directory), then the temporary
// ".<name>.XXXXXX.tmp" is created beside it, mode 0600, with an unpredictable suffix and
// O_EXCL, and listed for removal on a signal. Nothing opens the target itself, so a
// FIFO there cannot block. The bytes go to the temporary; finish() gives it the final
// mode (an existing target's, or 0666 less the creation mask), syncs and closes it;
// publish() renames it over the target. Dropped before that, the temporary is removed.
class output_file final : public byte_sink {
 public:
  output_file(const std::string& file, const std::string& tag);
  output_file(const output_file&) = delete;
  output_file& operator=(const output_file&) = delete;
  ~output_file();

  // Appends bytes (buffered).
  void write(const std::byte* data, std::size_t n) override;
  // Bytes appended so far.
  std::uint64_t position() const noexcept { return position_; }
  // Writes bytes at an offset, after any appended bytes have gone out.
  void write_at(std::uint64_t offset, const std::byte* data, std::size_t n);
  void flush();

  // Final mode and owner, fsync, close: every step that can fail before the rename.
  void finish();
  // finish() and the rename of this file alone (under the directory's lock).
  void commit();

  const std::string& name() const noexcept { return file_; }
  const std::string& tag() const noexcept { return tag_; }
  [[noreturn]] void fail(const char* what, int err);

  // Renames finished files into place as one critical section: an exclusive advisory
  // lock (flock) on each target directory is held around the renames, so runs that
  // replace the same names at once leave one run's set; then each directory is synced.
  static void publish(std::span<output_file* const> files);

 private:
  void write_all(const std::byte* data, std::size_t n);
  void discard() noexcept;

  std::string file_, tag_, target_, dir_, temp_;
  int fd_ = -1;
  int slot_ = -1;  // in the signal cleanup registry
  bool finished_ = false;
  mode_t mode_ = 0;
  uid_t uid_ = 0;
  gid_t gid_ = 0;
  bool keep_owner_ = false;
  std::uint64_t position_ = 0;
  std::vector<std::byte> buffer_;
};

// The registry of temporary files the signal handlers remove: a fixed table, so that
// the handler only reads memory that exists and calls unlink. Returns the slot, or -1
// when the table is full or the path too long (the file is then not removed on a signal).
int register_temporary(const std::string& path) noexcept;
void unregister_temporary(int slot) noexcept;

// The creation mask, read without changing it where the system tells it.
mode_t creation_mask() noexcept;

}  // namespace ltide::ufio::detail
