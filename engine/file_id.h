// Which file a name leads to: its device and inode. Two names that lead to
// one file (a link, "./x" and "x", a path through another folder) have the
// same FileId, and a file replaced under its name gets another.
#ifndef QUIBBO_ENGINE_FILE_ID_H_
#define QUIBBO_ENGINE_FILE_ID_H_

#include <sys/types.h>

#include <optional>
#include <string>

namespace quibbo {

struct FileId {
  dev_t device = 0;
  ino_t inode = 0;

  bool operator==(const FileId&) const = default;
};

// The file `path` leads to, links followed; nullopt when there is none or it
// cannot be reached.
std::optional<FileId> FileIdOf(const std::string& path);
// The file open as `fd`; nullopt when fstat fails.
std::optional<FileId> FileIdOf(int fd);

// Whether both names lead to one existing file.
bool SameFile(const std::string& a, const std::string& b);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_ID_H_
