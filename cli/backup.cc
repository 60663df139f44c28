// quibbo-cli backup FILE [--force], and restore FILE [--yes]
#include <iostream>

#include "cli/ask.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/interrupt.h"
#include "cli/wording.h"
#include "quibbo/error.h"
#include "quibbo/memory.h"

namespace quibbo::cli {
int RunBackup(const Settings& settings) {
  const std::string& file = settings.arguments.at(0);
  int64_t rows = 0;
  try {
    rows = BackupMemory(settings.memory, file, settings.force, Interrupted);
  } catch (const Error& error) {
    return Fail(error);
  }
  std::cout << "Copied " << Count(rows, "row", "rows") << " of "
            << settings.memory << " to " << file << "; the copy checks out.\n";
  return 0;
}

int RunRestore(const Settings& settings) {
  const std::string& file = settings.arguments.at(0);
  try {
    // Refused before anything is asked: a file that is no memory, say.
    int64_t rows = CheckRestorable(settings.memory, file);
    std::cout << "Restoring replaces everything in " << settings.memory
              << " with the " << Count(rows, "row", "rows") << " of " << file
              << ".\n";
    if (!ConfirmBoth(settings.yes)) {
      std::cout << "Nothing was changed.\n";
      return 0;
    }
    rows = RestoreMemory(settings.memory, file);
    std::cout << "Restored " << Count(rows, "row", "rows") << " from " << file
              << " into " << settings.memory << ".\n";
    return 0;
  } catch (const Error& error) {
    return Fail(error, "The memory was left as it was.");
  }
}

}  // namespace quibbo::cli
