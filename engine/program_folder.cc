#include "engine/program_folder.h"

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <system_error>

#include "engine/memory_file.h"

namespace quibbo {
namespace {

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
  const passwd* entry = getpwuid(getuid());
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

// Whether anything, even a dangling link, has the name: a memory beside the
// program that cannot be opened must be reported, not passed over.
bool Exists(const std::string& path) {
  struct stat status;
  return lstat(path.c_str(), &status) == 0;
}

// Makes `folder` and whatever is missing above it, each readable by the user
// alone, as the XDG base directory rules ask. Existing folders keep their
// modes. Returns errno, or 0.
int MakePrivateFolders(const std::filesystem::path& folder) {
  if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return 0;
  if (errno != ENOENT || !folder.has_parent_path() ||
      folder.parent_path() == folder) {
    return errno;
  }
  if (int error = MakePrivateFolders(folder.parent_path())) return error;
  if (mkdir(folder.c_str(), 0700) == 0 || errno == EEXIST) return 0;
  return errno;
}

}  // namespace

std::string ProgramFolder() {
  std::error_code error;
  std::filesystem::path exe =
      std::filesystem::read_symlink("/proc/self/exe", error);
  if (error) return ".";
  return exe.parent_path().string();
}

std::string DefaultMemoryPath() {
  std::string beside = BesideProgram();
  if (Exists(beside) || access(ProgramFolder().c_str(), W_OK) == 0) {
    return beside;
  }
  std::optional<std::string> data = UserDataFolder();
  // With no home to keep one in, the memory beside the program is the one
  // the replies name as missing.
  if (!data) return beside;
  return *data + "/quibbo/" + kMemoryName;
}

std::optional<Error> PrepareDefaultMemory() {
  std::string memory = DefaultMemoryPath();
  if (memory == BesideProgram() || Exists(memory)) return std::nullopt;
  if (int error =
          MakePrivateFolders(std::filesystem::path(memory).parent_path())) {
    return SystemFailure(error, "created", memory);
  }
  try {
    MemoryFile::Create(memory);
  } catch (const Error& error) {
    // Another program starting at the same moment made it first.
    if (error.kind() != Error::Kind::kExists) return error;
  }
  return std::nullopt;
}

std::string WhereTheMemoryIs() {
  return "The memory is qvd.mdb beside the program where there is one or "
         "where\nthe program's folder can be written. Otherwise, as in a "
         "system install,\neach user has their own, "
         "$XDG_DATA_HOME/quibbo/qvd.mdb (by default\n"
         "~/.local/share/quibbo/qvd.mdb), made empty at their first start.\n"
         "This program uses:\n  " +
         DefaultMemoryPath() + "\n";
}

}  // namespace quibbo
