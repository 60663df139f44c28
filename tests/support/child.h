// Test support: the one way tests start a program; whole conversations
// through quibbo-cli checked line by line against the learning rules; and
// which failure a reply, an exit status or a --json line reports (tests
// check the kind of a failure, never its wording). A child's input and
// output are files in memory, so nothing blocks however much it reads or
// writes; every wait has a time bound, and a child still running at the end
// is killed.
#ifndef QUIBBO_TESTS_SUPPORT_CHILD_H_
#define QUIBBO_TESTS_SUPPORT_CHILD_H_

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <functional>
#include <nlohmann/json.hpp>
#include <optional>
#include <sstream>
#include <thread>

#include "tests/support/temp_memory.h"

namespace quibbo::testing {

using Kind = Error::Kind;

// The kind KindName calls `name` ("busy"...); nullopt for any other text.
inline std::optional<Kind> KindNamed(std::string_view name) {
  for (const KindRow& row : kKinds)
    if (name == row.name) return row.kind;
  return std::nullopt;
}

// The exit status quibbo-cli gives for a failure of `kind`.
inline int ExitStatusOf(Kind kind) { return RowOf(kKinds, kind).status; }

// The kind of failure a response reports; nullopt when it reports none.
inline std::optional<Kind> KindOf(const Response& response) {
  if (!response.failure) return std::nullopt;
  return response.failure->kind();
}

using Clock = std::chrono::steady_clock;

// The path of a built program: "quibbo-cli" or "quibbo".
inline std::string Program(const std::string& name) {
  return QUIBBO_PROGRAM_DIR "/" + name;
}

class Child {
 public:
  // With `input_stays_open`, the input comes through a pipe that stays open,
  // as from a person who may type more (see Write); it must fit into the
  // pipe.
  Child(std::string program, const Strings& arguments,
        const std::string& input = "", bool input_stays_open = false) {
    int ends[2] = {-1, -1};
    if (input_stays_open && pipe2(ends, O_CLOEXEC) == 0) {
      in_ = ends[1];
      (void)!write(in_, input.data(), input.size());
    } else {
      ends[0] = InMemoryFile(input);
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    const int fds[] = {ends[0], out_, err_};
    for (int i = 0; i < 3; ++i)
      posix_spawn_file_actions_adddup2(&actions, fds[i], i);
    std::vector<char*> argv = {program.data()};
    for (const std::string& argument : arguments)
      argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    if (posix_spawn(&pid_, argv[0], &actions, nullptr, argv.data(), environ))
      status_ = -1;
    posix_spawn_file_actions_destroy(&actions);
    close(ends[0]);
  }
  ~Child() {
    Wait(std::chrono::seconds(0));
    for (int fd : {in_, out_, err_}) close(fd);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  // More input, through the pipe that `input_stays_open` keeps.
  void Write(const std::string& more) {
    (void)!write(in_, more.data(), more.size());
  }
  void Signal(int signal) {
    if (!status_) kill(pid_, signal);
  }
  // Waits for the end, killing the child after `limit`: the exit status, or
  // nullopt when it was killed or died of a signal.
  std::optional<int> Wait(std::chrono::seconds limit) {
    const auto until = Clock::now() + limit;
    for (int status = 0; !status_;) {
      const bool late = Clock::now() >= until;
      if (late) Signal(SIGKILL);
      if (waitpid(pid_, &status, late ? 0 : WNOHANG) == pid_)
        status_ = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
    return *status_ >= 0 ? status_ : std::nullopt;
  }
  // Whether it has `path` open, under any name.
  bool HasOpen(const std::string& path) const {
    std::error_code error;
    const auto wanted = std::filesystem::weakly_canonical(path, error);
    for (const auto& fd : std::filesystem::directory_iterator(
             "/proc/" + std::to_string(pid_) + "/fd", error)) {
      if (std::filesystem::read_symlink(fd, error) == wanted) return true;
    }
    return false;
  }
  // What it has written so far.
  std::string out() const { return FileBytes(Path(out_)); }
  std::string err() const { return FileBytes(Path(err_)); }

 private:
  // Written with pwrite, so the child reads it from the start.
  static int InMemoryFile(const std::string& content) {
    const int fd = memfd_create("quibbo-test", MFD_CLOEXEC);
    (void)!pwrite(fd, content.data(), content.size(), 0);
    return fd;
  }
  static std::string Path(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
  }

  pid_t pid_ = -1;
  int in_ = -1, out_ = InMemoryFile(""), err_ = InMemoryFile("");
  std::optional<int> status_;
};

struct Outcome {
  std::optional<int> status;  // as Child::Wait gives it
  std::string out, err;
};

// Runs `program` to its end, killing it after `limit`.
inline Outcome RunProgram(
    const std::string& program, const Strings& arguments,
    const std::string& input = "",
    std::chrono::seconds limit = std::chrono::minutes(2)) {
  Child child(program, arguments, input);
  return {child.Wait(limit), child.out(), child.err()};  // in this order
}

inline Outcome Cli(const Strings& arguments, const std::string& input = "") {
  return RunProgram(Program("quibbo-cli"), arguments, input);
}

// The words of `line` ("@" stands for the memory's folder), then --memory
// and the memory unless they name one.
inline Strings Words(const std::string& line, const TempMemory& memory) {
  Strings words = Cut(line, ' ');
  for (std::string& word : words)
    if (word.starts_with("@")) word.replace(0, 1, memory.folder());
  if (line.find("--memory") == line.npos)
    words.insert(words.end(), {"--memory", memory.path()});
  return words;
}
inline Outcome Cli(const TempMemory& memory, const std::string& line,
                   const std::string& input = "") {
  return Cli(Words(line, memory), input);
}

// What `quibbo-cli stats --json` tells of `memory`, but for the file: its
// name, its size and the bytes per row.
inline nlohmann::json Stats(const TempMemory& memory) {
  auto stats = nlohmann::json::parse(Cli(memory, "stats --json").out);
  for (auto key : {"memory", "file_bytes", "bytes_per_row"}) stats.erase(key);
  return stats;
}

// Whether `text` is one line of quibbo-cli's, as each failure is told.
inline bool OneLine(const std::string& text) {
  return text.starts_with("quibbo-cli: ") && text.find('\n') == text.size() - 1;
}

// Waits until `ready()` holds, for at most `limit`; whether it came.
inline bool WaitUntil(const std::function<bool()>& ready,
                      std::chrono::seconds limit = std::chrono::seconds(30)) {
  for (const auto until = Clock::now() + limit; !ready();) {
    if (Clock::now() > until) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  return true;
}

// Each of `lines` followed by a line feed.
inline std::string Lines(const Strings& lines) {
  std::string text;
  for (const std::string& line : lines) text += line + "\n";
  return text;
}

// Each line of a --json conversation, parsed.
inline std::vector<nlohmann::json> JsonLines(const std::string& out) {
  std::vector<nlohmann::json> parsed;
  for (const std::string& line : Cut(out, '\n'))
    if (!line.empty()) parsed.push_back(nlohmann::json::parse(line));
  return parsed;
}

// The replies of a --json conversation, in order; nullopt for null.
inline std::vector<std::optional<std::string>> Replies(const std::string& out) {
  std::vector<std::optional<std::string>> replies;
  for (const nlohmann::json& line : JsonLines(out)) {
    const nlohmann::json& reply = line["quibbo"];
    replies.push_back(reply.is_string() ? reply.get<std::string>()
                                        : std::optional<std::string>());
  }
  return replies;
}

// The failure named by each line of a --json conversation: the kind of its
// "error" member, or nullopt when it has none.
using Kinds = std::vector<std::optional<Kind>>;
inline Kinds Failures(const std::string& out) {
  Kinds failures;
  for (const nlohmann::json& line : JsonLines(out))
    failures.push_back(KindNamed(line.value("error", "")));
  return failures;
}

// Talks through `lines` in one `quibbo-cli --json` run on `memory`, which
// holds something, so that no reply may be the trouble message. Every line
// is answered, or refused when it is not UTF-8, and the memory gains the
// rows the learning rules give. Returns the number of lines refused.
inline size_t TalkThrough(const TempMemory& memory, const Strings& lines,
                          std::chrono::seconds limit) {
  int64_t rows = memory.Rows().size();
  const Outcome chat = RunProgram(Program("quibbo-cli"),
                                  Words("--json", memory), Lines(lines), limit);
  const auto replies = Replies(chat.out);
  const Kinds failures = Failures(chat.out);
  EXPECT_EQ(replies.size(), lines.size()) << chat.err.substr(0, 2000);
  size_t refused = 0;
  for (size_t i = 0; i < std::min(replies.size(), lines.size()); ++i) {
    // quibbo-cli reads a line without its LF and a CR before it.
    std::string_view line = lines[i];
    if (line.ends_with('\r')) line.remove_suffix(1);
    const bool valid = IsValidUtf8(line);
    refused += !valid;
    rows += valid ? RowsLearnedFrom(line) : 0;
    EXPECT_EQ(replies[i].has_value(), valid) << "line " << i + 1;
    EXPECT_EQ(failures[i],
              valid ? std::nullopt : Kinds::value_type(Kind::kInvalidText))
        << "line " << i + 1;
  }
  EXPECT_EQ(static_cast<int64_t>(memory.Rows().size()), rows);
  memory.Sentences();  // checks that all are whole
  return refused;
}

}  // namespace quibbo::testing

#endif  // QUIBBO_TESTS_SUPPORT_CHILD_H_
