// Opening, checking and creating the memory file.
//
// A MemoryFile is one SQLite connection to a file that has been checked to be
// a regular file, reached through no planted link; the Store checks that it
// holds Quibbo's tables (schema.h). Opening never creates anything, and
// every failure is an Error that names the path. SQLite itself refuses any
// change through a memory opened for reading (PRAGMA query_only). Every
// connection registers the `unicase` collation and refuses double-quoted
// string literals, so no word can ever be read as SQL. It runs no triggers
// but TEMP ones: those in the schema keep word_count exact for other
// programs, while the store keeps it for its own writes.
//
// A memory locked by another program is waited for up to the busy timeout
// (BusyWait), then reported. A memory opened for writing has a Worker, the
// thread that syncs its log and copies it back (worker.h).
#ifndef QUIBBO_ENGINE_FILE_MEMORY_FILE_H_
#define QUIBBO_ENGINE_FILE_MEMORY_FILE_H_

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "engine/failure/failures.h"
#include "engine/file/disk_sync.h"
#include "engine/file/sqlite.h"
#include "engine/file/wait_signal.h"
#include "engine/file/worker.h"
#include "quibbo/memory.h"

namespace quibbo {

class MemoryFile {
 public:
  enum class Access { kReadWrite, kReadOnly };

  // Opens the memory at `path`; its tables are the Store's to check (and
  // bring up to date) before anything reads them. kReadWrite fails with
  // kReadOnly if the file cannot be written.
  static std::unique_ptr<MemoryFile> Open(const std::string& path,
                                          Access access,
                                          const StoreOptions& options = {});

  // Creates a memory at `path`, readable by its owner alone, in
  // write-ahead-log mode, and lets `fill` make its tables. Refuses with
  // kExists when anything exists there, and leaves nothing behind when it
  // fails.
  using Fill = std::function<void(sqlite::Connection& db)>;
  static void Create(const std::string& path, const Fill& fill);

  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& path() const { return path_; }
  Access access() const { return access_; }

  // False once `path` no longer names the file that was opened (deleted,
  // replaced), so callers reopen instead of writing into a vanished file.
  bool StillAtPath() const;

  // The connection, for the engine's own statements.
  sqlite::Connection& connection() { return *db_; }

  // The memory's worker (worker.h); only a memory opened for writing has
  // one.
  Worker* worker() { return worker_.get(); }

  // The program is idle: nobody waits for it now. Asks for a copy of the
  // log back when one is due (Worker::Idle), or makes it here when it is
  // overdue, and returns whether nothing is left to do. Call it between
  // transactions. Never throws.
  bool Idle();
  // This program is a bulk learner: it copies the log back for every
  // program on the memory while it runs (Worker::Lead).
  void LeadLogCopy() {
    if (worker_) worker_->Lead();
  }
  // Copies the whole log back now, as far as readers let it. Call it
  // between transactions. Never throws.
  void FinishLogCopy();

  // Returns once everything committed through this connection is on the
  // disk. The syncs start at each commit, so this waits only for what is
  // left. Throws Error when a sync failed.
  void Durable();
  // Leaves no trace of what was deleted in any file of the memory: the
  // freed space is zeroed as rows are deleted (secure deletion), and this
  // empties the log, whose earlier frames still hold the rows. Waits for
  // other programs up to the busy timeout; returns the failure (kBusy) when
  // one holds on to the log longer: what was deleted stays deleted. Call it
  // after the commit of a deletion.
  [[nodiscard]] std::optional<Error> EmptyLog();
  // Tells that a commit was written without a statement, by SQLite's backup
  // API, which SQLite's log hook does not see.
  void CommittedOutsideStatements() {
    if (worker_) worker_->Committed(Worker::kUnknown);
  }

  // Runs `body` with no wait for another program's lock: a lock held
  // elsewhere fails at once with kBusy.
  template <typename Body>
  auto WithoutWaiting(Body&& body) -> decltype(body()) {
    BusyWait::Suspended suspended(busy_wait_);
    return body();
  }

  // Runs `body`, turning SQLite's failures into an Error naming the file.
  template <typename Body>
  auto Guard(Body&& body) -> decltype(body()) {
    try {
      return body();
    } catch (const sqlite::SqliteError& error) {
      throw SqliteFailure(error.code(), error.what(), path_);
    }
  }

 private:
  MemoryFile(std::string path, FileId id, Access access,
             std::chrono::milliseconds timeout);
  // SQLite's log hook: a commit left the log `pages` long. Only counts.
  static int Committed(void* self, sqlite3* db, const char* name, int pages);
  // Copies the log back on this connection in checkpoint `mode`; whether it
  // reached the log's end (and, truncating, emptied it).
  bool CopyLog(int mode);

  std::string path_;
  FileId id_;
  Access access_;
  BusyWait busy_wait_;  // outlives the connection it serves
  std::unique_ptr<sqlite::Connection> db_;
  // Declared after the connection, so it stops before the connection
  // closes, and the connection is the last to let go of the memory.
  std::unique_ptr<Worker> worker_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_MEMORY_FILE_H_
