// Copying a whole memory to a file and back, while other programs use it.
//
// Both directions go through SQLite's online backup API, which copies the
// pages of one database into another in a single transaction. A backup
// reads one snapshot of the memory, so a conversation or a `learn` may go on
// writing meanwhile. A restore replaces the whole contents of the memory in
// place, all or nothing: programs that have the memory open see the
// restored memory at their next read, and nothing of the old one mixes in.
#ifndef QUIBBO_ENGINE_BACKUP_H_
#define QUIBBO_ENGINE_BACKUP_H_

#include <cstdint>
#include <functional>
#include <string>

namespace quibbo {

// Asked now and then during a long copy; true stops it (kInterrupted).
using StopRequested = std::function<bool()>;

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

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_BACKUP_H_
