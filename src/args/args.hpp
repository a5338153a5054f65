#pragma once
// The command line of the program: the argument count and each argument as text or
// converted to an integer, a single or double real, or a logical. A conversion that
// fails echoes the argument's field on standard output and stops the run.
#include <cstddef>
#include <cstdint>
#include <string>

namespace ltide::args {

// Keeps a copy of the command line for the procedures below (position 0 is the
// program name). Call once at the start of main.
void a_init(int argc, const char* const* argv);

// Number of arguments, program name excluded.
int32_t a_argc();

// Argument i cut or blank-padded to `length` characters; a position outside the
// command line gives an all-blank field.
std::string a_argv_c(int32_t i, std::size_t length);

// Argument i converted; on failure the run stops with the procedure's message.
int32_t a_argv_i(int32_t i);
float a_argv_sp(int32_t i);
double a_argv_dp(int32_t i);
bool a_argv_l(int32_t i);

}  // namespace ltide::args
