// What is made sure of before SQLite reaches a memory, so that nothing
// planted beside it leads Quibbo to another file.
//
// SQLite and Quibbo keep the memory's companions (kMemoryCompanions: its
// log, the log's index, the learner's signal, a rollback journal) beside it,
// under names made from its own. Anyone who may write in that folder could
// put a link there, to a file of the user's, which a program would then
// write or change the mode of. So a link, or anything but a regular file,
// under one of those names is refused, naming it (kUnsafe), before anything
// is opened, created or changed; and no check here follows a link.
#ifndef QUIBBO_ENGINE_FILE_MEMORY_CHECKS_H_
#define QUIBBO_ENGINE_FILE_MEMORY_CHECKS_H_

#include <sys/types.h>

#include <string>

namespace quibbo {

// Before the memory at `path`, a regular file of mode `mode`, is opened:
// throws Error when a companion is refused, or when this process may not
// read the memory (kReadOnly). Then gives the -wal and -shm files of this
// user back the memory's mode where it let them be written and they no
// longer may: SQLite gives the files it creates the memory's mode, so a
// program that opened the memory while it was read-only leaves them
// read-only, and they would keep it so after the memory is writable again.
void CheckBeforeOpening(const std::string& path, mode_t mode);

// Before a memory is created at `path`: throws Error when a companion is
// refused.
void CheckBeforeCreating(const std::string& path);

// After creating the memory at `path` failed: removes the memory and what
// SQLite left beside it, so that no log or index stays without a memory.
void RemoveCreated(const std::string& path);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_MEMORY_CHECKS_H_
