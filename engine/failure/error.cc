#include <sqlite3.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

#include "engine/failure/failures.h"

namespace quibbo {
namespace {

using Kind = Error::Kind;

std::string File(const std::string& path) { return "The memory file " + path; }

}  // namespace

Kind KindOfErrno(int error_number) {
  switch (error_number) {
    case ENOENT:
    case ENOTDIR:
      return Kind::kMissing;
    case EEXIST:
      return Kind::kExists;
    case EACCES:
    case EPERM:
    case EROFS:
      return Kind::kReadOnly;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:  // past the file-size limit (ulimit -f): no room to grow
      return Kind::kFull;
    default:
      return Kind::kIo;
  }
}

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
      // SQLite's own words mean the disk; a limit on the file's size or
      // on the disk space of the user comes with the system's.
      if (detail != sqlite3_errstr(SQLITE_FULL)) {
        return Error(kind,
                     File(path) + " cannot grow any further (" + detail + ").");
      }
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
  return Error(KindOfErrno(error_number),
               File(path) + " could not be " + std::string(doing) + ": " +
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

Error BrokenSentence(const std::string& path, int64_t row,
                     std::string_view pair, bool forward) {
  return Error(Kind::kDamaged, File(path) + " has a broken sentence at row " +
                                   std::to_string(row) + ": no stored row " +
                                   (forward ? "goes on from" : "leads to") +
                                   " it with the words \"" + std::string(pair) +
                                   "\".");
}

Error MissingRow(const std::string& path, int64_t row) {
  return Error(Kind::kDamaged, File(path) + " lacks its row " +
                                   std::to_string(row) +
                                   ", which another row points to.");
}

Error NoSuchRow(const std::string& path, int64_t row) {
  return Error(Kind::kMissing,
               File(path) + " holds no row " + std::to_string(row) + ".");
}

Error SentenceGone(const std::string& path, int64_t first_row) {
  return Error(Kind::kMissing, File(path) +
                                   " no longer holds the sentence from row " +
                                   std::to_string(first_row) + ".");
}

Error LogHeld(const std::string& path) {
  return Error(Kind::kBusy,
               File(path) +
                   " lost what was deleted, but another program holds on to "
                   "its log, where old copies remain until it lets go. Try "
                   "again in a moment.");
}

Error LogStillHeld(const std::string& path) {
  return Error(Kind::kBusy,
               "Another program holds on to the log of the memory file " +
                   path +
                   ", where old copies of what was deleted may remain until "
                   "it lets go. Try again in a moment.");
}

Error NotStored(int64_t lines, const Error& why) {
  return Error(why.kind(),
               (lines == 1 ? std::string("1 answered line was")
                           : std::to_string(lines) + " answered lines were") +
                   " not stored: " + why.description());
}

Error LinkInPlace(const std::string& link) {
  return Error(Kind::kUnsafe, link +
                                  " is a link, and Quibbo never reaches its "
                                  "own files through one; remove it, then "
                                  "try again.");
}

Error NotRegularInPlace(const std::string& path) {
  return Error(Kind::kUnsafe, path +
                                  " is not a regular file, but Quibbo keeps "
                                  "a file of its own under that name; move "
                                  "it away, then try again.");
}

Error FolderOfAnother(const std::string& folder) {
  return Error(Kind::kUnsafe,
               "The folder " + folder +
                   " belongs to another user, who could see or change the "
                   "memory Quibbo keeps in it; have it given to you or "
                   "remove it, then try again.");
}

Error FolderOthersMayWrite(const std::string& folder) {
  return Error(Kind::kUnsafe,
               "Other users may write in the folder " + folder +
                   ", and could put a folder of theirs in place of the one "
                   "that holds your memory; make it writable by you alone "
                   "(chmod go-w), then try again.");
}

Error NoHomeFolder() {
  return Error(Kind::kMissing,
               "No home folder is known (HOME is not set, and the password "
               "file names none), so there is no place for a memory of your "
               "own; set HOME, or name a memory with --memory FILE.");
}

Error InvalidText() {
  return Error(Kind::kInvalidText,
               "The sentence is not valid UTF-8 text, so nothing of it was "
               "stored.");
}

Error SameFileAsMemory(const std::string& path) {
  return Error(Kind::kExists,
               path + " is the memory itself; name another file.");
}

Error OverwritesMemory(const std::string& path) {
  return Error(Kind::kExists,
               path +
                   " is the memory itself or one of its files, which this "
                   "would destroy; name another file (restore puts a backup "
                   "in place of the memory).");
}

Error OutputIsFolder(const std::string& path) {
  return Error(
      Kind::kExists,
      path + " is a folder; name a file to write, in it or elsewhere.");
}

Error OutputNotRegular(const std::string& path) {
  return Error(Kind::kExists, path +
                                  " is not a regular file (a device or a "
                                  "pipe, say), so it was left as it is; name "
                                  "a regular file.");
}

Error OutputInUse(const std::string& path) {
  return Error(Kind::kBusy,
               path +
                   " is a database that another program has open, which "
                   "this would damage; name another file (restore puts a "
                   "backup in place of a memory safely).");
}

Error OutputExists(const std::string& path) {
  struct stat info;
  if (stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    return OutputIsFolder(path);
  }
  return Error(Kind::kExists, path +
                                  " already exists and was left as it is; "
                                  "give --force to replace it.");
}

Error OutputFailure(int error_number, const std::string& path) {
  if (error_number == EISDIR) return OutputIsFolder(path);
  const std::string after = "; nothing was left in its place.";
  if (error_number == ENOSPC || error_number == EDQUOT) {
    return Error(Kind::kFull,
                 "The disk is full: " + path + " could not be written" + after);
  }
  return Error(KindOfErrno(error_number), path + " could not be written (" +
                                              std::strerror(error_number) +
                                              ")" + after);
}

Error OutputUnsynced(int error_number, const std::string& path) {
  return Error(KindOfErrno(error_number),
               path + " was written, but the disk did not confirm its name (" +
                   std::strerror(error_number) +
                   "): a power cut may still take it.");
}

Error StoppedOutput() {
  return Error(Kind::kInterrupted,
               "Stopped before every sentence was written to the standard "
               "output.");
}

Error StandardOutputFailure(int error_number) {
  return Error(KindOfErrno(error_number),
               std::string("Writing to the standard output failed (") +
                   std::strerror(error_number) +
                   "); what it got is incomplete.");
}

Error CopyFailure(int code, std::string_view message, const std::string& path) {
  const std::string after = "; nothing was left in its place.";
  if ((code & 0xff) == SQLITE_FULL) {
    // SQLite's own words say only that the disk is full; others, why.
    if (message == sqlite3_errstr(SQLITE_FULL)) {
      return OutputFailure(ENOSPC, path);
    }
    return Error(Kind::kFull, path + " could not be written (" +
                                  std::string(message) + ")" + after);
  }
  return Error(KindOfSqliteCode(code), "Writing the copy " + path +
                                           " failed (" + std::string(message) +
                                           ")" + after);
}

Error CopyDamaged(const std::string& path, std::string_view detail) {
  // One line, however much the check found: its first finding, cut short.
  std::string first(detail.substr(0, detail.find('\n')));
  if (first.size() > 100) first = first.substr(0, 97) + "...";
  return Error(Kind::kDamaged,
               "The copy " + path + " failed its check (" + first +
                   ") and was removed; the memory itself is unchanged. Try "
                   "again; should the check fail again, the memory itself "
                   "may be damaged.");
}

Error PageSizesDiffer(const std::string& path, const std::string& memory_path) {
  return Error(Kind::kNotAMemory,
               path + " stores its pages in another size than the memory " +
                   memory_path +
                   ", so it cannot replace it in place. Use it with --memory "
                   "instead.");
}

Error LearnUnderWay(const std::string& memory_path) {
  return Error(Kind::kBusy,
               "A learn is under way on the memory file " + memory_path +
                   ", and would go on into the restored memory; let it "
                   "finish, or stop it with Ctrl+C, then restore.");
}

Error CannotRead(const std::string& input, int error_number) {
  return Error(
      KindOfErrno(error_number),
      "Cannot read " + input + ": " + std::strerror(error_number) + ".");
}

Error ReadingFailed(const std::string& input, int error_number) {
  return Error(
      KindOfErrno(error_number),
      "Reading " + input + " failed (" + std::strerror(error_number) + ").");
}

Error InputIsMemory(const std::string& input, const std::string& memory_path) {
  return Error(Kind::kExists, input + " is the memory " + memory_path +
                                  " or one of the files beside it; it cannot "
                                  "learn itself.");
}

Error ConversationLineTooLong(std::string_view line, std::string_view limit) {
  return Error(Kind::kInvalidText,
               "Line " + std::string(line) + " is longer than " +
                   std::string(limit) +
                   ", the most a line may hold; the conversation ended "
                   "there.");
}

Error InputLineTooLong(const std::string& input, std::string_view line,
                       std::string_view limit) {
  return Error(Kind::kInvalidText,
               input + " line " + std::string(line) + " is longer than " +
                   std::string(limit) +
                   ", the most a line may hold; learning stopped there.");
}

Error Interrupted(const std::string& path) {
  return Error(Kind::kInterrupted, "Stopped before " + path +
                                       " was complete; nothing was left in "
                                       "its place.");
}

Error EmptyMemory() {
  return Error(Kind::kEmpty,
               "The memory holds no words yet, so there is nothing to reply "
               "with.");
}

}  // namespace quibbo
