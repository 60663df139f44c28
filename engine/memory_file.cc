#include "engine/memory_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <thread>

#include "engine/schema.h"
#include "engine/unicase.h"
#include "engine/wait_signal.h"

namespace quibbo {
namespace {

std::unique_ptr<sqlite::Connection> Connect(const std::string& path) {
  // SQLite counts every allocation under a process-wide mutex, for figures
  // nothing here reads. It can be told so only before its first connection;
  // later, the call changes nothing.
  static const bool kConfigured =
      sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)kConfigured;
  auto db = std::make_unique<sqlite::Connection>(
      path,
      SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE);
  sqlite3* handle = db->handle();
  // Double-quoted strings are identifiers only, never string literals.
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  // The schema's triggers keep word_count exact for other programs. The
  // store keeps the counts of its own rows, in batches: a trigger per row
  // would slow learning by a quarter, and emptying the memory would read
  // every row. TEMP triggers still run.
  sqlite3_db_config(handle, SQLITE_DBCONFIG_ENABLE_TRIGGER, 0, nullptr);
  int rc = sqlite3_create_collation(handle, kUnicaseCollation, SQLITE_UTF8,
                                    nullptr, CollateUnicase);
  if (rc != SQLITE_OK) db->Fail(rc);
  return db;
}

// SQLite gives the -wal and -shm files it creates the memory's own mode. A
// program that opened the memory while it was read-only leaves them behind
// read-only, and they would keep the memory read-only after the file is
// writable again; they get the file's mode back then.
void RestoreCompanionModes(const std::string& path, mode_t mode) {
  if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) != 0) return;
  for (const char* suffix : {"-wal", "-shm"}) {
    std::string companion = path + suffix;
    if (faccessat(AT_FDCWD, companion.c_str(), W_OK, AT_EACCESS) != 0 &&
        errno == EACCES) {
      chmod(companion.c_str(), mode & 0777);
    }
  }
}

}  // namespace

MemoryFile::MemoryFile(std::string path, FileId id)
    : path_(std::move(path)), id_(id) {}

MemoryFile::~MemoryFile() = default;

std::unique_ptr<MemoryFile> MemoryFile::Open(const std::string& path,
                                             Access access,
                                             const StoreOptions& options) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) throw MissingMemory(path);
    throw SystemFailure(errno, "reached", path);
  }
  if (S_ISDIR(info.st_mode)) throw FolderNotMemory(path);
  if (!S_ISREG(info.st_mode)) throw NotAFile(path);
  RestoreCompanionModes(path, info.st_mode);
  std::unique_ptr<MemoryFile> file(
      new MemoryFile(path, {info.st_dev, info.st_ino}));
  file->Guard([&] {
    file->db_ = Connect(path);
    sqlite3* handle = file->db_->handle();
    file->busy_timeout_ = options.busy_timeout;
    sqlite3_busy_handler(handle, &MemoryFile::WaitWhileBusy, file.get());
    schema::Check(*file->db_, path);
    if (access == Access::kReadWrite && sqlite3_db_readonly(handle, "main")) {
      throw ReadOnlyMemory(path);
    }
    std::string pragmas = "PRAGMA synchronous = NORMAL; PRAGMA cache_size = -" +
                          std::to_string(options.cache_kib) + ";";
    file->db_->Execute(pragmas.c_str());
    if (options.checkpoint_in_background) {
      // The hook takes the place of SQLite's own automatic checkpoint.
      file->checkpoint_pages_ = options.checkpoint_pages;
      file->checkpointer_ = std::make_unique<Checkpointer>(path);
      sqlite3_wal_hook(handle, &MemoryFile::LogWritten, file.get());
    } else {
      sqlite3_wal_autocheckpoint(handle, options.checkpoint_pages);
    }
    if (access == Access::kReadWrite) schema::Upgrade(*file->db_);
    file->counted_ = schema::Version(*file->db_) >= schema::kCountedVersion;
  });
  return file;
}

void MemoryFile::Create(const std::string& path) {
  // O_EXCL makes the check and the creation one step: an existing memory is
  // never touched. What a person said is for their eyes only.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
  if (fd < 0) {
    if (errno == EEXIST) throw AlreadyExists(path);
    throw SystemFailure(errno, "created", path);
  }
  close(fd);
  try {
    auto db = Connect(path);
    // WAL lets a reader and a writer work at once, and a commit costs no
    // flush to disk; the file stays consistent after a crash.
    db->Execute("PRAGMA journal_mode = WAL;");
    schema::Create(*db);
  } catch (const sqlite::SqliteError& error) {
    unlink(path.c_str());
    throw SqliteFailure(error.code(), error.what(), path);
  }
}

int MemoryFile::WaitWhileBusy(void* self, int attempt) {
  // SQLite's own busy timeout sleeps up to 100 ms between tries, and a
  // program that writes batch after batch may hold the lock at every one of
  // them. Trying every millisecond catches the gaps between its batches.
  MemoryFile& file = *static_cast<MemoryFile*>(self);
  auto now = std::chrono::steady_clock::now();
  if (attempt == 0) file.busy_since_ = now;
  if (now - file.busy_since_ >= file.busy_timeout_) return 0;
  // A bulk learner makes way when asked. Asking again now and then covers a
  // request answered just before this program's turn came and went.
  if (attempt % 16 == 0) AskToMakeWay(file.path_);
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
}

int MemoryFile::LogWritten(void* self, sqlite3* db, const char* name,
                           int pages) {
  MemoryFile& file = *static_cast<MemoryFile*>(self);
  if (pages < file.log_pages_) file.checkpointer_->Restarted();
  file.log_pages_ = pages;
  if (pages >= kLogBound * file.checkpoint_pages_) {
    // The background copy fell behind, or never finishes the log while
    // commits keep coming. Copying the rest here restarts the log.
    file.checkpointer_->Settle();
    sqlite3_wal_checkpoint_v2(db, name, SQLITE_CHECKPOINT_PASSIVE, nullptr,
                              nullptr);
  } else if (pages >= file.checkpoint_pages_) {
    // The background copies the bulk. The last few pages are left to
    // FinishCheckpoint, which can copy them while no transaction is open.
    Checkpointer::Progress progress = file.checkpointer_->progress();
    if (!progress.busy &&
        pages - progress.copied > file.checkpoint_pages_ / kFinishShare) {
      file.checkpointer_->Request();
    }
  }
  return SQLITE_OK;
}

bool MemoryFile::StillAtPath() const { return FileIdOf(path_) == id_; }

bool MemoryFile::FinishCheckpoint() {
  if (checkpoint_pages_ == 0 || log_pages_ < checkpoint_pages_) return true;
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
  // With no transaction open here, the copy reaches the end of the log, and
  // the next transaction starts the log afresh.
  int log = 0;
  int copied = 0;
  if (sqlite3_wal_checkpoint_v2(db_->handle(), "main",
                                SQLITE_CHECKPOINT_PASSIVE, &log,
                                &copied) != SQLITE_OK ||
      copied < log) {
    return false;
  }
  log_pages_ = 0;
  checkpointer_->Restarted();
  return true;
}

}  // namespace quibbo
