#include "engine/file/sqlite.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

namespace quibbo::sqlite {
namespace {

// The extended result code of `db`'s last failure.
int CodeOf(sqlite3* db) {
  const int code = sqlite3_extended_errcode(db);
  return NoRoomToGrow(db, code) != 0 ? SQLITE_FULL : code;
}

}  // namespace

Connection::Connection(const std::string& path, int flags, const char* vfs) {
  int rc = sqlite3_open_v2(path.c_str(), &db_, flags, vfs);
  if (rc != SQLITE_OK) {
    std::string message = db_ ? sqlite3_errmsg(db_) : sqlite3_errstr(rc);
    int code = db_ ? CodeOf(db_) : rc;
    sqlite3_close(db_);
    db_ = nullptr;
    throw SqliteError(code, message);
  }
  sqlite3_extended_result_codes(db_, 1);
}

Connection::~Connection() { sqlite3_close_v2(db_); }

void Connection::Execute(const char* sql) {
  int rc = sqlite3_exec(db_, sql, nullptr, nullptr, nullptr);
  if (rc != SQLITE_OK) Fail(rc);
}

int64_t Connection::QueryInt(const char* sql) {
  Statement query(*this, sql);
  return query.Step() ? query.ColumnInt(0) : 0;
}

void Connection::Fail(int code) const {
  (void)code;
  const int extended = sqlite3_extended_errcode(db_);
  if (const int error = NoRoomToGrow(db_, extended); error != 0) {
    throw SqliteError(SQLITE_FULL, std::strerror(error));
  }
  throw SqliteError(extended, sqlite3_errmsg(db_));
}

int NoRoomToGrow(sqlite3* db, int code) {
  if ((code & 0xff) != SQLITE_IOERR) return 0;
  // The connection's errno may be that of a later call, often 0; each file
  // keeps the errno of its own last failure, the log as well as the
  // database.
  int errors[3] = {sqlite3_system_errno(db), 0, 0};
  sqlite3_file_control(db, "main", SQLITE_FCNTL_LAST_ERRNO, &errors[1]);
  sqlite3_file* log = nullptr;
  if (sqlite3_file_control(db, "main", SQLITE_FCNTL_JOURNAL_POINTER, &log) ==
          SQLITE_OK &&
      log != nullptr && log->pMethods != nullptr) {
    log->pMethods->xFileControl(log, SQLITE_FCNTL_LAST_ERRNO, &errors[2]);
  }
  for (const int error : errors) {
    if (error == ENOSPC || error == EFBIG || error == EDQUOT) return error;
  }
  return 0;
}

Statement::Statement(const Connection& connection, std::string_view sql)
    : connection_(connection) {
  int rc = sqlite3_prepare_v3(connection.handle(), sql.data(),
                              static_cast<int>(sql.size()),
                              SQLITE_PREPARE_PERSISTENT, &stmt_, nullptr);
  if (rc != SQLITE_OK) connection.Fail(rc);
}

Statement::~Statement() { sqlite3_finalize(stmt_); }

Statement& Statement::Bind(int index, int64_t value) {
  int rc = sqlite3_bind_int64(stmt_, index, value);
  if (rc != SQLITE_OK) connection_.Fail(rc);
  return *this;
}

namespace {

int BindText(sqlite3_stmt* stmt, int index, std::string_view value,
             void (*lifetime)(void*)) {
  // An empty view may have a null data pointer, which SQLite would store as
  // Null rather than as the empty text.
  const char* data = value.empty() ? "" : value.data();
  return sqlite3_bind_text64(stmt, index, data, value.size(), lifetime,
                             SQLITE_UTF8);
}

}  // namespace

Statement& Statement::Bind(int index, std::string_view value) {
  int rc = BindText(stmt_, index, value, SQLITE_TRANSIENT);
  if (rc != SQLITE_OK) connection_.Fail(rc);
  return *this;
}

Statement& Statement::BindUncopied(int index, std::string_view value) {
  int rc = BindText(stmt_, index, value, SQLITE_STATIC);
  if (rc != SQLITE_OK) connection_.Fail(rc);
  return *this;
}

Statement& Statement::Bind(int index, const std::optional<std::string>& value) {
  if (value) return Bind(index, std::string_view(*value));
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) connection_.Fail(rc);
  return *this;
}

Statement& Statement::BindUncopied(int index,
                                   const std::optional<std::string>& value) {
  if (value) return BindUncopied(index, std::string_view(*value));
  int rc = sqlite3_bind_null(stmt_, index);
  if (rc != SQLITE_OK) connection_.Fail(rc);
  return *this;
}

bool Statement::Step() {
  int rc = sqlite3_step(stmt_);
  if (rc == SQLITE_ROW) return true;
  if (rc == SQLITE_DONE) return false;
  sqlite3_reset(stmt_);
  connection_.Fail(rc);
}

void Statement::Run() {
  while (Step()) {
  }
}

void Statement::Reset() {
  sqlite3_reset(stmt_);
  sqlite3_clear_bindings(stmt_);
}

int64_t Statement::ColumnInt(int column) const {
  return sqlite3_column_int64(stmt_, column);
}

std::string Statement::ColumnText(int column) const {
  const auto* text =
      reinterpret_cast<const char*>(sqlite3_column_text(stmt_, column));
  if (text == nullptr) return std::string();
  return std::string(text, sqlite3_column_bytes(stmt_, column));
}

std::optional<std::string> Statement::ColumnOptionalText(int column) const {
  if (ColumnIsNull(column)) return std::nullopt;
  return ColumnText(column);
}

bool Statement::ColumnIsNull(int column) const {
  return sqlite3_column_type(stmt_, column) == SQLITE_NULL;
}

}  // namespace quibbo::sqlite
