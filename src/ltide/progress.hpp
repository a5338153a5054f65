#pragma once
// The progress of a run on a terminal: one line on standard error, redrawn in place
// (steps done of all, rate, time left) and erased at the end, so that what is left on
// the terminal is the report and any message.
#include <chrono>
#include <cstdint>
#include <string>

namespace ltide::run {

// The line's text for `done` of `total` steps after `seconds`, without the carriage
// return: "ltide: 120 of 801 steps, 35.2 steps/s, 0:19 left".
std::string progress_text(int32_t done, int32_t total, double seconds);

class progress_line {
 public:
  // Shown only when `shown` (standard error a terminal and no --quiet).
  progress_line(int32_t total, bool shown);
  ~progress_line();  // erases the line, also when the run stops on a failure
  progress_line(const progress_line&) = delete;
  progress_line& operator=(const progress_line&) = delete;

  // Step `done` has been emitted; redraws at most a few times a second.
  void update(int32_t done);

 private:
  using clock = std::chrono::steady_clock;
  int32_t total_;
  bool shown_;
  bool drawn_ = false;
  clock::time_point start_, last_;
};

// Whether standard error is a terminal.
bool stderr_is_terminal();

}  // namespace ltide::run
