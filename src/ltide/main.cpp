#include <csignal>

#include "common/fpmode.hpp"
#include "ltide/options.hpp"

int main(int argc, char** argv) {
  // Every result of the run is defined with subnormals flushed to zero.
  ltide::enable_flush_to_zero();
  // Under a file-size limit (ulimit -f) the system would kill the process part way
  // through a file. Ignored, the write fails instead and the run stops with its message,
  // removing the unfinished temporary file and leaving any older file as it was.
  std::signal(SIGXFSZ, SIG_IGN);
  return ltide::run::program_main(argc, argv);
}
