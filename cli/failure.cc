#include "cli/failure.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iostream>

#include "cli/interrupt.h"
#include "quibbo/engine.h"

namespace quibbo::cli {
namespace {

using Kind = Error::Kind;

// What each kind of failure means for a script (its exit status) and for a
// person at a conversation (what to do next). "@" stands for the memory.
// No advice ever wipes the memory: every one of these may pass.
constexpr struct {
  Kind kind;
  int status;
  const char* advice;
} kKinds[] = {
    {Kind::kMissing, 3,
     "Create an empty memory with quibbo-cli init --memory @, or check the "
     "name given to --memory."},
    {Kind::kNotAMemory, 4,
     "Give --memory a Quibbo memory instead, or move this file away and "
     "create a new memory with quibbo-cli init --memory @."},
    {Kind::kExists, 5, "Name another file."},
    {Kind::kBusy, 6,
     "Another program holds the memory for now: wait a moment, then say it "
     "again. Nothing stored was lost."},
    {Kind::kReadOnly, 7,
     "Check that you may write @ and its folder, or talk without learning "
     "with quibbo-cli --no-learn --memory @."},
    {Kind::kFull, 8,
     "Free some space on the disk that holds @, then say it again. Nothing "
     "stored was lost."},
    {Kind::kDamaged, 9,
     "Put a backup in its place with quibbo-cli restore BACKUP --memory @, "
     "or give --memory another memory."},
    {Kind::kIo, 10,
     "Say it again; if this keeps happening, save a copy with quibbo-cli "
     "backup FILE --memory @."},
    {Kind::kInvalidText, 11,
     "The line was not stored; type it again as UTF-8 text."},
    {Kind::kEmpty, 12,
     "Teach it some words first: say a sentence, or give it a book with "
     "quibbo-cli learn FILE --memory @."},
    {Kind::kUnsafe, 13,
     "Remove what is named, then say it again: Quibbo reaches its own files "
     "through no link, and keeps them where only you can change them."},
    {Kind::kInterrupted, 130, ""},
};

const auto& RowOf(Kind kind) {
  return *std::find_if(std::begin(kKinds), std::end(kKinds),
                       [kind](const auto& row) { return row.kind == kind; });
}

// `text` on one line: a description may carry another program's message.
std::string OneLine(std::string text) {
  std::replace(text.begin(), text.end(), '\n', ' ');
  return text;
}

}  // namespace

int StatusOf(Kind kind) {
  return kind == Kind::kInterrupted ? InterruptedStatus() : RowOf(kind).status;
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
                           : RowOf(kind).advice;
  for (size_t at = 0; (at = advice.find('@', at)) != std::string::npos;
       at += memory_path.size()) {
    advice.replace(at, 1, memory_path);
  }
  return TroubleMessage(failure.description(), advice);
}

}  // namespace quibbo::cli
