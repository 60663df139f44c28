#include "engine/file/buffered_writer.h"

#include <unistd.h>

#include <cerrno>

namespace quibbo {
namespace {

constexpr size_t kBufferBytes = 1 << 16;

}  // namespace

BufferedWriter::BufferedWriter(int fd, Failure failure,
                               std::function<bool()> stop)
    : fd_(fd), failure_(std::move(failure)), stop_(std::move(stop)) {
  buffer_.reserve(kBufferBytes);
}

void BufferedWriter::Write(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= kBufferBytes) Flush();
}

void BufferedWriter::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t written = write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0 && errno == EINTR && !(stop_ && stop_())) continue;
    if (written < 0) {
      buffer_.clear();
      throw failure_(errno);
    }
    done += static_cast<size_t>(written);
  }
  buffer_.clear();
}

}  // namespace quibbo
