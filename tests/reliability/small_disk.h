// Reliability test support: a real disk that fills up. A small memory-backed
// file system is mounted in a mount namespace private to this process and
// the programs it starts, so that writes fail with "no space left" exactly as
// on a full disk, and nothing outside the test sees the mount.
#ifndef QUIBBO_TESTS_RELIABILITY_SMALL_DISK_H_
#define QUIBBO_TESTS_RELIABILITY_SMALL_DISK_H_

#include <cstddef>
#include <string>

namespace quibbo::testing {

class SmallDisk {
 public:
  // Mounts a disk of `bytes`; see available() for whether that was allowed.
  explicit SmallDisk(size_t bytes);
  ~SmallDisk();
  SmallDisk(const SmallDisk&) = delete;
  SmallDisk& operator=(const SmallDisk&) = delete;

  bool available() const { return mounted_; }
  // Why the disk is not available.
  const std::string& why() const { return why_; }
  const std::string& folder() const { return folder_; }

  // Takes up the free room but `leave` bytes with a file of ballast.
  void FillUp(size_t leave);
  // Removes the ballast again.
  void MakeRoom();

 private:
  std::string folder_;
  std::string why_;
  bool mounted_ = false;
};

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_RELIABILITY_SMALL_DISK_H_
