#include "tests/reliability/child_process.h"

#include <fcntl.h>
#include <linux/capability.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <stdexcept>

namespace quibbo::testing {
namespace {

void SetNonBlocking(int fd) {
  fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
}

int MillisecondsUntil(Child::Clock::time_point until) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
      until - Child::Clock::now());
  return static_cast<int>(std::clamp<int64_t>(left.count(), 0, 1000));
}

}  // namespace

Child::Child(const std::string& program,
             const std::vector<std::string>& arguments,
             const ChildOptions& options) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const std::string& argument : arguments) {
    argv.push_back(const_cast<char*>(argument.c_str()));
  }
  argv.push_back(nullptr);
  // The test writes to a child that may already be dead.
  signal(SIGPIPE, SIG_IGN);
  pid_ = fork();
  if (pid_ < 0) throw std::runtime_error("fork failed");
  if (pid_ == 0) {
    // Only system calls from here on: the child of a fork must not allocate.
    dup2(in[0], 0);
    dup2(out[1], 1);
    dup2(err[1], 2);
    if (options.max_file_size >= 0) {
      // A write past the limit then fails with EFBIG instead of killing.
      signal(SIGXFSZ, SIG_IGN);
      rlimit limit = {static_cast<rlim_t>(options.max_file_size),
                      static_cast<rlim_t>(options.max_file_size)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execv(program.c_str(), argv.data());
    _exit(127);
  }
  close(in[0]);
  close(out[1]);
  close(err[1]);
  in_ = in[1];
  out_fd_ = out[0];
  err_fd_ = err[0];
  SetNonBlocking(in_);
  SetNonBlocking(out_fd_);
  SetNonBlocking(err_fd_);
}

Child::~Child() {
  if (!reaped_) {
    Kill();
    Wait(Clock::now() + std::chrono::seconds(10));
  }
  CloseInput();
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

void Child::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

bool Child::PumpOnce(Clock::time_point until) {
  if (in_ >= 0 && sent_ == input_.size() && close_input_) CloseInput();
  if (out_fd_ < 0 && err_fd_ < 0) return false;
  if (Clock::now() >= until) return false;
  const bool want_to_send = in_ >= 0 && sent_ < input_.size();
  pollfd fds[3] = {{out_fd_, POLLIN, 0},
                   {err_fd_, POLLIN, 0},
                   {want_to_send ? in_ : -1, POLLOUT, 0}};
  poll(fds, 3, MillisecondsUntil(until));
  char buffer[65536];
  for (int i = 0; i < 2; ++i) {
    if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
    ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
    if (n > 0) {
      (i == 0 ? out_ : err_).append(buffer, n);
    } else if (n == 0 || errno != EAGAIN) {
      close(fds[i].fd);
      (i == 0 ? out_fd_ : err_fd_) = -1;
    }
  }
  if (fds[2].revents & (POLLOUT | POLLERR | POLLHUP)) {
    ssize_t n = write(in_, input_.data() + sent_,
                      std::min<size_t>(input_.size() - sent_, 65536));
    if (n > 0) {
      sent_ += n;
    } else if (n < 0 && errno != EAGAIN) {
      CloseInput();  // the child is gone or closed its input
    }
  }
  return true;
}

size_t Child::OutputLines() const {
  return static_cast<size_t>(std::count(out_.begin(), out_.end(), '\n'));
}

void Child::Kill() {
  if (!reaped_) kill(pid_, SIGKILL);
}

std::optional<int> Child::Wait(Clock::time_point until) {
  if (!reaped_) {
    // Everything the child wrote before it ended is still collected.
    close_input_ = true;
    Pump(until);
    while (true) {
      pid_t done = waitpid(pid_, &status_, WNOHANG);
      if (done == pid_ || (done < 0 && errno != EINTR)) break;
      if (Clock::now() >= until) {
        timed_out_ = true;
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        break;
      }
      usleep(5000);
    }
    reaped_ = true;
  }
  if (timed_out_ || !WIFEXITED(status_)) return std::nullopt;
  return WEXITSTATUS(status_);
}

ChildResult RunChild(const std::string& program,
                     const std::vector<std::string>& arguments,
                     const std::string& input, const ChildOptions& options,
                     std::chrono::seconds limit) {
  Child child(program, arguments, options);
  child.Send(input);
  child.CloseInputWhenSent();
  ChildResult result;
  result.exit_status = child.Wait(Child::Clock::now() + limit);
  result.timed_out = child.timed_out();
  result.out = child.out();
  result.err = child.err();
  return result;
}

bool ObeyFilePermissions(std::string* why) {
  // Out of the bounding set, the powers stay away from programs started
  // later too; out of the effective and permitted sets, from this process.
  for (int power : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    prctl(PR_CAPBSET_DROP, power, 0, 0, 0);
  }
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  if (syscall(SYS_capget, &header, data) == 0) {
    for (int power : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
      for (auto* set :
           {&data[0].effective, &data[0].permitted, &data[0].inheritable}) {
        *set &= ~(1u << power);
      }
    }
    syscall(SYS_capset, &header, data);
  }

  // Ask the kernel rather than trust the above.
  std::string probe =
      (std::filesystem::temp_directory_path() / "quibbo-probe-XXXXXX").string();
  int fd = mkstemp(probe.data());
  if (fd < 0) {
    *why = "cannot create a probe file";
    return false;
  }
  close(fd);
  chmod(probe.c_str(), 0444);
  fd = open(probe.c_str(), O_WRONLY);
  unlink(probe.c_str());
  if (fd >= 0) {
    close(fd);
    *why = "this process can still write read-only files";
    return false;
  }
  return true;
}

}  // namespace quibbo::testing
