// Where the running program lives, and so where its memory is.
#ifndef QUIBBO_ENGINE_PROGRAM_FOLDER_H_
#define QUIBBO_ENGINE_PROGRAM_FOLDER_H_

#include <string>

namespace quibbo {

// The folder of the running executable, without a trailing "/".
std::string ProgramFolder();

// The memory beside the program: ProgramFolder() + "/qvd.mdb".
std::string DefaultMemoryPath();

}  // namespace quibbo

#endif  // QUIBBO_ENGINE_PROGRAM_FOLDER_H_
