#include "engine/checkpointer.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <unistd.h>

namespace quibbo {

Checkpointer::Checkpointer(std::string path) : path_(std::move(path)) {}

Checkpointer::~Checkpointer() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_one();
  if (thread_.joinable()) thread_.join();
}

void Checkpointer::Request() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    requested_ = true;
    if (!thread_.joinable()) thread_ = std::thread(&Checkpointer::Run, this);
  }
  wake_.notify_one();
}

Checkpointer::Progress Checkpointer::progress() {
  std::lock_guard<std::mutex> lock(mutex_);
  return {.copied = copied_, .busy = requested_ || running_};
}

void Checkpointer::Settle() {
  std::unique_lock<std::mutex> lock(mutex_);
  requested_ = false;
  settled_.wait(lock, [this] { return !running_; });
}

void Checkpointer::Restarted() {
  std::lock_guard<std::mutex> lock(mutex_);
  copied_ = 0;
}

void Checkpointer::Run() {
  sqlite3* db = nullptr;
  // Never creates a file: a memory removed meanwhile is simply not copied.
  if (sqlite3_open_v2(path_.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    db = nullptr;
  } else if (sqlite3_exec(db, "PRAGMA schema_version;", nullptr, nullptr,
                          nullptr) != SQLITE_OK) {
    // A connection finds the log only once it has read something; until
    // then its checkpoints succeed without copying anything.
    sqlite3_close(db);
    db = nullptr;
  }
  int memory = db ? open(path_.c_str(), O_RDONLY | O_CLOEXEC) : -1;
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return requested_ || stopping_; });
    if (stopping_) break;
    requested_ = false;
    running_ = true;
    lock.unlock();
    // Best effort: what cannot be copied now is copied at the next request,
    // and the committing connection bounds the log itself meanwhile.
    int log = 0;
    int copied = 0;
    if (db != nullptr &&
        sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_PASSIVE, &log,
                                  &copied) != SQLITE_OK) {
      copied = 0;
    }
    // SQLite syncs the memory file only when a copy reaches the end of the
    // log as it stands when the copy ends, which it seldom does while a
    // conversation goes on. Syncing what each copy wrote leaves that last
    // sync, which LogCopy::Idle runs while a reply is read, little to do.
    if (copied > 0 && memory >= 0) {
      sync_file_range(memory, 0, 0, SYNC_FILE_RANGE_WRITE);
    }
    lock.lock();
    running_ = false;
    copied_ = copied;
    settled_.notify_all();
  }
  lock.unlock();
  if (memory >= 0) close(memory);
  sqlite3_close(db);
}

}  // namespace quibbo
