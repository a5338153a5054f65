#pragma once
// The six array files written at the end of a run with fields.
#include <string>
#include <string_view>

#include "ltide/arrays.hpp"

namespace ltide::run {

// The prefix field without its trailing blanks (leading blanks stay), then the suffix.
std::string output_file_name(std::string_view prefix_field, std::string_view suffix);

// The matrix fields, then the asymptotic fields (radial, colatitudinal, azimuthal),
// each with the mu grid as first axis and the spin-parameter grid as second.
void write_output_files(std::string_view prefix_field, const run_arrays& a);

}  // namespace ltide::run
