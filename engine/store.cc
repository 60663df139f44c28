#include "engine/store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>

#include "engine/store_error.h"
#include "engine/text.h"

namespace quibbo {
namespace {

using sqlite::SqliteError;
using sqlite::Statement;

constexpr char kSchema[] = R"sql(
CREATE TABLE word (
  id INTEGER PRIMARY KEY,
  previous TEXT COLLATE unicase,
  middle TEXT NOT NULL COLLATE unicase,
  next TEXT COLLATE unicase,
  position INTEGER NOT NULL
);
-- Word counts, the seed search and backward steps.
CREATE INDEX word_by_middle ON word (middle, next, position);
-- Forward steps; a sentence's first word is never a forward candidate.
CREATE INDEX word_by_previous ON word (previous, middle, position)
  WHERE previous IS NOT NULL;
-- Moving to the same position in a neighbouring sentence.
CREATE INDEX word_by_position ON word (position);
)sql";

constexpr char kColumns[] = "id, previous, middle, next, position";

// Statements are prepared on first use and kept for the connection's life.
enum StatementId {
  kInsert,
  kDeleteAll,
  kDataVersion,
  kCountAll,
  kIdRange,
  kIdAtOffset,
  kRow,
  kRowAfter,
  kNextWithWord,
  kLastWithWord,
  kPreviousAtPosition,
  kNextAtPosition,
  kCountWord,
  kCountBackward,
  kBackwardAt,
  kCountForward,
  kForwardAt,
  kStatementCount,
};

int CollateIgnoringCase(void*, int left_size, const void* left, int right_size,
                        const void* right) {
  return CompareIgnoringCase(
      std::string_view(static_cast<const char*>(left), left_size),
      std::string_view(static_cast<const char*>(right), right_size));
}

WordRecord ReadRecord(const Statement& row) {
  WordRecord record;
  record.id = row.ColumnInt(0);
  record.previous = row.ColumnOptionalText(1);
  record.middle = row.ColumnText(2);
  record.next = row.ColumnOptionalText(3);
  record.position = row.ColumnInt(4);
  return record;
}

std::optional<int64_t> ReadOptionalId(Statement& statement) {
  if (!statement.Step() || statement.ColumnIsNull(0)) return std::nullopt;
  return statement.ColumnInt(0);
}

std::unique_ptr<sqlite::Connection> Connect(const std::string& path,
                                            int flags) {
  auto db = std::make_unique<sqlite::Connection>(
      path, flags | SQLITE_OPEN_NOMUTEX | SQLITE_OPEN_EXRESCODE);
  sqlite3* handle = db->handle();
  // Double-quoted strings are identifiers only, never string literals.
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DML, 0, nullptr);
  sqlite3_db_config(handle, SQLITE_DBCONFIG_DQS_DDL, 0, nullptr);
  int rc = sqlite3_create_collation(handle, "unicase", SQLITE_UTF8, nullptr,
                                    CollateIgnoringCase);
  if (rc != SQLITE_OK) db->Fail(rc);
  return db;
}

}  // namespace

std::string DescribeStoreFailure(int code, const std::string& message,
                                 const std::string& path) {
  std::string file = "The memory file " + path;
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return file + " is in use by another program. Try again in a moment.";
    case SQLITE_READONLY:
      return file + " cannot be changed: it or its folder is read-only.";
    case SQLITE_FULL:
      return "The disk is full: the memory file " + path +
             " cannot grow any further.";
    case SQLITE_CORRUPT:
      return file + " is damaged (" + message + ").";
    case SQLITE_NOTADB:
      return path + " is not a Quibbo memory: it is not an SQLite database.";
    case SQLITE_CANTOPEN:
      return file + " cannot be opened (" + message +
             "); check that it and its folder are readable and writable.";
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return file + " cannot be accessed: permission denied.";
    case SQLITE_IOERR:
      return "Reading or writing the memory file " + path + " failed (" +
             message + ").";
    default:
      return file + " failed: " + message + ".";
  }
}

Store::Store(std::string path, std::unique_ptr<sqlite::Connection> db,
             dev_t device, ino_t inode)
    : path_(std::move(path)),
      db_(std::move(db)),
      device_(device),
      inode_(inode),
      statements_(kStatementCount) {}

Store::~Store() = default;

std::unique_ptr<Store> Store::Open(const std::string& path, Access access,
                                   const StoreOptions& options) {
  struct stat info;
  if (stat(path.c_str(), &info) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      throw StoreError(StoreError::kMissing,
                       "The memory file " + path + " does not exist.");
    }
    throw StoreError(SQLITE_CANTOPEN,
                     "The memory file " + path +
                         " cannot be reached: " + std::strerror(errno) + ".");
  }
  if (S_ISDIR(info.st_mode)) {
    throw StoreError(StoreError::kNotAMemory,
                     path + " is a folder, not a Quibbo memory file.");
  }
  if (!S_ISREG(info.st_mode)) {
    throw StoreError(StoreError::kNotAMemory,
                     path + " is not a Quibbo memory file.");
  }
  try {
    auto db = Connect(path, SQLITE_OPEN_READWRITE);
    sqlite3* handle = db->handle();
    sqlite3_busy_timeout(handle,
                         static_cast<int>(options.busy_timeout.count()));
    std::unique_ptr<Store> store(
        new Store(path, std::move(db), info.st_dev, info.st_ino));
    store->CheckSchema();
    if (access == Access::kReadWrite && sqlite3_db_readonly(handle, "main")) {
      throw StoreError(SQLITE_READONLY,
                       DescribeStoreFailure(SQLITE_READONLY, "", path));
    }
    std::string pragmas = "PRAGMA synchronous = NORMAL; PRAGMA cache_size = -" +
                          std::to_string(options.cache_kib) + ";";
    store->db_->Execute(pragmas.c_str());
    return store;
  } catch (const SqliteError& error) {
    throw StoreError(error.code(),
                     DescribeStoreFailure(error.code(), error.what(), path));
  }
}

void Store::Create(const std::string& path) {
  // O_EXCL makes the check and the creation one step: an existing memory is
  // never touched.
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
  if (fd < 0) {
    if (errno == EEXIST) {
      throw StoreError(StoreError::kAlreadyExists,
                       path + " already exists; it was left as it is.");
    }
    throw StoreError(SQLITE_CANTOPEN, "Cannot create the memory file " + path +
                                          ": " + std::strerror(errno) + ".");
  }
  close(fd);
  try {
    auto db = Connect(path, SQLITE_OPEN_READWRITE);
    // WAL lets a reader and a writer work at once, and a commit costs no
    // flush to disk; the file stays consistent after a crash.
    db->Execute("PRAGMA journal_mode = WAL;");
    db->Execute("BEGIN;");
    db->Execute(kSchema);
    db->Execute("COMMIT;");
  } catch (const SqliteError& error) {
    unlink(path.c_str());
    throw StoreError(error.code(),
                     DescribeStoreFailure(error.code(), error.what(), path));
  }
}

void Store::CheckSchema() {
  Statement columns(*db_, "PRAGMA table_info(word)");
  std::set<std::string> missing = {"id", "previous", "middle", "next",
                                   "position"};
  bool any = false;
  while (columns.Step()) {
    any = true;
    std::string name = columns.ColumnText(1);
    for (char& c : name) c = static_cast<char>(std::tolower(c));
    missing.erase(name);
  }
  if (!any) {
    throw StoreError(StoreError::kNotAMemory,
                     path_ + " is not a Quibbo memory: it has no table word.");
  }
  if (!missing.empty()) {
    std::string names;
    for (const std::string& name : missing) {
      names += (names.empty() ? "" : ", ") + name;
    }
    throw StoreError(StoreError::kNotAMemory,
                     path_ + " is not a Quibbo memory: its table word lacks " +
                         "the column(s) " + names + ".");
  }
}

bool Store::StillAtPath() const {
  struct stat info;
  return stat(path_.c_str(), &info) == 0 && info.st_dev == device_ &&
         info.st_ino == inode_;
}

void Store::Fail(const SqliteError& error) const {
  throw StoreError(error.code(),
                   DescribeStoreFailure(error.code(), error.what(), path_));
}

void Store::ChangedWhileRead() const {
  throw StoreError(SQLITE_NOTFOUND, "The memory file " + path_ +
                                        " changed while it was being read.");
}

Statement& Store::Prepared(int which, const char* sql) {
  auto& slot = statements_[which];
  if (!slot) slot = std::make_unique<Statement>(*db_, sql);
  return *slot;
}

Store::Transaction::Transaction(Store& store, Kind kind) : store_(store) {
  store_.Guard([&] {
    store_.db_->Execute(kind == Kind::kWrite ? "BEGIN IMMEDIATE;" : "BEGIN;");
  });
}

Store::Transaction::~Transaction() {
  if (!open_) return;
  // Forget the cached count: rows counted inside this transaction are gone.
  store_.cached_rows_.reset();
  sqlite3_exec(store_.db_->handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
}

void Store::Transaction::Commit() {
  store_.Guard([&] { store_.db_->Execute("COMMIT;"); });
  open_ = false;
}

void Store::Append(const WordRecord& record) {
  Guard([&] {
    Statement& insert = Prepared(kInsert,
                                 "INSERT INTO word (previous, middle, next, "
                                 "position) VALUES (?, ?, ?, ?)");
    sqlite::ScopedReset scope(insert);
    insert.Bind(1, record.previous)
        .Bind(2, std::string_view(record.middle))
        .Bind(3, record.next)
        .Bind(4, record.position);
    insert.Run();
    if (cached_rows_) ++*cached_rows_;
  });
}

void Store::DeleteAll() {
  return Guard([&] {
    Statement& remove = Prepared(kDeleteAll, "DELETE FROM word");
    sqlite::ScopedReset scope(remove);
    remove.Run();
    cached_rows_ = 0;
  });
}

int64_t Store::DataVersion() {
  Statement& version = Prepared(kDataVersion, "PRAGMA data_version");
  sqlite::ScopedReset scope(version);
  version.Step();
  return version.ColumnInt(0);
}

int64_t Store::RowCount() {
  return Guard([&] {
    int64_t version = DataVersion();
    if (!cached_rows_ || version != cached_version_) {
      Statement& count = Prepared(kCountAll, "SELECT count(*) FROM word");
      sqlite::ScopedReset scope(count);
      count.Step();
      cached_rows_ = count.ColumnInt(0);
      cached_version_ = version;
    }
    return *cached_rows_;
  });
}

int64_t Store::IdOfRow(int64_t k) {
  int64_t rows = RowCount();
  return Guard([&] {
    // Ids run without gaps in a memory that only this program wrote, since it
    // only appends whole sentences or deletes everything; then the k-th row is
    // found by arithmetic instead of by reading k rows.
    Statement& range = Prepared(
        kIdRange,
        "SELECT (SELECT min(id) FROM word), (SELECT max(id) FROM word)");
    {
      sqlite::ScopedReset scope(range);
      range.Step();
      int64_t first = range.ColumnInt(0);
      int64_t last = range.ColumnInt(1);
      if (!range.ColumnIsNull(0) && last - first + 1 == rows) return first + k;
    }
    Statement& at = Prepared(
        kIdAtOffset, "SELECT id FROM word ORDER BY id LIMIT 1 OFFSET ?");
    sqlite::ScopedReset scope(at);
    at.Bind(1, k);
    if (std::optional<int64_t> id = ReadOptionalId(at)) return *id;
    ChangedWhileRead();
  });
}

WordRecord Store::Row(int64_t id) {
  return Guard([&] {
    static const std::string sql =
        std::string("SELECT ") + kColumns + " FROM word WHERE id = ?";
    Statement& row = Prepared(kRow, sql.c_str());
    sqlite::ScopedReset scope(row);
    row.Bind(1, id);
    if (!row.Step()) ChangedWhileRead();
    return ReadRecord(row);
  });
}

std::optional<WordRecord> Store::RowAfter(int64_t id) {
  return Guard([&] {
    static const std::string sql =
        std::string("SELECT ") + kColumns +
        " FROM word WHERE id > ? ORDER BY id LIMIT 1";
    Statement& row = Prepared(kRowAfter, sql.c_str());
    sqlite::ScopedReset scope(row);
    row.Bind(1, id);
    return row.Step() ? std::optional<WordRecord>(ReadRecord(row))
                      : std::nullopt;
  });
}

std::optional<int64_t> Store::NextIdWithWord(std::string_view word,
                                             int64_t id) {
  return Guard([&] {
    Statement& next = Prepared(kNextWithWord,
                               "SELECT min(id) FROM word WHERE middle = ?1 "
                               "COLLATE unicase AND id > ?2");
    sqlite::ScopedReset scope(next);
    next.Bind(1, word).Bind(2, id);
    return ReadOptionalId(next);
  });
}

std::optional<int64_t> Store::LastIdWithWord(std::string_view word) {
  return Guard([&] {
    Statement& last =
        Prepared(kLastWithWord,
                 "SELECT max(id) FROM word WHERE middle = ?1 COLLATE unicase");
    sqlite::ScopedReset scope(last);
    last.Bind(1, word);
    return ReadOptionalId(last);
  });
}

std::optional<int64_t> Store::NearestIdAtPosition(int64_t position, int64_t id,
                                                  Direction direction) {
  return Guard([&] {
    Statement& nearest =
        direction == Direction::kBackward
            ? Prepared(kPreviousAtPosition,
                       "SELECT id FROM word WHERE position = ?1 AND id < ?2 "
                       "ORDER BY id DESC LIMIT 1")
            : Prepared(kNextAtPosition,
                       "SELECT id FROM word WHERE position = ?1 AND id > ?2 "
                       "ORDER BY id LIMIT 1");
    sqlite::ScopedReset scope(nearest);
    nearest.Bind(1, position).Bind(2, id);
    return ReadOptionalId(nearest);
  });
}

int64_t Store::CountWord(std::string_view word, int64_t limit) {
  return Guard([&] {
    Statement& count = Prepared(kCountWord,
                                "SELECT count(*) FROM (SELECT 1 FROM word "
                                "WHERE middle = ?1 COLLATE unicase LIMIT ?2)");
    sqlite::ScopedReset scope(count);
    count.Bind(1, word).Bind(2, limit);
    count.Step();
    return count.ColumnInt(0);
  });
}

namespace {

// The two words that select a walk's candidates, in the order of the
// statements' parameters. The views point into `from`.
std::pair<std::string_view, std::string_view> CandidateKey(
    Direction direction, const WordRecord& from) {
  auto text = [](const std::optional<std::string>& word) {
    return word ? std::string_view(*word) : std::string_view();
  };
  if (direction == Direction::kBackward) {
    return {text(from.previous), from.middle};  // middle, next
  }
  return {from.middle, text(from.next)};  // previous, middle
}

}  // namespace

int64_t Store::CountCandidates(Direction direction, const WordRecord& from) {
  return Guard([&] {
    Statement& count =
        direction == Direction::kBackward
            ? Prepared(
                  kCountBackward,
                  "SELECT count(*) FROM word WHERE middle = ?1 COLLATE "
                  "unicase AND next = ?2 COLLATE unicase AND position <= ?3")
            : Prepared(
                  kCountForward,
                  "SELECT count(*) FROM word WHERE previous = ?1 COLLATE "
                  "unicase AND middle = ?2 COLLATE unicase AND position >= "
                  "?3");
    auto [first, second] = CandidateKey(direction, from);
    sqlite::ScopedReset scope(count);
    count.Bind(1, first).Bind(2, second).Bind(3, from.position);
    count.Step();
    return count.ColumnInt(0);
  });
}

WordRecord Store::CandidateAt(Direction direction, const WordRecord& from,
                              int64_t k) {
  return Guard([&] {
    static const std::string backward =
        std::string("SELECT ") + kColumns +
        " FROM word WHERE middle = ?1 COLLATE unicase AND next = ?2 COLLATE "
        "unicase AND position <= ?3 ORDER BY position, id LIMIT 1 OFFSET ?4";
    static const std::string forward =
        std::string("SELECT ") + kColumns +
        " FROM word WHERE previous = ?1 COLLATE unicase AND middle = ?2 "
        "COLLATE "
        "unicase AND position >= ?3 ORDER BY position, id LIMIT 1 OFFSET ?4";
    Statement& pick = direction == Direction::kBackward
                          ? Prepared(kBackwardAt, backward.c_str())
                          : Prepared(kForwardAt, forward.c_str());
    auto [first, second] = CandidateKey(direction, from);
    sqlite::ScopedReset scope(pick);
    pick.Bind(1, first).Bind(2, second).Bind(3, from.position).Bind(4, k);
    if (!pick.Step()) ChangedWhileRead();
    return ReadRecord(pick);
  });
}

}  // namespace quibbo
