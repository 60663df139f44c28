#include "cli/options.h"

#include <CLI/CLI.hpp>
#include <iostream>

#include "engine/version.h"

namespace quibbo::cli {
namespace {

constexpr char kMemoryHelp[] =
    "The memory file (default: qvd.mdb beside the program)";
constexpr char kChatJsonHelp[] =
    "One JSON object per line: {\"you\": ..., \"quibbo\": ...}";
constexpr char kSeedHelp[] = "Fixed random seed, for repeatable replies";

CLI::App* Subcommand(CLI::App& app, const char* name, const char* help,
                     Settings* settings) {
  CLI::App* command = app.add_subcommand(name, help);
  command->add_option("--memory", settings->memory, kMemoryHelp);
  return command;
}

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, Settings* settings) {
  CLI::App app("Quibbo, the chatterbot that learns to talk from you.",
               "quibbo-cli");
  app.set_version_flag("--version", std::string(kVersion));
  app.require_subcommand(0, 1);
  Settings& s = *settings;

  app.add_option("--memory", s.memory, kMemoryHelp);
  app.add_flag("--json", s.json, kChatJsonHelp);
  app.add_option("--seed", s.seed, kSeedHelp);
  app.add_flag("--no-learn", s.no_learn,
               "Reply without storing anything, to try out a memory");

  CLI::App* chat =
      Subcommand(app, "chat", "Talk to Quibbo (the default)", settings);
  chat->add_flag("--json", s.json, kChatJsonHelp);
  chat->add_option("--seed", s.seed, kSeedHelp);
  chat->add_flag("--no-learn", s.no_learn,
                 "Reply from the memory as it is, storing nothing: for trying "
                 "out a memory without changing it");

  CLI::App* init = Subcommand(app, "init", "Create an empty memory", settings);

  CLI::App* wipe = Subcommand(
      app, "wipe", "Delete everything Quibbo has learned, after two questions",
      settings);
  wipe->add_flag("--yes", s.yes, "Answer yes to both questions");

  CLI::App* learn = Subcommand(
      app, "learn",
      "Learn every line of the files as if it had been said, without "
      "replying. Ctrl+C stops after the current batch of sentences; what was "
      "learned stays, and the exit status is 130",
      settings);
  learn
      ->add_option("files", s.learn.files,
                   "Text files, one sentence or more per line; - reads the "
                   "standard input")
      ->required();
  learn->add_flag("--json", s.learn.json,
                  "Each line is one JSON string, as `export --json` writes "
                  "them: words may hold line breaks and tabs");

  CLI::App* stats = Subcommand(
      app, "stats", "Show what the memory holds: words, sentences, size",
      settings);
  stats->add_flag("--json", s.json, "One JSON object instead of text");

  CLI::App* backup = Subcommand(
      app, "backup",
      "Copy the memory to FILE, readable by you alone, while other programs "
      "go on using it; the copy is checked before it is put in place",
      settings);
  backup->add_option("FILE", s.file, "The copy to write")->required();
  backup->add_flag("--force", s.force, "Replace FILE if it exists");

  CLI::App* restore = Subcommand(
      app, "restore",
      "Replace everything in the memory with the memory in FILE (a backup), "
      "after the two questions wipe asks. Programs using the memory go on "
      "with the restored one; a failure changes nothing",
      settings);
  restore->add_option("FILE", s.file, "A Quibbo memory, such as a backup")
      ->required();
  restore->add_flag("--yes", s.yes, "Answer yes to both questions");

  ExportOptions& out = s.export_options;
  CLI::App* export_command = Subcommand(
      app, "export",
      "Write every stored sentence, oldest first, one per line; `learn` of "
      "the result stores the same rows again",
      settings);
  export_command->add_option(
      "FILE", out.file,
      "Where to write, readable by you alone; - or nothing is the standard "
      "output");
  export_command->add_flag("--json", out.json,
                           "One JSON string per line, which keeps line "
                           "breaks inside words; read back with learn --json");
  export_command->add_flag("--force", out.force, "Replace FILE if it exists");

  CLI::App* forget = Subcommand(
      app, "forget",
      "Delete every sentence that holds any of the words (letter case "
      "ignored), after showing how many and some of them",
      settings);
  forget->add_option("WORD", s.words, "Words to forget, each on its own")
      ->required();
  forget->add_flag("--yes", s.yes, "Delete without asking");

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

  const std::pair<CLI::App*, Command> commands[] = {
      {init, Command::kInit},
      {wipe, Command::kWipe},
      {learn, Command::kLearn},
      {stats, Command::kStats},
      {backup, Command::kBackup},
      {restore, Command::kRestore},
      {export_command, Command::kExport},
      {forget, Command::kForget}};
  for (const auto& [command, id] : commands) {
    if (*command) s.command = id;
  }
  return std::nullopt;
}

}  // namespace quibbo::cli
