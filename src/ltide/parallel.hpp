#pragma once
// Steps 1 .. count computed by several threads and emitted strictly in order. Chunks of
// consecutive steps are handed out in order (an atomic-like counter of the next step),
// so a thread's look-ahead sees its own next steps; a completed step waits in one of
// `window` slots until every earlier one has been emitted, and a thread whose next step
// has no free slot waits, so memory stays O(window) whatever the count.
#include <cstdint>
#include <functional>

namespace ltide::run {

struct ordered_plan {
  int32_t count = 0;    // steps 1 .. count
  int32_t threads = 1;  // workers, the calling thread included
  int32_t chunk = 1;    // consecutive steps a worker takes at a time (fewer near the end)
  int32_t window = 1;   // slots: step j uses slot (j - 1) % window; at least chunk
};

// compute(worker, j, last, slot): step j into slot `slot`, by worker 0 .. threads - 1
// (the calling thread is worker 0); `last` is the end of the worker's chunk, the steps it
// will compute next. emit(j, slot): step j's output, called for j = 1, 2, ... in order,
// never two at a time, on whichever worker completed the steps up to j.
using compute_step_fn = std::function<void(int32_t worker, int32_t j, int32_t last, int32_t slot)>;
using emit_step_fn = std::function<void(int32_t j, int32_t slot)>;

// Runs the plan. A failure (an exception from compute or emit) stops the run: no step
// after it is started, the steps before it are still computed and emitted, and the
// failure of the earliest step is rethrown here once every worker has ended, so the
// output and the message are those of a run in one thread. The floating-point mode of
// the calling thread (flush-to-zero) is set in every worker.
void run_ordered(const ordered_plan& plan, const compute_step_fn& compute, const emit_step_fn& emit);

// Threads for a run that did not ask for a number: OMP_NUM_THREADS when set (its first
// entry, as in "4,2"), else the CPUs of this process's affinity mask (a batch system's
// allocation or taskset). A set but unusable OMP_NUM_THREADS stops the run.
int32_t default_threads();

}  // namespace ltide::run
