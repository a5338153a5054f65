// The temporary file beside each target, its checks, and the renames.
#include <ltide/ufio/output_file.hpp>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

#include <ltide/common/escape.hpp>
#include <ltide/common/fatal.hpp>

namespace ltide::ufio::detail {
namespace {

constexpr std::size_t buffer_capacity = std::size_t{1} << 16;

std::string directory_of(const std::string& path) {
  const auto slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

std::string base_of(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// The kernel's protected-symlinks rule: a link is followed when its owner is the
// process's user or the directory's owner, or when the directory is not both sticky
// and world-writable.
bool may_follow(const struct stat& link, const struct stat& dir) {
  if (link.st_uid == ::geteuid() || link.st_uid == dir.st_uid) return true;
  return (dir.st_mode & S_ISVTX) == 0 || (dir.st_mode & S_IWOTH) == 0;
}

const char* kind_of(mode_t mode) {
  if (S_ISFIFO(mode)) return "a FIFO";
  if (S_ISCHR(mode)) return "a character device";
  if (S_ISBLK(mode)) return "a block device";
  if (S_ISSOCK(mode)) return "a socket";
  return "not a regular file";
}

}  // namespace

mode_t creation_mask() noexcept {
  // umask() both reads and sets the mask, which would race with threads creating files.
  if (std::FILE* f = std::fopen("/proc/self/status", "re")) {
    char line[256];
    unsigned mask = 0;
    bool found = false;
    while (!found && std::fgets(line, sizeof line, f) != nullptr)
      found = std::sscanf(line, "Umask: %o", &mask) == 1;
    std::fclose(f);
    if (found) return static_cast<mode_t>(mask);
  }
  const mode_t mask = ::umask(022);
  ::umask(mask);
  return mask;
}

output_file::output_file(const std::string& file, const std::string& tag) : file_(file), tag_(tag), target_(file) {
  if (file.empty()) fail("cannot create file", ENOENT);
  struct stat lst {};
  const bool present = ::lstat(file.c_str(), &lst) == 0;
  if (present && S_ISLNK(lst.st_mode)) {
    struct stat dst {};
    if (::stat(directory_of(file).c_str(), &dst) == 0 && !may_follow(lst, dst))
      fatal("cannot create file " + quoted_name(file) +
                ": it is a symbolic link of another user in a sticky world-writable directory, not followed",
            tag_);
  }
  struct stat st {};
  const bool exists = present && ::stat(file.c_str(), &st) == 0;
  if (exists) {
    if (S_ISDIR(st.st_mode)) fail("cannot create file", EISDIR);
    // Checked by name, never by opening: an open of a FIFO would block.
    if (!S_ISREG(st.st_mode)) fatal("cannot create file " + quoted_name(file) + ": " + kind_of(st.st_mode), tag_);
    // Through a symbolic link the linked file is replaced, not the link.
    if (S_ISLNK(lst.st_mode))
      if (char* real = ::realpath(file.c_str(), nullptr)) {
        target_ = real;
        std::free(real);
      }
    // A file the process may not write is not replaced behind its protection.
    if (::faccessat(AT_FDCWD, target_.c_str(), W_OK, AT_EACCESS) != 0) fail("cannot create file", errno);
    mode_ = st.st_mode & 07777;
    uid_ = st.st_uid;
    gid_ = st.st_gid;
    keep_owner_ = st.st_uid != ::geteuid() || st.st_gid != ::getegid();
  } else {
    mode_ = 0666 & ~creation_mask();
  }
  dir_ = directory_of(target_);
  std::string base = base_of(target_);
  // A name the directory cannot hold would fail only at the rename, after all the work.
  const long name_max = ::pathconf(dir_.c_str(), _PC_NAME_MAX);
  if (name_max > 0 && base.size() > static_cast<std::size_t>(name_max)) fail("cannot create file", ENAMETOOLONG);
  // ".<name>.XXXXXX.tmp" within NAME_MAX: a leftover shows whose temporary it was.
  if (base.size() > 243) base.resize(243);
  std::string templ = (dir_ == "/" ? "" : dir_) + "/." + base + ".XXXXXX.tmp";
  fd_ = ::mkostemps(templ.data(), 4, O_CLOEXEC);
  if (fd_ < 0) {
    const int err = errno;
    if (err == EACCES || err == EPERM || err == EROFS)
      fatal("cannot create a file in directory " + quoted_name(dir_) + ": " + std::strerror(err), tag_);
    fail("cannot create file", err);
  }
  temp_ = templ;
  slot_ = register_temporary(temp_);
}

output_file::~output_file() { discard(); }

void output_file::write(const std::byte* data, std::size_t n) {
  position_ += n;
  if (n >= buffer_capacity) {
    flush();
    write_all(data, n);
    return;
  }
  if (buffer_.size() + n > buffer_capacity) flush();
  buffer_.insert(buffer_.end(), data, data + n);
}

void output_file::flush() {
  write_all(buffer_.data(), buffer_.size());
  buffer_.clear();
}

void output_file::write_all(const std::byte* data, std::size_t n) {
  while (n > 0) {
    // One call moves at most about 2 GiB on Linux; larger blocks take several.
    ssize_t r = ::write(fd_, data, std::min(n, std::size_t{1} << 30));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) fail("cannot write file", r < 0 ? errno : ENOSPC);
    data += r;
    n -= static_cast<std::size_t>(r);
  }
}

void output_file::write_at(std::uint64_t offset, const std::byte* data, std::size_t n) {
  if (!buffer_.empty()) flush();
  while (n > 0) {
    ssize_t r = ::pwrite(fd_, data, std::min(n, std::size_t{1} << 30), static_cast<off_t>(offset));
    if (r < 0 && errno == EINTR) continue;
    if (r <= 0) fail("cannot write file", r < 0 ? errno : ENOSPC);
    data += r;
    offset += static_cast<std::uint64_t>(r);
    n -= static_cast<std::size_t>(r);
  }
}

void output_file::finish() {
  if (finished_) return;
  flush();
  // An existing file keeps its owner (where we may set it) and its permission bits; they
  // are given only now, so nobody could read the bytes through a wider mode meanwhile.
  if (keep_owner_) (void)::fchown(fd_, uid_, gid_);
  if (::fchmod(fd_, mode_) != 0) fail("cannot set the permissions of file", errno);
  // On the disk before the rename: a crash must not leave a renamed but empty file.
  int rc = 0;
  do rc = ::fsync(fd_);
  while (rc != 0 && errno == EINTR);
  if (rc != 0 && errno != EINVAL) fail("cannot write file", errno);  // EINVAL: nothing to sync to
  const int fd = fd_;
  fd_ = -1;
  if (::close(fd) != 0 && errno != EINTR) fail("cannot write file", errno);
  finished_ = true;
}

void output_file::commit() {
  output_file* self = this;
  publish({&self, 1});
}

namespace {

// The target directories opened, in a fixed order (device, inode) so that two runs
// locking the same set cannot deadlock; closed (and unlocked) at the end of the scope.
struct locked_directories {
  std::vector<std::pair<std::pair<dev_t, ino_t>, int>> fds;
  explicit locked_directories(const std::vector<std::string>& dirs) {
    for (const auto& d : dirs) {
      // A directory we may not read cannot be opened to lock or sync; its renames go
      // on unlocked, as they would on a file system without locks.
      const int fd = ::open(d.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
      struct stat st {};
      if (fd < 0) continue;
      if (::fstat(fd, &st) != 0) {
        ::close(fd);
        continue;
      }
      const auto key = std::make_pair(st.st_dev, st.st_ino);
      if (std::any_of(fds.begin(), fds.end(), [&](const auto& e) { return e.first == key; })) {
        ::close(fd);
        continue;
      }
      fds.emplace_back(key, fd);
    }
    std::sort(fds.begin(), fds.end());
    for (const auto& e : fds)
      while (::flock(e.second, LOCK_EX) != 0 && errno == EINTR) {
      }
  }
  ~locked_directories() {
    for (const auto& e : fds) ::close(e.second);
  }
  // The renames' directory entries on the disk too.
  void sync() const {
    for (const auto& e : fds) (void)::fsync(e.second);
  }
};

}  // namespace

void output_file::publish(std::span<output_file* const> files) {
  for (output_file* f : files) f->finish();
  std::vector<std::string> dirs;
  for (output_file* f : files) dirs.push_back(f->dir_);
  {
    locked_directories lock(dirs);
    for (output_file* f : files) {
      if (::rename(f->temp_.c_str(), f->target_.c_str()) != 0) f->fail("cannot replace file", errno);
      unregister_temporary(f->slot_);
      f->slot_ = -1;
      f->temp_.clear();
    }
    lock.sync();
  }
}

void output_file::discard() noexcept {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (!temp_.empty()) ::unlink(temp_.c_str());
  temp_.clear();
  unregister_temporary(slot_);
  slot_ = -1;
}

void output_file::fail(const char* what, int err) {
  discard();
  fatal(std::string(what) + " " + quoted_name(file_) + ": " + std::strerror(err), tag_);
}

}  // namespace ltide::ufio::detail
