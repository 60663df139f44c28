// The one kind of failure the engine raises, and every text that describes
// one to a person.
//
// An Error carries a Kind, which programs and tests act on, and a
// description, which people read: it names the memory file and says what to
// do. The descriptions are all written in error.cc, and SQLite's result codes
// are turned into kinds there, in one place.
#ifndef QUIBBO_ENGINE_ERROR_H_
#define QUIBBO_ENGINE_ERROR_H_

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

#include "engine/word_record.h"

namespace quibbo {

class Error : public std::runtime_error {
 public:
  enum class Kind {
    kMissing,      // the memory file does not exist
    kNotAMemory,   // a folder, not SQLite, or no usable table word
    kExists,       // refusing to create over an existing file
    kBusy,         // another program holds the memory past the wait
    kReadOnly,     // the file or its folder cannot be written
    kFull,         // the disk is full
    kDamaged,      // the file or its rows are not what they should be
    kIo,           // the system failed to read or write the file
    kInvalidText,  // the input is not valid UTF-8
    kEmpty,        // the memory holds nothing to reply with
    kUnsafe,       // a link, or a folder others may change, where Quibbo
                   // keeps its own files
    kInterrupted,  // the person stopped a command before it finished
  };

  Error(Kind kind, const std::string& description)
      : std::runtime_error(description), kind_(kind) {}

  Kind kind() const { return kind_; }
  const char* description() const { return what(); }

 private:
  Kind kind_;
};

// What the window advises after a failure (Help menu, then a wipe).
extern const char kWindowTroubleAdvice[];

// The reply that reports a failure: the first sentence, the failure's
// description, and `advice`.
std::string TroubleMessage(std::string_view description,
                           std::string_view advice = kWindowTroubleAdvice);

// A short name of `kind` for programs to read: "missing", "busy"...
const char* KindName(Error::Kind kind);

// The kind of failure the system's `error_number` (errno) stands for.
Error::Kind KindOfErrno(int error_number);

// The kind of failure SQLite's (extended) result `code` stands for.
Error::Kind KindOfSqliteCode(int code);

// A failure of SQLite on the memory at `path`; `message` is SQLite's own.
Error SqliteFailure(int code, std::string_view message,
                    const std::string& path);

// A failure of the system call behind `doing` ("opened", "created"...),
// with `error_number` as errno left it.
Error SystemFailure(int error_number, std::string_view doing,
                    const std::string& path);

// The failures the engine finds by itself.
Error MissingMemory(const std::string& path);
Error FolderNotMemory(const std::string& path);
Error NotAFile(const std::string& path);
Error WithoutTableWord(const std::string& path);
Error LacksColumns(const std::string& path, std::string_view columns);
Error AlreadyExists(const std::string& path);
Error ReadOnlyMemory(const std::string& path);
// A walk from `row` toward `direction` found no row to step to: no stored
// row holds the word pair `row` names on that side.
Error BrokenSentence(const std::string& path, const WordRecord& row,
                     Direction direction);
Error MissingRow(const std::string& path, int64_t row);
// A row asked for by its id (quibbo-cli sentence ID) that no row has, and a
// sentence, named by its first row, that is no longer stored as it was.
Error NoSuchRow(const std::string& path, int64_t row);
Error SentenceGone(const std::string& path, int64_t first_row);
Error LogHeld(const std::string& path);
// `lines` answered lines could not be stored, for the reason `why` gives.
Error NotStored(int64_t lines, const Error& why);
// What stands where Quibbo keeps its own files, and is not to be trusted.
Error LinkInPlace(const std::string& link);
Error NotRegularInPlace(const std::string& path);
Error FolderOfAnother(const std::string& folder);
Error FolderOthersMayWrite(const std::string& folder);
// No home folder to keep the user's own memory in.
Error NoHomeFolder();
Error InvalidText();
Error EmptyMemory();

// The failures of the commands that copy a memory or write out what it
// holds. `path` names the file written or read, not the memory, unless
// said otherwise.
Error SameFileAsMemory(const std::string& path);
Error OutputExists(const std::string& path);
Error OverwritesMemory(const std::string& path);
Error OutputIsFolder(const std::string& path);
Error OutputNotRegular(const std::string& path);
Error OutputInUse(const std::string& path);
Error OutputFailure(int error_number, const std::string& path);
// `path` is complete and in place, but the folder holding its name could not
// be synced: a power cut may still take it.
Error OutputUnsynced(int error_number, const std::string& path);
Error StandardOutputFailure(int error_number);
Error CopyFailure(int code, std::string_view message, const std::string& path);
Error CopyDamaged(const std::string& path, std::string_view detail);
Error PageSizesDiffer(const std::string& path, const std::string& memory_path);
Error LearnUnderWay(const std::string& memory_path);
// A command writing `path` was stopped (Ctrl+C, say) before it finished.
Error Interrupted(const std::string& path);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_ERROR_H_
