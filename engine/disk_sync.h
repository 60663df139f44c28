// Getting what Quibbo wrote onto the disk, so that a power cut cannot take
// what it already reported.
//
// SQLite syncs the write-ahead log only when it copies the log back into the
// memory file (synchronous = NORMAL), so a commit alone survives a crash of
// the program but not a power cut. LogSync syncs the log after commits on a
// thread of its own: a conversation composes its reply meanwhile and waits
// only for what is left before it shows it. A file put in place by a rename
// survives only once its folder is synced too (SyncFolderOf).
#ifndef QUIBBO_ENGINE_DISK_SYNC_H_
#define QUIBBO_ENGINE_DISK_SYNC_H_

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

namespace quibbo {

// Flushes the folder that holds `path` to the disk, so that a name made,
// renamed or removed there stays as it is. Returns 0, or the errno of the
// failure.
int SyncFolderOf(const std::string& path);

class LogSync {
 public:
  // Syncs the write-ahead log of the memory at `memory_path`.
  explicit LogSync(std::string memory_path);
  // Lets a running sync finish, then stops.
  ~LogSync();
  LogSync(const LogSync&) = delete;
  LogSync& operator=(const LogSync&) = delete;

  // A commit was written to the log: starts syncing it soon, without
  // waiting for it.
  void Committed();

  // Returns once every commit reported before this call is on the disk:
  // 0, or the errno of a failed sync, which counts as such once.
  int Wait();

 private:
  void Run();
  // The log open for syncing, opened anew should it have been replaced;
  // -1 when there is none.
  int Log();

  std::string log_path_;
  int log_fd_ = -1;
  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable synced_;
  uint64_t committed_ = 0;  // commits reported
  uint64_t done_ = 0;       // commits known to be on the disk
  int error_ = 0;
  bool stopping_ = false;
  std::thread thread_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_DISK_SYNC_H_
