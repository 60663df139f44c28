// The commands that work on the memory as a whole, from the terminal:
// `quibbo-cli backup`, `restore`, `export` and `forget`, one file each.
//
// Each returns the exit status: 0 when it did its job or the person said
// no, 1 when the memory or a file failed, with "quibbo-cli: " and the
// engine's description of the failure on `err`.
#ifndef QUIBBO_CLI_MEMORY_COMMANDS_H_
#define QUIBBO_CLI_MEMORY_COMMANDS_H_

#include <iosfwd>
#include <string>
#include <vector>

namespace quibbo::cli {

// Copies the memory to `file`, which must not exist unless `force`.
int RunBackup(const std::string& memory_path, const std::string& file,
              bool force, std::ostream& out, std::ostream& err);

// Replaces the memory with the memory in `file`, after the two questions
// `wipe` asks (`assume_yes` answers them).
int RunRestore(const std::string& memory_path, const std::string& file,
               bool assume_yes, std::istream& in, std::ostream& out,
               std::ostream& err);

struct ExportOptions {
  std::string file = "-";  // "-" is the standard output
  bool json = false;       // one JSON string per line
  bool force = false;      // replace an existing file
};

// Writes every stored sentence, oldest first, one per line, to the file or
// `out`.
int RunExport(const std::string& memory_path, const ExportOptions& options,
              std::ostream& out, std::ostream& err);

// Deletes the sentences holding any of `words`, after showing how many and
// asking (`assume_yes` answers).
int RunForget(const std::string& memory_path,
              const std::vector<std::string>& words, bool assume_yes,
              std::istream& in, std::ostream& out, std::ostream& err);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_MEMORY_COMMANDS_H_
