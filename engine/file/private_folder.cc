#include "engine/file/private_folder.h"

#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

namespace quibbo {
namespace {

// Makes `folder` and whatever is missing above it, each with mode 0700.
// Returns errno, or 0.
int MakeFolders(const std::filesystem::path& folder) {
  if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return 0;
  if (errno != ENOENT || !folder.has_parent_path() ||
      folder.parent_path() == folder) {
    return errno;
  }
  if (int error = MakeFolders(folder.parent_path())) return error;
  if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return 0;
  return errno;
}

// Whether users other than this one may be in group `gid`: not so in the
// user's own group of one, which Debian makes for each user.
bool SharedGroup(gid_t gid) {
  const passwd* user = getpwuid(geteuid());
  const group* entry = getgrgid(gid);
  if (user == nullptr || entry == nullptr || user->pw_gid != gid ||
      std::strcmp(entry->gr_name, user->pw_name) != 0) {
    return true;
  }
  for (char** member = entry->gr_mem; *member != nullptr; ++member) {
    if (std::strcmp(*member, user->pw_name) != 0) return true;
  }
  return false;
}

// Why the folder that `info` describes, which holds the memory's folder,
// lets someone else replace that; nullopt when it does not.
std::optional<Error> Unsafe(const std::string& parent,
                            const struct stat& info) {
  if (info.st_uid != geteuid() && info.st_uid != 0) {
    return FolderOfAnother(parent);
  }
  const bool others_write =
      (info.st_mode & S_IWOTH) != 0 ||
      ((info.st_mode & S_IWGRP) != 0 && SharedGroup(info.st_gid));
  if (others_write && (info.st_mode & S_ISVTX) == 0) {
    return FolderOthersMayWrite(parent);
  }
  return std::nullopt;
}

}  // namespace

std::optional<Error> PreparePrivateFolder(const std::string& memory) {
  const std::filesystem::path folder =
      std::filesystem::path(memory).parent_path();
  const std::string parent = folder.parent_path().string();
  struct stat info;
  if (int error = MakeFolders(parent); error != 0) {
    return SystemFailure(error, "created", memory);
  }
  if (stat(parent.c_str(), &info) != 0) {
    return SystemFailure(errno, "created", memory);
  }
  if (auto unsafe = Unsafe(parent, info)) return unsafe;
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    return SystemFailure(errno, "created", memory);
  }
  if (lstat(folder.c_str(), &info) == 0) {
    if (S_ISLNK(info.st_mode)) return LinkInPlace(folder.string());
    // Told before opening it, which its owner may not let this user do.
    if (info.st_uid != geteuid()) return FolderOfAnother(folder.string());
  }
  // Looked at and changed through one descriptor, which no link leads to.
  const int fd =
      open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    if (errno == ELOOP) return LinkInPlace(folder.string());
    return SystemFailure(errno, "created", memory);
  }
  std::optional<Error> failure;
  if (fstat(fd, &info) != 0) {
    failure = SystemFailure(errno, "created", memory);
  } else if (info.st_uid != geteuid()) {
    failure = FolderOfAnother(folder.string());
  } else if ((info.st_mode & 077) != 0 && fchmod(fd, 0700) != 0) {
    failure = SystemFailure(errno, "created", memory);
  }
  close(fd);
  return failure;
}

}  // namespace quibbo
