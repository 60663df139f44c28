// quibbo-cli init
#include <iostream>

#include "cli/commands.h"
#include "cli/failure.h"
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

}  // namespace quibbo::cli
