// quibbo-cli init, and quibbo-cli wipe [--yes]
#include <iostream>

#include "cli/ask.h"
#include "cli/commands.h"
#include "cli/failure.h"
#include "quibbo/engine.h"
#include "quibbo/memory.h"

namespace quibbo::cli {

int RunInit(const Settings& settings) {
  try {
    CreateMemory(settings.memory);
  } catch (const Error& error) {
    return Fail(error);
  }
  std::cout << "Created an empty memory in " << settings.memory << ".\n";
  return 0;
}

int RunWipe(const Settings& settings) {
  int yes_answers = 0;
  Engine engine(settings.memory, nullptr, [&](const WipeQuestion& question) {
    if (!settings.yes && yes_answers == 0) {
      std::cout << "Wiping deletes everything stored in " << settings.memory
                << ".\n";
    }
    const bool yes = settings.yes || Ask(question);
    yes_answers += yes;
    return yes;
  });
  try {
    engine.WipeMemory();
  } catch (const Error& error) {
    return Fail(error, "Nothing was deleted.");
  }
  if (yes_answers < 2) {
    std::cout << "Nothing was deleted.\n";
  } else {
    std::cout << "The memory " << settings.memory << " is now empty.\n";
  }
  return 0;
}

}  // namespace quibbo::cli
