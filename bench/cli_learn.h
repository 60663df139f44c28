// `quibbo-cli learn` as a person runs it on a file, timed from the program's
// start to its end, closing the memory included.
#ifndef QUIBBO_BENCH_CLI_LEARN_H_
#define QUIBBO_BENCH_CLI_LEARN_H_

#include <sys/types.h>

#include <atomic>
#include <string>
#include <thread>

#include "bench/figures.h"
#include "bench/learning.h"

namespace quibbo::bench {

class CliLearn {
 public:
  // Starts `quibbo-cli learn FILE --memory MEMORY`. What it prints goes to
  // MEMORY-learned, so no progress bar reaches the terminal.
  CliLearn(const std::string& cli, const std::string& memory,
           const std::string& file);
  // Waits for the program, unless Wait() did.
  ~CliLearn();
  CliLearn(const CliLearn&) = delete;
  CliLearn& operator=(const CliLearn&) = delete;

  bool Running() const { return !ended_; }

  // Waits for the end. Throws unless the program exited with status 0. The
  // words are the rows it says it stored.
  LearnRun Wait();

 private:
  std::string output_;
  pid_t pid_ = -1;
  Clock::time_point started_;
  // A thread waits for the program, so its end is timed to the moment.
  std::thread waiter_;
  std::atomic<bool> ended_ = false;
  Clock::time_point ended_at_;
  int status_ = 0;
};

}  // namespace quibbo::bench

#endif  // QUIBBO_BENCH_CLI_LEARN_H_
