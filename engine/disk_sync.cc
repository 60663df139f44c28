#include "engine/disk_sync.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "engine/file_id.h"

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

LogSync::LogSync(std::string memory_path)
    : log_path_(std::move(memory_path) + "-wal") {}

LogSync::~LogSync() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
  if (log_fd_ >= 0) close(log_fd_);
}

void LogSync::Committed() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ++committed_;
    if (!thread_.joinable()) thread_ = std::thread(&LogSync::Run, this);
  }
  wake_.notify_one();
}

int LogSync::Wait() {
  std::unique_lock<std::mutex> lock(mutex_);
  const uint64_t wanted = committed_;
  synced_.wait(lock, [&] { return done_ >= wanted; });
  const int error = error_;
  error_ = 0;
  return error;
}

int LogSync::Log() {
  if (log_fd_ >= 0 && FileIdOf(log_path_) == FileIdOf(log_fd_)) return log_fd_;
  if (log_fd_ >= 0) close(log_fd_);
  log_fd_ = open(log_path_.c_str(), O_RDONLY | O_CLOEXEC);
  return log_fd_;
}

void LogSync::Run() {
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return committed_ > done_ || stopping_; });
    if (committed_ == done_ && stopping_) break;
    // One sync covers every commit reported before it starts.
    const uint64_t covered = committed_;
    lock.unlock();
    const int fd = Log();
    // Without a log there is nothing of this connection's left to sync: the
    // last connection copied it back and removed it.
    const int error = fd >= 0 && fdatasync(fd) != 0 ? errno : 0;
    lock.lock();
    done_ = covered;
    if (error != 0) error_ = error;
    synced_.notify_all();
  }
}

}  // namespace quibbo
