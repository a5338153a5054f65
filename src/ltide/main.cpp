#include <csignal>
#include <new>
#include <stdexcept>

#include <ltide/common/fatal.hpp>
#include <ltide/common/fpmode.hpp>
#include <ltide/ltide/options.hpp>
#include <ltide/ufio/ufio.hpp>

int main(int argc, char** argv) {
  // Every result of the run is defined with subnormals flushed to zero.
  ltide::enable_flush_to_zero();
  // Under a file-size limit (ulimit -f) the system would kill the process part way
  // through a file. Ignored, the write fails instead and the run stops with its message,
  // removing the unfinished temporary file and leaving any older file as it was.
  std::signal(SIGXFSZ, SIG_IGN);
  // An interrupted run (SIGINT, SIGTERM, SIGHUP) removes its temporary files, then ends
  // by the same signal.
  ltide::ufio::install_cleanup_handlers();
  // The library throws; only here does a failure become the line on standard error and
  // status 1. The arrays are unwound (and unfinished files removed) before the line is
  // written. Memory that runs out anywhere, not only in the up-front allocation, ends in
  // the same message as a refused allocation.
  try {
    return ltide::run::program_main(argc, argv);
  } catch (const ltide::error& e) {
    return ltide::report_failure(e.what());
  } catch (const std::bad_alloc&) {
    return ltide::report_failure("** cannot allocate the arrays of the run [ltide]");
  } catch (const std::length_error&) {
    return ltide::report_failure("** cannot allocate the arrays of the run [ltide]");
  }
}
