// quibbo-cli end to end, on temporary memories: the conversation and the
// failure each line meets, the questions before a deletion, the command
// line and each refusal with its exit status, links and folders planted
// beside the memory, and interrupts.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include "cli/failure.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(CliTest, ChatRepliesAndNamesEachFailure) {
  TempMemory memory;
  ASSERT_EQ(Cli(memory, "init --memory @/empty").status, 0);
  // The arguments, the input, the failure of each line, and the exit
  // status, not 0 when no line reached the memory.
  const std::tuple<std::string, std::string, Kinds, int> kCases[] = {
      // Only the line end goes, LF or CRLF; a line not in UTF-8 is refused.
      {"--json",
       "say \"hi\\\"\r\nbad \xff\n   \n",
       {{}, Kind::kInvalidText, {}},
       0},
      // A blank line needs no memory.
      {"--json --memory @/none",
       "hi\nbad \xff\n \nthere\n",
       {Kind::kMissing, Kind::kInvalidText, {}, Kind::kMissing},
       3},
      {"--json --memory @", "hi\n", {Kind::kNotAMemory}, 4},
      // An empty memory was reached, though it has nothing to say.
      {"--json --no-learn --memory @/empty", "hi\n", {Kind::kEmpty}, 0}};
  for (const auto& [arguments, input, failures, status] : kCases) {
    const Strings words = Words(arguments, memory);
    const Outcome chat = Cli(words, input);
    const Kinds met = Failures(chat.out);
    EXPECT_EQ(met, failures) << arguments;
    EXPECT_EQ(chat.status, status) << arguments;
    const auto replies = Replies(chat.out);
    for (size_t i = 0; i < replies.size(); ++i) {
      // What went wrong and what to do here, never through a window's menu
      // or by wiping the memory.
      const auto& reply = replies[i];
      if (!reply || !met[i]) continue;
      EXPECT_THAT(*reply, HasSubstr(*++std::ranges::find(words, "--memory")));
      EXPECT_THAT(*reply, HasSubstr("quibbo-cli"));
      EXPECT_THAT(*reply, Not(ContainsRegex("Wipe| wipe|menu")));
    }
  }
  EXPECT_THAT(Cli(memory, "--memory @/none", "hi\n").out,
              HasSubstr("quibbo-cli init --memory " + memory.folder()));
  // A plain conversation shows no reply for a line it refused; the message
  // names the line.
  const Outcome plain = Cli(memory, "chat", "\xff\n \n\xfe\n");
  EXPECT_EQ(plain.out, "Quibbo: Please say something\n\n");
  EXPECT_THAT(plain.err, HasSubstr(" line 3 "));
  // Bytes not in UTF-8 in the memory still make valid JSON.
  memory.Execute(
      "DELETE FROM word WHERE id > 1; UPDATE word SET next = NULL,"
      "middle = CAST(x'ff' AS TEXT)");
  EXPECT_EQ(Replies(Cli(memory, "--json", ".\n").out),
            std::vector<std::optional<std::string>>{"\uFFFD"});
}

// Only yes-words, at every question, delete or replace anything, and the
// memory is named before the first question.
TEST(CliTest, QuestionsTakeYesWordsAndNameTheMemory) {
  // Each command, what it asks at last, and answers that let it do its work
  // and answers that do not.
  const std::tuple<std::string, std::string, Strings, Strings> kCases[] = {
      {"wipe", "?", {"y\ny\n", " Yes \nOK\n"}, {"", "n\nok\n", "yep\ny\n"}},
      {"restore @/backup", "?", {"ok\nYES\n"}, {"y\nno\n", "y\n\n"}},
      {"forget bob", "Forget it?", {"y\n", "Ok\n"}, {"sure\n"}},
      {"forget --sentence 4", "Forget it?", {"yes\n"}, {"\n"}}};
  for (const auto& [command, question, yes, no] : kCases) {
    for (const bool done : {true, false}) {
      for (const std::string& answers : done ? yes : no) {
        TempMemory memory({"Keep this.", "Bob is here."});
        Cli(memory, "init --memory @/backup");
        const Outcome outcome = Cli(memory, command, answers);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(memory.Sentences().size() < 2, done) << command << answers;
        EXPECT_LT(outcome.out.find(memory.path()), outcome.out.find('?'));
        EXPECT_THAT(outcome.out, HasSubstr(question));
      }
    }
  }
}

// Mistakes on the command line are told without the parser's words. No
// command writes over the memory or its files, over a memory another
// program has open, or over anything but a regular file, and learn never
// reads the memory. Each refusal is told in one line with the exit status
// of its kind, and leaves everything as it was.
TEST(CliTest, EachRefusalIsOneLineWithTheStatusOfItsKind) {
  TempMemory memory({"Keep this."}), other(Script("other", 20));
  const std::string dir = memory.folder() + "/";
  fs::create_symlink(memory.path(), dir + "link.mdb");
  fs::create_hard_link(memory.path(), dir + "hard.mdb");
  fs::create_directory(dir + "folder");
  std::ofstream(dir + "exists") << "x";
  std::ofstream(memory.path() + "-wait").flush();  // as a learner leaves it
  fs::create_symlink(memory.path(), dir + "memory.txt");
  ASSERT_EQ(mkfifo((dir + "fifo").c_str(), 0600), 0);
  // A memory whose pages are of another size cannot replace it in place.
  sqlite::Connection(dir + "big", SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE)
      .Execute(
          "PRAGMA page_size = 8192; PRAGMA journal_mode = WAL; CREATE "
          "TABLE word (id, previous, middle, next, position);");
  Child chat(Program("quibbo-cli"), Words("--json", other), "hello\n", true);
  ASSERT_TRUE(WaitUntil([&] { return chat.out().ends_with("}\n"); }));
  const size_t theirs = other.Rows().size();
  const std::pair<int, Strings> kCases[] = {
      {2,
       {"--seed -1", "--seed 18446744073709551616", "learn",
        "--no-learn learn @/qvd.mdb", "--json wipe --yes",
        "wipe --yes --version", "backup ", "chta", "stats x", "--frob",
        "--json=1", "--memory @/qvd.mdb --memory @/qvd.mdb", "--memory",
        "sentence x", "sentence", "sentence 1 2", "stats --explain",
        "forget --sentence 1 keep", "forget --sentence"}},
      {ExitStatusOf(Kind::kMissing),
       {"stats --memory @/none", "wipe --yes --memory @/none",
        "restore @/none --yes", "learn @/none.txt", "sentence 9",
        "sentence 9 --json", "forget --sentence 9"}},
      {ExitStatusOf(Kind::kNotAMemory),
       {"stats --memory @/folder", "forget keep --yes --memory @",
        "restore /etc/hostname --yes", "restore @/big --yes"}},
      // The memory itself under any name, its log, and what is no regular
      // file.
      {ExitStatusOf(Kind::kExists),
       {"init", "backup @/exists", "export @/exists", "backup @/folder --force",
        "backup @/qvd.mdb", "backup @/./qvd.mdb --force",
        "backup @/link.mdb --force", "backup @/hard.mdb --force",
        "restore @/link.mdb --yes", "export @/./qvd.mdb --force",
        "export @/qvd.mdb-wal --force", "export @/fifo --force",
        "backup @/fifo --force", "learn @/exists @/memory.txt",
        "learn @/qvd.mdb-wait",
        "learn @/../" + fs::path(memory.folder()).filename().string() +
            "/qvd.mdb"}},
      {ExitStatusOf(Kind::kBusy),
       {"backup " + other.path() + " --force",
        "export " + other.path() + " --force"}}};
  for (const auto& [status, commands] : kCases) {
    for (const std::string& command : commands) {
      const Outcome outcome = Cli(memory, command);
      EXPECT_EQ(outcome.status, status) << command;
      EXPECT_TRUE(OneLine(outcome.err)) << outcome.err;
      EXPECT_THAT(outcome.err,
                  Not(ContainsRegex("TEXT|UINT|required|expected")));
    }
  }
  // Near a mistake, but none: the largest seed.
  EXPECT_EQ(Cli(memory, "--seed 18446744073709551615 --no-learn", "keep\n").out,
            "Quibbo: Keep this.\n\n");
  EXPECT_EQ(memory.Sentences(), Strings{"Keep this."});
  EXPECT_EQ(FileBytes(dir + "exists"), "x");
  EXPECT_TRUE(fs::is_fifo(dir + "fifo"));
  chat.Write("still here\n");
  ASSERT_TRUE(WaitUntil([&] { return Failures(chat.out()).size() == 2; }));
  EXPECT_EQ(Failures(chat.out()).back(), std::nullopt);
  EXPECT_EQ(other.Rows().size(), theirs + 2);
}

// The README's and the manual's tables of exit statuses give every status
// quibbo-cli exits with, each failure's with the name of its kind, in rows
// as "| 130, 143, 129 | `interrupted` |" and ".BR 3 \" missing\"".
TEST(CliTest, TheDocsListEveryExitStatusWithItsKind) {
  std::vector<std::pair<int, std::string>> rows = {
      {0, ""},
      {cli::kUsageStatus, ""},
      {kInternalErrorStatus, ""},
      {128 + SIGTERM, "interrupted"},
      {128 + SIGHUP, "interrupted"}};
  for (const KindRow& kind : kKinds) rows.emplace_back(kind.status, kind.name);
  const std::string readme = FileBytes(QUIBBO_SOURCE_DIR "/README.md"),
                    page = FileBytes(QUIBBO_SOURCE_DIR "/doc/quibbo-cli.1.in");
  for (auto [status, name] : rows) {
    const std::string n = std::to_string(status);
    EXPECT_THAT(readme,
                ContainsRegex("\n[|] ([0-9]+, )*" + n + "(, [0-9]+)* [|] " +
                              (name.empty() ? "" : "`" + name + "` ") + "[|]"));
    for (size_t at = 0; (at = name.find('-', at)) != name.npos; at += 3)
      name.replace(at, 1, "\\\\-");  // as the manual writes a hyphen
    EXPECT_THAT(
        page,
        ContainsRegex("\n[.]BR? ([0-9]+ \", \" )*" + n + "( \", \" [0-9]+)*" +
                      (name.empty() ? "" : " \" " + name + "\"") + "\n"));
  }
}

// Links and folders: a link, or a folder, where Quibbo keeps a file beside
// the memory is refused in one line naming it, by every command that opens
// or creates a memory there, and what a link leads to keeps its mode, and
// the memory its rows.
TEST(CliTest, NothingBesideTheMemoryIsReachedThroughALink) {
  TempMemory memory({"Hello there."});
  const std::string notes = memory.folder() + "/notes.txt";
  std::ofstream(notes) << "text";
  chmod(notes.c_str(), 0444);
  for (const char* suffix : kMemoryCompanions) {
    for (bool link : {true, false}) {
      for (const std::string name : {"/qvd.mdb", "/new.mdb"}) {
        const std::string planted = memory.folder() + name + suffix;
        EXPECT_EQ(link ? symlink(notes.c_str(), planted.c_str())
                       : mkdir(planted.c_str(), 0700),
                  0);
      }
      for (const std::string command :
           {"--json", "stats", "wipe --yes", "init --memory @/new.mdb"}) {
        const Outcome outcome = Cli(memory, command, "hi\n");
        EXPECT_EQ(outcome.status, ExitStatusOf(Kind::kUnsafe)) << command;
        if (command == "--json") {
          EXPECT_EQ(Failures(outcome.out), Kinds{Kind::kUnsafe});
        } else {
          EXPECT_TRUE(OneLine(outcome.err)) << outcome.err;
        }
        EXPECT_THAT(outcome.err + outcome.out,
                    HasSubstr(std::string(".mdb") + suffix));
      }
      for (const std::string name : {"/qvd.mdb", "/new.mdb"})
        fs::remove(memory.folder() + name + suffix);
    }
  }
  EXPECT_EQ(fs::status(notes).permissions(), fs::perms::owner_read |
                                                 fs::perms::group_read |
                                                 fs::perms::others_read);
  EXPECT_FALSE(fs::exists(memory.folder() + "/new.mdb"));
  EXPECT_EQ(memory.Rows().size(), 2u);
  // A log that holds something (SQLite mends an empty one itself), left
  // read-only, not through a link, gets the memory's mode back.
  auto holder = memory.Connect(
      "PRAGMA wal_autocheckpoint = 0; PRAGMA user_version = 1; BEGIN; "
      "SELECT count(*) FROM word;");
  chmod((memory.path() + "-wal").c_str(), 0400);
  EXPECT_EQ(Cli(memory, "stats").status, 0);
  EXPECT_EQ(fs::status(memory.path() + "-wal").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// Ctrl+C, SIGTERM and SIGHUP (a terminal closed) end a command as the end
// of its work would, keeping what is stored and removing what is half
// written.
TEST(CliTest, InterruptsEndCleanly) {
  for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
    TempMemory memory;
    Child chat(Program("quibbo-cli"), Words("chat", memory), "hello there\n",
               true);
    ASSERT_TRUE(WaitUntil([&] { return chat.out().ends_with("\n\n"); }));
    chat.Signal(signal);
    EXPECT_EQ(chat.Wait(std::chrono::seconds(10)), 128 + signal);
    // The log is copied back into the memory file and removed.
    EXPECT_FALSE(fs::exists(memory.path() + "-wal"));
    EXPECT_EQ(memory.Rows().size(), 2u);
  }
  TempMemory memory(Script("kept", 50));
  for (const char* command :
       {"backup @/out --force", "export @/out", "export"}) {
    for (int signal : {SIGINT, SIGTERM}) {
      // Held, so that the command waits for the memory once it has begun.
      auto holder =
          memory.Connect("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;");
      Child child(Program("quibbo-cli"), Words(command, memory));
      ASSERT_TRUE(WaitUntil([&] { return child.HasOpen(memory.path()); }));
      child.Signal(signal);
      holder.reset();
      EXPECT_EQ(child.Wait(std::chrono::seconds(10)), 128 + signal);
      EXPECT_TRUE(OneLine(child.err()) && child.out().empty()) << child.err();
      for (const auto& file : fs::directory_iterator(memory.folder()))
        EXPECT_THAT(file.path().filename().string(), StartsWith("qvd.mdb"));
    }
  }
}

}  // namespace
}  // namespace quibbo::testing
