// Getting a file's name onto the disk, so that a power cut cannot take a
// file Quibbo reported made, renamed or removed. A file's content is synced
// by whoever writes it: SQLite, the memory's worker (worker.h), OutputFile;
// its name lives in its folder, which needs a sync of its own.
#ifndef QUIBBO_ENGINE_FILE_DISK_SYNC_H_
#define QUIBBO_ENGINE_FILE_DISK_SYNC_H_

#include <string>

namespace quibbo {

// Flushes the folder that holds `path` to the disk, so that a name made,
// renamed or removed there stays as it is. Returns 0, or the errno of the
// failure.
int SyncFolderOf(const std::string& path);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_DISK_SYNC_H_
