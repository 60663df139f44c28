// The files `learn` reads: text files only, each once, and never the memory
// it learns into.
#ifndef QUIBBO_CLI_INPUTS_H_
#define QUIBBO_CLI_INPUTS_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace quibbo::cli {

struct Input {
  std::string name;  // as given, or "standard input" for "-"
  int fd = -1;       // owned, unless the standard input
  ~Input();
};

struct Inputs {
  std::vector<std::unique_ptr<Input>> texts;  // to learn, in order
  std::vector<std::string> not_text;          // skipped, with a message
  int64_t total_bytes = 0;                    // -1 when a size is unknown
};

// Opens the files `names` ("-" is the standard input). A file named twice,
// under any name, is read once. A folder, and a file that holds a NUL byte
// near its start or is an SQLite database, is not text: it is skipped with
// a message on standard error. Throws Error for a file that cannot be read,
// and for the memory at `memory_path` and the files SQLite and Quibbo keep
// beside it.
Inputs OpenInputs(const std::vector<std::string>& names,
                  const std::string& memory_path);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_INPUTS_H_
