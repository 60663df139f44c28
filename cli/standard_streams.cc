#include "cli/standard_streams.h"

#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <iostream>
#include <streambuf>

#include "cli/failure.h"
#include "quibbo/error.h"

namespace quibbo::cli {
namespace {

// A buffer over file descriptor 1 that keeps the errno of its first failed
// write; after one, it takes nothing more.
class OutputBuffer : public std::streambuf {
 public:
  OutputBuffer() { setp(bytes_, bytes_ + sizeof bytes_); }

  int error() const { return error_; }

 protected:
  int_type overflow(int_type c) override {
    if (sync() != 0) return traits_type::eof();
    if (traits_type::eq_int_type(c, traits_type::eof())) return 0;
    *pptr() = traits_type::to_char_type(c);
    pbump(1);
    return c;
  }

  int sync() override {
    for (const char* next = pbase(); error_ == 0 && next < pptr();) {
      const ssize_t written = write(STDOUT_FILENO, next, pptr() - next);
      if (written < 0 && errno == EINTR) continue;
      if (written < 0) error_ = errno;
      if (written > 0) next += written;
    }
    setp(bytes_, bytes_ + sizeof bytes_);
    return error_ == 0 ? 0 : -1;
  }

 private:
  char bytes_[1 << 13];
  int error_ = 0;
};

OutputBuffer* output = nullptr;

}  // namespace

void SetUpStandardStreams() {
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
  // Never destroyed: std::cout is flushed at exit, after static objects.
  output = new OutputBuffer;
  std::cout.rdbuf(output);
}

int StandardOutputError() {
  std::cout.flush();
  return output != nullptr ? output->error() : 0;
}

int CheckedExit(int status) {
  const int error = StandardOutputError();
  if (status != 0 || error == 0) return status;
  return Fail(StandardOutputFailure(error));
}

}  // namespace quibbo::cli
