#include "engine/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/error.h"

namespace quibbo {
namespace {

constexpr size_t kBufferBytes = 1 << 16;

// Renames `from` to `to`, never over an existing file unless `replace`.
int Rename(const std::string& from, const std::string& to, bool replace) {
  if (replace) return rename(from.c_str(), to.c_str());
  if (renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(),
                RENAME_NOREPLACE) == 0) {
    return 0;
  }
  if (errno != EINVAL && errno != ENOSYS) return -1;
  // A file system without the no-replace rename: a link fails just the same
  // on an existing name.
  if (link(from.c_str(), to.c_str()) != 0) return -1;
  unlink(from.c_str());
  return 0;
}

}  // namespace

OutputFile::OutputFile(std::string path, bool replace)
    : path_(std::move(path)), replace_(replace) {
  struct stat info;
  if (!replace_ && lstat(path_.c_str(), &info) == 0) {
    throw OutputExists(path_);
  }
  std::string pattern = path_ + ".partial-XXXXXX";
  // mkstemp creates the file with mode 0600.
  fd_ = mkostemp(pattern.data(), O_CLOEXEC);
  if (fd_ < 0) throw OutputFailure(errno, path_);
  temporary_path_ = pattern;
  buffer_.reserve(kBufferBytes);
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (temporary_path_.empty()) return;
  // With what SQLite may have left beside it after a failure.
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    unlink((temporary_path_ + suffix).c_str());
  }
}

void OutputFile::Write(std::string_view bytes) {
  buffer_.append(bytes);
  if (buffer_.size() >= kBufferBytes) Flush();
}

void OutputFile::Flush() {
  size_t done = 0;
  while (done < buffer_.size()) {
    ssize_t written = write(fd_, buffer_.data() + done, buffer_.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written < 0) throw OutputFailure(errno, path_);
    done += static_cast<size_t>(written);
  }
  buffer_.clear();
}

void OutputFile::Commit() {
  Flush();
  if (fsync(fd_) != 0) throw OutputFailure(errno, path_);
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) throw OutputFailure(errno, path_);
  if (Rename(temporary_path_, path_, replace_) != 0) {
    if (errno == EEXIST) throw OutputExists(path_);
    throw OutputFailure(errno, path_);
  }
  temporary_path_.clear();
}

}  // namespace quibbo
