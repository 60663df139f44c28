// A thin RAII layer over the SQLite C API.
//
// Connection owns a database handle and Statement a prepared statement; both
// are released by their destructors. Values only ever reach SQL through Bind,
// never through the statement's text. Every failure throws SqliteError with
// SQLite's extended result code and message; the store turns those into
// descriptions a person can act on.
#ifndef QUIBBO_ENGINE_FILE_SQLITE_H_
#define QUIBBO_ENGINE_FILE_SQLITE_H_

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

namespace quibbo::sqlite {

class SqliteError : public std::runtime_error {
 public:
  SqliteError(int code, const std::string& message)
      : std::runtime_error(message), code_(code) {}
  // SQLite's extended result code.
  int code() const { return code_; }

 private:
  int code_;
};

class Statement;

// When `code`, the result of a call on `db`, is an I/O error because a
// write met a full disk (growing the -shm file, say), the file-size limit
// (ulimit -f) or a disk quota, that errno (ENOSPC, EFBIG, EDQUOT); otherwise
// 0. SQLite tells a full disk as SQLITE_FULL only in some places, though
// each of these means there is no room to grow.
int NoRoomToGrow(sqlite3* db, int code);

class Connection {
 public:
  // Opens `path` with SQLite's open `flags`, through the VFS named `vfs` or
  // the default one; throws SqliteError on failure.
  Connection(const std::string& path, int flags, const char* vfs = nullptr);
  ~Connection();
  Connection(const Connection&) = delete;
  Connection& operator=(const Connection&) = delete;

  // Runs statements that take no values and return no rows.
  void Execute(const char* sql);
  // Runs a statement that takes no values and returns the first column of
  // its first row as an integer, or 0 when it returns no row.
  int64_t QueryInt(const char* sql);

  sqlite3* handle() const { return db_; }

  // Throws SqliteError for `code` with this connection's message.
  [[noreturn]] void Fail(int code) const;

 private:
  sqlite3* db_ = nullptr;
};

class Statement {
 public:
  Statement(const Connection& connection, std::string_view sql);
  ~Statement();
  Statement(const Statement&) = delete;
  Statement& operator=(const Statement&) = delete;

  // Parameters are numbered from 1. Bind(index, std::nullopt) binds Null.
  Statement& Bind(int index, int64_t value);
  Statement& Bind(int index, std::string_view value);
  Statement& Bind(int index, const std::optional<std::string>& value);
  // Binds without copying: the text must stay as it is until the next
  // Reset(). Worth it where one statement runs for every stored row.
  Statement& BindUncopied(int index, std::string_view value);
  Statement& BindUncopied(int index, const std::optional<std::string>& value);

  // Advances to the next row; false when there is none. Throws on failure.
  bool Step();
  // Runs a statement that returns no rows.
  void Run();
  // Clears the bindings and rewinds, so the statement can run again.
  void Reset();

  int64_t ColumnInt(int column) const;
  std::string ColumnText(int column) const;
  std::optional<std::string> ColumnOptionalText(int column) const;
  bool ColumnIsNull(int column) const;

 private:
  const Connection& connection_;
  sqlite3_stmt* stmt_ = nullptr;
};

// Rewinds a statement when the scope ends, so that a statement left
// mid-result never keeps a read transaction open.
class ScopedReset {
 public:
  explicit ScopedReset(Statement& statement) : statement_(statement) {
    statement_.Reset();
  }
  ~ScopedReset() { statement_.Reset(); }
  ScopedReset(const ScopedReset&) = delete;
  ScopedReset& operator=(const ScopedReset&) = delete;

 private:
  Statement& statement_;
};

}  // namespace quibbo::sqlite

#endif  // QUIBBO_ENGINE_FILE_SQLITE_H_
