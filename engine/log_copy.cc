#include "engine/log_copy.h"

#include <sqlite3.h>

#include "engine/wait_signal.h"

namespace quibbo {

LogCopy::LogCopy(sqlite3* db, const std::string& path, int checkpoint_pages)
    : db_(db),
      path_(path),
      checkpoint_pages_(checkpoint_pages),
      checkpointer_(std::make_unique<Checkpointer>(path)) {}

LogCopy::~LogCopy() = default;

void LogCopy::Committed(const char* name, int pages) {
  if (pages < log_pages_) checkpointer_->Restarted();
  log_pages_ = pages;
  if (LeftToLearner()) return;
  if (pages >= kLogBound * checkpoint_pages_) {
    // The background copy fell behind, or never finishes the log while
    // commits keep coming. Copying the rest here restarts the log.
    checkpointer_->Settle();
    sqlite3_wal_checkpoint_v2(db_, name, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                              nullptr);
  } else if (pages >= checkpoint_pages_) {
    // The background copies the bulk; the last few pages are left to Idle.
    Checkpointer::Progress progress = checkpointer_->progress();
    if (!progress.busy &&
        pages - progress.copied > checkpoint_pages_ / kFinishShare) {
      checkpointer_->Request();
    }
  }
}

bool LogCopy::LeftToLearner() const { return !leads_ && LearnerAtWork(path_); }

bool LogCopy::Idle() {
  if (log_pages_ < checkpoint_pages_ || LeftToLearner()) return true;
  // Lines that come back to back may never find the background copy at
  // rest. Past half the bound, the copy is finished here whatever it costs,
  // so that no commit has to.
  const bool overdue = log_pages_ >= kLogBound / 2 * checkpoint_pages_;
  if (overdue) checkpointer_->Settle();
  Checkpointer::Progress progress = checkpointer_->progress();
  if (progress.busy) return false;
  if (!overdue &&
      log_pages_ - progress.copied > checkpoint_pages_ / kFinishShare) {
    checkpointer_->Request();
    return false;
  }
  return Finish();
}

bool LogCopy::Finish() { return CopyAll(SQLITE_CHECKPOINT_PASSIVE); }

bool LogCopy::Empty() { return CopyAll(SQLITE_CHECKPOINT_TRUNCATE); }

bool LogCopy::CopyAll(int mode) {
  checkpointer_->Settle();
  // With no transaction open here, the copy reaches the end of the log, and
  // the next transaction starts the log afresh; a truncating copy also
  // empties the file.
  int log = 0;
  int copied = 0;
  if (sqlite3_wal_checkpoint_v2(db_, "main", mode, &log, &copied) !=
          SQLITE_OK ||
      copied < log || (mode == SQLITE_CHECKPOINT_TRUNCATE && log != 0)) {
    return false;
  }
  log_pages_ = 0;
  checkpointer_->Restarted();
  return true;
}

}  // namespace quibbo
