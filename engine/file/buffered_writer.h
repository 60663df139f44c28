// Writing many small pieces to a file descriptor in few system calls, and
// telling a failure with its cause.
#ifndef QUIBBO_ENGINE_FILE_BUFFERED_WRITER_H_
#define QUIBBO_ENGINE_FILE_BUFFERED_WRITER_H_

#include <functional>
#include <string>
#include <string_view>

#include "engine/failure/failures.h"

namespace quibbo {

class BufferedWriter {
 public:
  // Turns the errno of a failed write into the Error to throw.
  using Failure = std::function<Error(int error_number)>;

  // Writes to `fd`, which it does not own. A write that a signal interrupts
  // is tried again, unless `stop` says to give up: then it fails with EINTR.
  BufferedWriter(int fd, Failure failure, std::function<bool()> stop = nullptr);
  BufferedWriter(const BufferedWriter&) = delete;
  BufferedWriter& operator=(const BufferedWriter&) = delete;

  // Appends `bytes`; writes them out once enough have gathered. Throws the
  // Error `failure` makes.
  void Write(std::string_view bytes);
  // Writes out everything gathered. Throws as Write.
  void Flush();

 private:
  int fd_;
  Failure failure_;
  std::function<bool()> stop_;
  std::string buffer_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_BUFFERED_WRITER_H_
