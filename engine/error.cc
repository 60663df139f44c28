#include "engine/error.h"

#include <sqlite3.h>

#include <cerrno>
#include <cstring>

namespace quibbo {
namespace {

using Kind = Error::Kind;

std::string File(const std::string& path) { return "The memory file " + path; }

}  // namespace

Error::Kind KindOfSqliteCode(int code) {
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Kind::kBusy;
    case SQLITE_READONLY:
      return Kind::kReadOnly;
    case SQLITE_FULL:
      return Kind::kFull;
    case SQLITE_NOTADB:
      return Kind::kNotAMemory;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
    case SQLITE_IOERR:
    case SQLITE_NOMEM:
      return Kind::kIo;
    default:
      // Damage, or a table changed by hand so that our statements no longer
      // fit it.
      return Kind::kDamaged;
  }
}

Error SqliteFailure(int code, std::string_view message,
                    const std::string& path) {
  const std::string detail(message);
  const Kind kind = KindOfSqliteCode(code);
  switch (code & 0xff) {
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
      return Error(kind, File(path) +
                             " is in use by another program. Try again in "
                             "a moment.");
    case SQLITE_READONLY:
      return ReadOnlyMemory(path);
    case SQLITE_FULL:
      return Error(kind, "The disk is full: the memory file " + path +
                             " cannot grow any further.");
    case SQLITE_CORRUPT:
      return Error(kind, File(path) + " is damaged (" + detail + ").");
    case SQLITE_NOTADB:
      return Error(kind, path +
                             " is not a Quibbo memory: it is not an "
                             "SQLite database.");
    case SQLITE_CANTOPEN:
      return Error(kind, File(path) + " cannot be opened (" + detail +
                             "); check that it and its folder are readable "
                             "and writable.");
    case SQLITE_PERM:
    case SQLITE_AUTH:
      return Error(kind,
                   File(path) + " cannot be accessed: permission denied.");
    case SQLITE_IOERR:
      return Error(kind, "Reading or writing the memory file " + path +
                             " failed (" + detail + ").");
    default:
      return Error(kind, File(path) + " failed: " + detail + ".");
  }
}

Error SystemFailure(int error_number, std::string_view doing,
                    const std::string& path) {
  Kind kind = Kind::kIo;
  if (error_number == ENOENT || error_number == ENOTDIR) kind = Kind::kMissing;
  if (error_number == EEXIST) kind = Kind::kExists;
  if (error_number == EACCES || error_number == EPERM ||
      error_number == EROFS) {
    kind = Kind::kReadOnly;
  }
  if (error_number == ENOSPC || error_number == EDQUOT) kind = Kind::kFull;
  return Error(kind, File(path) + " could not be " + std::string(doing) + ": " +
                         std::strerror(error_number) + ".");
}

Error MissingMemory(const std::string& path) {
  return Error(Kind::kMissing, File(path) + " does not exist.");
}

Error FolderNotMemory(const std::string& path) {
  return Error(Kind::kNotAMemory,
               path + " is a folder, not a Quibbo memory file.");
}

Error NotAFile(const std::string& path) {
  return Error(Kind::kNotAMemory, path + " is not a Quibbo memory file.");
}

Error WithoutTableWord(const std::string& path) {
  return Error(Kind::kNotAMemory,
               path + " is not a Quibbo memory: it has no table word.");
}

Error LacksColumns(const std::string& path, std::string_view columns) {
  return Error(Kind::kNotAMemory,
               path +
                   " is not a Quibbo memory: its table word lacks the "
                   "column(s) " +
                   std::string(columns) + ".");
}

Error AlreadyExists(const std::string& path) {
  return Error(Kind::kExists, path + " already exists; it was left as it is.");
}

Error ReadOnlyMemory(const std::string& path) {
  return Error(Kind::kReadOnly, File(path) +
                                    " cannot be changed: it or its folder is "
                                    "read-only.");
}

Error UnfinishedSentence(const std::string& path, int64_t row) {
  return Error(Kind::kDamaged,
               File(path) + " holds an unfinished sentence at row " +
                   std::to_string(row) + ": a word next to it is not stored.");
}

Error MissingRow(const std::string& path, int64_t row) {
  return Error(Kind::kDamaged, File(path) + " lacks its row " +
                                   std::to_string(row) +
                                   ", which another row points to.");
}

Error InvalidText() {
  return Error(Kind::kInvalidText,
               "The sentence is not valid UTF-8 text, so nothing of it was "
               "stored.");
}

Error EmptyMemory() {
  return Error(Kind::kEmpty,
               "The memory holds no words yet, so there is nothing to reply "
               "with.");
}

}  // namespace quibbo
