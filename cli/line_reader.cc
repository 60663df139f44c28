#include "cli/line_reader.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <string_view>

#include "cli/interrupt.h"

namespace quibbo::cli {
namespace {

constexpr std::string_view kByteOrderMark = "\xEF\xBB\xBF";

}  // namespace

bool LineReader::Next(std::string* line) {
  line->clear();
  if (Interrupted() || too_long_) return false;
  const bool first = bytes_read_ == 0;
  while (true) {
    if (pos_ < end_) {
      const char* start = buffer_ + pos_;
      const void* found = std::memchr(start, '\n', end_ - pos_);
      const size_t length =
          found ? static_cast<const char*>(found) - start : end_ - pos_;
      if (static_cast<int64_t>(line->size() + length) > kMaxLineBytes) {
        too_long_ = true;
        return false;
      }
      line->append(start, length);
      pos_ += length + (found ? 1 : 0);
      bytes_read_ += length + (found ? 1 : 0);
      if (found) break;
    }
    if (!WaitForInput()) return false;
    const ssize_t got = read(fd_, buffer_, sizeof buffer_);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) error_ = errno;
    if (got <= 0) {
      if (got < 0 || line->empty()) return false;
      break;
    }
    pos_ = 0;
    end_ = static_cast<size_t>(got);
  }
  if (!line->empty() && line->back() == '\r') line->pop_back();
  if (first && line->starts_with(kByteOrderMark)) {
    line->erase(0, kByteOrderMark.size());
  }
  return true;
}

bool LineReader::WaitForInput() {
  pollfd ready = {.fd = fd_, .events = POLLIN, .revents = 0};
  // Lines fed by another program come within a millisecond, a person's
  // never do: only then is it worth tidying up before waiting on. A signal
  // that arrives just before a blocking read would not interrupt it, so the
  // wait polls in short steps and looks at the flag between them.
  for (int step = 1;; step = 100) {
    if (Interrupted()) return false;
    const int result = poll(&ready, 1, step);
    if (result > 0 || (result < 0 && errno != EINTR)) return true;
    if (result == 0 && step == 1 && before_wait_) before_wait_();
  }
}

}  // namespace quibbo::cli
