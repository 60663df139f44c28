#include "engine/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/disk_sync.h"
#include "engine/error.h"

namespace quibbo {
namespace {

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
  writer_ = std::make_unique<BufferedWriter>(fd_, [this](int error_number) {
    return OutputFailure(error_number, path_);
  });
}

OutputFile::~OutputFile() {
  if (fd_ >= 0) close(fd_);
  if (temporary_path_.empty()) return;
  // With what SQLite may have left beside it after a failure.
  for (const char* suffix : {"", "-journal", "-wal", "-shm"}) {
    unlink((temporary_path_ + suffix).c_str());
  }
}

void OutputFile::Commit() {
  writer_->Flush();
  if (fsync(fd_) != 0) throw OutputFailure(errno, path_);
  int fd = fd_;
  fd_ = -1;
  if (close(fd) != 0) throw OutputFailure(errno, path_);
  if (Rename(temporary_path_, path_, replace_) != 0) {
    if (errno == EEXIST) throw OutputExists(path_);
    throw OutputFailure(errno, path_);
  }
  temporary_path_.clear();
  // The new name survives a power cut only once the folder is on the disk.
  if (const int error = SyncFolderOf(path_); error != 0) {
    throw OutputFailure(error, path_);
  }
}

}  // namespace quibbo
