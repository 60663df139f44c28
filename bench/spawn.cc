#include "bench/spawn.h"

#include <stdexcept>

extern char** environ;

namespace quibbo::bench {

pid_t Spawn(std::vector<std::string> arguments,
            posix_spawn_file_actions_t& actions) {
  std::vector<char*> argv;
  for (std::string& argument : arguments) argv.push_back(argument.data());
  argv.push_back(nullptr);
  pid_t pid = -1;
  const int failed =
      posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ);
  posix_spawn_file_actions_destroy(&actions);
  if (failed) throw std::runtime_error("cannot start " + arguments[0]);
  return pid;
}

}  // namespace quibbo::bench
