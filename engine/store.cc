#include "engine/store.h"

#include <fcntl.h>
#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <set>
#include <thread>

#include "engine/store_error.h"
#include "engine/text.h"

namespace quibbo {
namespace {

using sqlite::SqliteError;
using sqlite::Statement;

// Table word comes first: it is the memory, and the rest serves lookups.
constexpr char kSchema[] = R"sql(
CREATE TABLE word (
  id INTEGER PRIMARY KEY,
  previous TEXT COLLATE unicase,
  middle TEXT NOT NULL COLLATE unicase,
  next TEXT COLLATE unicase,
  position INTEGER NOT NULL
);
-- The seed search and the steps of both walks: a forward step's candidates
-- are the rows right after the rows holding the same word pair.
CREATE INDEX word_by_middle ON word (middle, next, position);
-- Moving to the same position in a neighbouring sentence.
CREATE INDEX word_by_position ON word (position);
)sql";

// Memories of schema version 1 also keep the number of rows of each word,
// letter case ignored, which counting would have to read row by row.
constexpr int kSchemaVersion = 1;
constexpr char kWordCountSchema[] = R"sql(
CREATE TABLE word_count (
  word TEXT PRIMARY KEY COLLATE unicase,
  count INTEGER NOT NULL
) WITHOUT ROWID;
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
  kCountedWord,
  kAddCount,
  kBackwardIds,
  kForwardIds,
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
  RestoreCompanionModes(path, info.st_mode);
  try {
    auto db = Connect(path, SQLITE_OPEN_READWRITE);
    sqlite3* handle = db->handle();
    std::unique_ptr<Store> store(
        new Store(path, std::move(db), info.st_dev, info.st_ino));
    store->busy_timeout_ = options.busy_timeout;
    sqlite3_busy_handler(handle, &Store::WaitWhileBusy, store.get());
    store->CheckSchema();
    if (access == Access::kReadWrite && sqlite3_db_readonly(handle, "main")) {
      throw StoreError(SQLITE_READONLY,
                       DescribeStoreFailure(SQLITE_READONLY, "", path));
    }
    std::string pragmas = "PRAGMA synchronous = NORMAL; PRAGMA cache_size = -" +
                          std::to_string(options.cache_kib) +
                          "; PRAGMA wal_autocheckpoint = " +
                          std::to_string(options.checkpoint_pages) + ";";
    store->db_->Execute(pragmas.c_str());
    if (store->SchemaVersion() < kSchemaVersion &&
        access == Access::kReadWrite) {
      store->Upgrade();
    }
    store->counted_ = store->SchemaVersion() >= kSchemaVersion;
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
    db->Execute(kWordCountSchema);
    db->Execute(
        ("PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";")
            .c_str());
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

int64_t Store::SchemaVersion() {
  Statement version(*db_, "PRAGMA user_version");
  version.Step();
  return version.ColumnInt(0);
}

// Brings a memory of an earlier version up to date, once, for whichever
// program opens it for writing first.
void Store::Upgrade() {
  db_->Execute("BEGIN IMMEDIATE;");
  try {
    if (SchemaVersion() < kSchemaVersion) {
      db_->Execute(kWordCountSchema);
      db_->Execute(
          "INSERT INTO word_count (word, count) "
          "SELECT middle, count(*) FROM word GROUP BY middle COLLATE "
          "unicase;"
          // Forward steps use word_by_middle now.
          "DROP INDEX IF EXISTS word_by_previous;");
      db_->Execute(
          ("PRAGMA user_version = " + std::to_string(kSchemaVersion) + ";")
              .c_str());
    }
    db_->Execute("COMMIT;");
  } catch (...) {
    sqlite3_exec(db_->handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
    throw;
  }
}

int Store::WaitWhileBusy(void* self, int attempt) {
  // SQLite's own busy timeout sleeps up to 100 ms between tries, and a
  // program that writes batch after batch may hold the lock at every one of
  // them. Trying every millisecond catches the gaps between its batches.
  Store& store = *static_cast<Store*>(self);
  auto now = std::chrono::steady_clock::now();
  if (attempt == 0) store.busy_since_ = now;
  if (now - store.busy_since_ >= store.busy_timeout_) return 0;
  std::this_thread::sleep_for(std::chrono::milliseconds(1));
  return 1;
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
  // Forget the cached counts: rows counted inside this transaction are gone.
  store_.cached_rows_.reset();
  store_.pending_counts_.clear();
  store_.pending_index_.clear();
  sqlite3_exec(store_.db_->handle(), "ROLLBACK;", nullptr, nullptr, nullptr);
}

void Store::Transaction::Commit() {
  store_.Guard([&] {
    store_.FlushCounts();
    store_.db_->Execute("COMMIT;");
  });
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
    if (counted_) {
      // Counted in memory and written at the commit: a batch of many
      // sentences updates each of its words' counts once.
      auto [at, added] =
          pending_index_.try_emplace(record.middle, pending_counts_.size());
      if (added) pending_counts_.emplace_back(record.middle, 0);
      ++pending_counts_[at->second].second;
      if (sqlite3_get_autocommit(db_->handle())) FlushCounts();
    }
  });
}

void Store::FlushCounts() {
  if (pending_counts_.empty()) return;
  Statement& add = Prepared(kAddCount,
                            "INSERT INTO word_count (word, count) VALUES "
                            "(?1, ?2) ON CONFLICT (word) DO UPDATE SET "
                            "count = count + excluded.count");
  for (const auto& [word, count] : pending_counts_) {
    sqlite::ScopedReset scope(add);
    add.Bind(1, std::string_view(word)).Bind(2, count);
    add.Run();
  }
  pending_counts_.clear();
  pending_index_.clear();
}

void Store::DeleteAll() {
  return Guard([&] {
    Statement& remove = Prepared(kDeleteAll, "DELETE FROM word");
    sqlite::ScopedReset scope(remove);
    remove.Run();
    if (counted_) db_->Execute("DELETE FROM word_count;");
    pending_counts_.clear();
    pending_index_.clear();
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

int64_t Store::CountWord(std::string_view word) {
  return Guard([&] {
    if (counted_) {
      FlushCounts();
      Statement& counted =
          Prepared(kCountedWord,
                   "SELECT count FROM word_count WHERE word = ?1 COLLATE "
                   "unicase");
      sqlite::ScopedReset scope(counted);
      counted.Bind(1, word);
      return counted.Step() ? counted.ColumnInt(0) : 0;
    }
    // A memory opened only for reading may predate the counts.
    Statement& count =
        Prepared(kCountWord,
                 "SELECT count(*) FROM word WHERE middle = ?1 COLLATE unicase");
    sqlite::ScopedReset scope(count);
    count.Bind(1, word);
    count.Step();
    return count.ColumnInt(0);
  });
}

int64_t Store::TallyWords(size_t top, std::vector<WordTally>* most_frequent) {
  return Guard([&] {
    std::vector<WordTally>& most = *most_frequent;
    most.clear();
    if (counted_) {
      FlushCounts();
      // Each word as it was first learned.
      Statement ranked(*db_,
                       "SELECT word, count FROM word_count WHERE count > 0 "
                       "ORDER BY count DESC, word LIMIT ?1");
      ranked.Bind(1, static_cast<int64_t>(top));
      while (ranked.Step()) {
        most.push_back({ranked.ColumnText(0), ranked.ColumnInt(1)});
      }
      Statement distinct(*db_,
                         "SELECT count(*) FROM word_count WHERE count > 0");
      distinct.Step();
      return distinct.ColumnInt(0);
    }
    // Of a word's spellings, the greatest in byte order is shown: the one
    // in lower case, where there is one.
    Statement groups(*db_,
                     "SELECT max(middle COLLATE BINARY), count(*) FROM word "
                     "GROUP BY middle COLLATE unicase");
    int64_t distinct = 0;
    // Groups arrive in word order, so keeping the first of equal counts
    // breaks ties in word order.
    auto more_frequent = [](const WordTally& a, const WordTally& b) {
      return a.count > b.count;
    };
    while (groups.Step()) {
      ++distinct;
      WordTally tally{groups.ColumnText(0), groups.ColumnInt(1)};
      if (most.size() == top &&
          (top == 0 || tally.count <= most.back().count)) {
        continue;
      }
      auto at =
          std::upper_bound(most.begin(), most.end(), tally, more_frequent);
      most.insert(at, std::move(tally));
      if (most.size() > top) most.pop_back();
    }
    return distinct;
  });
}

int64_t Store::SentenceCount() {
  return Guard([&] {
    Statement count(*db_, "SELECT count(*) FROM word WHERE position = 0");
    count.Step();
    return count.ColumnInt(0);
  });
}

int64_t Store::DatabaseBytes() {
  return Guard([&] {
    Statement size(*db_,
                   "SELECT page_count * page_size FROM pragma_page_count(), "
                   "pragma_page_size()");
    size.Step();
    return size.ColumnInt(0);
  });
}

std::vector<int64_t> Store::CandidateIds(Direction direction,
                                         const WordRecord& from) {
  return Guard([&] {
    // A sentence's rows have consecutive ids, as each is stored in one
    // transaction, so the rows after `from`'s word pair hold the same pair
    // seen from its second word: row r + 1 has previous = from.middle and
    // middle = from.next exactly when row r has middle = from.middle and
    // next = from.next, one position earlier. Both walks thus read the one
    // index, in (position, id) order either way.
    const bool backward = direction == Direction::kBackward;
    Statement& select =
        backward ? Prepared(kBackwardIds,
                            "SELECT id FROM word WHERE middle = ?1 COLLATE "
                            "unicase AND next = ?2 COLLATE unicase AND "
                            "position <= ?3 ORDER BY position, id")
                 : Prepared(kForwardIds,
                            "SELECT id + 1 FROM word WHERE middle = ?1 COLLATE "
                            "unicase AND next = ?2 COLLATE unicase AND "
                            "position >= ?3 - 1 ORDER BY position, id");
    auto text = [](const std::optional<std::string>& word) {
      return word ? std::string_view(*word) : std::string_view();
    };
    sqlite::ScopedReset scope(select);
    if (backward) {
      select.Bind(1, text(from.previous))
          .Bind(2, std::string_view(from.middle));
    } else {
      select.Bind(1, std::string_view(from.middle)).Bind(2, text(from.next));
    }
    select.Bind(3, from.position);
    std::vector<int64_t> ids;
    while (select.Step()) ids.push_back(select.ColumnInt(0));
    return ids;
  });
}

}  // namespace quibbo
