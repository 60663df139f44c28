// Opening, checking and creating the memory file.
//
// A MemoryFile is one SQLite connection to a file that has been checked to be
// a Quibbo memory: a regular file, an SQLite database, and a table `word`
// with the columns the engine reads. Opening never creates anything, and
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
#ifndef QUIBBO_ENGINE_MEMORY_FILE_H_
#define QUIBBO_ENGINE_MEMORY_FILE_H_

#include <chrono>
#include <memory>
#include <string>

#include "engine/disk_sync.h"
#include "engine/error.h"
#include "engine/file_id.h"
#include "engine/sqlite.h"
#include "engine/wait_signal.h"
#include "engine/worker.h"

namespace quibbo {

// The files SQLite and Quibbo keep beside a memory while programs use it:
// its log, the log's index, the learner's signal (wait_signal.h) and a
// rollback journal.
inline constexpr const char* kMemoryCompanions[] = {"-wal", "-shm", "-wait",
                                                    "-journal"};

struct StoreOptions {
  // How long to wait for another program that holds the memory.
  std::chrono::milliseconds busy_timeout{3000};
  // Page cache size; small keeps the chat's footprint low.
  int cache_kib = 8192;
  // Pages the write-ahead log may grow to before it is copied into the
  // memory file. Bulk learning rewrites the same index pages in every
  // batch, and copies each of them once per checkpoint.
  int checkpoint_pages = 1000;
  // Whether every commit is synced to the disk (Worker) before the program
  // reports it, see Durable(). Off only to measure what that costs.
  bool durable = true;
};

class MemoryFile {
 public:
  enum class Access { kReadWrite, kReadOnly };

  // Opens the memory at `path` and brings its schema up to date when it may
  // write. kReadWrite fails with kReadOnly if the file cannot be written.
  static std::unique_ptr<MemoryFile> Open(const std::string& path,
                                          Access access,
                                          const StoreOptions& options = {});

  // Creates an empty memory at `path`, readable by its owner alone. Refuses
  // with kExists when anything exists there, and leaves nothing behind when
  // it fails.
  static void Create(const std::string& path);

  ~MemoryFile();
  MemoryFile(const MemoryFile&) = delete;
  MemoryFile& operator=(const MemoryFile&) = delete;

  const std::string& path() const { return path_; }
  Access access() const { return access_; }

  // False once `path` no longer names the file that was opened (deleted,
  // replaced), so callers reopen instead of writing into a vanished file.
  bool StillAtPath() const;

  // Whether the memory keeps the count of every word in table word_count:
  // always when opened for writing, which brings it up to date; a memory of
  // an earlier version opened for reading does not.
  bool counted() const { return counted_; }
  // Whether the memory marks edits by hand (see schema.h); likewise always
  // when opened for writing.
  bool marks_edits() const { return marks_edits_; }

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
  // other programs up to the busy timeout; throws Error (kBusy) when one
  // holds on to the log longer. Call it after the commit of a deletion.
  void EmptyLog();
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
  bool counted_ = false;
  bool marks_edits_ = false;
  // Declared after the connection, so it stops before the connection
  // closes, and the connection is the last to let go of the memory.
  std::unique_ptr<Worker> worker_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_MEMORY_FILE_H_
