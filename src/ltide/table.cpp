#include <ltide/ltide/table.hpp>

#include <charconv>
#include <cmath>
#include <string_view>

#include <ltide/ltide/options.hpp>

namespace ltide::run {

namespace {

void append_integer(std::string& text, int64_t value) {
  char buffer[24];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, result.ptr);
}

void append_parameter(std::string& text, std::string_view name) {
  text += "# ";
  text += name;
  text += " = ";
}

}  // namespace

void append_real(std::string& text, double value) {
  // std::to_chars would write "-nan" for a NaN of negative sign, which a Fortran READ
  // need not take; one spelling for every NaN keeps all three readers on the same text.
  if (std::isnan(value)) {
    text += "nan";
    return;
  }
  // The shortest digits that round back to the same double; both signs of zero, "inf"
  // and "-inf" come out as they are.
  char buffer[32];
  const auto result = std::to_chars(buffer, buffer + sizeof buffer, value);
  text.append(buffer, result.ptr);
}

std::string table_header(const run_parameters& p, std::span<const std::string> command_line) {
  std::string text = "# ";
  text += version_line();
  text += "\n# command line: ";
  text += quoted_command_line(command_line);
  text += '\n';
  const std::pair<std::string_view, int32_t> integers[] = {{"m", p.m}, {"k", p.k}};
  for (const auto& [name, value] : integers) {
    append_parameter(text, name);
    append_integer(text, value);
    text += '\n';
  }
  const std::pair<std::string_view, double> reals[] = {{"A", p.A}, {"nu_min", p.nu_min}, {"nu_max", p.nu_max}};
  for (const auto& [name, value] : reals) {
    append_parameter(text, name);
    append_real(text, value);
    text += '\n';
  }
  const std::pair<std::string_view, int32_t> counts[] = {{"n_nu", p.n_nu}, {"n_mu", p.n_mu}, {"n", p.n}};
  for (const auto& [name, value] : counts) {
    append_parameter(text, name);
    append_integer(text, value);
    text += '\n';
  }
  append_parameter(text, "lflag");
  text += p.lflag ? "T\n" : "F\n";
  append_parameter(text, "solver");
  text += p.solver == solver_kind::fast ? "fast\n" : "ql\n";
  text += "# nu lambda_matr lambda_beta i_mode nh flag_matr flag_beta\n";
  return text;
}

std::string table_row(const table_row_items& row) {
  std::string text;
  for (const double value : {row.nu, row.lambda_matr, row.lambda_beta}) {
    append_real(text, value);
    text += ' ';
  }
  for (const int32_t value : {row.i_mode, row.nh, row.flag_matr}) {
    append_integer(text, value);
    text += ' ';
  }
  append_integer(text, row.flag_beta);
  return text;
}

}  // namespace ltide::run
