// The one background thread of a memory opened for writing: it does the
// memory's housekeeping in order, so that no reply waits for it.
//
// Each round it does, in this order:
//  1. Sync. Every commit appends to the write-ahead log, which SQLite syncs
//     only when it copies the log back (synchronous = NORMAL); the worker
//     syncs the log after each commit, while the program composes its
//     reply, and the program waits only for what is left (WaitUntilSynced)
//     before it reports the commit.
//  2. The owner's chore, if it has one: an Engine stores the lines it
//     answered beside a bulk learner (store.h, "pending"). The chore runs
//     when the owner asks (Wake), when a learner on the memory ends a batch
//     or stops (it touches its wait signal, wait_signal.h), and every
//     kChoreRetry while it has more to do.
//  3. Log copy. SQLite would copy the log back inside whichever commit
//     crosses its threshold, and that one reply would pay for all of them.
//     Instead, each time the log grows by `checkpoint_pages`, the worker
//     copies it on a connection of its own, beside readers and writers, and
//     never waiting for a lock (a passive checkpoint). The log starts afresh at
//     the first commit after a copy reached its end. Commits that come back
//     to back may never leave a passive copy the time to reach it: past
//     kLogBound times `checkpoint_pages` the copy takes the writers' lock
//     between two commits (a full checkpoint), so the log stays bounded.
//     While a bulk learner works on the memory it alone copies the log
//     (Lead), as its batches let it; others leave it to it.
//
// SQLite's log hook reports commits through Committed(), which only counts
// and signals: it takes no lock, starts nothing and cannot throw. The
// threads, what each owns and the order of the locks are in
// doc/design.md, "Threads".
#ifndef QUIBBO_ENGINE_FILE_WORKER_H_
#define QUIBBO_ENGINE_FILE_WORKER_H_

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "quibbo/memory.h"

struct sqlite3;

namespace quibbo {

// Copies the log of the memory `db` is connected to back into it, a
// checkpoint in `mode` (SQLITE_CHECKPOINT_...); whether it copied the whole
// log, and, for a truncating copy, emptied it.
bool CopyToEnd(sqlite3* db, int mode);

class Worker {
 public:
  // How often a chore with more to do is tried again without a signal: a
  // learner killed mid-batch, or another program's lock, sends none.
  static constexpr std::chrono::milliseconds kChoreRetry{250};
  // How far past checkpoint_pages the log may grow before a copy waits for
  // the writers, and how long it waits for them at most.
  static constexpr int kLogBound = 8;
  static constexpr std::chrono::milliseconds kCopyWait{2000};

  // Works for the memory at `memory_path`; syncs the log only if `durable`.
  Worker(std::string memory_path, int checkpoint_pages, bool durable);
  // Finishes the sync due, then stops. The chore is not run again.
  ~Worker();
  Worker(const Worker&) = delete;
  Worker& operator=(const Worker&) = delete;

  // A commit left the log `log_pages` long (SQLite's log hook), or, with
  // kUnknown, was written outside SQLite's statements (the backup API).
  // Never blocks or throws.
  static constexpr int kUnknown = -1;
  void Committed(int log_pages) noexcept;

  // Returns once every commit reported before the call is on the disk: 0,
  // or the errno of a sync that failed since the last call.
  int WaitUntilSynced();

  // The owner's work, run on this thread as said above. `chore` returns
  // whether it has more to do; it must not wait long for anything, as the
  // worker syncs nothing meanwhile. Set it once, before Wake().
  void SetChore(std::function<bool()> chore);
  void Wake() noexcept;

  // This program learns in bulk: it copies the log for every program on the
  // memory while it runs.
  void Lead() { leads_ = true; }

  // The program is idle: asks for a copy of the log when one is due.
  // Returns whether nothing is left to copy.
  bool Idle();
  // Whether the log has grown past half its bound uncopied: an idle moment
  // then copies it itself (MemoryFile::Idle), whatever that costs, rather
  // than wait for the worker.
  bool Overdue() const;

  // Runs `copy` (a checkpoint of the owner's connection) while no copy of
  // the worker's runs; when it says it copied the whole log, the worker
  // counts the log as copied.
  void CopyBeside(const std::function<bool()>& copy);

 private:
  void Run();
  // Waits for a signal, or for `timeout` (none when negative).
  void Sleep(std::chrono::milliseconds timeout);
  // Syncs the log; 0 or errno.
  int SyncLog();
  // Copies the log back on the worker's own connection, when due.
  void CopyLog();
  // Opens that connection if need be; false when it cannot be opened.
  bool OpenCopier();
  // Whether a learner other than this program copies the log.
  bool LeftToLearner() const;
  void WatchLearner();

  const std::string path_;
  const int checkpoint_pages_;
  const bool durable_;
  std::atomic<bool> leads_ = false;
  int wake_fd_ = -1;   // an eventfd: Committed(), Wake(), the destructor
  int watch_fd_ = -1;  // inotify on the learner's wait signal, when needed
  int log_fd_ = -1;    // the log, kept open for syncing
  std::optional<FileId> log_id_;  // what log_fd_ is, looked at once
  sqlite3* copier_ = nullptr;     // the worker's own connection, for copies

  // Written by the log hook: commits reported, the log's length after the
  // last, and how often it started afresh.
  std::atomic<uint64_t> committed_ = 0;
  std::atomic<int> log_pages_ = 0;
  std::atomic<uint64_t> restarts_ = 0;
  std::atomic<bool> chore_wanted_ = false;
  std::atomic<bool> copy_wanted_ = false;
  std::atomic<bool> stopping_ = false;
  // The log's length when a copy last reached its end, and the restart it
  // belonged to; a copy that ends after a restart does not count.
  std::atomic<int> copied_through_ = 0;
  std::atomic<uint64_t> copied_restart_ = 0;
  // Likewise when a copy was last asked for, whether it reached the end or
  // not: the next is due checkpoint_pages later.
  std::atomic<int> asked_through_ = 0;
  std::atomic<uint64_t> asked_restart_ = 0;

  std::function<bool()> chore_;
  std::mutex copy_mutex_;  // one copy of the log at a time

  std::mutex mutex_;  // guards what follows; taken after every other lock
  std::condition_variable synced_cv_;
  uint64_t synced_ = 0;  // commits known to be on the disk
  int sync_error_ = 0;

  std::thread thread_;  // last: starts once the rest is ready
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_WORKER_H_
