// quibbo-cli backup FILE [--force]
#include "engine/backup.h"

#include <ostream>

#include "cli/memory_commands.h"
#include "engine/error.h"

namespace quibbo::cli {

int RunBackup(const std::string& memory_path, const std::string& file,
              bool force, std::ostream& out, std::ostream& err) {
  int64_t rows = 0;
  try {
    rows = BackupMemory(memory_path, file, force);
  } catch (const Error& error) {
    err << "quibbo-cli: " << error.description() << "\n";
    return 1;
  }
  out << "Copied " << rows << (rows == 1 ? " row" : " rows") << " of "
      << memory_path << " to " << file << "; the copy checks out.\n";
  return 0;
}

}  // namespace quibbo::cli
