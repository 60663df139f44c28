#include "cli/inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <string_view>

#include "cli/failure.h"
#include "engine/error.h"
#include "engine/file_id.h"
#include "engine/memory_file.h"

namespace quibbo::cli {
namespace {

// Whether the start of the regular file `fd` looks like text: no NUL byte,
// which text never holds and binary files nearly always do (an SQLite
// database's header has one).
bool LooksLikeText(int fd) {
  char start[4096];
  const ssize_t got = pread(fd, start, sizeof start, 0);
  return got <= 0 || std::memchr(start, '\0', got) == nullptr;
}

}  // namespace

Input::~Input() {
  if (fd != STDIN_FILENO && fd >= 0) close(fd);
}

Inputs OpenInputs(const std::vector<std::string>& names,
                  const std::string& memory_path) {
  // The memory and what lies beside it while programs use it.
  std::vector<FileId> memory;
  if (auto id = FileIdOf(memory_path)) memory.push_back(*id);
  for (const char* suffix : kMemoryCompanions) {
    if (auto id = FileIdOf(memory_path + suffix)) memory.push_back(*id);
  }
  std::vector<FileId> seen;
  Inputs inputs;
  for (const std::string& name : names) {
    auto input = std::make_unique<Input>();
    input->name = name == "-" ? "standard input" : name;
    input->fd =
        name == "-" ? STDIN_FILENO : open(name.c_str(), O_RDONLY | O_CLOEXEC);
    struct stat info;
    if (input->fd < 0 || fstat(input->fd, &info) != 0) {
      const int error = errno;
      throw Error(KindOfErrno(error), "Cannot read " + input->name + ": " +
                                          std::strerror(error) + ".");
    }
    const FileId id = FileIdOf(input->fd).value_or(FileId{});
    if (std::find(memory.begin(), memory.end(), id) != memory.end()) {
      throw Error(Error::Kind::kExists,
                  input->name + " is the memory " + memory_path +
                      " or one of the files beside it; it cannot learn "
                      "itself.");
    }
    if (std::find(seen.begin(), seen.end(), id) != seen.end()) continue;
    seen.push_back(id);
    const bool regular = S_ISREG(info.st_mode);
    if (S_ISDIR(info.st_mode) || (regular && !LooksLikeText(input->fd))) {
      std::cerr << "quibbo-cli: skipped " << input->name << ": it is "
                << (S_ISDIR(info.st_mode) ? "a folder" : "not a text file")
                << "." << std::endl;
      inputs.not_text.push_back(input->name);
      continue;
    }
    inputs.total_bytes = !regular || inputs.total_bytes < 0
                             ? -1
                             : inputs.total_bytes + info.st_size;
    inputs.texts.push_back(std::move(input));
  }
  return inputs;
}

}  // namespace quibbo::cli
