// quibbo-cli: Quibbo on the terminal, over the same memory as the window.
//
//   quibbo-cli [chat] [--json] [--seed N] [--no-learn]   talk
//              [--explain]                               and show why
//   quibbo-cli init                                      create a memory
//   quibbo-cli wipe [--yes]                              empty the memory
//   quibbo-cli learn FILE... [--json]                    learn files
//   quibbo-cli stats [--json]                            what it holds
//   quibbo-cli backup FILE [--force]                     copy the memory
//   quibbo-cli restore FILE [--yes]                      put a copy back
//   quibbo-cli export [FILE|-] [--json] [--force]        every sentence
//   quibbo-cli forget WORD... [--yes]                    delete sentences
//   quibbo-cli forget --sentence ID [--yes]              delete one
//   quibbo-cli sentence ID [--json]                      show one
//
// Every command takes --memory FILE. The command line is read in
// options.cc, from the table in command_table.h.
#include <iostream>
#include <optional>
#include <string>

#include "cli/commands.h"
#include "cli/failure.h"
#include "cli/interrupt.h"
#include "cli/options.h"
#include "cli/standard_streams.h"
#include "quibbo/memory.h"

namespace {

using quibbo::cli::Command;
using quibbo::cli::Settings;

int Run(const Settings& settings) {
  namespace cli = quibbo::cli;
  // These stop cleanly at Ctrl+C, SIGTERM or SIGHUP; the others end at once,
  // which loses nothing either: each of them changes the memory in one
  // transaction.
  std::optional<cli::InterruptGuard> guard;
  switch (settings.command) {
    case Command::kChat:
    case Command::kLearn:
    case Command::kBackup:
    case Command::kExport:
      guard.emplace();
      break;
    default:
      break;
  }
  switch (settings.command) {
    case Command::kChat:
      return cli::RunChat(settings);
    case Command::kInit:
      return cli::RunInit(settings);
    case Command::kWipe:
      return cli::RunWipe(settings);
    case Command::kLearn:
      return cli::RunLearn(settings);
    case Command::kStats:
      return cli::RunStats(settings);
    case Command::kBackup:
      return cli::RunBackup(settings);
    case Command::kRestore:
      return cli::RunRestore(settings);
    case Command::kExport:
      return cli::RunExport(settings);
    case Command::kForget:
      return cli::RunForget(settings);
    case Command::kSentence:
      return cli::RunSentence(settings);
  }
  return quibbo::kInternalErrorStatus;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  quibbo::cli::SetUpStandardStreams();
  Settings settings;
  if (std::optional<int> status =
          quibbo::cli::ParseCommandLine(argc, argv, &settings)) {
    return quibbo::cli::CheckedExit(*status);
  }
  if (settings.memory.empty()) {
    // init makes the memory itself, and says so.
    settings.memory = quibbo::DefaultMemoryPath();
    if (auto failure = quibbo::PrepareDefaultMemory(
            settings.memory, settings.command == Command::kInit
                                 ? quibbo::Prepare::kFolder
                                 : quibbo::Prepare::kFolderAndMemory)) {
      return quibbo::cli::CheckedExit(quibbo::cli::Fail(*failure));
    }
  }
  try {
    return quibbo::cli::CheckedExit(Run(settings));
  } catch (const std::exception& fault) {
    // Failures of the memory are reported where they happen; what reaches
    // here is a fault of the program. What was stored before stays stored.
    std::cout.flush();
    std::cerr << "quibbo-cli: internal error: " << fault.what() << std::endl;
    return quibbo::kInternalErrorStatus;
  }
}
