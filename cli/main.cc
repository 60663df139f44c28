// quibbo-cli: Quibbo on the terminal, over the same memory as the window.
//
//   quibbo-cli [chat] [--json] [--seed N] [--no-learn]   talk
//   quibbo-cli init                                      create a memory
//   quibbo-cli wipe [--yes]                              empty the memory
//   quibbo-cli learn FILE... [--json]                    learn files
//   quibbo-cli stats [--json]                            what it holds
//   quibbo-cli backup FILE [--force]                     copy the memory
//   quibbo-cli restore FILE [--yes]                      put a copy back
//   quibbo-cli export [FILE|-] [--json] [--force]        every sentence
//   quibbo-cli forget WORD... [--yes]                    delete sentences
//
// Every command takes --memory FILE. The options are wired in options.cc.
#include <unistd.h>

#include <iostream>
#include <memory>
#include <string>

#include "cli/chat.h"
#include "cli/learn.h"
#include "cli/memory_commands.h"
#include "cli/options.h"
#include "cli/stats.h"
#include "cli/wipe.h"
#include "engine/engine.h"
#include "engine/memory_file.h"
#include "engine/program_folder.h"

namespace {

using quibbo::Engine;
using quibbo::SeededRandom;
using quibbo::cli::Command;
using quibbo::cli::Settings;

// A fault of the program itself (sysexits' EX_SOFTWARE).
constexpr int kInternalError = 70;

int Init(const std::string& memory) {
  try {
    quibbo::MemoryFile::Create(memory);
  } catch (const quibbo::Error& error) {
    std::cerr << "quibbo-cli: " << error.description() << "\n";
    return 1;
  }
  std::cout << "Created an empty memory in " << memory << "\n";
  return 0;
}

int Chat(const Settings& settings) {
  std::unique_ptr<quibbo::RandomSource> random;
  if (settings.seed) random = std::make_unique<SeededRandom>(*settings.seed);
  Engine engine(settings.memory, std::move(random));
  engine.SetReportErrors(true);
  engine.SetLearning(!settings.no_learn);
  quibbo::cli::ChatOptions options;
  options.json = settings.json;
  options.prompt = !settings.json && isatty(STDIN_FILENO);
  options.input_fd = STDIN_FILENO;
  return quibbo::cli::RunChat(engine, std::cin, std::cout, std::cerr, options);
}

int Run(Settings& s) {
  namespace cli = quibbo::cli;
  switch (s.command) {
    case Command::kChat:
      return Chat(s);
    case Command::kInit:
      return Init(s.memory);
    case Command::kWipe:
      return cli::RunWipe(s.memory, s.yes, std::cin, std::cout, std::cerr);
    case Command::kLearn:
      s.learn.progress = isatty(STDERR_FILENO);
      return cli::RunLearn(s.memory, s.learn, std::cout, std::cerr);
    case Command::kStats:
      return cli::RunStats(s.memory, s.json, std::cout, std::cerr);
    case Command::kBackup:
      return cli::RunBackup(s.memory, s.file, s.force, std::cout, std::cerr);
    case Command::kRestore:
      return cli::RunRestore(s.memory, s.file, s.yes, std::cin, std::cout,
                             std::cerr);
    case Command::kExport:
      return cli::RunExport(s.memory, s.export_options, std::cout, std::cerr);
    case Command::kForget:
      return cli::RunForget(s.memory, s.words, s.yes, std::cin, std::cout,
                            std::cerr);
  }
  return kInternalError;
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  Settings settings;
  settings.memory = quibbo::DefaultMemoryPath();
  if (std::optional<int> status =
          quibbo::cli::ParseCommandLine(argc, argv, &settings)) {
    return *status;
  }
  if (settings.memory == quibbo::DefaultMemoryPath()) {
    if (auto failure = quibbo::PrepareDefaultMemory()) {
      std::cerr << "quibbo-cli: " << failure->description() << "\n";
    }
  }
  try {
    return Run(settings);
  } catch (const std::exception& fault) {
    // Failures of the memory are reported where they happen; what reaches
    // here is a fault of the program. What was stored before stays stored.
    std::cout.flush();
    std::cerr << "quibbo-cli: internal error: " << fault.what() << "\n";
    return kInternalError;
  }
}
