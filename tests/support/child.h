// Test support: the one way tests start a program. Its input and output are
// files in memory, so nothing blocks however much it reads or writes; every
// wait has a time bound, and a child still running at the end is killed.
#ifndef QUIBBO_TESTS_SUPPORT_CHILD_H_
#define QUIBBO_TESTS_SUPPORT_CHILD_H_

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/temp_memory.h"

namespace quibbo::testing {

using Clock = std::chrono::steady_clock;

// The path of a built program: "quibbo-cli" or "quibbo".
inline std::string Program(const std::string& name) {
  return QUIBBO_PROGRAM_DIR "/" + name;
}

class Child {
 public:
  // With `input_stays_open`, the input comes through a pipe that stays open,
  // as from a person who may type more; it must fit into the pipe.
  Child(std::string program, const Strings& arguments,
        const std::string& input = "", bool input_stays_open = false)
      : out_(InMemoryFile("")), err_(InMemoryFile("")) {
    int ends[2] = {-1, -1};
    if (input_stays_open && pipe2(ends, O_CLOEXEC) == 0) {
      in_ = ends[1];
      (void)!write(in_, input.data(), input.size());
    } else {
      ends[0] = InMemoryFile(input);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, ends[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out_, 1);
    posix_spawn_file_actions_adddup2(&actions, err_, 2);
    std::vector<char*> argv = {program.data()};
    for (const std::string& argument : arguments) {
      argv.push_back(const_cast<char*>(argument.c_str()));
    }
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ)) {
      status_ = -1;
    }
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
  }
  ~Child() {
    Wait(Clock::now());
    for (int fd : {in_, out_, err_}) close(fd);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  void Signal(int signal) {
    if (!status_) kill(pid_, signal);
  }
  // Waits for the end, killing the child at `until`: the exit status, or
  // nullopt when it was killed or died of a signal.
  std::optional<int> Wait(Clock::time_point until) {
    for (int status = 0; !status_;) {
      const bool late = Clock::now() >= until;
      if (late) Signal(SIGKILL);
      if (waitpid(pid_, &status, late ? 0 : WNOHANG) == pid_) {
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return *status_ >= 0 ? status_ : std::nullopt;
  }
  // What it has written so far.
  std::string out() const { return FileBytes(Path(out_)); }
  std::string err() const { return FileBytes(Path(err_)); }

 private:
  static int InMemoryFile(const std::string& content) {
    const int fd = memfd_create("quibbo-test", MFD_CLOEXEC);
    if (write(fd, content.data(), content.size()) != ssize_t(content.size())) {
      throw std::runtime_error("cannot write a file in memory");
    }
    lseek(fd, 0, SEEK_SET);
    return fd;
  }
  static std::string Path(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
  }

  pid_t pid_ = -1;
  int in_ = -1, out_, err_;
  std::optional<int> status_;
};

struct Outcome {
  std::optional<int> status;  // as Child::Wait gives it
  std::string out, err;
};

// Runs `program` to its end, killing it after `limit`.
inline Outcome RunProgram(
    const std::string& program, const Strings& arguments,
    const std::string& input = "",
    std::chrono::seconds limit = std::chrono::minutes(2)) {
  Child child(program, arguments, input);
  const std::optional<int> status = child.Wait(Clock::now() + limit);
  return {status, child.out(), child.err()};
}

inline Outcome Cli(const Strings& arguments, const std::string& input = "") {
  return RunProgram(Program("quibbo-cli"), arguments, input);
}

// Each of `lines` followed by a line feed.
inline std::string Lines(const Strings& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// The replies of a --json conversation, in order; nullopt for null.
inline std::vector<std::optional<std::string>> Replies(const std::string& out) {
  std::vector<std::optional<std::string>> replies;
  std::istringstream lines(out);
  for (std::string line; std::getline(lines, line);) {
    const nlohmann::json reply = nlohmann::json::parse(line)["quibbo"];
    replies.push_back(reply.is_string() ? reply.get<std::string>()
                                        : std::optional<std::string>());
  }
  return replies;
}

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_CHILD_H_
