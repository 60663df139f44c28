// Reliability test support: the ways a memory file can be out of reach or
// out of order, each made on a memory in a folder of its own and undone
// again, so that a test can check what the programs do meanwhile and that
// everything is back afterwards.
#ifndef QUIBBO_TESTS_RELIABILITY_FAULTS_H_
#define QUIBBO_TESTS_RELIABILITY_FAULTS_H_

#include <functional>
#include <string>
#include <vector>

#include "tests/support/temp_memory.h"

namespace quibbo::testing {

struct Fault {
  std::string name;
  // What a description of the failure must say, besides the file's path.
  std::string says;
  // Whether a program that already has the memory open meets the fault too.
  // A read-only file or folder does not stop a program that opened the
  // memory before; damage is done while no program runs.
  bool meets_running_program = false;
  // Real only where this process obeys file permissions.
  bool needs_permissions = false;
  // The file at the path is damaged: its bytes must stay exactly as they are.
  bool damaged_file = false;
  std::function<void(const TempMemory&)> make;
  std::function<void(const TempMemory&)> undo;
};

const std::vector<Fault>& AllFaults();
std::vector<std::string> FaultNames();
const Fault& FaultNamed(const std::string& name);

// Fills a memory with `count` sentences of nine words, about 30 a page.
void FillWithSentences(const std::string& path, int count);
void FillWithSentences(const TempMemory& memory, int count);

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_FAULTS_H_
