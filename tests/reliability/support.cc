#include "tests/reliability/support.h"

#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
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
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>
#include <stdexcept>

#include "engine/engine.h"
#include "engine/learner.h"
#include "engine/sqlite.h"
#include "tests/support/run_program.h"

namespace quibbo::testing {

Child::Child(const std::vector<std::string>& arguments, std::string input,
             off_t max_file_size)
    : input_(std::move(input)) {
  const std::string program = ProgramDir() + "/quibbo-cli";
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC) || pipe2(err, O_CLOEXEC)) {
    throw std::runtime_error("pipe failed");
  }
  std::vector<char*> argv = {const_cast<char*>(program.c_str())};
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
    if (max_file_size >= 0) {
      signal(SIGXFSZ, SIG_IGN);  // fail the write rather than die
      rlimit limit = {static_cast<rlim_t>(max_file_size),
                      static_cast<rlim_t>(max_file_size)};
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
  for (int fd : {in_, out_fd_, err_fd_}) {
    fcntl(fd, F_SETFL, fcntl(fd, F_GETFL) | O_NONBLOCK);
  }
}

Child::~Child() {
  Kill();
  Wait(Clock::now() + std::chrono::seconds(10));
  CloseInput();
  if (out_fd_ >= 0) close(out_fd_);
  if (err_fd_ >= 0) close(err_fd_);
}

void Child::CloseInput() {
  if (in_ >= 0) close(in_);
  in_ = -1;
}

void Child::Pump(Clock::time_point until) {
  while (true) {
    if (sent_ == input_.size()) CloseInput();
    if (!Talking() || Clock::now() >= until) return;
    pollfd fds[3] = {{out_fd_, POLLIN, 0},
                     {err_fd_, POLLIN, 0},
                     {sent_ < input_.size() ? in_ : -1, POLLOUT, 0}};
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        until - Clock::now());
    poll(fds, 3, static_cast<int>(std::clamp<int64_t>(left.count(), 0, 1000)));
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
  }
}

std::optional<int> Child::Wait(Clock::time_point until) {
  bool killed = false;
  if (!reaped_) {
    Pump(until);  // collects all the child wrote before it ended
    while (waitpid(pid_, &status_, WNOHANG) == 0) {
      if (Clock::now() >= until) {
        killed = true;
        kill(pid_, SIGKILL);
        waitpid(pid_, &status_, 0);
        break;
      }
      usleep(5000);
    }
    reaped_ = true;
  }
  if (killed || !WIFEXITED(status_)) return std::nullopt;
  return WEXITSTATUS(status_);
}

CliResult RunCli(const std::vector<std::string>& arguments,
                 const std::string& input, off_t max_file_size,
                 std::chrono::seconds limit) {
  Child child(arguments, input, max_file_size);
  std::optional<int> status = child.Wait(Clock::now() + limit);
  return {status, child.out(), child.err()};
}

std::vector<std::string> ChatArguments(const std::string& path) {
  return {"--json", "--seed", "5", "--memory", path};
}

std::string Input(const std::vector<std::string>& lines) {
  std::string input;
  for (const std::string& line : lines) input += line + "\n";
  return input;
}

std::vector<std::optional<std::string>> Replies(const std::string& out) {
  std::vector<std::optional<std::string>> replies;
  std::istringstream lines(out);
  std::string line;
  while (std::getline(lines, line)) {
    nlohmann::json reply = nlohmann::json::parse(line)["quibbo"];
    replies.push_back(reply.is_string()
                          ? std::optional(reply.get<std::string>())
                          : std::nullopt);
  }
  return replies;
}

bool ObeyFilePermissions(std::string* why) {
  // Out of the bounding set, the powers stay away from programs started
  // later too; out of the other sets, from this process.
  __user_cap_header_struct header = {_LINUX_CAPABILITY_VERSION_3, 0};
  __user_cap_data_struct data[_LINUX_CAPABILITY_U32S_3] = {};
  const bool got = syscall(SYS_capget, &header, data) == 0;
  for (int power : {CAP_DAC_OVERRIDE, CAP_DAC_READ_SEARCH}) {
    prctl(PR_CAPBSET_DROP, power, 0, 0, 0);
    for (auto* set :
         {&data[0].effective, &data[0].permitted, &data[0].inheritable}) {
      *set &= ~(1u << power);
    }
  }
  if (got) syscall(SYS_capset, &header, data);
  // Ask the kernel rather than trust the above.
  std::string probe =
      (std::filesystem::temp_directory_path() / "quibbo-probe-XXXXXX").string();
  int fd = mkstemp(probe.data());
  if (fd < 0) {
    *why = "cannot create a probe file";
    return false;
  }
  fchmod(fd, 0444);
  close(fd);
  fd = open(probe.c_str(), O_WRONLY);
  unlink(probe.c_str());
  if (fd < 0) return true;
  close(fd);
  *why = "this process can still write read-only files";
  return false;
}

std::vector<WordRecord> SoundRows(const std::string& path) {
  // A store of its own registers the collation the indexes need.
  auto store = Store::Open(path, Store::Access::kReadOnly);
  std::string integrity;
  sqlite::Statement check(store->file().connection(), "PRAGMA integrity_check");
  while (check.Step()) integrity += check.ColumnText(0);
  EXPECT_EQ(integrity, "ok") << path;

  std::vector<WordRecord> rows;
  sqlite::Statement select(store->file().connection(),
                           "SELECT id, previous, middle, next, position FROM "
                           "word ORDER BY id");
  while (select.Step()) {
    rows.push_back({select.ColumnInt(0), select.ColumnOptionalText(1),
                    select.ColumnText(2), select.ColumnOptionalText(3),
                    select.ColumnInt(4)});
  }
  bool open = false;  // the previous row's sentence goes on
  for (size_t i = 0; i < rows.size(); ++i) {
    const WordRecord& row = rows[i];
    const bool whole = open ? row.position == rows[i - 1].position + 1 &&
                                  row.previous == rows[i - 1].middle &&
                                  rows[i - 1].next == row.middle
                            : row.position == 0 && !row.previous;
    if (!whole) {
      ADD_FAILURE() << "row " << row.id << " ('" << row.middle
                    << "') does not continue its sentence";
      break;
    }
    open = row.next.has_value();
  }
  EXPECT_FALSE(open) << "the last sentence is unfinished";
  return rows;
}

std::vector<std::string> StoredSentences(const std::vector<WordRecord>& rows,
                                         size_t skip) {
  std::vector<std::string> sentences;
  std::string sentence;
  for (size_t i = std::min(skip, rows.size()); i < rows.size(); ++i) {
    if (rows[i].position > 0) sentence += " ";
    sentence += rows[i].middle;
    if (!rows[i].next) sentences.push_back(std::exchange(sentence, ""));
  }
  return sentences;
}

std::vector<std::string> Script(const std::string& tag, int count) {
  std::vector<std::string> script;
  for (int i = 0; i < count; ++i) {
    std::string n = tag + std::to_string(i);
    script.push_back(n + " says hello. and " + n + " says more" +
                     (i % 3 ? ". then " + n + " ends" : ""));
  }
  return script;
}

std::vector<std::string> SentencesOf(const std::vector<std::string>& lines) {
  std::vector<std::string> sentences;
  for (const std::string& line : lines) {
    for (std::string& sentence : CutSentences(line)) {
      if (!sentence.empty()) sentences.push_back(std::move(sentence));
    }
  }
  return sentences;
}

bool IsTrouble(std::string_view reply) {
  // Its first sentence and the blank line after it, which no reply composed
  // from lines of input can hold.
  const std::string trouble = TroubleMessage("");
  return reply.starts_with(trouble.substr(0, trouble.find("\n\n") + 2));
}

std::string FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace quibbo::testing
