// Temporary files removed when SIGINT, SIGTERM or SIGHUP ends the process.
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>
#include <cstring>

#include <ltide/ufio/output_file.hpp>
#include <ltide/ufio/ufio.hpp>

namespace ltide::ufio {
namespace {

// A slot is free (0), being filled or emptied (1), or names a live temporary (2). The
// handler reads only slots in state 2 and calls only unlink, which is async-signal-safe.
struct slot {
  std::atomic<int> state{0};
  char path[PATH_MAX];
};
constexpr int slot_count = 64;
slot slots[slot_count];
static_assert(std::atomic<int>::is_always_lock_free);

extern "C" void remove_temporaries(int sig) {
  const int saved = errno;
  for (slot& s : slots)
    if (s.state.load(std::memory_order_acquire) == 2) ::unlink(s.path);
  errno = saved;
  // SA_RESETHAND has restored the default action: the signal, pending once the handler
  // returns, ends the process with its usual status.
  ::raise(sig);
}

}  // namespace

namespace detail {

int register_temporary(const std::string& path) noexcept {
  if (path.size() >= PATH_MAX) return -1;
  for (int i = 0; i < slot_count; ++i) {
    int expected = 0;
    if (!slots[i].state.compare_exchange_strong(expected, 1, std::memory_order_acq_rel)) continue;
    std::memcpy(slots[i].path, path.c_str(), path.size() + 1);
    slots[i].state.store(2, std::memory_order_release);
    return i;
  }
  return -1;
}

void unregister_temporary(int slot) noexcept {
  if (slot < 0 || slot >= slot_count) return;
  slots[slot].state.store(0, std::memory_order_release);
}

}  // namespace detail

void install_cleanup_handlers() {
  struct sigaction action {};
  action.sa_handler = remove_temporaries;
  action.sa_flags = SA_RESETHAND | SA_RESTART;
  sigemptyset(&action.sa_mask);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) sigaddset(&action.sa_mask, sig);
  for (int sig : {SIGINT, SIGTERM, SIGHUP}) {
    struct sigaction old {};
    // A signal the caller ignores (nohup, a background job's SIGINT) stays ignored.
    if (::sigaction(sig, nullptr, &old) == 0 && old.sa_handler == SIG_IGN) continue;
    ::sigaction(sig, &action, nullptr);
  }
}

}  // namespace ltide::ufio
