#include <ltide/ltide/progress.hpp>

#include <unistd.h>

#include <cmath>
#include <cstdio>

namespace ltide::run {

namespace {

// Redraws closer together than this would only cost terminal output.
constexpr std::chrono::milliseconds REDRAW_INTERVAL{200};

// "m:ss" or "h:mm:ss"; "?" before any rate is known.
std::string duration_text(double seconds) {
  if (!std::isfinite(seconds) || seconds < 0.0 || seconds > 1e8) return "?";
  const auto s = static_cast<long long>(seconds + 0.5);
  char text[32];
  if (s >= 3600)
    std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", s / 3600, (s / 60) % 60, s % 60);
  else
    std::snprintf(text, sizeof text, "%lld:%02lld", s / 60, s % 60);
  return text;
}

void write_stderr(const std::string& text) {
  // Standard error is unbuffered; a failed write of a progress line is not worth a stop.
  (void)!std::fwrite(text.data(), 1, text.size(), stderr);
}

}  // namespace

std::string progress_text(int32_t done, int32_t total, double seconds) {
  const double rate = seconds > 0.0 ? done / seconds : 0.0;
  char text[96];
  std::snprintf(text, sizeof text, "ltide: %d of %d steps, %.3g steps/s, ", done, total, rate);
  return text + (rate > 0.0 ? duration_text((total - done) / rate) : std::string("?")) + " left";
}

progress_line::progress_line(int32_t total, bool shown)
    : total_(total), shown_(shown), start_(clock::now()), last_(start_) {}

progress_line::~progress_line() {
  if (drawn_) write_stderr("\r\033[K");
}

void progress_line::update(int32_t done) {
  if (!shown_) return;
  const clock::time_point now = clock::now();
  if (now - last_ < REDRAW_INTERVAL && done != total_) return;
  last_ = now;
  const std::chrono::duration<double> elapsed = now - start_;
  std::string line(1, '\r');
  line.append(progress_text(done, total_, elapsed.count()));
  line.append("\033[K");  // clears what a longer earlier line left
  write_stderr(line);
  drawn_ = true;
}

bool stderr_is_terminal() { return ::isatty(STDERR_FILENO) == 1; }

}  // namespace ltide::run
