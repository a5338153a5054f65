#include "args/args.hpp"
#include "common/fpmode.hpp"
#include "ltide/run.hpp"

int main(int argc, char** argv) {
  // Every result of the run is defined with subnormals flushed to zero.
  ltide::enable_flush_to_zero();
  ltide::args::a_init(argc, argv);
  return ltide::run::run_program();
}
