// quibbo-cli --help and quibbo-cli COMMAND --help.
#include <sys/ioctl.h>
#include <unistd.h>

#include <string>
#include <string_view>

#include "cli/command_table.h"
#include "quibbo/memory.h"
#include "quibbo/text.h"

namespace quibbo::cli {
namespace {

// Where the descriptions start, after the names.
constexpr size_t kColumn = 22;

size_t Width() {
  winsize size = {};
  if (isatty(STDOUT_FILENO) && ioctl(STDOUT_FILENO, TIOCGWINSZ, &size) == 0 &&
      size.ws_col > 0) {
    return std::max<size_t>(size.ws_col, kColumn + 20);
  }
  return 80;
}

// The words of `text` in lines of at most `width` columns (a word longer
// than that has a line of its own), the first after `first`, the others
// after `indent` spaces.
std::string Fill(std::string_view text, std::string first, size_t indent,
                 size_t width) {
  std::string out, line = std::move(first);
  bool empty_line = true;
  for (const std::string& word : Cut(text, ' ')) {
    if (!empty_line && line.size() + 1 + word.size() > width) {
      out += line + "\n";
      line = std::string(indent, ' ');
      empty_line = true;
    }
    line += (empty_line ? "" : " ") + word;
    empty_line = false;
  }
  return out + line + "\n";
}

// An option or command with its description beside it.
std::string Entry(std::string label, std::string_view help, size_t width) {
  std::string out;
  label = "  " + label;
  if (label.size() + 2 > kColumn) {
    out = label + "\n";
    label.clear();
  }
  label.resize(kColumn, ' ');
  return out + Fill(help, label, kColumn, width);
}

}  // namespace

std::string HelpText(const CommandSpec* command) {
  const size_t width = Width();
  std::string help;
  if (command) {
    help = "Usage: quibbo-cli " + std::string(command->name) + " [OPTIONS]" +
           (*command->arguments ? " " : "") + command->arguments + "\n\n" +
           Fill(command->help, "", 0, width);
  } else {
    help =
        "Usage: quibbo-cli [chat] [OPTIONS]\n"
        "       quibbo-cli COMMAND [OPTIONS] [ARGUMENTS]\n\n" +
        Fill(
            "Quibbo, the chatterbot that learns to talk from you. Without a "
            "command it talks, as chat does, and takes chat's options.",
            "", 0, width);
  }
  // Without a command, the options of the program and of chat.
  const uint32_t shown = Bit(command ? command->command : Command::kChat);
  help += "\nOptions:\n";
  for (const OptionSpec& option : kOptions) {
    if (!(option.commands & shown) && (command || option.commands != 0)) {
      continue;
    }
    std::string label = option.names;
    if (option.value) label += std::string(" ") + option.value;
    help += Entry(label, option.help, width);
  }
  if (command) return help;
  help += "\nCommands:\n";
  for (const CommandSpec& each : kCommands) {
    help += Entry(
        std::string(each.name) + (*each.arguments ? " " : "") + each.arguments,
        each.help, width);
  }
  return help + "\n" + WhereTheMemoryIs();
}

}  // namespace quibbo::cli
