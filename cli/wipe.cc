// quibbo-cli wipe [--yes]
#include <iostream>
#include <optional>

#include "cli/ask.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "quibbo/engine.h"

namespace quibbo::cli {

int RunWipe(const Settings& settings) {
  int yes_answers = 0;
  Engine engine(settings.memory, nullptr, [&](WipeQuestion question) {
    if (!settings.yes && yes_answers == 0) {
      std::cout << "Wiping deletes everything stored in " << settings.memory
                << ".\n";
    }
    const bool yes = settings.yes || Ask(question);
    yes_answers += yes;
    return yes;
  });
  std::optional<Error> held;
  try {
    held = engine.WipeMemory();
  } catch (const Error& error) {
    return Fail(error, "Nothing was deleted.");
  }
  if (yes_answers < 2) {
    std::cout << "Nothing was deleted.\n";
    return 0;
  }
  std::cout << "The memory " << settings.memory << " is now empty.\n";
  // Old copies stay in its log until the program holding it lets go.
  return held ? Fail(*held) : 0;
}

}  // namespace quibbo::cli
