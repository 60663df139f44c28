#include "cli/options.h"

#include <charconv>
#include <iostream>
#include <set>
#include <string_view>
#include <utility>

#include "cli/command_table.h"
#include "cli/failure.h"
#include "quibbo/version.h"

namespace quibbo::cli {
namespace {

// A mistake in the command line, told in one line.
struct Mistake {
  std::string message;
};

std::string Quoted(std::string_view word) {
  return "'" + std::string(word) + "'";
}

const CommandSpec* FindCommand(std::string_view name) {
  for (const CommandSpec& command : kCommands) {
    if (name == command.name) return &command;
  }
  return nullptr;
}

// Any row of the option, whatever command it is for; null when none.
const OptionSpec* FindOption(std::string_view name) {
  for (const OptionSpec& option : kOptions) {
    for (std::string_view names = option.names; !names.empty();) {
      const size_t comma = names.find(", ");
      if (names.substr(0, comma) == name) return &option;
      names = comma == names.npos ? "" : names.substr(comma + 2);
    }
  }
  return nullptr;
}

// The row of the option for `command`; null when it does not apply.
const OptionSpec* OptionFor(const OptionSpec& any, const CommandSpec* command,
                            bool named) {
  for (const OptionSpec& option : kOptions) {
    if (option.knob != any.knob) continue;
    if (named ? (option.commands & Bit(command->command)) != 0
              : option.commands == 0 || (option.commands & Bit(Command::kChat)))
      return &option;
  }
  return nullptr;
}

// The mistake of a command given fewer arguments than it takes.
std::string TooFew(const CommandSpec& command) {
  static constexpr std::pair<Command, const char*> kTold[] = {
      {Command::kLearn,
       "learn needs at least one FILE to read (- reads the standard input)."},
      {Command::kBackup, "backup needs the FILE to write the copy to."},
      {Command::kRestore, "restore needs the FILE of the memory to put back."},
      {Command::kSentence,
       "sentence needs the ID of a row, as --explain shows them."},
      {Command::kForget, "forget needs at least one WORD."},
  };
  for (const auto& [each, mistake] : kTold) {
    if (each == command.command) return mistake;
  }
  return std::string(command.name) + " needs " + command.arguments + ".";
}

uint64_t Seed(std::string_view text) {
  uint64_t seed = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), seed);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    throw Mistake{
        "--seed takes a whole number from 0 to "
        "18446744073709551615, and " +
        Quoted(text) + " is not one."};
  return seed;
}

// A row's id, as --explain shows them; `what` names where it was given.
int64_t RowId(std::string_view text, std::string_view what) {
  int64_t id = 0;
  const auto [end, error] =
      std::from_chars(text.data(), text.data() + text.size(), id);
  if (text.empty() || error != std::errc() || end != text.data() + text.size())
    throw Mistake{std::string(what) +
                  " takes the id of a row, a whole number, and " +
                  Quoted(text) + " is not one."};
  return id;
}

struct Given {
  const OptionSpec* option;
  std::string name;
  std::string value;
};

// The options given, the command named (null if none) and its arguments.
struct CommandLine {
  std::vector<Given> options;
  const CommandSpec* command = nullptr;
  std::vector<std::string> arguments;
};

CommandLine Split(int argc, char** argv) {
  CommandLine line;
  bool options_ended = false;
  for (int i = 1; i < argc; ++i) {
    const std::string_view word = argv[i];
    if (options_ended || word == "-" || !word.starts_with("-")) {
      if (line.command == nullptr && line.arguments.empty()) {
        line.command = FindCommand(word);
        if (line.command == nullptr) {
          throw Mistake{Quoted(word) +
                        " is not a command; see quibbo-cli --help."};
        }
      } else {
        line.arguments.emplace_back(word);
      }
      continue;
    }
    if (word == "--") {
      options_ended = true;
      continue;
    }
    const size_t equals = word.starts_with("--") ? word.find('=') : word.npos;
    Given given{FindOption(word.substr(0, equals)),
                std::string(word.substr(0, equals)), ""};
    if (given.option == nullptr) {
      throw Mistake{"there is no option " + given.name +
                    "; see quibbo-cli --help."};
    }
    if (given.option->value == nullptr) {
      if (equals != word.npos) throw Mistake{given.name + " takes no value."};
    } else if (equals != word.npos) {
      given.value = word.substr(equals + 1);
    } else if (i + 1 < argc) {
      given.value = argv[++i];
    } else {
      const Knob knob = given.option->knob;
      throw Mistake{given.name + " needs " +
                    (knob == Knob::kSeed       ? "a number."
                     : knob == Knob::kSentence ? "the id of a row."
                                               : "a file name.")};
    }
    line.options.push_back(std::move(given));
  }
  return line;
}

// Sets what the command line asks for in `s`; true when the program is to
// stop after --help or --version.
bool Apply(const CommandLine& line, Settings& s) {
  const bool named = line.command != nullptr;
  const CommandSpec* command = named ? line.command : FindCommand("chat");
  for (const Given& given : line.options) {
    if (given.option->knob == Knob::kHelp) {
      std::cout << HelpText(line.command);
      return true;
    }
  }
  std::set<std::string> seen;
  for (const Given& given : line.options) {
    if (OptionFor(*given.option, command, named) == nullptr) {
      throw Mistake{given.name + " does not apply to " + command->name + "."};
    }
    if (given.option->value && !seen.insert(given.name).second) {
      throw Mistake{given.name + " is given twice."};
    }
    switch (given.option->knob) {
      case Knob::kHelp:
        break;
      case Knob::kVersion:
        std::cout << "quibbo-cli " << kVersion << "\n";
        return true;
      case Knob::kMemory:
        if (given.value.empty()) {
          throw Mistake{"--memory needs a file name, not an empty one."};
        }
        s.memory = given.value;
        break;
      case Knob::kSeed:
        s.seed = Seed(given.value);
        break;
      case Knob::kJson:
        s.json = true;
        break;
      case Knob::kNoLearn:
        s.no_learn = true;
        break;
      case Knob::kYes:
        s.yes = true;
        break;
      case Knob::kForce:
        s.force = true;
        break;
      case Knob::kExplain:
        s.explain = true;
        break;
      case Knob::kSentence:
        s.row = RowId(given.value, given.name);
        break;
    }
  }
  const size_t count = line.arguments.size();
  if (s.row && count > 0) {
    // forget --sentence ID names its sentence by the row alone.
    throw Mistake{"forget --sentence takes no WORD, and " +
                  Quoted(line.arguments[0]) + " is one too many."};
  }
  const bool by_row = command->command == Command::kSentence;
  const size_t most = MaxArguments(*command);
  if (count < MinArguments(*command) && !s.row) throw Mistake{TooFew(*command)};
  if (count > most) {
    throw Mistake{std::string(command->name) +
                  (most == 0 ? " takes no argument"
                   : by_row  ? " takes one ID"
                             : " takes one FILE") +
                  ", and " + Quoted(line.arguments[most]) +
                  " is one too many."};
  }
  if (by_row) s.row = RowId(line.arguments[0], "sentence");
  if (command->command != Command::kForget && !by_row) {
    for (const std::string& file : line.arguments) {
      if (file.empty()) {
        throw Mistake{std::string(command->name) +
                      " needs a file name, not an empty one."};
      }
    }
  }
  s.command = command->command;
  s.arguments = line.arguments;
  return false;
}

}  // namespace

std::optional<int> ParseCommandLine(int argc, char** argv, Settings* settings) {
  try {
    if (Apply(Split(argc, argv), *settings)) return 0;
  } catch (const Mistake& mistake) {
    std::cerr << "quibbo-cli: " << mistake.message << "\n";
    return kUsageStatus;
  }
  return std::nullopt;
}

}  // namespace quibbo::cli
