#include "engine/file/memory_checks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "engine/failure/failures.h"
#include "engine/file/disk_sync.h"
#include "engine/file/memory_file.h"

namespace quibbo {
namespace {

void CheckCompanions(const std::string& path) {
  for (const char* suffix : kMemoryCompanions) {
    const std::string companion = path + suffix;
    struct stat info;
    if (lstat(companion.c_str(), &info) != 0) continue;
    if (S_ISLNK(info.st_mode)) throw LinkInPlace(companion);
    if (!S_ISREG(info.st_mode)) throw NotRegularInPlace(companion);
  }
}

// Reached without following a link, and changed through the descriptor, so
// that a link put in its place meanwhile is never followed either. The
// descriptor is an O_PATH one: closing any other would drop the locks this
// process holds on the file through SQLite.
void RestoreMode(const std::string& companion, mode_t mode) {
  const int fd = open(companion.c_str(), O_PATH | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) return;
  struct stat info;
  if (fstat(fd, &info) == 0 && S_ISREG(info.st_mode) &&
      info.st_uid == geteuid() && (info.st_mode & S_IWUSR) == 0) {
    const std::string self = "/proc/self/fd/" + std::to_string(fd);
    chmod(self.c_str(), mode & 0777);
  }
  close(fd);
}

}  // namespace

void CheckBeforeOpening(const std::string& path, mode_t mode) {
  CheckCompanions(path);
  if (faccessat(AT_FDCWD, path.c_str(), R_OK, AT_EACCESS) != 0 &&
      errno == EACCES) {
    throw SystemFailure(EACCES, "read", path);
  }
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return;
  for (const char* suffix : {"-wal", "-shm"}) RestoreMode(path + suffix, mode);
}

void CheckBeforeCreating(const std::string& path) { CheckCompanions(path); }

void RemoveCreated(const std::string& path) {
  unlink(path.c_str());
  for (const char* suffix : {"-wal", "-shm", "-journal"}) {
    unlink((path + suffix).c_str());
  }
  // Best effort: the names go from the disk as far as the folder's sync
  // takes them there.
  SyncFolderOf(path);
}

}  // namespace quibbo
