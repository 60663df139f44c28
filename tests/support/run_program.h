// Test support: runs one of the built programs with arguments and input, and
// collects what it wrote and how it ended.
#ifndef QUIBBO_TESTS_SUPPORT_RUN_PROGRAM_H_
#define QUIBBO_TESTS_SUPPORT_RUN_PROGRAM_H_

#include <string>
#include <vector>

namespace quibbo::testing {

struct ProgramResult {
  int exit_status = -1;  // -1 when killed by a signal
  std::string out;
  std::string err;
};

// Runs `program` with `arguments`, feeding `input` on its standard input.
ProgramResult RunProgram(const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& input = "");

// The folder holding the built programs (quibbo-cli, quibbo).
std::string ProgramDir();

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_RUN_PROGRAM_H_
