#include "engine/file/sqlite_name.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <mutex>
#include <utility>

namespace quibbo {
namespace {

// The longest path SQLite's unix VFS takes, and the longest ending it adds
// to a memory's name.
constexpr size_t kSqliteLongest = 512;
constexpr size_t kLongestEnding = sizeof("-journal") - 1;

constexpr char kThroughFolder[] = "/proc/self/fd/";
constexpr char kVfsName[] = "quibbo-long-path";

sqlite3_vfs* unix_vfs = nullptr;

int FullPathname(sqlite3_vfs*, const char* name, int size, char* out) {
  const size_t length = std::strlen(name);
  if (std::strncmp(name, kThroughFolder, sizeof(kThroughFolder) - 1) == 0 &&
      length < static_cast<size_t>(size)) {
    std::memcpy(out, name, length + 1);
    return SQLITE_OK;
  }
  return unix_vfs->xFullPathname(unix_vfs, name, size, out);
}

const char* LongPathVfs() {
  static const char* const kName = [] {
    static sqlite3_vfs vfs;
    unix_vfs = sqlite3_vfs_find("unix");
    if (unix_vfs == nullptr) return static_cast<const char*>(nullptr);
    vfs = *unix_vfs;
    vfs.pNext = nullptr;
    vfs.zName = kVfsName;
    vfs.xFullPathname = FullPathname;
    return sqlite3_vfs_register(&vfs, 0) == SQLITE_OK ? kVfsName : nullptr;
  }();
  return kName;
}

// A descriptor of `folder`, kept open for good; -1 when it cannot be opened.
int FolderDescriptor(const std::string& folder) {
  static std::mutex mutex;
  static std::map<std::pair<dev_t, ino_t>, int> open_folders;
  const int fd = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
  struct stat info;
  if (fd < 0 || fstat(fd, &info) != 0) {
    if (fd >= 0) close(fd);
    return -1;
  }
  std::lock_guard<std::mutex> lock(mutex);
  auto [kept, added] = open_folders.try_emplace({info.st_dev, info.st_ino}, fd);
  if (!added) close(fd);
  return kept->second;
}

}  // namespace

SqliteName SqliteNameOf(const std::string& path) {
  char* resolved = realpath(path.c_str(), nullptr);
  if (resolved == nullptr) return {path};
  const std::string full(resolved);
  std::free(resolved);
  if (full.size() + kLongestEnding <= kSqliteLongest) return {path};
  const size_t slash = full.rfind('/');
  const int folder = FolderDescriptor(full.substr(0, slash));
  const char* vfs = LongPathVfs();
  if (folder < 0 || vfs == nullptr) return {path};
  return {kThroughFolder + std::to_string(folder) + full.substr(slash), vfs};
}

}  // namespace quibbo
