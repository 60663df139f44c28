#include "tests/reliability/small_disk.h"

#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <string>

namespace quibbo::testing {
namespace {

// Enters a mount namespace of this process's own, once.
bool PrivateMounts(std::string* why) {
  static int error = [] {
    if (unshare(CLONE_NEWNS) != 0) return errno;
    // Mounts made from here on must not reach the rest of the machine.
    if (mount("none", "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0) {
      return errno;
    }
    return 0;
  }();
  if (error != 0) {
    *why =
        std::string("cannot mount a disk of its own: ") + std::strerror(error);
  }
  return error == 0;
}

}  // namespace

SmallDisk::SmallDisk(size_t bytes) {
  std::string pattern =
      (std::filesystem::temp_directory_path() / "quibbo-disk-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) {
    why_ = "cannot create a mount point";
    return;
  }
  folder_ = pattern;
  if (!PrivateMounts(&why_)) return;
  std::string options = "size=" + std::to_string(bytes) + ",mode=0755";
  if (mount("tmpfs", folder_.c_str(), "tmpfs", 0, options.c_str()) != 0) {
    why_ =
        std::string("cannot mount a disk of its own: ") + std::strerror(errno);
    return;
  }
  mounted_ = true;
}

SmallDisk::~SmallDisk() {
  if (mounted_) umount2(folder_.c_str(), MNT_DETACH);
  if (!folder_.empty()) rmdir(folder_.c_str());
}

void SmallDisk::FillUp(size_t leave) {
  struct statvfs disk;
  if (statvfs(folder_.c_str(), &disk) != 0) return;
  size_t free = static_cast<size_t>(disk.f_bavail) * disk.f_frsize;
  if (free <= leave) return;
  int fd =
      open((folder_ + "/ballast").c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
  if (fd < 0) return;
  std::string block(4096, 'x');
  for (size_t left = free - leave; left > 0;) {
    ssize_t n = write(fd, block.data(), std::min(left, block.size()));
    if (n <= 0) break;
    left -= static_cast<size_t>(n);
  }
  close(fd);
}

void SmallDisk::MakeRoom() { unlink((folder_ + "/ballast").c_str()); }

}  // namespace quibbo::testing
