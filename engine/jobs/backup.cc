#include <sqlite3.h>

#include <cstring>
#include <memory>

#include "engine/failure/failures.h"
#include "engine/file/memory_file.h"
#include "engine/file/output_file.h"
#include "engine/file/wait_signal.h"
#include "engine/rows/schema.h"
#include "engine/rows/store.h"
#include "quibbo/memory.h"

namespace quibbo {
namespace {

using Access = MemoryFile::Access;

int64_t Query(MemoryFile& file, const char* sql) {
  return file.Guard([&] { return file.connection().QueryInt(sql); });
}

struct CopyResult {
  int code = SQLITE_OK;
  std::string message;
};

// Pages copied between two looks at `stop`.
constexpr int kPagesPerStep = 4096;

// Copies every page of `source` into `destination`: one transaction on the
// destination, and one snapshot of the source, which a read transaction
// holds across the steps, so that other programs writing meanwhile never
// make the copy start over. Without `stop`, in a single step.
CopyResult CopyPages(sqlite3* destination, sqlite3* source,
                     const StopRequested& stop = nullptr,
                     bool* stopped = nullptr) {
  if (stop) {
    int begun = sqlite3_exec(source, "BEGIN; SELECT 1 FROM sqlite_schema;",
                             nullptr, nullptr, nullptr);
    if (begun != SQLITE_OK) {
      return {sqlite3_extended_errcode(source), sqlite3_errmsg(source)};
    }
  }
  sqlite3_backup* backup =
      sqlite3_backup_init(destination, "main", source, "main");
  if (backup == nullptr) {
    if (stop) sqlite3_exec(source, "COMMIT;", nullptr, nullptr, nullptr);
    return {sqlite3_extended_errcode(destination), sqlite3_errmsg(destination)};
  }
  int step = SQLITE_OK;
  while (step == SQLITE_OK) {
    if (stop && stop()) {
      *stopped = true;
      break;
    }
    step = sqlite3_backup_step(backup, stop ? kPagesPerStep : -1);
  }
  int finish = sqlite3_backup_finish(backup);
  if (stop) sqlite3_exec(source, "COMMIT;", nullptr, nullptr, nullptr);
  if (step == SQLITE_DONE && finish == SQLITE_OK) return {};
  if (stopped && *stopped) return {};
  const int code = step == SQLITE_DONE ? finish : step;
  if (const int error = sqlite::NoRoomToGrow(destination, code)) {
    return {SQLITE_FULL, std::strerror(error)};
  }
  return {code, sqlite3_errstr(code)};
}

// Whether a failed copy was the fault of the database read from.
bool SourceFailed(int code) {
  return (code & 0xff) == SQLITE_CORRUPT || (code & 0xff) == SQLITE_NOTADB;
}

bool Busy(int code) {
  return (code & 0xff) == SQLITE_BUSY || (code & 0xff) == SQLITE_LOCKED;
}

// Opens the finished copy on its own and reads all of it back.
int64_t CheckCopy(const std::string& temporary_path, const std::string& file) {
  StoreOptions options;
  options.cache_kib = 64 * 1024;
  try {
    Store copy(MemoryFile::Open(temporary_path, Access::kReadOnly, options));
    copy.file().Guard([&] {
      sqlite::Statement check(copy.file().connection(),
                              "PRAGMA integrity_check");
      std::string verdict = check.Step() ? check.ColumnText(0) : "no verdict";
      if (verdict != "ok") throw CopyDamaged(file, verdict);
    });
    return copy.RowCount();
  } catch (const Error& error) {
    if (error.kind() == Error::Kind::kDamaged) throw;
    throw CopyDamaged(file, error.description());
  }
}

}  // namespace

int64_t BackupMemory(const std::string& memory_path, const std::string& file,
                     bool replace, const StopRequested& stop) {
  Store memory(MemoryFile::Open(memory_path, Access::kReadOnly));
  OutputFile output(file, replace, memory_path);
  try {
    sqlite::Connection copy(output.temporary_path(), SQLITE_OPEN_READWRITE |
                                                         SQLITE_OPEN_NOMUTEX |
                                                         SQLITE_OPEN_EXRESCODE);
    bool stopped = false;
    CopyResult result = CopyPages(
        copy.handle(), memory.file().connection().handle(), stop, &stopped);
    if (stopped) throw Interrupted(file);
    if (result.code != SQLITE_OK) {
      if (Busy(result.code) || SourceFailed(result.code)) {
        throw SqliteFailure(result.code, result.message, memory_path);
      }
      throw CopyFailure(result.code, result.message, file);
    }
  } catch (const sqlite::SqliteError& error) {
    throw CopyFailure(error.code(), error.what(), file);
  }
  int64_t rows = CheckCopy(output.temporary_path(), file);
  output.Commit();
  return rows;
}

namespace {

// Refuses to restore `source` into `memory` when it cannot be done in place.
void CheckPair(MemoryFile& source, MemoryFile& memory) {
  if (SameFile(memory.path(), source.path())) {
    throw SameFileAsMemory(source.path());
  }
  // A memory in write-ahead-log mode takes pages of its own size only.
  const char* page_size = "PRAGMA page_size";
  if (Query(source, page_size) != Query(memory, page_size)) {
    throw PageSizesDiffer(source.path(), memory.path());
  }
}

}  // namespace

int64_t CheckRestorable(const std::string& memory_path,
                        const std::string& file) {
  // A learn would go on appending its book to the restored memory, and
  // report rows that the memory no longer holds.
  if (LearnerAtWork(memory_path)) throw LearnUnderWay(memory_path);
  Store source(MemoryFile::Open(file, Access::kReadOnly));
  Store memory(MemoryFile::Open(memory_path, Access::kReadOnly));
  CheckPair(source.file(), memory.file());
  return source.RowCount();
}

int64_t RestoreMemory(const std::string& memory_path, const std::string& file) {
  if (LearnerAtWork(memory_path)) throw LearnUnderWay(memory_path);
  Store source(MemoryFile::Open(file, Access::kReadOnly));
  Store target(MemoryFile::Open(memory_path, Access::kReadWrite));
  MemoryFile* memory = &target.file();
  CheckPair(source.file(), *memory);
  const int64_t rows = source.RowCount();
  CopyResult result = CopyPages(memory->connection().handle(),
                                source.file().connection().handle());
  if (result.code != SQLITE_OK) {
    throw SqliteFailure(result.code, result.message,
                        SourceFailed(result.code) ? file : memory_path);
  }
  memory->CommittedOutsideStatements();
  memory->Durable();
  // A copy made by an earlier version is brought up to date, as any memory
  // is when it is opened for writing. Should that fail, the restore stands
  // all the same, and the next program to write it tries again.
  try {
    memory->Guard([&] { schema::Upgrade(memory->connection()); });
  } catch (const Error&) {
  }
  return rows;
}

}  // namespace quibbo
