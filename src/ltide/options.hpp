#pragma once
// Options of the command line: GNU long options ("--name=value" or "--name value")
// before the positional arguments. Only words that start with "--" are options, so a
// prefix such as "-x" or a negative number begins the positionals; "--" ends the
// options, and the word after it is positional even when it starts with "--". "--"
// followed by nothing leaves no positional: the usage line then stops the run, as with
// any empty command line.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include <ltide/ltide/parameters.hpp>

namespace ltide::run {

// The most threads --threads accepts.
inline constexpr int32_t MAX_THREADS = 4096;

// What the options ask for; the driver receives it whole.
struct run_options {
  std::string table;          // --table: file of every step's values in full precision; empty: none
  solver_kind solver = solver_kind::ql;  // --solver: the eigen-solver of the matrix solution
  int32_t threads = 0;        // --threads: workers; 0: default_threads() (parallel.hpp)
  bool quiet = false;         // --quiet: no progress line on a terminal
  bool help = false;          // --help: print the usage and stop
  bool version = false;       // --version: print the version and stop
  // Every word of the command line, program name first, for the table's header.
  std::vector<std::string> command_line;
};

// One entry of the option table. A new option is one more entry and one member of
// run_options that `store` fills.
struct option_entry {
  std::string_view name;   // without the leading "--"
  std::string_view value;  // name of the value in the help, empty for an option without one
  std::string_view help;
  // Stores the value; false when the option does not take it.
  bool (*store)(run_options& options, std::string_view value);
};

std::span<const option_entry> option_table();

// The options of a command line (words[0] is the program name) and the position in
// `words` of the first positional argument (words.size() when there is none).
struct parsed_command_line {
  run_options options;
  std::size_t first_positional = 0;
};

// Parses without stopping: either the options or the text of the message that stops
// the run ("unknown option --foo", ...). Every option is checked before any is
// acted upon, and a repeated option keeps its last value.
std::variant<parsed_command_line, std::string> parse_command_line(std::span<const std::string> words);

// A word as the shell reads it back: bare when it holds only characters that need no
// quoting, in '...' otherwise, and in $'...' with \n, \t, \xHH escapes when it holds
// control characters, so that the text is always one line.
std::string quoted_word(std::string_view word);
// The words, quoted, separated by blanks.
std::string quoted_command_line(std::span<const std::string> words);

// "ltide 0.1.0" (the project's version).
std::string_view version_line();

// The usage line, a line per argument and option, and where the manual is.
std::string help_text();

// The whole program: options, then --help or --version, or the run with the positional
// arguments as positions 1, 2, ... of the args module. Returns the status of a normal
// end; a bad option stops the process with status 1 before any work.
int program_main(int argc, const char* const* argv);

}  // namespace ltide::run
