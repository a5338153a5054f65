#pragma once
// Runs of the built program, each test in a fresh directory of its own.
#include <gtest/gtest.h>
#include <sys/wait.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "support.hpp"

namespace fs = std::filesystem;

const char* const SUFFIXES[] = {"_xi_r_matr.uf2", "_xi_t_matr.uf2", "_xi_p_matr.uf2",  // in the order written
                                "_xi_r_beta.uf2", "_xi_t_beta.uf2", "_xi_p_beta.uf2"};

struct outcome { int status; std::string out, err; };  // status -1: no normal exit

class Program : public ::testing::Test {
 protected:
  // The program in `dir` with `args`, split by the shell (which may redirect its output).
  outcome run(const std::string& args) const {
    const int w = std::system(("cd '" + dir.string() + "' && '" LTIDE_EXE "' >.out 2>.err " + args).c_str());
    outcome r{WIFEXITED(w) ? WEXITSTATUS(w) : -1, slurp(dir / ".out"), slurp(dir / ".err")};
    fs::remove(dir / ".out"), fs::remove(dir / ".err");
    return r;
  }
  scratch_dir scratch;
  const fs::path& dir = scratch.dir;
};
