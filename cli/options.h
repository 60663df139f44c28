// The command line of quibbo-cli: its subcommands and their options.
#ifndef QUIBBO_CLI_OPTIONS_H_
#define QUIBBO_CLI_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "cli/learn.h"
#include "cli/memory_commands.h"

namespace quibbo::cli {

enum class Command {
  kChat,
  kInit,
  kWipe,
  kLearn,
  kStats,
  kBackup,
  kRestore,
  kExport,
  kForget,
};

// Everything the command line can set; each command reads its own part.
struct Settings {
  Command command = Command::kChat;
  std::string memory;  // the memory file
  bool json = false;
  std::optional<uint64_t> seed;
  bool no_learn = false;           // chat: reply without storing
  bool yes = false;                // wipe, restore, forget: do not ask
  bool force = false;              // backup: replace an existing file
  std::string file;                // backup, restore
  std::vector<std::string> words;  // forget
  LearnOptions learn;
  ExportOptions export_options;
};

// Parses the command line into `settings`, whose memory is preset to the
// default. Returns the exit status when the program is to stop at once: 0
// after --help or --version, 2 after a usage mistake, whose message is
// already on standard error; nullopt when the command is to run.
std::optional<int> ParseCommandLine(int argc, char** argv, Settings* settings);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_OPTIONS_H_
