#include "engine/file/disk_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

namespace quibbo {

int SyncFolderOf(const std::string& path) {
  const std::filesystem::path folder =
      std::filesystem::path(path).parent_path();
  const int fd = open(folder.empty() ? "." : folder.c_str(),
                      O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return errno;
  const int result = fsync(fd) == 0 ? 0 : errno;
  close(fd);
  return result;
}

}  // namespace quibbo
