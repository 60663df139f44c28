// Starting quibbo-cli from a benchmark, with its standard files arranged by
// the caller.
#ifndef QUIBBO_BENCH_SPAWN_H_
#define QUIBBO_BENCH_SPAWN_H_

#include <spawn.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace quibbo::bench {

// Runs `arguments` (the program first) with `actions` applied in the child,
// then destroys `actions`. Returns the child's pid; throws if it cannot start.
pid_t Spawn(std::vector<std::string> arguments,
            posix_spawn_file_actions_t& actions);

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_SPAWN_H_
