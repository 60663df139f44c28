// The commands of quibbo-cli and their options, with what --help says of
// each: the one table that the parser (options.cc) and the help (help.cc)
// read. Its rows are made at build time from doc/quibbo-cli.commands, the
// table the manual page and the bash completion are made from too, so the
// three say the same words; this header holds what the rows are made of.
#ifndef QUIBBO_CLI_COMMAND_TABLE_H_
#define QUIBBO_CLI_COMMAND_TABLE_H_

#include <cstdint>
#include <string>
#include <string_view>

#include "cli/options.h"

namespace quibbo::cli {

struct CommandSpec {
  Command command;
  const char* name;
  // As the help shows them, which also says how many the command takes:
  // none (""), one ("FILE"), none or one ("[FILE|-]"), or one or more
  // ("WORD...").
  const char* arguments;
  const char* help;
};

inline constexpr size_t kAny = SIZE_MAX;

constexpr size_t MinArguments(const CommandSpec& command) {
  const std::string_view arguments = command.arguments;
  return arguments.empty() || arguments.starts_with('[') ? 0 : 1;
}

constexpr size_t MaxArguments(const CommandSpec& command) {
  const std::string_view arguments = command.arguments;
  return arguments.empty()                         ? 0
         : arguments.find("...") != arguments.npos ? kAny
                                                   : 1;
}

// What an option sets.
enum class Knob {
  kHelp,
  kVersion,
  kMemory,
  kJson,
  kSeed,
  kNoLearn,
  kYes,
  kForce,
  kExplain,
  kSentence,
};

constexpr uint32_t Bit(Command command) {
  return 1u << static_cast<int>(command);
}
inline constexpr uint32_t kEveryCommand = UINT32_MAX;

// An option for the commands in `commands`. One that is given to several
// commands, or means something else to another, has a row for each.
struct OptionSpec {
  Knob knob;
  const char* names;  // "--name", or "-x, --name"
  const char* value;  // what it takes ("FILE", "N"), or null for a flag
  uint32_t commands;  // the commands it applies to; 0: none is named
  const char* help;
};

// kCommands and kOptions, in the order --help lists them.
#include "cli/command_rows.inc"

// The help of `command`, or of the program when null, wrapped to the
// terminal's width (80 columns off a terminal).
std::string HelpText(const CommandSpec* command);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_COMMAND_TABLE_H_
