// The one kind of failure the engine raises.
//
// An Error carries a Kind, which programs and tests act on, and a
// description, which people read: it names the file and says what went
// wrong. Every description is written in engine/failure/error.cc, those the
// programs build too; what a program says around it, its advice, its
// trouble message, is its own.
//
// kKinds is the one table of the kinds: each kind's short name and
// quibbo-cli's exit status for it. Its manual and the README list the same
// statuses (a test compares them).
#ifndef QUIBBO_ERROR_H_
#define QUIBBO_ERROR_H_

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

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
    kMaxValue = kInterrupted,  // the last kind: a new one goes above it
  };

  Error(Kind kind, const std::string& description)
      : std::runtime_error(description), kind_(kind) {}

  Kind kind() const { return kind_; }
  const char* description() const { return what(); }

 private:
  Kind kind_;
};

// What each kind is called and how quibbo-cli exits after it.
struct KindRow {
  Error::Kind kind;
  // A short name for programs to read: "missing", "busy"...
  const char* name;
  // quibbo-cli's exit status; for kInterrupted, that of Ctrl+C (the other
  // signals give theirs, 128 + the signal's number). No command exits with
  // kEmpty's: a conversation that meets it has reached its memory.
  int status;
};

inline constexpr KindRow kKinds[] = {
    {Error::Kind::kMissing, "missing", 3},
    {Error::Kind::kNotAMemory, "not-a-memory", 4},
    {Error::Kind::kExists, "exists", 5},
    {Error::Kind::kBusy, "busy", 6},
    {Error::Kind::kReadOnly, "read-only", 7},
    {Error::Kind::kFull, "full", 8},
    {Error::Kind::kDamaged, "damaged", 9},
    {Error::Kind::kIo, "io", 10},
    {Error::Kind::kInvalidText, "invalid-text", 11},
    {Error::Kind::kEmpty, "empty", 12},
    {Error::Kind::kUnsafe, "unsafe", 13},
    {Error::Kind::kInterrupted, "interrupted", 130},
};

// Whether `rows`, a table kept by kind, has one row for every kind, in the
// order of Error::Kind, so that a kind's row is found at its number.
template <typename Row, size_t kCount>
constexpr bool OneRowPerKind(const Row (&rows)[kCount]) {
  if (kCount != static_cast<size_t>(Error::Kind::kMaxValue) + 1) return false;
  for (size_t i = 0; i < kCount; ++i) {
    if (rows[i].kind != static_cast<Error::Kind>(i)) return false;
  }
  return true;
}
static_assert(OneRowPerKind(kKinds), "kKinds needs one row per kind, in order");

// The row of `kind` in `rows`, which OneRowPerKind accepts.
template <typename Row, size_t kCount>
constexpr const Row& RowOf(const Row (&rows)[kCount], Error::Kind kind) {
  return rows[static_cast<size_t>(kind)];
}

// The short name of `kind`, as quibbo-cli --json writes it.
constexpr const char* KindName(Error::Kind kind) {
  return RowOf(kKinds, kind).name;
}

// The exit status of either program after a fault of its own, as opposed
// to a failure of the memory (sysexits' EX_SOFTWARE).
inline constexpr int kInternalErrorStatus = 70;

// The kind of failure the system's `error_number` (errno) stands for.
Error::Kind KindOfErrno(int error_number);

// The failures a program meets through more than one call, or builds itself
// from the engine's words.

// `lines` answered lines could not be stored, for the reason `why` gives.
Error NotStored(int64_t lines, const Error& why);
// No row of the memory at `path` has the id `row`.
Error NoSuchRow(const std::string& path, int64_t row);
// The sentence that began at row `first` is no longer stored as it was.
Error SentenceGone(const std::string& path, int64_t first);
// Writing to the standard output failed with `error_number`.
Error StandardOutputFailure(int error_number);
// A command writing `path` was stopped (Ctrl+C, say) before it finished.
Error Interrupted(const std::string& path);

// What a program meets in the input it reads. `input` names it: a file, or
// "the standard input"; `line` is a line's number as the program shows it.

// `input` could not be opened or looked at, with `error_number`.
Error CannotRead(const std::string& input, int error_number);
// Reading `input` failed with `error_number` part way.
Error ReadingFailed(const std::string& input, int error_number);
// `input`, to learn from, is the memory at `memory_path` or a file beside it.
Error InputIsMemory(const std::string& input, const std::string& memory_path);
// A line of a conversation, or with `input` a line of that input to learn
// from, is longer than `limit` ("8 MiB"), the most a line may hold.
Error ConversationLineTooLong(std::string_view line, std::string_view limit);
Error InputLineTooLong(const std::string& input, std::string_view line,
                       std::string_view limit);

}  // namespace quibbo

#endif  // QUIBBO_ERROR_H_
