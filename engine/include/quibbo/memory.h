// The memory as a whole: where it lives, how it is opened, and the jobs on
// it that need no conversation. Each job opens the memory by its path with
// the settings that job needs, reads or changes it in one transaction, and
// throws Error when it fails, leaving the memory as it was.
#ifndef QUIBBO_MEMORY_H_
#define QUIBBO_MEMORY_H_

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "quibbo/error.h"

namespace quibbo {

// How a memory is opened.
struct StoreOptions {
  // How long to wait for another program that holds the memory.
  std::chrono::milliseconds busy_timeout{3000};
  // Page cache size; small keeps the chat's footprint low.
  int cache_kib = 8192;
  // Pages the write-ahead log may grow to before it is copied into the
  // memory file. Bulk learning rewrites the same index pages in every
  // batch, and copies each of them once per checkpoint.
  int checkpoint_pages = 1000;
  // Whether every commit is synced to the disk before the program reports
  // it. Off only to measure what that costs.
  bool durable = true;
};

// The files SQLite and Quibbo keep beside a memory while programs use it:
// its log, the log's index, the learner's signal and a rollback journal.
inline constexpr const char* kMemoryCompanions[] = {"-wal", "-shm", "-wait",
                                                    "-journal"};

// Creates an empty memory at `path`, readable by its owner alone. Refuses
// with kExists when anything exists there, and leaves nothing behind when
// it fails.
void CreateMemory(const std::string& path);

// Where the running program lives, and so which memory it uses when none
// is named.
//
// The memory beside the program, qvd.mdb in its folder, belongs to whoever
// built or installed the program there for themselves: it is used when the
// program's folder belongs to the user running it and is a build's (CMake's
// CMakeCache.txt lies in the folder above it) or lies in their home, as
// `make install`'s ~/.local/lib/quibbo does. Anywhere else, as in a system
// install's /usr/lib/quibbo, everyone who runs the program, root included,
// has a memory of their own, $XDG_DATA_HOME/quibbo/qvd.mdb (by default
// ~/.local/share/quibbo/qvd.mdb), made the first time they start Quibbo in
// a folder they alone may enter . So nothing anyone puts
// in a folder that is not theirs changes which memory they get, and no one
// is ever pointed at a memory under /usr. A memory named on the command
// line overrides both.

// The folder of the running executable, without a trailing "/".
std::string ProgramFolder();

// The memory a program uses when none is named, by the rule above. Empty
// when it is the user's own and no home folder is known.
std::string DefaultMemoryPath();

// What PrepareDefaultMemory makes.
enum class Prepare {
  kFolder,           // the folder alone, for a command that creates the memory
  kFolderAndMemory,  // the folder and an empty memory when there is none
};

// Makes ready `memory`, which DefaultMemoryPath() gave, when it is the
// user's own: its folder, checked and made theirs alone, and with
// kFolderAndMemory an empty memory, readable by them alone, when nothing is
// there yet. Never touches a memory beside the program or a memory that
// exists. Call it only when no memory was named. Returns the failure, which
// the program tells and stops at.
std::optional<Error> PrepareDefaultMemory(const std::string& memory,
                                          Prepare what);

// The rule above, for a program's --help to tell, followed by the memory
// DefaultMemoryPath() gives this program.
std::string WhereTheMemoryIs();

// Which file a name leads to, to tell two names of one file apart.
struct FileId {
  dev_t device = 0;
  ino_t inode = 0;

  bool operator==(const FileId&) const = default;
};

// The file `path` leads to, links followed; nullopt when there is none or it
// cannot be reached.
std::optional<FileId> FileIdOf(const std::string& path);
// The file open as `fd`; nullopt when fstat fails.
std::optional<FileId> FileIdOf(int fd);

// Whether both names lead to one existing file.
bool SameFile(const std::string& a, const std::string& b);

// Asked now and then during a long job; true stops it (kInterrupted).
using StopRequested = std::function<bool()>;

// Backup and restore, through SQLite's online backup API, which copies the
// pages of one database into another in a single transaction. A backup
// reads one snapshot of the memory, so a conversation or a `learn` may go on
// writing meanwhile. A restore replaces the whole contents of the memory in
// place, all or nothing: programs that have the memory open see the
// restored memory at their next read, and nothing of the old one mixes in.

// Writes a copy of the memory at `memory_path` to `file`, readable by its
// owner alone, and checks it (PRAGMA integrity_check and the tables) before
// it is put in place. Refuses an existing `file` (kExists) unless `replace`.
// Returns the number of rows copied. Throws Error; then nothing is left at
// `file` (or the file that was there is untouched).
int64_t BackupMemory(const std::string& memory_path, const std::string& file,
                     bool replace, const StopRequested& stop = nullptr);

// The number of rows of the memory in `file`, opened only for reading.
// Throws Error, with the engine's own messages, unless both `file` and
// `memory_path` are Quibbo memories and RestoreMemory could copy the one
// into the other in place.
int64_t CheckRestorable(const std::string& memory_path,
                        const std::string& file);

// Replaces the whole contents of the memory at `memory_path` with those of
// the memory in `file`, then brings its schema up to date. Refuses (kBusy)
// while a learn runs on the memory. Returns the number of rows restored.
// Throws Error; then the memory is exactly as it was.
int64_t RestoreMemory(const std::string& memory_path, const std::string& file);

// Reading back the stored sentences. A sentence is the run of rows from one
// at position 0 up to the next, in id order; its text is their words joined
// by single spaces, the sentence exactly as it was stored, so learning it
// again stores the same rows. In a memory edited by hand, rows before the
// first row at position 0 make a sentence of their own.

struct ExportFigures {
  int64_t sentences = 0;
  int64_t rows = 0;
};

// Calls `each` with the text of every sentence of the memory at
// `memory_path`, oldest first, reading one snapshot with the memory opened
// only for reading. Throws Error, and whatever `each` throws.
ExportFigures ForEachSentence(
    const std::string& memory_path,
    const std::function<void(const std::string& sentence)>& each);

// Writes every sentence, oldest first, each as `format` spells it and
// followed by a line feed, to `file`, or to the standard output for "-". A
// file is written where no one else can read it and put in place only once
// complete: never over the memory, its companions, a memory another program
// has open or anything but a regular file, nor over an existing file unless
// `replace`. `stop` is asked between sentences. Throws Error; then nothing
// is left at `file`, and the standard output holds what it got.
ExportFigures ExportSentences(
    const std::string& memory_path, const std::string& file, bool replace,
    const std::function<std::string(const std::string& sentence)>& format,
    const StopRequested& stop = nullptr);

// One stored sentence: the id of its first row, its text as an export
// writes it, and its number of rows.
struct StoredSentence {
  int64_t id = 0;
  std::string text;
  int64_t rows = 0;

  bool operator==(const StoredSentence&) const = default;
};

// The sentence of the memory at `memory_path` that holds row `row`, read
// with the memory opened only for reading; unset when no row has that id.
// Throws Error.
std::optional<StoredSentence> SentenceHoldingRow(const std::string& memory_path,
                                                 int64_t row);

// Forgetting: deleting every sentence that holds one of some words.
//
// A sentence goes whole or not at all: the run of rows from one at position 0
// up to the next, as an export reads it. A stored word counts as a word to
// forget when the two have the same core, compared as every word is (letter
// case and Unicode form ignored, CompareIgnoringCase in text.h). A word's
// core is the word without the punctuation at its ends (quotes, brackets,
// the sentence's full stop, "?", "!", ",") and without a possessive "'s":
// "bob" takes "Bob?.", "\"Bob\".", "Bob's" and "BOB’S", but not "bobcat",
// "Bobs" or "Bob-Smith". Every apostrophe people type counts as one: ' ’ ‘ ʼ
// ＇ ` ´ ′, in a possessive and anywhere else ("don’t" is "don't"). The "'s"
// of he, she, it, this, that, who, what, where, when, why, how, here, there
// and let is a contraction ("it is", "let us"), never a possessive: "it"
// does not take "It's", nor "let" "Let's"; "it's" takes them. A typed word of
// punctuation alone takes only itself, with or without a full stop.
// Everything is deleted in one write transaction, which also lowers the
// counts in word_count by exactly the rows deleted, so replies afterwards
// come only from what remains; and no copy of what went stays in the
// memory's files. One sentence, named by a row it holds, goes the same
// way.

struct ForgetFigures {
  std::vector<std::string> forms;  // the stored words that count, one each
  int64_t sentences = 0;
  int64_t rows = 0;
  std::vector<std::string> examples;  // the oldest sentences, as text
  // Set when what went is deleted, but another program holds on to the
  // memory's log, where old copies of it stay until that program lets go
  // (kBusy). Forgetting again empties the log (EmptyMemoryLog).
  std::optional<Error> log_held;
};

// What Forget would delete now, with up to `examples` of the sentences;
// reads one snapshot and changes no word. A memory of an earlier version is
// first brought up to date where it may be written, as Forget would, so
// that the two find the same words. Throws Error.
ForgetFigures PreviewForget(const std::string& memory_path,
                            const std::vector<std::string>& words,
                            size_t examples);

// Deletes every sentence of the memory at `memory_path` that holds any of
// `words` and returns what went (without examples). Throws Error; then
// nothing was deleted.
ForgetFigures Forget(const std::string& memory_path,
                     const std::vector<std::string>& words);

// Deletes `sentence`, as SentenceHoldingRow read it, with the same
// guarantees, if it is still stored as it was then: the same first row and
// the same text. Returns what went: no sentence when it is no longer
// stored, and then nothing changed. Throws Error; then nothing was deleted.
ForgetFigures ForgetSentence(const std::string& memory_path,
                             const StoredSentence& sentence);

// Empties the log of the memory at `memory_path`, as Forget does once it
// has deleted, so that no old copy of what was deleted before stays in it:
// for a forget that finds nothing (left) to delete, as when it is tried
// again after another program held on to the log. Leaves alone a memory
// this user may not write. Returns the failure when another program holds
// on to the log (kBusy). Throws Error when the memory cannot be opened.
std::optional<Error> EmptyMemoryLog(const std::string& memory_path);

// A word and the number of its rows.
struct WordTally {
  std::string word;
  int64_t count = 0;
};

struct MemoryStatistics {
  int64_t rows = 0;
  int64_t distinct_words = 0;        // letter case ignored
  int64_t sentences = 0;             // as ForEachSentence reads them
  std::vector<WordTally> top_words;  // most frequent first, ties in word order
  int64_t file_bytes = 0;            // once the write-ahead log is copied back
};

// Reads the figures of the memory at `path` in one snapshot, opening it only
// for reading, with the `top` most frequent words. Each figure reads the
// table or one index once. Throws Error.
MemoryStatistics ReadStatistics(const std::string& path, size_t top);

}  // namespace quibbo

#endif  // QUIBBO_MEMORY_H_
