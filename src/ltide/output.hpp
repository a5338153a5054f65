#pragma once
// The run's output files: the six array files and the table, created before the first
// step, written a step at a time, and put in place together at the end.
#include <array>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include <ltide/common/view.hpp>
#include <ltide/ltide/parameters.hpp>
#include <ltide/ufio/ufio.hpp>

namespace ltide::run {

// The prefix field without its trailing blanks (leading blanks stay), then the suffix.
std::string output_file_name(std::string_view prefix_field, std::string_view suffix);

// The six file suffixes in the order the files are created: the matrix fields, then the
// asymptotic fields (radial, colatitudinal, azimuthal).
inline constexpr std::array<std::string_view, 6> FIELD_SUFFIXES = {
    "_xi_r_matr.uf2", "_xi_t_matr.uf2", "_xi_p_matr.uf2", "_xi_r_beta.uf2", "_xi_t_beta.uf2", "_xi_p_beta.uf2"};

// What step j hands to the outputs: its values, statuses and field columns (in the
// order of FIELD_SUFFIXES; unused in an eigenvalues-only run).
struct step_output {
  int32_t j = 0;
  double nu = 0.0, lambda_matr = 0.0, lambda_beta = 0.0;
  int32_t i_mode = 0, nh = 0, flag_matr = 0, flag_beta = 0;
  std::array<vector_view<const double>, 6> fields{};
};

class run_outputs {
 public:
  // Creates the six files (unless eigenvalues only), with their header and both axes,
  // and the table with its header (when asked for), then checks that the output file
  // system has the room the six files need. Every failure comes before the first step.
  run_outputs(const run_parameters& p, std::span<const std::string> command_line, vector_view<const double> mu,
              vector_view<const double> nu);
  // Writes step j's columns into the files and, steps taken in order, its table row.
  void emit(const step_output& s);
  // Puts every file in place at once; before this, they are temporary files.
  void commit();

 private:
  std::vector<ufio::ud2_stream> fields_;
  std::unique_ptr<ufio::text_file> table_;
  std::string line_;
};

// Bytes free for this process on the file system holding `file`, or nothing when
// unknown.
std::optional<std::uint64_t> free_bytes_for(const std::string& file);

}  // namespace ltide::run
