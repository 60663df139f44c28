#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "engine/file/memory_file.h"
#include "engine/file/private_folder.h"
#include "quibbo/memory.h"

namespace quibbo {
namespace {

namespace fs = std::filesystem;

constexpr char kMemoryName[] = "qvd.mdb";

// An absolute path from the environment, or nothing: relative values are
// to be ignored, as the XDG base directory rules say.
std::optional<std::string> AbsoluteFromEnvironment(const char* name) {
  const char* value = std::getenv(name);
  if (value == nullptr || value[0] != '/') return std::nullopt;
  return std::string(value);
}

std::optional<std::string> Home() {
  if (auto home = AbsoluteFromEnvironment("HOME")) return home;
  const passwd* entry = getpwuid(geteuid());
  if (entry == nullptr || entry->pw_dir == nullptr || entry->pw_dir[0] != '/') {
    return std::nullopt;
  }
  return std::string(entry->pw_dir);
}

std::optional<std::string> UserDataFolder() {
  if (auto data = AbsoluteFromEnvironment("XDG_DATA_HOME")) return data;
  if (auto home = Home()) return *home + "/.local/share";
  return std::nullopt;
}

std::string BesideProgram() { return ProgramFolder() + "/" + kMemoryName; }

// Whether `folder`, a real path, lies in the user's home; a home of "/"
// would hold every folder, and counts for none.
bool InHome(const fs::path& folder) {
  const std::optional<std::string> home = Home();
  if (!home) return false;
  std::error_code error;
  const fs::path real = fs::weakly_canonical(*home, error);
  if (error || real == "/") return false;
  const auto [end, _] =
      std::mismatch(real.begin(), real.end(), folder.begin(), folder.end());
  return end == real.end();
}

// The rule of quibbo/memory.h, above DefaultMemoryPath().
bool BesideProgramIsTheirs() {
  const fs::path folder = ProgramFolder();
  struct stat info;
  if (stat(folder.c_str(), &info) != 0 || info.st_uid != geteuid()) {
    return false;
  }
  std::error_code error;
  return fs::exists(folder.parent_path() / "CMakeCache.txt", error) ||
         InHome(folder);
}

}  // namespace

std::string ProgramFolder() {
  std::error_code error;
  fs::path exe = fs::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return exe.parent_path().string();
}

std::string DefaultMemoryPath() {
  if (BesideProgramIsTheirs()) return BesideProgram();
  std::optional<std::string> data = UserDataFolder();
  return data ? *data + "/quibbo/" + kMemoryName : "";
}

std::optional<Error> PrepareDefaultMemory(const std::string& memory,
                                          Prepare what) {
  if (memory.empty()) return NoHomeFolder();
  if (memory == BesideProgram()) return std::nullopt;
  if (auto failure = PreparePrivateFolder(memory)) return failure;
  struct stat info;
  if (what == Prepare::kFolder || lstat(memory.c_str(), &info) == 0) {
    return std::nullopt;
  }
  try {
    CreateMemory(memory);
  } catch (const Error& error) {
    // Another program starting at the same moment made it first.
    if (error.kind() != Error::Kind::kExists) return error;
  }
  return std::nullopt;
}

std::string WhereTheMemoryIs() {
  const std::string memory = DefaultMemoryPath();
  return "The memory is qvd.mdb beside the program when the program's folder "
         "is\nyours: a build's, or one in your home. Otherwise, as in a "
         "system install,\neach user, root too, has their own, "
         "$XDG_DATA_HOME/quibbo/qvd.mdb (by\ndefault "
         "~/.local/share/quibbo/qvd.mdb), made empty at their first start.\n"
         "This program uses:\n  " +
         (memory.empty() ? "none, as no home folder is known" : memory) + "\n";
}

}  // namespace quibbo
