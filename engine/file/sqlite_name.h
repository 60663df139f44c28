// The name SQLite is given for a memory, which may lie at a longer path than
// SQLite takes.
//
// SQLite's unix VFS takes paths of at most 512 bytes, once it has resolved
// every link in them, and names the memory's log, index and journal after
// the memory. Linux allows paths up to 4096 bytes. A memory at a longer path
// than SQLite takes is given to it through its folder instead, as
// "/proc/self/fd/N/NAME", where N is a descriptor of the folder that this
// process keeps open from then on (one for each such folder, however often
// memories in it are opened). Resolving the link that N is would give the
// long path back, so such names go through a VFS of Quibbo's own, "unix" in
// all but that: it takes them as they are.
#ifndef QUIBBO_ENGINE_FILE_SQLITE_NAME_H_
#define QUIBBO_ENGINE_FILE_SQLITE_NAME_H_

#include <string>

namespace quibbo {

struct SqliteName {
  std::string path;
  const char* vfs = nullptr;  // the default VFS when null
};

// The name and the VFS through which SQLite is to reach the existing file
// at `path`: `path` itself unless that is too long for SQLite.
SqliteName SqliteNameOf(const std::string& path);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_SQLITE_NAME_H_
