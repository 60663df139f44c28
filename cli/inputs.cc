#include "cli/inputs.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <iostream>
#include <utility>

#include "quibbo/error.h"
#include "quibbo/memory.h"

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

// Throws when `id` is the memory of `inputs` or a file beside it.
void RefuseMemory(const std::string& name, const FileId& id,
                  const Inputs& inputs) {
  if (std::ranges::find(inputs.memory, id) != inputs.memory.end()) {
    throw InputIsMemory(name, inputs.memory_path);
  }
}

// Closes a file descriptor when the scope ends.
struct Closer {
  int fd = -1;
  ~Closer() {
    if (fd >= 0) close(fd);
  }
};

}  // namespace

Inputs CheckInputs(const std::vector<std::string>& names,
                   const std::string& memory_path) {
  Inputs inputs;
  inputs.memory_path = memory_path;
  if (auto id = FileIdOf(memory_path)) inputs.memory.push_back(*id);
  for (const char* suffix : kMemoryCompanions) {
    if (auto id = FileIdOf(memory_path + suffix)) inputs.memory.push_back(*id);
  }
  std::vector<FileId> seen;
  for (const std::string& name : names) {
    const Input input{name == "-" ? "standard input" : name, name == "-"};
    struct stat info;
    Closer file;
    if (input.standard_input ? fstat(STDIN_FILENO, &info) != 0
                             : stat(name.c_str(), &info) != 0) {
      throw CannotRead(input.name, errno);
    }
    // A regular file is opened to see whether it can be read and what it
    // holds. Others are not: opening a pipe would wait for its writer, and
    // closing it would lose what the writer sent.
    if (!input.standard_input && S_ISREG(info.st_mode)) {
      file.fd = open(name.c_str(), O_RDONLY | O_CLOEXEC);
      if (file.fd < 0 || fstat(file.fd, &info) != 0) {
        throw CannotRead(input.name, errno);
      }
    }
    const FileId id{info.st_dev, info.st_ino};
    RefuseMemory(input.name, id, inputs);
    if (std::ranges::find(seen, id) != seen.end()) continue;
    seen.push_back(id);
    const bool regular = S_ISREG(info.st_mode);
    if (S_ISDIR(info.st_mode) || (regular && !LooksLikeText(file.fd))) {
      std::cerr << "quibbo-cli: skipped " << input.name << ": it is "
                << (S_ISDIR(info.st_mode) ? "a folder" : "not a text file")
                << "." << std::endl;
      inputs.not_text.push_back(input.name);
      continue;
    }
    inputs.total_bytes = !regular || inputs.total_bytes < 0
                             ? -1
                             : inputs.total_bytes + info.st_size;
    inputs.texts.push_back(input);
  }
  return inputs;
}

InputFile::InputFile(const Input& input, const Inputs& inputs) {
  if (input.standard_input) {
    fd_ = STDIN_FILENO;
    return;
  }
  Closer file{open(input.name.c_str(), O_RDONLY | O_CLOEXEC)};
  if (file.fd < 0) throw CannotRead(input.name, errno);
  // The name may lead elsewhere since it was looked at.
  if (const auto id = FileIdOf(file.fd)) RefuseMemory(input.name, *id, inputs);
  fd_ = std::exchange(file.fd, -1);
  owned_ = true;
}

InputFile::~InputFile() {
  if (owned_) close(fd_);
}

}  // namespace quibbo::cli
