// Reading lines from a file descriptor for a conversation or `learn`: a line
// loses its LF or CRLF and nothing else, and a last line without one still
// counts. Reading stops at Ctrl+C or SIGTERM (see interrupt.h), also while
// it waits for a person or another program to write more.
#ifndef QUIBBO_CLI_LINE_READER_H_
#define QUIBBO_CLI_LINE_READER_H_

#include <cstdint>
#include <functional>
#include <string>

namespace quibbo::cli {

class LineReader {
 public:
  // Reads `fd`, which it does not own. `before_wait`, if set, runs before a
  // read that would wait for more input, so that nothing is held meanwhile.
  explicit LineReader(int fd, std::function<void()> before_wait = nullptr)
      : fd_(fd), before_wait_(std::move(before_wait)) {}
  LineReader(const LineReader&) = delete;
  LineReader& operator=(const LineReader&) = delete;

  // The next line; false at the end of the input, on an interrupt, or on a
  // failure, which error() then tells.
  bool Next(std::string* line);

  int error() const { return error_; }  // the errno of a failed read, or 0
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
};

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_LINE_READER_H_
