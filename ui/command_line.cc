#include "ui/command_line.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "quibbo/memory.h"
#include "quibbo/version.h"

namespace quibbo::ui {
namespace {

// A mistake on the command line, as in quibbo-cli.
constexpr int kUsage = 2;

constexpr char kUsageText[] =
    "Usage: quibbo [OPTIONS]\n"
    "Quibbo's conversation window.\n"
    "\n"
    "Options:\n"
    "  --memory FILE  the memory file, instead of the one named below\n"
    "  -h, --help     print this help and exit\n"
    "  --version      print the version and exit\n"
    "Qt's own options, such as -platform NAME, are taken too.\n"
    "\n";

}  // namespace

std::optional<std::string> TakeOptions(int* argc, char** argv) {
  std::optional<std::string> memory;
  int kept = 1;
  for (int i = 1; i < *argc; ++i) {
    const char* argument = argv[i];
    if (std::strcmp(argument, "--help") == 0 ||
        std::strcmp(argument, "-h") == 0) {
      std::fputs(kUsageText, stdout);
      std::fputs(WhereTheMemoryIs().c_str(), stdout);
      std::exit(0);
    }
    if (std::strcmp(argument, "--version") == 0) {
      std::printf("quibbo %s\n", kVersion);
      std::exit(0);
    }
    if (std::strncmp(argument, "--memory=", 9) == 0) {
      memory = argument + 9;
    } else if (std::strcmp(argument, "--memory") == 0) {
      if (i + 1 == *argc) {
        std::fputs("quibbo: --memory needs a FILE\n", stderr);
        std::exit(kUsage);
      }
      memory = argv[++i];
    } else {
      argv[kept++] = argv[i];
    }
  }
  *argc = kept;
  argv[kept] = nullptr;
  if (memory && memory->empty()) {
    std::fputs("quibbo: --memory needs a FILE\n", stderr);
    std::exit(kUsage);
  }
  return memory;
}

std::string ChooseMemory(const std::optional<std::string>& named) {
  if (named) return *named;
  std::string memory = DefaultMemoryPath();
  if (std::optional<Error> failure =
          PrepareDefaultMemory(memory, Prepare::kFolderAndMemory)) {
    throw *failure;
  }
  return memory;
}

}  // namespace quibbo::ui
