#include "bench/cli_chat.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <nlohmann/json.hpp>
#include <stdexcept>

#include "bench/spawn.h"

namespace quibbo::bench {

CliChat::CliChat(const std::string& cli, const std::string& memory) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) || pipe2(out, O_CLOEXEC)) {
    throw std::runtime_error("pipe failed");
  }
  posix_spawn_file_actions_t actions;
  posix_spawn_file_actions_init(&actions);
  posix_spawn_file_actions_adddup2(&actions, in[0], 0);
  posix_spawn_file_actions_adddup2(&actions, out[1], 1);
  started_ = Clock::now();
  try {
    pid_ = Spawn({cli, "chat", "--json", "--seed", "1", "--memory", memory},
                 actions);
  } catch (const std::exception&) {
    for (int fd : {in[0], in[1], out[0], out[1]}) close(fd);
    throw;
  }
  close(in[0]);
  close(out[1]);
  to_program_ = in[1];
  from_program_ = out[0];
}

CliChat::~CliChat() {
  if (pid_ < 0) return;
  try {
    Finish();
  } catch (const std::exception&) {
    // Already reported by whatever threw first.
  }
}

std::string CliChat::Exchange(std::string_view line) {
  std::string text = std::string(line) + "\n";
  for (size_t written = 0; written < text.size();) {
    ssize_t n =
        write(to_program_, text.data() + written, text.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("quibbo-cli stopped reading");
    written += n;
  }
  size_t end;
  while ((end = unread_.find('\n')) == std::string::npos) {
    pollfd ready = {from_program_, POLLIN, 0};
    if (poll(&ready, 1, 30000) == 0) {
      throw std::runtime_error("quibbo-cli gave no reply within 30 s");
    }
    char buffer[65536];
    ssize_t n = read(from_program_, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) throw std::runtime_error("quibbo-cli ended in the middle");
    unread_.append(buffer, n);
  }
  std::string reply = unread_.substr(0, end);
  unread_.erase(0, end + 1);
  if (nlohmann::json::parse(reply, nullptr, false).contains("error")) {
    throw std::runtime_error("quibbo-cli failed: " + reply);
  }
  return reply;
}

double CliChat::PeakKib() const {
  // Read from the program itself: the rusage of a child started from this
  // large process would include this process's size from before the exec.
  return std::stod(
      ReadFirstLine("/proc/" + std::to_string(pid_) + "/status", "VmHWM"));
}

void CliChat::Finish() {
  close(to_program_);
  char buffer[4096];
  while (read(from_program_, buffer, sizeof buffer) > 0) {
  }
  close(from_program_);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    throw std::runtime_error("quibbo-cli did not end well");
  }
}

ChatFigures MeasureChat(const std::string& cli, const std::string& memory,
                        const Corpus& corpus, int starts, size_t lines,
                        size_t first_input) {
  ChatFigures figures;
  std::vector<double> firsts;
  for (int run = 0; run <= starts; ++run) {
    CliChat chat(cli, memory);
    chat.Exchange(corpus.inputs[run % corpus.inputs.size()]);
    if (run > 0) firsts.push_back(Milliseconds(Clock::now() - chat.started()));
    figures.first_reply_peak_kib =
        std::max(figures.first_reply_peak_kib, chat.PeakKib());
    chat.Finish();
  }
  figures.first_reply_ms = Median(firsts);

  CliChat chat(cli, memory);
  for (const std::string& line : corpus.warm_up) chat.Exchange(line);
  figures.round_trip_ms =
      TimeRoundTrips(chat, corpus.inputs, lines, first_input);
  figures.sentence_round_trip_ms =
      TimeRoundTrips(chat, corpus.sentences, lines);
  figures.peak_kib = chat.PeakKib();
  chat.Finish();
  return figures;
}

std::vector<double> TimeRoundTrips(CliChat& chat,
                                   const std::vector<std::string>& lines,
                                   size_t count, size_t first) {
  std::vector<double> times;
  for (size_t i = 0; i < count; ++i) {
    Clock::time_point start = Clock::now();
    chat.Exchange(lines[(first + i) % lines.size()]);
    times.push_back(Milliseconds(Clock::now() - start));
  }
  return times;
}

}  // namespace quibbo::bench
