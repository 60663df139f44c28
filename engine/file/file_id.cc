#include <sys/stat.h>

#include "quibbo/memory.h"

namespace quibbo {
namespace {

FileId Of(const struct stat& info) { return {info.st_dev, info.st_ino}; }

}  // namespace

std::optional<FileId> FileIdOf(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) return std::nullopt;
  return Of(info);
}

std::optional<FileId> FileIdOf(int fd) {
  struct stat info;
  if (fstat(fd, &info) != 0) return std::nullopt;
  return Of(info);
}

bool SameFile(const std::string& a, const std::string& b) {
  const std::optional<FileId> first = FileIdOf(a);
  return first && first == FileIdOf(b);
}

}  // namespace quibbo
