#include "bench/cli_learn.h"

#include <fcntl.h>
#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "bench/spawn.h"

namespace quibbo::bench {

CliLearn::CliLearn(const std::string& cli, const std::string& memory,
                   const std::string& file)
    : output_(memory + "-learned") {
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_addopen(&actions, 1, output_.c_str(),
                                   O_WRONLY | O_CREAT | O_TRUNC, 0600);
  posix_spawn_file_actions_adddup2(&actions, 1, 2);
  started_ = Clock::now();
  pid_ = Spawn({cli, "learn", file, "--memory", memory}, actions);
  waiter_ = std::thread([this] {
    waitpid(pid_, &status_, 0);
    ended_at_ = Clock::now();
    ended_ = true;
  });
}

CliLearn::~CliLearn() {
  if (waiter_.joinable()) waiter_.join();
}

LearnRun CliLearn::Wait() {
  waiter_.join();
  std::ifstream in(output_);
  std::stringstream text;
  text << in.rdbuf();
  std::remove(output_.c_str());
  const std::string said = text.str();
  if (!WIFEXITED(status_) || WEXITSTATUS(status_) != 0) {
    throw std::runtime_error("quibbo-cli learn failed: " + said);
  }
  // "Learned 3 lines: 4 sentences, 1,234 words stored in 0.01 s."
  const size_t words_end = said.rfind(" word");
  const size_t words_begin = said.rfind(", ", words_end);
  if (words_end == std::string::npos || words_begin == std::string::npos) {
    throw std::runtime_error("quibbo-cli learn said: " + said);
  }
  int64_t words = 0;
  for (size_t i = words_begin; i < words_end; ++i) {
    if (said[i] >= '0' && said[i] <= '9') words = 10 * words + said[i] - '0';
  }
  return {words, Seconds(ended_at_ - started_)};
}

}  // namespace quibbo::bench
