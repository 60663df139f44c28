#include "cli/failure.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>

#include "cli/interrupt.h"

namespace quibbo::cli {
namespace {

using Kind = Error::Kind;

// What to do next, for a person at a conversation, after each kind of
// failure (kKinds in quibbo/error.h gives its exit status). "@" stands for
// the memory. No advice ever wipes the memory: every one of these may pass.
constexpr struct {
  Kind kind;
  const char* advice;
} kAdvice[] = {
    {Kind::kMissing,
     "Create an empty memory with quibbo-cli init --memory @, or check the "
     "name given to --memory."},
    {Kind::kNotAMemory,
     "Give --memory a Quibbo memory instead, or move this file away and "
     "create a new memory with quibbo-cli init --memory @."},
    {Kind::kExists, "Name another file."},
    {Kind::kBusy,
     "Another program holds the memory for now: wait a moment, then say it "
     "again. Nothing stored was lost."},
    {Kind::kReadOnly,
     "Check that you may write @ and its folder, or talk without learning "
     "with quibbo-cli --no-learn --memory @."},
    {Kind::kFull,
     "Free some space on the disk that holds @, then say it again. Nothing "
     "stored was lost."},
    {Kind::kDamaged,
     "Put a backup in its place with quibbo-cli restore BACKUP --memory @, "
     "or give --memory another memory."},
    {Kind::kIo,
     "Say it again; if this keeps happening, save a copy with quibbo-cli "
     "backup FILE --memory @."},
    {Kind::kInvalidText,
     "The line was not stored; type it again as UTF-8 text."},
    {Kind::kEmpty,
     "Teach it some words first: say a sentence, or give it a book with "
     "quibbo-cli learn FILE --memory @."},
    {Kind::kUnsafe,
     "Remove what is named, then say it again: Quibbo reaches its own files "
     "through no link, and keeps them where only you can change them."},
    {Kind::kInterrupted, ""},
};
static_assert(OneRowPerKind(kAdvice), "kAdvice needs one row per kind");

// `text` on one line: a description may carry another program's message.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

int StatusOf(Kind kind) {
  return kind == Kind::kInterrupted ? InterruptedStatus()
                                    : RowOf(kKinds, kind).status;
}

int Fail(const Error& error, std::string_view after) {
  std::cout.flush();
  std::cerr << "quibbo-cli: " << OneLine(error.description())
            << (after.empty() ? "" : " ") << after << std::endl;
  return StatusOf(error.kind());
}

std::string TerminalTrouble(const Error& failure,
                            const std::string& memory_path) {
  // A memory this user may not even read fails as read-only or as an I/O
  // error. Talking without learning or a backup would read it too, so
  // neither is advised then.
  const Kind kind = failure.kind();
  const bool unreadable =
      (kind == Kind::kReadOnly || kind == Kind::kIo) &&
      faccessat(AT_FDCWD, memory_path.c_str(), R_OK, AT_EACCESS) != 0 &&
      errno == EACCES;
  std::string advice = unreadable
                           ? "Check that you may read and write @ and its "
                             "folder."
                           : RowOf(kAdvice, kind).advice;
  for (size_t at = 0; (at = advice.find('@', at)) != std::string::npos;
       at += memory_path.size()) {
    advice.replace(at, 1, memory_path);
  }
  return "I am having trouble with your last sentence.\n\n" +
         std::string(failure.description()) + "\n\n" + advice;
}

}  // namespace quibbo::cli
