// The commands of quibbo-cli and their options, with what --help says of
// each: the one table the parser (options.cc) and the help (help.cc) read.
// doc/quibbo-cli.commands says the same for the manual and the completion,
// and tests/cli/help_test.sh checks that the two agree.
#ifndef QUIBBO_CLI_COMMAND_TABLE_H_
#define QUIBBO_CLI_COMMAND_TABLE_H_

#include <cstdint>
#include <iterator>
#include <string>

#include "cli/options.h"

namespace quibbo::cli {

struct CommandSpec {
  Command command;
  const char* name;
  const char* arguments;  // as the help shows them
  size_t min_arguments;
  size_t max_arguments;
  const char* too_few;  // the mistake when fewer are given
  const char* help;
};

inline constexpr size_t kAny = SIZE_MAX;

inline constexpr CommandSpec kCommands[] = {
    {Command::kChat, "chat", "", 0, 0, "",
     "Talk to Quibbo: each line read gets a reply, until the end of the "
     "input (Ctrl+D)."},
    {Command::kInit, "init", "", 0, 0, "", "Create an empty memory."},
    {Command::kWipe, "wipe", "", 0, 0, "",
     "Forget everything, after two questions."},
    {Command::kLearn, "learn", "FILE...", 1, kAny,
     "learn needs at least one FILE to read (- reads the standard input).",
     "Learn every line of the text files (- reads the standard input) as if "
     "it had been said, without replying. Ctrl+C stores what was read and "
     "stops."},
    {Command::kStats, "stats", "", 0, 0, "",
     "Show what the memory holds: rows, words, sentences, the most frequent "
     "words and the file's size."},
    {Command::kBackup, "backup", "FILE", 1, 1,
     "backup needs the FILE to write the copy to.",
     "Copy the memory into FILE, safely while other programs use it, and "
     "check the copy."},
    {Command::kRestore, "restore", "FILE", 1, 1,
     "restore needs the FILE of the memory to put back.",
     "Put the memory saved in FILE in place of the memory, after the same "
     "two questions as wipe; all or nothing."},
    {Command::kExport, "export", "[FILE|-]", 0, 1, "",
     "Write every stored sentence, in the order learned, one per line, to "
     "FILE or the standard output."},
    {Command::kSentence, "sentence", "ID", 1, 1,
     "sentence needs the ID of a row, as --explain shows them.",
     "Show the stored sentence that holds row ID: the id of its first row "
     "and its text, as export writes it."},
    {Command::kForget, "forget", "WORD...", 1, kAny,
     "forget needs at least one WORD.",
     "Delete every sentence that holds one of the words (letter case, "
     "punctuation at either end and a possessive 's aside), after showing "
     "what goes and asking."},
};

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
inline constexpr uint32_t kEveryCommand = (1u << std::size(kCommands)) - 1;

struct OptionSpec {
  Knob knob;
  const char* names;  // "--name", or "-x, --name"
  const char* value;  // what it takes ("FILE", "N"), or null for a flag
  uint32_t commands;  // the commands it applies to; 0: none is named
  const char* help;
};

// The options in the order --help lists them; one that means something
// else to another command has a row of its own.
inline constexpr OptionSpec kOptions[] = {
    {Knob::kHelp, "-h, --help", nullptr, kEveryCommand,
     "Show the options (of the command) and exit."},
    {Knob::kVersion, "--version", nullptr, 0,
     "Print the program's name and version, and exit."},
    {Knob::kMemory, "--memory", "FILE", kEveryCommand,
     "Use FILE as the memory instead of the one named at the end of "
     "quibbo-cli --help."},
    {Knob::kJson, "--json", nullptr, Bit(Command::kChat),
     "Write {\"you\": LINE, \"quibbo\": REPLY or null} for every line, with "
     "\"error\": KIND after them when the line met a failure, and nothing "
     "else but what --explain adds."},
    {Knob::kSeed, "--seed", "N", Bit(Command::kChat),
     "Fix the random seed, a whole number from 0 to 18446744073709551615: "
     "the same memory, lines and seed give the same replies."},
    {Knob::kNoLearn, "--no-learn", nullptr, Bit(Command::kChat),
     "Reply without storing anything, to try a memory out without changing "
     "it."},
    {Knob::kExplain, "--explain", nullptr, Bit(Command::kChat),
     "After each reply, show the word it started from and the stored "
     "sentences its words came from; with --json, add \"seed\": WORD and "
     "\"sources\": [{\"sentence\": ID, \"text\": TEXT, \"words\": [FIRST, "
     "LAST]}...]."},
    {Knob::kYes, "--yes", nullptr, Bit(Command::kWipe) | Bit(Command::kRestore),
     "Answer yes to both questions."},
    {Knob::kJson, "--json", nullptr, Bit(Command::kLearn),
     "Read one JSON string per line, as export --json writes them."},
    {Knob::kJson, "--json", nullptr, Bit(Command::kStats),
     "Write one JSON object instead of text."},
    {Knob::kForce, "--force", nullptr,
     Bit(Command::kBackup) | Bit(Command::kExport),
     "Replace FILE if it exists."},
    {Knob::kJson, "--json", nullptr, Bit(Command::kExport),
     "Write one JSON string per line, which keeps line breaks and tabs "
     "inside words exact."},
    {Knob::kYes, "--yes", nullptr, Bit(Command::kForget), "Do not ask."},
    {Knob::kSentence, "--sentence", "ID", Bit(Command::kForget),
     "Instead of WORDs: delete the one sentence that holds row ID, as "
     "--explain and the sentence command show them."},
    {Knob::kJson, "--json", nullptr, Bit(Command::kSentence),
     "Write {\"sentence\": ID, \"text\": TEXT} instead of text."},
};

// The help of `command`, or of the program when null, wrapped to the
// terminal's width (80 columns off a terminal).
std::string HelpText(const CommandSpec* command);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_COMMAND_TABLE_H_
