// The folder that holds a user's own memory, kept theirs alone.
//
// It lies in a folder of the user's (by default ~/.local/share). Another
// user who may write there, or who owns either folder, could put a folder
// or a link of theirs in its place, and read or change everything the user
// says. So it is made with mode 0700, an existing one of the user's is
// tightened to 0700, and it is refused (kUnsafe), naming the folder at
// fault, when it is a link, belongs to someone else, or lies in a folder
// that belongs to neither the user nor root, or that others may write
// without the sticky bit (a group of the user's alone, as Debian makes for
// each user, is not others). Nothing here follows a link in the folder's
// place; the folders above it may be links.
#ifndef QUIBBO_ENGINE_FILE_PRIVATE_FOLDER_H_
#define QUIBBO_ENGINE_FILE_PRIVATE_FOLDER_H_

#include <optional>
#include <string>

#include "engine/failure/failures.h"

namespace quibbo {

// Makes the folder of `memory` ready for it, and the folders missing above
// it, each with mode 0700, as the XDG base directory rules ask; folders
// above it that exist keep their modes. Returns the failure, naming the
// memory where a folder could not be made.
std::optional<Error> PreparePrivateFolder(const std::string& memory);

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_FILE_PRIVATE_FOLDER_H_
