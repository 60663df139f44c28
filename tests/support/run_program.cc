#include "tests/support/run_program.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <stdexcept>

extern char** environ;

namespace quibbo::testing {

std::string ProgramDir() { return QUIBBO_PROGRAM_DIR; }

ProgramResult RunProgram(const std::string& program,
                         const std::vector<std::string>& arguments,
                         const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  posix_spawn_file_actions_adddup2(&actions, err[1], 2);
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  pid_t pid;
  int rc = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(),
                       environ);
  posix_spawn_file_actions_destroy(&actions);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  if (rc != 0) throw std::runtime_error("cannot start " + program);

  // Feed the input and drain both outputs together, so that no pipe fills.
  signal(SIGPIPE, SIG_IGN);
  ProgramResult result;
  size_t written = 0;
  int input_fd = in[1];
  if (input.empty()) {
    close(input_fd);
    input_fd = -1;
  }
  bool out_open = true, err_open = true;
  char buffer[65536];
  while (out_open || err_open) {
    pollfd fds[3] = {
        {out[0], POLLIN, 0}, {err[0], POLLIN, 0}, {input_fd, POLLOUT, 0}};
    fds[0].fd = out_open ? out[0] : -1;
    fds[1].fd = err_open ? err[0] : -1;
    poll(fds, 3, -1);
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
      if (n > 0) {
        (i == 0 ? result.out : result.err).append(buffer, n);
      } else {
        (i == 0 ? out_open : err_open) = false;
      }
    }
    if (input_fd >= 0 && (fds[2].revents & (POLLOUT | POLLERR | POLLHUP))) {
      ssize_t n = write(input_fd, input.data() + written,
                        std::min<size_t>(input.size() - written, 65536));
      if (n > 0) written += n;
      if (n <= 0 || written == input.size()) {
        close(input_fd);
        input_fd = -1;
      }
    }
  }
  if (input_fd >= 0) close(input_fd);
  close(out[0]);
  close(err[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  result.exit_status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

}  // namespace quibbo::testing
