#include <ltide/ltide/parallel.hpp>

#include <sched.h>

#include <algorithm>
#include <climits>
#include <condition_variable>
#include <cstdlib>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <system_error>
#include <thread>
#include <vector>

#include <ltide/common/fatal.hpp>
#include <ltide/common/fpmode.hpp>

namespace ltide::run {

namespace {

class sequencer {
 public:
  sequencer(const ordered_plan& plan, const compute_step_fn& compute, const emit_step_fn& emit)
      : plan_(plan), compute_(compute), emit_(emit), done_(static_cast<std::size_t>(plan.window), false) {}

  void work(int32_t worker) {
    for (;;) {
      int32_t first = 0, last = 0;
      {
        const std::lock_guard lock(mutex_);
        if (next_chunk_ > plan_.count || next_chunk_ >= failed_at_) return;
        first = next_chunk_;
        // Guided: near the end the chunks shrink to a share of what is left, so that no
        // thread still works through a whole chunk while the others have nothing.
        const int32_t left = plan_.count - first + 1;
        last = first + std::min(plan_.chunk, std::max(1, (left + plan_.threads - 1) / plan_.threads)) - 1;
        next_chunk_ = last + 1;
      }
      for (int32_t j = first; j <= last; ++j) {
        {
          std::unique_lock lock(mutex_);
          // The slot of j is free once step j - window has been emitted.
          ready_.wait(lock, [&] { return j < next_emit_ + plan_.window || j >= failed_at_; });
          if (j >= failed_at_) return;
        }
        try {
          compute_(worker, j, last, slot(j));
        } catch (...) {
          fail(j, std::current_exception());
          return;
        }
        completed(j);
      }
    }
  }

  // The earliest failure, once every worker has ended.
  void rethrow() const {
    if (error_) std::rethrow_exception(error_);
  }

 private:
  int32_t slot(int32_t j) const { return (j - 1) % plan_.window; }

  void fail(int32_t j, std::exception_ptr e) {
    const std::lock_guard lock(mutex_);
    if (j < failed_at_) {
      failed_at_ = j;
      error_ = std::move(e);
    }
    ready_.notify_all();
  }

  // Marks j done and, unless another worker is emitting already (it will see j), emits
  // every step from the next one on that is done, in order, outside the lock.
  void completed(int32_t j) {
    std::unique_lock lock(mutex_);
    done_[static_cast<std::size_t>(slot(j))] = true;
    if (emitting_) return;
    emitting_ = true;
    while (next_emit_ <= plan_.count && next_emit_ < failed_at_ && done_[static_cast<std::size_t>(slot(next_emit_))]) {
      const int32_t e = next_emit_;
      lock.unlock();
      try {
        emit_(e, slot(e));
      } catch (...) {
        lock.lock();
        emitting_ = false;
        lock.unlock();
        fail(e, std::current_exception());
        return;
      }
      lock.lock();
      done_[static_cast<std::size_t>(slot(e))] = false;
      ++next_emit_;
      ready_.notify_all();
    }
    emitting_ = false;
  }

  const ordered_plan& plan_;
  const compute_step_fn& compute_;
  const emit_step_fn& emit_;
  std::mutex mutex_;
  std::condition_variable ready_;
  std::vector<bool> done_;
  int32_t next_chunk_ = 1;
  int32_t next_emit_ = 1;
  int32_t failed_at_ = INT32_MAX;
  bool emitting_ = false;
  std::exception_ptr error_;
};

}  // namespace

void run_ordered(const ordered_plan& plan, const compute_step_fn& compute, const emit_step_fn& emit) {
  if (plan.count <= 0) return;
  ordered_plan p = plan;
  p.chunk = std::max(p.chunk, 1);
  p.window = std::max(p.window, p.chunk);
  // More workers than chunks would have nothing to do.
  const int32_t chunks = (p.count - 1) / p.chunk + 1;
  p.threads = std::clamp(p.threads, 1, chunks);
  sequencer s(p, compute, emit);
  const bool flush_to_zero = flush_to_zero_enabled();
  std::vector<std::thread> workers;
  workers.reserve(static_cast<std::size_t>(p.threads - 1));
  for (int32_t w = 1; w < p.threads; ++w) {
    try {
      workers.emplace_back([&s, w, flush_to_zero] {
        if (flush_to_zero) enable_flush_to_zero();
        s.work(w);
      });
    } catch (const std::system_error&) {
      break;  // no more threads to be had: the ones started share the steps, same results
    }
  }
  s.work(0);
  for (std::thread& t : workers) t.join();
  s.rethrow();
}

int32_t default_threads() {
  if (const char* env = std::getenv("OMP_NUM_THREADS"); env != nullptr) {
    std::string_view text(env);
    const std::size_t comma = text.find(',');
    std::string_view first = text.substr(0, comma);
    const std::size_t begin = first.find_first_not_of(" \t");
    const std::size_t end = first.find_last_not_of(" \t");
    first = begin == std::string_view::npos ? std::string_view{} : first.substr(begin, end - begin + 1);
    if (!text.empty()) {
      long value = 0;
      bool good = !first.empty() && first.size() <= 6;
      for (const char c : first) {
        good = good && c >= '0' && c <= '9';
        if (good) value = value * 10 + (c - '0');
      }
      if (!good || value < 1)
        fatal("OMP_NUM_THREADS must be a positive integer, not '" + std::string(text) + "'", "ltide");
      return static_cast<int32_t>(value);
    }
  }
  cpu_set_t set;
  CPU_ZERO(&set);
  if (::sched_getaffinity(0, sizeof set, &set) == 0) return std::max(CPU_COUNT(&set), 1);
  // More CPUs than the fixed mask holds: ask with a mask of the right size.
  for (int cpus = 2 * CPU_SETSIZE; cpus <= (1 << 20); cpus *= 2) {
    cpu_set_t* big = CPU_ALLOC(cpus);
    if (big == nullptr) break;
    const std::size_t size = CPU_ALLOC_SIZE(cpus);
    CPU_ZERO_S(size, big);
    const int count = ::sched_getaffinity(0, size, big) == 0 ? CPU_COUNT_S(size, big) : 0;
    CPU_FREE(big);
    if (count > 0) return count;
  }
  return 1;
}

}  // namespace ltide::run
