// quibbo-cli: Quibbo on the terminal, over the same memory as the window.
//
//   quibbo-cli [chat] [--json] [--seed N] [--memory FILE]   talk
//   quibbo-cli init [--memory FILE]                         create a memory
//   quibbo-cli wipe [--yes] [--memory FILE]                 empty the memory
//   quibbo-cli learn FILE... [--memory FILE]                learn files
//   quibbo-cli stats [--json] [--memory FILE]               what it holds
#include <unistd.h>

#include <CLI/CLI.hpp>
#include <iostream>
#include <memory>
#include <string>

#include "cli/chat.h"
#include "cli/learn.h"
#include "cli/stats.h"
#include "cli/wipe.h"
#include "engine/engine.h"
#include "engine/memory_file.h"
#include "engine/program_folder.h"
#include "engine/version.h"

namespace {

using quibbo::Engine;
using quibbo::SeededRandom;

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

int Chat(const std::string& memory, bool json, std::optional<uint64_t> seed) {
  std::unique_ptr<quibbo::RandomSource> random;
  if (seed) random = std::make_unique<SeededRandom>(*seed);
  Engine engine(memory, std::move(random));
  engine.SetReportErrors(true);
  quibbo::cli::ChatOptions options;
  options.json = json;
  options.prompt = !json && isatty(STDIN_FILENO);
  return quibbo::cli::RunChat(engine, std::cin, std::cout, std::cerr, options);
}

}  // namespace

int main(int argc, char** argv) {
  std::ios::sync_with_stdio(false);
  CLI::App app("Quibbo, the chatterbot that learns to talk from you.",
               "quibbo-cli");
  app.set_version_flag("--version", std::string(quibbo::kVersion));
  app.require_subcommand(0, 1);

  std::string memory = quibbo::DefaultMemoryPath();
  const std::string memory_help =
      "The memory file (default: qvd.mdb beside the program)";
  bool json = false;
  std::optional<uint64_t> seed;
  app.add_option("--memory", memory, memory_help);
  app.add_flag("--json", json,
               "One JSON object per line: {\"you\": ..., \"quibbo\": ...}");
  app.add_option("--seed", seed, "Fixed random seed, for repeatable replies");

  CLI::App* chat = app.add_subcommand("chat", "Talk to Quibbo (the default)");
  chat->add_option("--memory", memory, memory_help);
  chat->add_flag("--json", json,
                 "One JSON object per line: {\"you\": ..., \"quibbo\": ...}");
  chat->add_option("--seed", seed, "Fixed random seed, for repeatable replies");

  CLI::App* init = app.add_subcommand("init", "Create an empty memory");
  init->add_option("--memory", memory, memory_help);

  bool yes = false;
  CLI::App* wipe = app.add_subcommand(
      "wipe", "Delete everything Quibbo has learned, after two questions");
  wipe->add_option("--memory", memory, memory_help);
  wipe->add_flag("--yes", yes, "Answer yes to both questions");

  quibbo::cli::LearnOptions learn_options;
  CLI::App* learn = app.add_subcommand(
      "learn",
      "Learn every line of the files as if it had been said, without "
      "replying. Ctrl+C stops after the current batch of sentences; what was "
      "learned stays, and the exit status is 130");
  learn
      ->add_option("files", learn_options.files,
                   "Text files, one sentence or more per line; - reads the "
                   "standard input")
      ->required();
  learn->add_option("--memory", memory, memory_help);

  CLI::App* stats = app.add_subcommand(
      "stats", "Show what the memory holds: words, sentences, size");
  stats->add_option("--memory", memory, memory_help);
  stats->add_flag("--json", json, "One JSON object instead of text");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    std::cerr << "quibbo-cli: " << e.what() << "\n"
              << "Run 'quibbo-cli --help' for usage.\n";
    return 2;
  }

  try {
    if (*init) return Init(memory);
    if (*learn) {
      learn_options.progress = isatty(STDERR_FILENO);
      return quibbo::cli::RunLearn(memory, learn_options, std::cout, std::cerr);
    }
    if (*stats) {
      return quibbo::cli::RunStats(memory, json, std::cout, std::cerr);
    }
    if (*wipe) {
      return quibbo::cli::RunWipe(memory, yes, std::cin, std::cout, std::cerr);
    }
    return Chat(memory, json, seed);
  } catch (const std::exception& fault) {
    // Failures of the memory are reported where they happen; what reaches
    // here is a fault of the program. What was stored before stays stored.
    std::cout.flush();
    std::cerr << "quibbo-cli: internal error: " << fault.what() << "\n";
    return kInternalError;
  }
}
