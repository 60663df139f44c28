#include "cli/learn.h"

#include <errno.h>
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <functional>
#include <memory>
#include <nlohmann/json.hpp>
#include <ostream>
#include <sstream>

#include "engine/bulk_learner.h"
#include "engine/error.h"
#include "engine/text.h"

namespace quibbo::cli {
namespace {

using Clock = std::chrono::steady_clock;

volatile std::sig_atomic_t interrupted = 0;

void OnInterrupt(int) { interrupted = 1; }

// Sets the interrupt flag on Ctrl+C while it lives. No SA_RESTART, so a
// read waiting on a terminal returns at once.
class InterruptGuard {
 public:
  InterruptGuard() {
    interrupted = 0;
    struct sigaction action = {};
    action.sa_handler = OnInterrupt;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, &previous_);
  }
  ~InterruptGuard() { sigaction(SIGINT, &previous_, nullptr); }
  InterruptGuard(const InterruptGuard&) = delete;
  InterruptGuard& operator=(const InterruptGuard&) = delete;

 private:
  struct sigaction previous_ = {};
};

// Reads lines from a file descriptor as ReadLine does (without the LF or
// CRLF; a last line without one still counts), giving up when interrupted.
// `before_wait` runs before a read that would wait for a person or another
// program, so that nothing is held meanwhile.
class LineReader {
 public:
  LineReader(int fd, bool may_wait, std::function<void()> before_wait)
      : fd_(fd), may_wait_(may_wait), before_wait_(std::move(before_wait)) {}

  // False at the end of the input or on Ctrl+C; error() tells a failure.
  bool Next(std::string* line) {
    line->clear();
    while (true) {
      if (pos_ < end_) {
        const char* start = buffer_ + pos_;
        const void* found = std::memchr(start, '\n', end_ - pos_);
        size_t length =
            found ? static_cast<const char*>(found) - start : end_ - pos_;
        line->append(start, length);
        pos_ += length;
        bytes_read_ += length;
        if (found) {
          ++pos_;
          ++bytes_read_;
          if (!line->empty() && line->back() == '\r') line->pop_back();
          return true;
        }
      }
      if (interrupted) return false;
      if (may_wait_ && !WaitForInput()) return false;
      ssize_t got = read(fd_, buffer_, sizeof buffer_);
      if (got < 0) {
        if (errno == EINTR) continue;
        error_ = errno;
        return false;
      }
      if (got == 0) {
        if (line->empty()) return false;
        if (line->back() == '\r') line->pop_back();
        return true;
      }
      pos_ = 0;
      end_ = static_cast<size_t>(got);
    }
  }

  int error() const { return error_; }
  int64_t bytes_read() const { return bytes_read_; }

 private:
  // Waits until input is ready; false on Ctrl+C. A Ctrl+C that arrives just
  // before a blocking read would not interrupt it, so the wait polls in
  // short steps and looks at the flag between them.
  bool WaitForInput() {
    pollfd ready = {fd_, POLLIN, 0};
    if (poll(&ready, 1, 0) > 0) return true;
    before_wait_();
    while (!interrupted) {
      int result = poll(&ready, 1, 100);
      if (result > 0 || (result < 0 && errno != EINTR)) return true;
    }
    return false;
  }

  int fd_;
  bool may_wait_;
  std::function<void()> before_wait_;
  char buffer_[1 << 16];
  size_t pos_ = 0;
  size_t end_ = 0;
  int64_t bytes_read_ = 0;
  int error_ = 0;
};

struct Input {
  std::string name;  // as the user gave it
  int fd = -1;
  int64_t size = -1;  // bytes, when known
  ~Input() {
    if (fd > 0) close(fd);
  }
};

std::string Duration(double seconds) {
  int64_t whole = static_cast<int64_t>(seconds + 0.5);
  char text[32];
  std::snprintf(text, sizeof text, "%lld:%02lld",
                static_cast<long long>(whole / 60),
                static_cast<long long>(whole % 60));
  return text;
}

// One line on a terminal, redrawn in place a few times a second.
class ProgressBar {
 public:
  ProgressBar(std::ostream& err, bool enabled, int64_t total_bytes)
      : err_(err), enabled_(enabled), total_bytes_(total_bytes) {}

  void Update(Clock::time_point start, int64_t lines, int64_t words,
              int64_t bytes) {
    if (!enabled_) return;
    Clock::time_point now = Clock::now();
    if (now - last_draw_ < std::chrono::milliseconds(200)) return;
    last_draw_ = now;
    double seconds = std::chrono::duration<double>(now - start).count();
    double rate = seconds > 0 ? words / seconds : 0;
    std::ostringstream bar;
    bar << "\r";
    if (total_bytes_ > 0) {
      double done = std::min(1.0, static_cast<double>(bytes) / total_bytes_);
      constexpr int kWidth = 24;
      int filled = static_cast<int>(done * kWidth);
      bar << "[" << std::string(filled, '#')
          << std::string(kWidth - filled, '-') << "] "
          << static_cast<int>(done * 100) << "%  ";
      if (done > 0.01) {
        bar << Duration(seconds * (1 - done) / done) << " left  ";
      }
    }
    bar << GroupDigits(lines) << " lines  "
        << GroupDigits(static_cast<int64_t>(rate)) << " words/s";
    err_ << bar.str() << "\033[K" << std::flush;
    drawn_ = true;
  }

  void Clear() {
    if (drawn_) err_ << "\r\033[K" << std::flush;
  }

 private:
  std::ostream& err_;
  bool enabled_;
  int64_t total_bytes_;
  Clock::time_point last_draw_;
  bool drawn_ = false;
};

bool OpenInputs(const std::vector<std::string>& names,
                std::vector<std::unique_ptr<Input>>* inputs,
                std::ostream& err) {
  for (const std::string& name : names) {
    auto input = std::make_unique<Input>();
    input->name = name == "-" ? "standard input" : name;
    input->fd = name == "-" ? STDIN_FILENO : open(name.c_str(), O_RDONLY);
    if (input->fd < 0) {
      err << "quibbo-cli: cannot read " << name << ": " << std::strerror(errno)
          << "\n";
      return false;
    }
    struct stat info;
    if (fstat(input->fd, &info) == 0 && S_ISREG(info.st_mode)) {
      input->size = info.st_size;
    } else if (fstat(input->fd, &info) == 0 && S_ISDIR(info.st_mode)) {
      err << "quibbo-cli: cannot read " << name << ": it is a folder\n";
      return false;
    }
    inputs->push_back(std::move(input));
  }
  return true;
}

// Replaces a line of `learn --json` with the text of its JSON string; false
// when it holds anything else.
bool DecodeJsonLine(std::string* line) {
  nlohmann::json value = nlohmann::json::parse(*line, nullptr, false);
  if (!value.is_string()) return false;
  *line = value.get<std::string>();
  return true;
}

}  // namespace

int RunLearn(const std::string& memory_path, const LearnOptions& options,
             std::ostream& out, std::ostream& err) {
  std::vector<std::unique_ptr<Input>> inputs;
  if (!OpenInputs(options.files, &inputs, err)) return 1;
  int64_t total_bytes = 0;
  for (const auto& input : inputs) {
    total_bytes =
        input->size < 0 || total_bytes < 0 ? -1 : total_bytes + input->size;
  }

  InterruptGuard guard;
  const Clock::time_point start = Clock::now();
  ProgressBar progress(err, options.progress, total_bytes);
  constexpr size_t kListedSkips = 5;
  std::vector<std::string> skipped;
  int64_t skipped_count = 0;
  int status = 0;
  int64_t bytes_before = 0;
  std::unique_ptr<BulkLearner> learner;
  try {
    learner = BulkLearner::Open(memory_path);
    std::string line;
    for (const auto& input : inputs) {
      // Sentences read from a terminal or a pipe are stored before waiting
      // for more, not when someone finally types the next line.
      LineReader reader(input->fd, input->size < 0,
                        [&learner] { learner->Commit(); });
      for (int64_t number = 1; reader.Next(&line); ++number) {
        if ((options.json && !DecodeJsonLine(&line)) || !IsValidUtf8(line)) {
          if (skipped.size() < kListedSkips) {
            skipped.push_back(input->name + ":" + std::to_string(number));
          }
          ++skipped_count;
          continue;
        }
        learner->Learn(line);
        if (interrupted) break;
        progress.Update(start, learner->learned().lines,
                        learner->learned().words,
                        bytes_before + reader.bytes_read());
      }
      if (reader.error() != 0) {
        learner->Commit();
        progress.Clear();
        err << "quibbo-cli: cannot read " << input->name << ": "
            << std::strerror(reader.error()) << "\n";
        status = 1;
        break;
      }
      if (interrupted) break;
      bytes_before += reader.bytes_read();
    }
    learner->Commit();
  } catch (const Error& error) {
    progress.Clear();
    err << "quibbo-cli: " << error.description() << "\n";
    status = 1;
  }
  progress.Clear();
  if (status == 0 && interrupted) status = kInterruptedStatus;

  const double seconds =
      std::chrono::duration<double>(Clock::now() - start).count();
  LearnedCounts counts = learner ? learner->committed() : LearnedCounts{};
  if (!learner) return status;
  char time[32];
  std::snprintf(time, sizeof time, "%.2f", seconds);
  out << (status == kInterruptedStatus ? "Interrupted; learned " : "Learned ")
      << GroupDigits(counts.lines) << (counts.lines == 1 ? " line" : " lines")
      << ": " << GroupDigits(counts.sentences)
      << (counts.sentences == 1 ? " sentence, " : " sentences, ")
      << GroupDigits(counts.words) << (counts.words == 1 ? " word" : " words")
      << " stored in " << time << " s";
  if (skipped_count > 0) {
    out << "; skipped " << GroupDigits(skipped_count)
        << (skipped_count == 1 ? " line" : " lines")
        << (options.json ? " not a JSON string of UTF-8 text ("
                         : " not in UTF-8 (");
    for (size_t i = 0; i < skipped.size(); ++i) {
      out << (i > 0 ? ", " : "") << skipped[i];
    }
    out << (skipped_count > static_cast<int64_t>(skipped.size()) ? ", ...)"
                                                                 : ")");
  }
  out << "." << std::endl;
  return status;
}

}  // namespace quibbo::cli
