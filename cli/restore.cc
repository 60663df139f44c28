// quibbo-cli restore FILE [--yes]
#include <ostream>

#include "cli/ask.h"
#include "cli/memory_commands.h"
#include "engine/backup.h"
#include "engine/error.h"

namespace quibbo::cli {

int RunRestore(const std::string& memory_path, const std::string& file,
               bool assume_yes, std::istream& in, std::ostream& out,
               std::ostream& err) {
  try {
    // Refused before anything is asked: a file that is no memory, say.
    int64_t rows = CheckRestorable(memory_path, file);
    out << "Restoring replaces everything in " << memory_path << " with the "
        << rows << (rows == 1 ? " row" : " rows") << " of " << file << ".\n";
    if (!ConfirmBoth(assume_yes, in, out)) {
      out << "Nothing was changed.\n";
      return 0;
    }
    rows = RestoreMemory(memory_path, file);
    out << "Restored " << rows << (rows == 1 ? " row" : " rows") << " from "
        << file << " into " << memory_path << ".\n";
    return 0;
  } catch (const Error& error) {
    err << "quibbo-cli: " << error.description() << "\n"
        << "The memory was left as it was.\n";
    return 1;
  }
}

}  // namespace quibbo::cli
