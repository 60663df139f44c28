// Opening, checking and creating the memory file.
//
// A MemoryFile is one SQLite connection to a file that has been checked to be
// a Quibbo memory: a regular file, an SQLite database, and a table `word`
// with the columns the engine reads. Opening never creates anything, and
// every failure is an Error that names the path. Every connection registers
// the `unicase` collation and refuses double-quoted string literals, so no
// word can ever be read as SQL. It runs no triggers but TEMP ones: those in
// the schema keep word_count exact for other programs, while the store
// keeps it for its own writes.
//
// A memory locked by another program is waited for up to the busy timeout,
// then reported; nothing ever waits without bound.
#ifndef QUIBBO_ENGINE_MEMORY_FILE_H_
#define QUIBBO_ENGINE_MEMORY_FILE_H_

#include <chrono>
#include <memory>
#include <string>

#include "engine/checkpointer.h"
#include "engine/error.h"
#include "engine/file_id.h"
#include "engine/sqlite.h"

namespace quibbo {

struct StoreOptions {
  // How long to wait for another program that holds the memory.
  std::chrono::milliseconds busy_timeout{3000};
  // Page cache size; small keeps the chat's footprint low.
  int cache_kib = 8192;
  // Pages the write-ahead log may grow to before it is copied into the
  // memory file. Bulk learning rewrites the same index pages in every
  // batch, and copies each of them once per checkpoint.
  int checkpoint_pages = 1000;
  // Whether the copy runs on a thread of its own (see Checkpointer) rather
  // than inside the commit that crosses checkpoint_pages. Either way the log
  // never grows past kLogBound times checkpoint_pages for long.
  bool checkpoint_in_background = true;
};

// How far past checkpoint_pages the log may grow while the background copy
// lags (a reader holding old pages, say) before a commit copies it itself.
inline constexpr int kLogBound = 8;

// At most this share of checkpoint_pages is left for FinishCheckpoint to
// copy while the user reads a reply; the background copies the rest.
inline constexpr int kFinishShare = 8;

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

  // False once `path` no longer names the file that was opened (deleted,
  // replaced), so callers reopen instead of writing into a vanished file.
  bool StillAtPath() const;

  // Whether the memory keeps the count of every word in table word_count
  // (a memory of an earlier version opened read-only does not).
  bool counted() const { return counted_; }

  // The connection, for the engine's own statements.
  sqlite::Connection& connection() { return *db_; }

  // Copies what is left of the write-ahead log into the file once the log
  // has grown to checkpoint_pages, so that the next commit starts the log
  // afresh instead of making it longer. The background copy has done most
  // of the work by then, so this costs only the pages it has not reached.
  // Call it between transactions, while nobody waits for a reply. Returns
  // whether nothing is left to do. Best effort, never throws: a copy under
  // way in the background, or a failure, leaves it for next time, and the
  // log stays bounded anyway.
  bool FinishCheckpoint();

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
  MemoryFile(std::string path, FileId id);
  static int WaitWhileBusy(void* self, int attempt);
  static int LogWritten(void* self, sqlite3* db, const char* name, int pages);

  std::string path_;
  FileId id_;
  std::unique_ptr<sqlite::Connection> db_;
  std::chrono::milliseconds busy_timeout_{0};
  std::chrono::steady_clock::time_point busy_since_;
  bool counted_ = false;
  int checkpoint_pages_ = 0;
  int log_pages_ = 0;  // as the last commit left it
  // Declared after the connection, so it stops before the connection closes.
  std::unique_ptr<Checkpointer> checkpointer_;
};

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_MEMORY_FILE_H_
