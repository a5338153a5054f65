#include <ltide/ltide/options.hpp>

#include <cstdio>

#include <ltide/args/args.hpp>
#include <ltide/common/fatal.hpp>
#include <ltide/ltide/parameters.hpp>
#include <ltide/ltide/run.hpp>

#ifndef LTIDE_VERSION
#error "LTIDE_VERSION must be defined by the build"
#endif

namespace ltide::run {

namespace {

bool store_solver(run_options& o, std::string_view v) {
  if (v == "ql") {
    o.solver = solver_kind::ql;
  } else if (v == "fast") {
    o.solver = solver_kind::fast;
  } else {
    return false;
  }
  return true;
}

// A count of 1 .. MAX_THREADS in plain decimal digits.
bool store_threads(run_options& o, std::string_view v) {
  int32_t value = 0;
  for (const char c : v) {
    if (c < '0' || c > '9' || value > MAX_THREADS) return false;
    value = value * 10 + (c - '0');
  }
  if (value < 1 || value > MAX_THREADS) return false;
  o.threads = value;
  return true;
}

constexpr option_entry OPTIONS[] = {
    {"table", "FILE", "also write every step's values in full precision to FILE",
     [](run_options& o, std::string_view v) { o.table = v; return true; }},
    {"solver", "NAME",
     "ql (default): reproduces every bit, about 1e-7 relative in lambda; fast: one eigenpair in O(n), "
     "about 1e-13 relative, the one for science",
     store_solver},
    {"threads", "N",
     "compute N spin parameters at a time (default: OMP_NUM_THREADS, else the CPUs this process may use); "
     "every output is the same for every N",
     store_threads},
    {"quiet", "", "no progress line on standard error (shown only on a terminal)",
     [](run_options& o, std::string_view) { o.quiet = true; return true; }},
    {"help", "", "print this help and stop", [](run_options& o, std::string_view) { o.help = true; return true; }},
    {"version", "", "print the version and stop",
     [](run_options& o, std::string_view) { o.version = true; return true; }},
};

// The positional arguments, as the help lists them.
constexpr std::string_view ARGUMENTS[][2] = {
    {"output_prefix", "start of the output file names (trailing blanks removed)"},
    {"m", "azimuthal order (integer)"},
    {"k", "mode index (integer, |k| < n)"},
    {"A", "amplitude of the normalised fields (real)"},
    {"nu_min", "first spin parameter (real)"},
    {"nu_max", "last spin parameter (real)"},
    {"n_nu", "number of spin parameters (integer)"},
    {"n_mu", "number of mu points from -1 to 1 (integer, at least 2 unless lflag)"},
    {"n", "number of basis degrees (integer)"},
    {"lflag", "optional logical (T or F): true prints eigenvalues only and writes no array file"},
};

}  // namespace

std::span<const option_entry> option_table() { return OPTIONS; }

std::string quoted_word(std::string_view word) {
  constexpr std::string_view plain =
      "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789_@%+:,./-";
  if (!word.empty() && word.find_first_not_of(plain) == std::string_view::npos) return std::string(word);
  bool control = false;
  for (const char c : word) control = control || static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
  std::string text;
  if (!control) {
    text = "'";
    for (const char c : word) text += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return text + "'";
  }
  // Control characters (a newline would end the header line) as escapes of $'...'.
  text = "$'";
  for (const char c : word) {
    const auto b = static_cast<unsigned char>(c);
    if (c == '\\' || c == '\'') {
      text += '\\';
      text += c;
    } else if (c == '\n') {
      text += "\\n";
    } else if (c == '\t') {
      text += "\\t";
    } else if (b < 0x20 || b == 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", b);
      text += hex;
    } else {
      text += c;
    }
  }
  return text + "'";
}

std::string quoted_command_line(std::span<const std::string> words) {
  std::string text;
  for (const std::string& w : words) {
    if (!text.empty()) text += ' ';
    text += quoted_word(w);
  }
  return text;
}

std::variant<parsed_command_line, std::string> parse_command_line(std::span<const std::string> words) {
  parsed_command_line parsed;
  parsed.options.command_line.assign(words.begin(), words.end());
  std::size_t i = words.empty() ? 0 : 1;
  while (i < words.size()) {
    const std::string_view word = words[i];
    if (!word.starts_with("--")) break;
    ++i;
    if (word == "--") break;
    const std::size_t equals = word.find('=');
    const std::string_view name = word.substr(2, equals == std::string_view::npos ? std::string_view::npos : equals - 2);
    const option_entry* entry = nullptr;
    for (const option_entry& o : OPTIONS)
      if (o.name == name) entry = &o;
    const std::string option = quoted_word("--" + std::string(name));
    if (entry == nullptr) return "unknown option " + option;
    std::string_view value;
    if (entry->value.empty()) {
      if (equals != std::string_view::npos) return "option " + option + " takes no value";
    } else if (equals != std::string_view::npos) {
      value = word.substr(equals + 1);
    } else if (i < words.size()) {
      value = words[i++];  // the next word, whatever it looks like
    }
    // An empty value names nothing (no file called "" can be written).
    if (!entry->value.empty() && value.empty())
      return "option " + option + " needs a value: " + option + "=" + std::string(entry->value);
    if (!entry->store(parsed.options, value))
      return "option " + option + " does not take the value " + quoted_word(value);
  }
  parsed.first_positional = i;
  return parsed;
}

std::string_view version_line() { return "ltide " LTIDE_VERSION; }

std::string help_text() {
  std::string text = "Usage: ltide [options] output_prefix m k A nu_min nu_max n_nu n_mu n [lflag]\n\nArguments:\n";
  auto item = [&text](std::string_view left, std::string_view right) {
    text += "  ";
    text += left;
    text.append(left.size() < 16 ? 16 - left.size() : 1, ' ');
    text += right;
    text += '\n';
  };
  for (const auto& [name, help] : ARGUMENTS) item(name, help);
  text += "\nOptions (before the arguments):\n";
  for (const option_entry& o : OPTIONS) {
    std::string left = "--";
    left += o.name;
    if (!o.value.empty()) {
      left += '=';
      left += o.value;
    }
    item(left, o.help);
  }
  item("--", "end of the options (the next word is output_prefix even if it starts with --)");
  text += "\nSee man ltide for the report lines, the files and the messages.\n";
  return text;
}

int program_main(int argc, const char* const* argv) {
  std::vector<std::string> words;
  for (int i = 0; i < argc; ++i) words.emplace_back(argv[i] != nullptr ? argv[i] : "");
  auto parsed = parse_command_line(words);
  if (const std::string* failure = std::get_if<std::string>(&parsed)) fatal(*failure, "ltide");
  parsed_command_line& line = std::get<parsed_command_line>(parsed);
  if (line.options.help || line.options.version) {
    const std::string text = line.options.help ? help_text() : std::string(version_line()) + "\n";
    if (std::fwrite(text.data(), 1, text.size(), stdout) != text.size() || std::fflush(stdout) != 0)
      fatal("cannot write to standard output", "ltide");
    return 0;
  }
  // The args module sees the program name and the positionals only, as positions 0, 1, ...
  std::vector<const char*> positional{words.empty() ? "ltide" : words[0].c_str()};
  for (std::size_t i = line.first_positional; i < words.size(); ++i) positional.push_back(words[i].c_str());
  args::a_init(static_cast<int>(positional.size()), positional.data());
  return run_program(line.options);
}

}  // namespace ltide::run
