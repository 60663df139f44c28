#include "engine/file/memory_file.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>

#include "engine/file/memory_checks.h"
#include "engine/file/sqlite_name.h"
#include "engine/text/unicase.h"

namespace quibbo {
namespace {

// How a connection reaches the file.
enum class Reach {
  kWrite,      // read and write; for reading, SQLite refuses changes
  kReadOnly,   // through another program's log, which it may not change
  kImmutable,  // the file alone, as it lies: no log, nothing created
};

// The name SQLite opens the file by; a URI for kImmutable.
std::string NameFor(const std::string& path, Reach reach) {
  if (reach != Reach::kImmutable) return path;
  std::string uri = "file:";
  for (unsigned char c : path) {
    if (c == '%' || c == '?' || c == '#' || c < 0x20 || c == 0x7f) {
      static constexpr char kHex[] = "0123456789abcdef";
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    } else {
      uri += static_cast<char>(c);
    }
  }
  return uri + "?immutable=1";
}

std::unique_ptr<sqlite::Connection> Connect(const std::string& path,
                                            Reach reach = Reach::kWrite) {
  // SQLite counts every allocation under a process-wide mutex, for figures
  // nothing here reads. It can be told so only before its first connection;
  // later, the call changes nothing.
  static const bool kConfigured =
      sqlite3_config(SQLITE_CONFIG_MEMSTATUS, 0) == SQLITE_OK;
  (void)kConfigured;
  const SqliteName name = SqliteNameOf(path);
  auto db = std::make_unique<sqlite::Connection>(
      NameFor(name.path, reach),
      (reach == Reach::kWrite ? SQLITE_OPEN_READWRITE
                              : SQLITE_OPEN_READONLY | SQLITE_OPEN_URI) |
          SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE,
      name.vfs);
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

// Whether this process may write `path`.
bool Writable(const std::string& path) {
  return faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0;
}

// How to reach the memory at `path` for `access`. A memory this user may not
// write, or whose folder they may not write, leaves nothing behind when it
// is read: with no log beside it, no program has it open, and the file alone
// holds everything; with one, the other program's log and index are read as
// they are.
Reach ReachFor(const std::string& path, MemoryFile::Access access) {
  std::string folder = std::filesystem::path(path).parent_path().string();
  const bool may_write =
      Writable(path) && Writable(folder.empty() ? "." : folder);
  if (access == MemoryFile::Access::kReadWrite) {
    // SQLite would report that it cannot open the log it must create.
    if (!may_write) throw ReadOnlyMemory(path);
    return Reach::kWrite;
  }
  if (may_write) return Reach::kWrite;
  return ::access((path + "-wal").c_str(), F_OK) == 0 ? Reach::kReadOnly
                                                      : Reach::kImmutable;
}

}  // namespace

MemoryFile::MemoryFile(std::string path, FileId id, Access access,
                       std::chrono::milliseconds timeout)
    : path_(std::move(path)),
      id_(id),
      access_(access),
      busy_wait_(path_, timeout) {}

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
  CheckBeforeOpening(path, info.st_mode);
  std::unique_ptr<MemoryFile> file(new MemoryFile(
      path, {info.st_dev, info.st_ino}, access, options.busy_timeout));
  const bool read_only = access == Access::kReadOnly;
  const Reach reach = ReachFor(path, access);
  file->Guard([&] {
    file->db_ = Connect(path, reach);
    sqlite3* handle = file->db_->handle();
    file->busy_wait_.Install(handle);
    // SQLite itself refuses every change through a connection for reading.
    // It is opened for writing where it may, so that, as the last program
    // to close the memory, it removes the log and its index as a writer
    // would.
    if (read_only) file->db_->Execute("PRAGMA query_only = 1;");
    if (!read_only && sqlite3_db_readonly(handle, "main")) {
      throw ReadOnlyMemory(path);
    }
    // Secure deletion zeroes what a deletion frees, whatever the default
    // SQLite was built with: forgotten words leave no trace in the file.
    std::string pragmas =
        "PRAGMA synchronous = NORMAL; PRAGMA secure_delete = ON; "
        "PRAGMA cache_size = -" +
        std::to_string(options.cache_kib) + ";";
    file->db_->Execute(pragmas.c_str());
    // A connection for reading never commits: nothing to copy or sync.
    if (!read_only) {
      file->worker_ = std::make_unique<Worker>(path, options.checkpoint_pages,
                                               options.durable);
      sqlite3_wal_hook(handle, &MemoryFile::Committed, file.get());
    }
  });
  return file;
}

void MemoryFile::Create(const std::string& path, const Fill& fill) {
  CheckBeforeCreating(path);
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
    // flush to disk; the file stays consistent after a crash. This
    // connection syncs every commit, and its close copies the log back.
    db->Execute("PRAGMA journal_mode = WAL; PRAGMA synchronous = FULL;");
    fill(*db);
  } catch (const sqlite::SqliteError& error) {
    RemoveCreated(path);
    throw SqliteFailure(error.code(), error.what(), path);
  }
  // The new name survives a power cut only once the folder is on the disk.
  if (const int error = SyncFolderOf(path); error != 0) {
    RemoveCreated(path);
    throw SystemFailure(error, "created", path);
  }
}

bool MemoryFile::CopyLog(int mode) {
  // With no transaction open here, the copy reaches the end of the log, and
  // the next transaction starts the log afresh; a truncating copy also
  // empties the file.
  return CopyToEnd(db_->handle(), mode);
}

bool MemoryFile::Idle() {
  if (!worker_) return true;
  if (worker_->Overdue()) FinishLogCopy();
  return worker_->Idle();
}

void MemoryFile::FinishLogCopy() {
  if (worker_) {
    worker_->CopyBeside([&] { return CopyLog(SQLITE_CHECKPOINT_PASSIVE); });
  }
}

std::optional<Error> MemoryFile::EmptyLog() {
  if (!worker_) return std::nullopt;
  bool empty = false;
  worker_->CopyBeside(
      [&] { return empty = CopyLog(SQLITE_CHECKPOINT_TRUNCATE); });
  if (!empty) return LogHeld(path_);
  return std::nullopt;
}

bool MemoryFile::StillAtPath() const { return FileIdOf(path_) == id_; }

int MemoryFile::Committed(void* self, sqlite3*, const char*, int pages) {
  static_cast<MemoryFile*>(self)->worker_->Committed(pages);
  return SQLITE_OK;
}

void MemoryFile::Durable() {
  if (!worker_) return;
  if (const int error = worker_->WaitUntilSynced(); error != 0) {
    throw SystemFailure(error, "written to the disk", path_);
  }
}

}  // namespace quibbo
