// The one kind of failure the engine raises.
//
// An Error carries a Kind, which programs and tests act on, and a
// description, which people read: it names the file and says what went
// wrong. Every description is written in engine/failure/error.cc; what a
// program advises about a failure is its own.
#ifndef QUIBBO_ERROR_H_
#define QUIBBO_ERROR_H_

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

}  // namespace quibbo

#endif  // QUIBBO_ERROR_H_
