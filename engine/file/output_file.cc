#include "engine/file/output_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <filesystem>
#include <string_view>

#include "engine/failure/failures.h"
#include "engine/file/disk_sync.h"
#include "engine/file/memory_file.h"
#include "quibbo/memory.h"

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

// Whether `path` is the name of a memory's companion file, or holds a
// memory that a program has open: it has a log or a journal beside it, or
// another process holds a lock on it.
bool InUse(const std::string& path) {
  for (const char* suffix : kMemoryCompanions) {
    if (access((path + suffix).c_str(), F_OK) == 0) return true;
  }
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return false;
  struct flock lock = {};
  lock.l_type = F_WRLCK;
  lock.l_whence = SEEK_SET;
  const bool locked = fcntl(fd, F_GETLK, &lock) == 0 && lock.l_type != F_UNLCK;
  close(fd);
  return locked;
}

// A name for the temporary file beside `path`, with X's for mkostemp: the
// start of the target's name, cut short where that is needed so that the
// name, and the "-journal" SQLite may add to it, fit in the folder's longest
// name, whatever the target's length. The cut falls between characters.
std::string TemporaryPattern(const std::string& path) {
  const std::filesystem::path target(path);
  const std::string folder =
      target.has_parent_path() ? target.parent_path().string() : ".";
  const long longest = pathconf(folder.c_str(), _PC_NAME_MAX);
  constexpr std::string_view kTail = ".partial-XXXXXX";
  constexpr size_t kSqliteSuffix = sizeof "-journal" - 1;
  const size_t room = static_cast<size_t>(longest > 0 ? longest : NAME_MAX) -
                      std::min<size_t>(kTail.size() + kSqliteSuffix, NAME_MAX);
  std::string name = target.filename().string();
  if (name.size() > room) {
    size_t cut = room;
    // Not inside a character of several bytes: back to its first byte.
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
      --cut;
    name.resize(cut);
  }
  return (target.parent_path() / (name + std::string(kTail))).string();
}

// The same file name, whichever way it is spelt, whether or not it exists.
bool SameName(const std::string& a, const std::string& b) {
  std::error_code ignored;
  return std::filesystem::weakly_canonical(a, ignored) ==
         std::filesystem::weakly_canonical(b, ignored);
}

}  // namespace

OutputFile::OutputFile(std::string path, bool replace,
                       const std::string& memory_path)
    : path_(std::move(path)), replace_(replace), memory_path_(memory_path) {
  CheckTarget();
  std::string pattern = TemporaryPattern(path_);
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

void OutputFile::CheckTarget() const {
  if (!memory_path_.empty()) {
    if (SameFile(path_, memory_path_) || SameName(path_, memory_path_)) {
      throw OverwritesMemory(path_);
    }
    for (const char* suffix : kMemoryCompanions) {
      if (SameName(path_, memory_path_ + suffix)) throw OverwritesMemory(path_);
    }
  }
  struct stat name, target;
  if (lstat(path_.c_str(), &name) != 0) return;
  // Not even --force replaces what is not a plain file, or a link to one.
  const struct stat& reached =
      stat(path_.c_str(), &target) == 0 ? target : name;
  if (S_ISDIR(reached.st_mode)) throw OutputIsFolder(path_);
  if (!S_ISREG(reached.st_mode)) throw OutputNotRegular(path_);
  if (InUse(path_)) throw OutputInUse(path_);
  if (!replace_) throw OutputExists(path_);
}

void OutputFile::Commit() {
  CheckTarget();
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
  // The file is in place whatever happens now.
  if (const int error = SyncFolderOf(path_); error != 0) {
    throw OutputUnsynced(error, path_);
  }
}

}  // namespace quibbo
