#include "engine/file/worker.h"

#include <fcntl.h>
#include <poll.h>
#include <sqlite3.h>
#include <sys/eventfd.h>
#include <sys/inotify.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <utility>

#include "engine/failure/failures.h"
#include "engine/file/sqlite_name.h"
#include "engine/file/wait_signal.h"
#include "quibbo/memory.h"

namespace quibbo {
namespace {

using Clock = std::chrono::steady_clock;

// The copying connection's busy handler: a writer between two commits lets
// go of its lock for a moment only, so it tries every millisecond.
int WaitForWriters(void*, int attempt) {
  if (attempt >= Worker::kCopyWait.count()) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

// Reads whatever is waiting on `fd`, so that poll() blocks again.
void Drain(int fd) {
  char buffer[4096];
  while (read(fd, buffer, sizeof buffer) > 0) {
  }
}

}  // namespace

Worker::Worker(std::string memory_path, int checkpoint_pages, bool durable)
    : path_(std::move(memory_path)),
      checkpoint_pages_(checkpoint_pages),
      durable_(durable),
      wake_fd_(eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  // Without it the worker would sleep through every commit, and the first
  // reply would wait for a sync for ever.
  if (wake_fd_ < 0) throw SystemFailure(errno, "opened", path_);
  thread_ = std::thread(&Worker::Run, this);
}

Worker::~Worker() {
  stopping_ = true;
  Wake();
  thread_.join();
  for (int fd : {wake_fd_, watch_fd_, log_fd_}) {
    if (fd >= 0) close(fd);
  }
  sqlite3_close(copier_);
}

void Worker::Committed(int log_pages) noexcept {
  committed_.fetch_add(1);
  if (log_pages != kUnknown) {
    if (log_pages < log_pages_.exchange(log_pages)) restarts_.fetch_add(1);
    // Commits back to back leave a copy no moment to reach the log's end
    // before the next one begins, so the log starts afresh only between
    // them: meanwhile a copy is due for each checkpoint_pages it grows, not
    // at every commit, whose sync would wait behind it.
    const int since = asked_restart_ == restarts_ ? asked_through_.load() : 0;
    if (log_pages - since >= checkpoint_pages_) {
      asked_through_ = log_pages;
      asked_restart_ = restarts_.load();
      copy_wanted_ = true;
    }
  }
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(wake_fd_, &one, sizeof one);
}

void Worker::Wake() noexcept {
  chore_wanted_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(wake_fd_, &one, sizeof one);
}

int Worker::WaitUntilSynced() {
  if (!durable_) return 0;
  const uint64_t wanted = committed_.load();
  std::unique_lock<std::mutex> lock(mutex_);
  synced_cv_.wait(lock, [&] { return synced_ >= wanted; });
  return std::exchange(sync_error_, 0);
}

void Worker::SetChore(std::function<bool()> chore) {
  chore_ = std::move(chore);
}

bool Worker::LeftToLearner() const { return !leads_ && LearnerAtWork(path_); }

bool Worker::Overdue() const {
  const int pages = log_pages_;
  return pages >= kLogBound / 2 * checkpoint_pages_ &&
         !(copied_restart_ == restarts_ && copied_through_ >= pages) &&
         !LeftToLearner();
}

bool Worker::Idle() {
  const int pages = log_pages_;
  if (pages < checkpoint_pages_ || LeftToLearner()) return true;
  if (copied_restart_ == restarts_ && copied_through_ >= pages) return true;
  copy_wanted_ = true;
  const uint64_t one = 1;
  [[maybe_unused]] ssize_t written = write(wake_fd_, &one, sizeof one);
  return false;
}

void Worker::CopyBeside(const std::function<bool()>& copy) {
  std::lock_guard<std::mutex> lock(copy_mutex_);
  const uint64_t restart = restarts_;
  const int pages = log_pages_;
  if (copy() && restarts_ == restart) {
    copied_through_ = pages;
    copied_restart_ = restart;
  }
}

void Worker::Sleep(std::chrono::milliseconds timeout) {
  pollfd fds[] = {{wake_fd_, POLLIN, 0}, {watch_fd_, POLLIN, 0}};
  const int count = watch_fd_ >= 0 ? 2 : 1;
  if (poll(fds, count, static_cast<int>(timeout.count())) <= 0) return;
  if (fds[0].revents != 0) Drain(wake_fd_);
  if (count == 2 && fds[1].revents != 0) {
    // A learner ended a batch, or stopped: the memory is free for a moment.
    Drain(watch_fd_);
    chore_wanted_ = true;
  }
}

void Worker::WatchLearner() {
  if (watch_fd_ < 0) watch_fd_ = inotify_init1(IN_CLOEXEC | IN_NONBLOCK);
  // Without a learner there is no file to watch; the retry covers that.
  if (watch_fd_ >= 0) {
    inotify_add_watch(
        watch_fd_, WaitSignalPath(path_).c_str(),
        IN_ATTRIB | IN_MODIFY | IN_DELETE_SELF | IN_MOVE_SELF | IN_DONT_FOLLOW);
  }
}

int Worker::SyncLog() {
  const std::string log = path_ + "-wal";
  if (log_fd_ >= 0 && FileIdOf(log) != log_id_) {
    close(log_fd_);
    log_fd_ = -1;
  }
  // The log exists while this program has the memory open: no log is a
  // failure, never a sync.
  if (log_fd_ < 0) {
    log_fd_ = open(log.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (log_fd_ < 0) return errno;
    log_id_ = FileIdOf(log_fd_);
  }
  return fdatasync(log_fd_) == 0 ? 0 : errno;
}

bool CopyToEnd(sqlite3* db, int mode) {
  int log = 0;
  int copied = 0;
  return sqlite3_wal_checkpoint_v2(db, "main", mode, &log, &copied) ==
             SQLITE_OK &&
         copied >= log && (mode != SQLITE_CHECKPOINT_TRUNCATE || log == 0);
}

bool Worker::OpenCopier() {
  if (copier_ != nullptr) return true;
  // Never creates a file: a memory removed meanwhile is simply not copied.
  // A connection finds the log only once it has read something.
  const SqliteName name = SqliteNameOf(path_);
  if (sqlite3_open_v2(name.path.c_str(), &copier_,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                      name.vfs) != SQLITE_OK ||
      sqlite3_exec(copier_, "PRAGMA schema_version;", nullptr, nullptr,
                   nullptr) != SQLITE_OK) {
    sqlite3_close(copier_);
    copier_ = nullptr;
    return false;
  }
  sqlite3_busy_handler(copier_, WaitForWriters, nullptr);
  return true;
}

void Worker::CopyLog() {
  if (LeftToLearner()) return;
  const int mode = log_pages_ >= kLogBound * checkpoint_pages_
                       ? SQLITE_CHECKPOINT_FULL
                       : SQLITE_CHECKPOINT_PASSIVE;
  // Best effort: what cannot be copied now is copied at the next request.
  CopyBeside([&] { return OpenCopier() && CopyToEnd(copier_, mode); });
}

void Worker::Run() {
  // Whether the chore has more to do, and when to try it again.
  bool more = false;
  Clock::time_point retry_at;
  uint64_t synced = 0;
  while (true) {
    const bool due =
        committed_ > synced || chore_wanted_ || copy_wanted_ || stopping_;
    if (!due) {
      auto timeout = std::chrono::milliseconds(-1);
      if (more) {
        timeout =
            std::max(std::chrono::milliseconds(0),
                     std::chrono::duration_cast<std::chrono::milliseconds>(
                         retry_at - Clock::now()));
      }
      Sleep(timeout);
      if (more && Clock::now() >= retry_at) chore_wanted_ = true;
    }
    // 1. Replies wait for this.
    if (const uint64_t covered = committed_; covered > synced) {
      const int error = durable_ ? SyncLog() : 0;
      synced = covered;
      std::lock_guard<std::mutex> lock(mutex_);
      synced_ = covered;
      if (error != 0) sync_error_ = error;
      synced_cv_.notify_all();
    }
    if (stopping_) break;
    // 2. Its commit is synced in the next round.
    // The signal first: SetChore() comes before the Wake() that sets it.
    if (chore_wanted_.exchange(false) && chore_) {
      try {
        more = chore_();
      } catch (...) {
        more = true;  // the owner reports what its chore left undone
      }
      if (more) {
        retry_at = Clock::now() + kChoreRetry;
        WatchLearner();
      }
      continue;
    }
    // 3.
    if (copy_wanted_.exchange(false)) CopyLog();
  }
}

}  // namespace quibbo
