// The command line of quibbo-cli: its commands, their options, and the one
// Settings that every command reads.
#ifndef QUIBBO_CLI_OPTIONS_H_
#define QUIBBO_CLI_OPTIONS_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

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
  kSentence,
};

// Everything the command line can set. An option is accepted only by the
// commands it applies to (options.cc says which); the others refuse it.
struct Settings {
  Command command = Command::kChat;
  std::string memory;  // --memory; empty for the program's own (main.cc)
  // The command's FILEs (learn, backup, restore, export) or WORDs (forget).
  std::vector<std::string> arguments;
  std::optional<uint64_t> seed;  // chat: a fixed random seed
  bool json = false;      // chat, stats, export: write JSON; learn: read it
  bool no_learn = false;  // chat: reply without storing
  bool yes = false;       // wipe, restore, forget: do not ask
  bool force = false;     // backup, export: replace an existing FILE
  bool explain = false;   // chat: show where each reply came from
  // sentence: its ID; forget: --sentence ID, in place of WORDs.
  std::optional<int64_t> row;
};

// Parses the command line into `settings`. Returns the exit status when the
// program is to stop at once: 0 after --help or --version, kUsageStatus after a
// mistake, told in one line on standard error; nullopt when the command is to
// run.
std::optional<int> ParseCommandLine(int argc, char** argv, Settings* settings);

}  // namespace quibbo::cli

#endif  // QUIBBO_CLI_OPTIONS_H_
