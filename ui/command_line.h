// The window's command line: the options it takes before Qt sees the rest,
// and the memory it uses.
#ifndef QUIBBO_UI_COMMAND_LINE_H_
#define QUIBBO_UI_COMMAND_LINE_H_

#include <optional>
#include <string>

namespace quibbo::ui {

// Takes --memory FILE (or --memory=FILE), --help and --version out of the
// command line, as they need no display; Qt's own options (-platform,
// -style...) stay for Qt. Returns the memory named, if any; exits after
// --help, --version or a mistake.
std::optional<std::string> TakeOptions(int* argc, char** argv);

// The memory named on the command line, or the one the program finds, made
// first where it is the user's own (engine/include/quibbo/memory.h). Throws
// Error when that cannot be made or its folder is not the user's alone.
std::string ChooseMemory(const std::optional<std::string>& named);

}  // namespace quibbo::ui

#endif  // QUIBBO_UI_COMMAND_LINE_H_
