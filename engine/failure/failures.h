// Every failure the engine finds, each a function that writes its
// description; engine/failure/error.cc holds them all, so that the words of
// every failure stand in one place.
#ifndef QUIBBO_ENGINE_FAILURE_FAILURES_H_
#define QUIBBO_ENGINE_FAILURE_FAILURES_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "quibbo/error.h"

namespace quibbo {

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
// A walk from row `row`, backward or `forward`, found no row to step to: no
// stored row holds the word `pair` on that side.
Error BrokenSentence(const std::string& path, int64_t row,
                     std::string_view pair, bool forward);
Error MissingRow(const std::string& path, int64_t row);
// A deletion stands, but another program holds on to the log, where old
// copies of what went remain; LogStillHeld, when this call deleted nothing.
Error LogHeld(const std::string& path);
Error LogStillHeld(const std::string& path);
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
Error CopyFailure(int code, std::string_view message, const std::string& path);
Error CopyDamaged(const std::string& path, std::string_view detail);
Error PageSizesDiffer(const std::string& path, const std::string& memory_path);
Error LearnUnderWay(const std::string& memory_path);
// An export to the standard output was stopped before it was whole.
Error StoppedOutput();

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FAILURE_FAILURES_H_
