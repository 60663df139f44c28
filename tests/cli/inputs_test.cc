// quibbo-cli end to end on what strangers' files and terminals give it:
// what learn is given (byte order marks, lines of white space, endless
// lines, more files than may be open at once), long paths and the longest
// file names a backup or an export may write, and signals, limits and a
// standard output that takes nothing.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <fstream>

#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;

// quibbo-cli run by sh in `shell`, where "@cli" stands for it with
// `arguments` and --memory.
Outcome ShellCli(std::string shell, const std::string& arguments,
                 const TempMemory& memory, const std::string& input = "") {
  shell.replace(shell.find("@cli"), 4, "\"$0\" \"$@\"");
  Strings words = {"-c", shell, Program("quibbo-cli")};
  for (const std::string& word : Words(arguments, memory))
    words.push_back(word);
  return RunProgram("/bin/sh", words, input);
}

const std::string kBom = "\xEF\xBB\xBF";

// Inputs.
//
// Each text file once, under any name, one at a time (more are given than
// may be open at once), and a signal file a learner left does not stop it.
// That learn never reads the memory is tried with the refusals. A byte order
// mark starts each file, not each line; white space alone, of any kind, is
// no sentence.
TEST(InputsTest, LearnReadsEachTextFileOnceWithoutMarksOrBlankLines) {
  TempMemory memory;
  const std::string dir = memory.folder() + "/";
  std::ofstream(dir + "a.txt") << kBom << "Hello there\n \t \n\t\n";
  std::ofstream(dir + "b.txt") << kBom << "\xC2\xA0\xE3\x80\x80\r\n"
                               << kBom << "again\n";
  std::ofstream(dir + "bin.dat") << std::string("text\0more\n", 10);
  std::ofstream(memory.path() + "-wait").flush();
  fs::create_symlink(dir + "a.txt", dir + "link.txt");
  fs::copy_file(memory.path(), dir + "copy.mdb");
  std::string command =
      "learn @/a.txt @/link.txt @/bin.dat @/copy.mdb @/b.txt @/./a.txt @";
  for (int i = 0; i < 60; ++i) {
    std::ofstream(dir + std::to_string(i) + ".txt") << " \n";
    command += " @/" + std::to_string(i) + ".txt";
  }
  const Outcome learn = ShellCli("ulimit -n 40; exec @cli", command, memory);
  EXPECT_EQ(learn.status, 0) << learn.err;
  EXPECT_THAT(learn.out, HasSubstr("; skipped 3 files not text ("));
  EXPECT_EQ(memory.Sentences(), (Strings{"Hello there.", kBom + "again."}));
  // A conversation keeps its own rule: a tab is a word.
  Cli(memory, "chat", kBom + "\t\n");
  EXPECT_EQ(memory.Sentences().back(), "\t.");
}

// Names.
//
// A memory at a path longer than SQLite takes is reached through a shorter
// one to the same file; backup and export write the longest names.
TEST(NamesTest, LongPathsAndTheLongestNamesWork) {
  TempMemory memory;
  std::string folder = memory.folder();
  for (int depth = 0; depth < 3; ++depth) folder += "/" + std::string(200, 'd');
  fs::create_directories(folder);
  const std::string path = folder + "/qvd.mdb";
  for (const std::string command : {"init", "--json", "export"}) {
    const Outcome outcome = Cli({command, "--memory", path}, "hello there\n");
    EXPECT_EQ(outcome.status, 0) << command << outcome.err;
  }
  EXPECT_EQ(Cli({"export", "--memory", path}).out, "Hello there.\n");
  std::string accents;
  while (accents.size() < 253) accents += "\xC3\xA9";  // é
  for (const std::string& name : {std::string(255, 'n'), accents}) {
    for (const std::string command : {"backup", "export"}) {
      const std::string file = memory.folder() + "/" + name;
      const Outcome outcome = Cli({command, file, "--memory", path});
      EXPECT_EQ(outcome.status, 0) << command << outcome.err;
      EXPECT_TRUE(fs::is_regular_file(file)) << command;
      fs::remove(file);
      // Nothing is left in the folder but its memory and the long path.
      EXPECT_EQ(std::ranges::distance(fs::directory_iterator(memory.folder())),
                2);
    }
  }
}

// Limits and output.
//
// An endless line stops learn, and a conversation, and a file-size limit is
// a full disk: one line, in bounded memory, and what was stored before,
// what came before the endless line too, stays whole.
TEST(SignalsTest, AnEndlessLineOrAFileSizeLimitStopsInOneLine) {
  TempMemory memory;
  std::ofstream(memory.folder() + "/book.txt") << Lines(Script("line", 6000));
#ifdef __SANITIZE_ADDRESS__  // which cannot run within a memory limit
  const std::string bounded = "";
#else
  const std::string bounded = "ulimit -v 300000; ";
#endif
  const std::string endless =
      bounded + "{ echo kept; yes | tr -d '\\n'; } | @cli";
  // Below the size of a memory of the book, and of the book.
  const std::string limit = "ulimit -f 300; exec @cli";
  const std::tuple<std::string, std::string, Kind> kCases[] = {
      {bounded + "exec @cli", "learn /dev/zero", Kind::kInvalidText},
      {endless, "learn -", Kind::kInvalidText},
      {endless, "chat", Kind::kInvalidText},
      {limit, "learn @/book.txt", Kind::kFull},
      {limit, "backup @/copy", Kind::kFull},
      {limit, "export @/text", Kind::kFull}};
  size_t kept = 0;
  for (const auto& [shell, command, kind] : kCases) {
    const Outcome outcome = ShellCli(shell, command, memory);
    EXPECT_EQ(outcome.status, ExitStatusOf(kind)) << command;
    EXPECT_TRUE(OneLine(outcome.err)) << outcome.err;
    kept += shell == endless;
    const Strings stored = memory.Sentences();  // checks that all are whole
    EXPECT_TRUE(kind != Kind::kInvalidText || stored == Strings(kept, "Kept."));
    if (kind == Kind::kFull && command.starts_with("learn"))
      Cli(memory, command);
  }
}

// A closed or full standard output, or a pipe nobody reads, fails in one
// line, every command alike; nothing is deleted on a question that could not
// be shown, and a conversation stores the line whose reply was lost and ends
// there.
TEST(SignalsTest, LostOutputIsAFailure) {
  TempMemory memory({"Keep this."});
  std::ofstream(memory.folder() + "/a.txt") << "learned\n";
  const std::pair<std::string, std::string> kCommands[] = {
      {"stats", ""},          {"stats --json", ""},
      {"export", ""},         {"export @/out --force", ""},
      {"learn @/a.txt", ""},  {"wipe", "y\ny\n"},
      {"chat", "one\ntwo\n"}, {"--json", "three\n"},
      {"--help", ""},         {"init --memory @/new.mdb", ""}};
  // The pipe's reader is gone before quibbo-cli starts: "go" tells when.
  const std::string go = memory.folder() + "/go";
  ASSERT_EQ(mkfifo(go.c_str(), 0600), 0);
  const std::string unread = "{ read x <" + go + "; @cli; echo $? >" + go +
                             ".status; } | { exec 0<&-; echo >" + go +
                             "; }; exit $(cat " + go + ".status)";
  for (const std::string& redirect :
       Strings{"exec @cli >&-", "exec @cli >/dev/full", unread}) {
    for (const auto& [command, input] : kCommands) {
      const size_t rows = memory.Rows().size();
      fs::remove(memory.folder() + "/new.mdb");
      const Outcome outcome = ShellCli(redirect, command, memory, input);
      EXPECT_NE(outcome.status, 0) << redirect << command;
      EXPECT_TRUE(OneLine(outcome.err)) << command << outcome.err;
      const size_t gained = command == "chat" || command == "--json" ||
                            command.starts_with("learn");
      EXPECT_EQ(memory.Rows().size(), rows + gained) << redirect << command;
    }
  }
}

}  // namespace
}  // namespace quibbo::testing
