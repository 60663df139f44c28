// Where the running program lives, and so where its memory is.
//
// The memory lives beside the program: a build, and the per-user install
// under ~/.local, keep it there. A system install keeps the programs in a
// folder its users cannot write (/usr/lib/quibbo), with no memory in it;
// there each user has a memory of their own under XDG_DATA_HOME, made the
// first time they start Quibbo, as an installer would have put one beside
// the program. A memory named on the command line overrides both.
#ifndef QUIBBO_ENGINE_PROGRAM_FOLDER_H_
#define QUIBBO_ENGINE_PROGRAM_FOLDER_H_

#include <optional>
#include <string>

#include "engine/error.h"

namespace quibbo {

// The folder of the running executable, without a trailing "/".
std::string ProgramFolder();

// The memory a program uses when none is named: ProgramFolder() +
// "/qvd.mdb" when anything is there or the folder can be written, and
// otherwise the user's own, $XDG_DATA_HOME/quibbo/qvd.mdb (by default
// ~/.local/share/quibbo/qvd.mdb).
std::string DefaultMemoryPath();

// Makes the user's own memory when DefaultMemoryPath() is that one and
// nothing is there yet: an empty memory, readable by its owner alone, in a
// folder only its owner can enter. Never touches a memory beside the program
// or anything that exists. Call it only when no memory was named. Returns
// the failure, for the program to show; the memory then stays missing, and
// every reply names it.
std::optional<Error> PrepareDefaultMemory();

// The rule above, for a program's --help to tell, followed by the memory
// DefaultMemoryPath() gives this program.
std::string WhereTheMemoryIs();

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_PROGRAM_FOLDER_H_
