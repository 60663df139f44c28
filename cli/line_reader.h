// Reading lines from a file descriptor for a conversation or `learn`: a line
// loses its LF or CRLF and nothing else, and a last line without one still
// counts. A byte order mark at the very start of the input is dropped, as
// editors that write one expect. Reading stops at Ctrl+C, SIGTERM or SIGHUP
// (see interrupt.h), also while it waits for a person or another program to
// write more, and at a line longer than kMaxLineBytes, so that an endless
// line (/dev/zero, say) ends in bounded memory instead of running on.
#ifndef QUIBBO_CLI_LINE_READER_H_
#define QUIBBO_CLI_LINE_READER_H_

#include <cstdint>
#include <functional>
#include <string>

namespace quibbo::cli {

// The longest line read: 8 MiB, eight times the megabyte line the bench
// learns and says in a chat.
inline constexpr int64_t kMaxLineBytes = int64_t{8} << 20;
// kMaxLineBytes as quibbo-cli(1) and the messages give it.
inline constexpr char kMaxLineText[] = "8 MiB";

class LineReader {
 public:
  // Reads `fd`, which it does not own. `before_wait`, if set, runs before a
  // read that would wait for more input, so that nothing is held meanwhile.
  explicit LineReader(int fd, std::function<void()> before_wait = nullptr)
      : fd_(fd), before_wait_(std::move(before_wait)) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line; false at the end of the input, on an interrupt, on a
  // failure, which error() then tells, and on a line too long, which
  // too_long() tells.
  bool Next(std::string* line);

  int error() const { return error_; }  // the errno of a failed read, or 0
  bool too_long() const { return too_long_; }
  int64_t bytes_read() const { return bytes_read_; }

 private:
  // Waits until input is ready; false on an interrupt.
  bool WaitForInput();

  int fd_;
  std::function<void()> before_wait_;
  char buffer_[1 << 16];
  size_t pos_ = 0;
  size_t end_ = 0;
  int64_t bytes_read_ = 0;
  int error_ = 0;
  bool too_long_ = false;
};

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_LINE_READER_H_
