// The files `learn` reads: text files only, each once, and never the memory
// it learns into. They are looked at, then read, one at a time, so that any
// number of files can be learned under the limit on open files.
#ifndef QUIBBO_CLI_INPUTS_H_
#define QUIBBO_CLI_INPUTS_H_

#include <cstdint>
#include <string>
#include <vector>

#include "quibbo/memory.h"

namespace quibbo::cli {

struct Input {
  std::string name;             // as given, or "standard input" for "-"
  bool standard_input = false;  // "-"
};

struct Inputs {
  std::vector<Input> texts;           // to learn, in order
  std::vector<std::string> not_text;  // skipped, with a message
  int64_t total_bytes = 0;            // -1 when a size is unknown
  std::string memory_path;
  std::vector<FileId> memory;  // the memory and the files beside it
};

// Looks at the files `names` ("-" is the standard input), leaving none
// open. A file named twice, under any name, is read once. A folder, and a
// regular file that holds a NUL byte near its start or is an SQLite
// database, is not text: it is skipped with a message on standard error.
// Throws Error for a file that cannot be read, and for the memory at
// `memory_path` and the files SQLite and Quibbo keep beside it.
Inputs CheckInputs(const std::vector<std::string>& names,
                   const std::string& memory_path);

// One of the texts of `inputs`, open for reading until destroyed.
class InputFile {
 public:
  // Throws Error when it cannot be read, or when its name now leads to the
  // memory.
  InputFile(const Input& input, const Inputs& inputs);
  ~InputFile();
  InputFile(const InputFile&) = delete;
  InputFile& operator=(const InputFile&) = delete;

  int fd() const { return fd_; }

 private:
  int fd_ = -1;
  bool owned_ = false;
};

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_INPUTS_H_
