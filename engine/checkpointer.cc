#include "engine/checkpointer.h"

#include <sqlite3.h>

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

void Checkpointer::Run() {
  sqlite3* db = nullptr;
  // Never creates a file: a memory removed meanwhile is simply not copied.
  if (sqlite3_open_v2(path_.c_str(), &db,
                      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX,
                      nullptr) != SQLITE_OK) {
    sqlite3_close(db);
    db = nullptr;
  }
  std::unique_lock<std::mutex> lock(mutex_);
  while (true) {
    wake_.wait(lock, [this] { return requested_ || stopping_; });
    if (stopping_) break;
    requested_ = false;
    lock.unlock();
    // Best effort: what cannot be copied now is copied at the next request,
    // and the committing connection bounds the log itself meanwhile.
    if (db != nullptr) {
      sqlite3_wal_checkpoint_v2(db, "main", SQLITE_CHECKPOINT_PASSIVE, nullptr,
                                nullptr);
    }
    lock.lock();
  }
  lock.unlock();
  sqlite3_close(db);
}

}  // namespace quibbo
