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
// a folder they alone may enter (private_folder.h). So nothing anyone puts
// in a folder that is not theirs changes which memory they get, and no one
// is ever pointed at a memory under /usr. A memory named on the command
// line overrides both.
#ifndef QUIBBO_ENGINE_PROGRAM_FOLDER_H_
#define QUIBBO_ENGINE_PROGRAM_FOLDER_H_

#include <optional>
#include <string>

#include "engine/error.h"

namespace quibbo {

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
// user's own: its folder, checked and made theirs alone (private_folder.h),
// and with kFolderAndMemory an empty memory, readable by them alone, when
// nothing is there yet. Never touches a memory beside the program or a
// memory that exists. Call it only when no memory was named. Returns the
// failure, which the program tells and stops at.
std::optional<Error> PrepareDefaultMemory(const std::string& memory,
                                          Prepare what);

// The rule above, for a program's --help to tell, followed by the memory
// DefaultMemoryPath() gives this program.
std::string WhereTheMemoryIs();

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_PROGRAM_FOLDER_H_
