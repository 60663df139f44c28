// quibbo-cli end to end, on temporary memories: the conversation, the
// questions before a deletion, the command line, learn, stats and export,
// the exit status of each kind of failure, and interrupts. Also the progress
// bar's estimate of the time left.
#include <gmock/gmock.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>

#include "cli/progress.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;

// Every failure is told in one line.
bool OneLine(const std::string& text) {
  return text.starts_with("quibbo-cli: ") && text.find('\n') == text.size() - 1;
}

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
      {"--json --memory @/none",
       "hi\nbad \xff\nthere\n",
       {Kind::kMissing, Kind::kInvalidText, Kind::kMissing},
       3},
      {"--json --memory @", "hi\n", {Kind::kNotAMemory}, 4},
      // An empty memory was reached, though it has nothing to say.
      {"--json --no-learn --memory @/empty", "hi\n", {Kind::kEmpty}, 0}};
  for (const auto& [arguments, input, failures, status] : kCases) {
    const Strings words = Words(arguments, memory);
    const Outcome chat = Cli(words, input);
    EXPECT_EQ(Failures(chat.out), failures) << arguments;
    EXPECT_EQ(chat.status, status) << arguments;
    for (const auto& reply : Replies(chat.out)) {
      // What went wrong and what to do here, never through a window's menu
      // or by wiping the memory.
      if (!reply || !IsTrouble(*reply)) continue;
      EXPECT_THAT(*reply, HasSubstr(*++std::ranges::find(words, "--memory")));
      EXPECT_THAT(*reply, HasSubstr("quibbo-cli"));
      EXPECT_THAT(*reply, Not(ContainsRegex("Wipe| wipe|menu")));
    }
  }
  EXPECT_THAT(Cli(memory, "--memory @/none", "hi\n").out,
              HasSubstr("quibbo-cli init --memory " + memory.folder()));
  // The members in the documented order.
  EXPECT_TRUE(Cli(memory, "--json", "say\n\xff\n")
                  .out.ends_with("{\"you\":\"\uFFFD\",\"quibbo\":null,"
                                 "\"error\":\"invalid-text\"}\n"));
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
  // Both programs tell their version alike.
  if (fs::exists(Program("quibbo"))) {
    EXPECT_EQ("quibbo-cli" + RunProgram(Program("quibbo"), {"--version"})
                                 .out.substr(strlen("quibbo")),
              Cli({"--version"}).out);
  }
}

// Only yes-words, at every question, delete or replace anything, and the
// memory is named before the first question.
TEST(CliTest, QuestionsTakeYesWordsAndNameTheMemory) {
  // Each command, with answers that let it do its work and answers that
  // do not.
  const std::tuple<std::string, Strings, Strings> kCases[] = {
      {"wipe", {"y\ny\n", " Yes \nOK\n"}, {"", "n\nok\n", "y\n\n", "yep\ny\n"}},
      {"restore @/backup", {"ok\nYES\n"}, {"y\nno\n"}},
      {"forget bob", {"y\n"}, {"sure\n"}},
      {"forget bob keep", {"Ok\n"}, {}}};
  for (const auto& [command, yes, no] : kCases) {
    for (const bool done : {true, false}) {
      for (const std::string& answers : done ? yes : no) {
        TempMemory memory({"Keep this.", "Bob is here."});
        Cli(memory, "init --memory @/backup");
        const Outcome outcome = Cli(memory, command, answers);
        EXPECT_EQ(outcome.status, 0) << outcome.err;
        EXPECT_EQ(memory.Sentences().size() < 2, done) << command << answers;
        EXPECT_LT(outcome.out.find(memory.path()), outcome.out.find('?'));
        if (command.starts_with("forget")) {
          EXPECT_THAT(outcome.out,
                      HasSubstr(command.ends_with("keep") ? "Forget them?"
                                                          : "Forget it?"));
        }
      }
    }
  }
}

// Each text file once, under any name; a signal file a learner left does not
// stop it. That learn never reads the memory is tried with the refusals.
TEST(CliTest, LearnReadsEachTextFileOnce) {
  TempMemory memory;
  const std::string dir = memory.folder() + "/";
  std::ofstream(dir + "a.txt") << "one two. three\nfour\n";
  std::ofstream(dir + "bin.dat") << std::string("text\0more\n", 10);
  std::ofstream(memory.path() + "-wait").flush();
  fs::create_symlink(dir + "a.txt", dir + "link.txt");
  fs::copy_file(memory.path(), dir + "copy.mdb");
  const Outcome learn =
      Cli(memory, "learn @/a.txt @/link.txt @/bin.dat @/copy.mdb @/./a.txt @");
  EXPECT_EQ(learn.status, 0) << learn.err;
  EXPECT_EQ(memory.Rows().size(), 4u);
  EXPECT_THAT(learn.out, HasSubstr("; skipped 3 files not text ("));
}

TEST(CliTest, StatsAndExportShowWhatIsStored) {
  TempMemory memory;
  Strings lines(400, "the same words");
  lines.push_back("tab\there bell\x01 line\nbreak");
  memory.Fill(lines);
  const Outcome text = Cli(memory, "stats");
  for (const char* shown : {"1,203 ", " KB", "Tab\\there", "bell\\x01",
                            "line\\nbreak.", " 400\n"}) {
    EXPECT_THAT(text.out, HasSubstr(shown));
  }
  EXPECT_TRUE(std::ranges::all_of(text.out, [](unsigned char c) {
    return c == '\n' || (c >= ' ' && c != 0x7f);
  })) << text.out;
  const auto json =
      nlohmann::ordered_json::parse(Cli(memory, "stats --json").out);
  Strings members;
  for (const auto& [member, value] : json.items()) members.push_back(member);
  EXPECT_EQ(members, (Strings{"memory", "rows", "distinct_words", "sentences",
                              "file_bytes", "bytes_per_row", "top_words"}));
  EXPECT_EQ(json["rows"], 1203);

  // Export writes to the standard output unless told otherwise, and warns
  // in one line of what plain text cannot keep.
  const Strings sentences = memory.Sentences();
  const Outcome plain = Cli(memory, "export");
  EXPECT_EQ(plain.out, Lines(sentences));
  EXPECT_TRUE(OneLine(plain.err)) << plain.err;
  const Outcome exact = Cli(memory, "export - --json");
  std::string strings;
  for (const std::string& sentence : sentences)
    strings += nlohmann::json(sentence).dump() + "\n";
  EXPECT_EQ(exact.out, strings);
  EXPECT_EQ(exact.err, "");
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
        "--json=1", "--memory @/qvd.mdb --memory @/qvd.mdb", "--memory"}},
      {ExitStatusOf(Kind::kMissing),
       {"stats --memory @/none", "wipe --yes --memory @/none",
        "restore @/none --yes", "learn @/none.txt"}},
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
#ifndef __SANITIZE_ADDRESS__  // which cannot run within a memory limit
  // A fault of the program itself, here memory running out on an endless
  // line, ends with status 70.
  const Outcome endless = RunProgram(
      "/bin/sh",
      {"-c", "ulimit -v 200000; exec \"$0\" learn - \"$@\" </dev/zero",
       Program("quibbo-cli"), "--memory", memory.path()});
  EXPECT_EQ(endless.status, 70) << endless.err;
#endif
}

// Ctrl+C and SIGTERM end a command as the end of its work would, keeping
// what is stored and removing what is half written.
TEST(CliTest, InterruptsEndCleanly) {
  for (int signal : {SIGINT, SIGTERM}) {
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
      auto holder = memory.Connect();
      holder->Execute("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;");
      Child child(Program("quibbo-cli"), Words(command, memory));
      ASSERT_TRUE(WaitUntil([&] { return child.HasOpen(memory.path()); }));
      child.Signal(signal);
      holder.reset();
      EXPECT_EQ(child.Wait(std::chrono::seconds(10)), 128 + signal);
      EXPECT_TRUE(OneLine(child.err()) && child.out().empty()) << child.err();
      for (const auto& file : fs::directory_iterator(memory.folder())) {
        EXPECT_TRUE(file.path().filename().string().starts_with("qvd.mdb"))
            << file.path();
      }
    }
  }
}

TEST(TimeLeftTest, FollowsThePaceOfTheRecentPast) {
  cli::TimeLeft left;
  left.Add(0, 0);
  left.Add(1, 100);
  EXPECT_EQ(left.Seconds(10000), std::nullopt);  // too soon to tell
  for (int second = 2; second <= 20; ++second) left.Add(second, 100 * second);
  EXPECT_DOUBLE_EQ(*left.Seconds(10000), 80);
  // Slower now: ten a second, which the whole run's pace would hide.
  for (int second = 21; second <= 40; ++second)
    left.Add(second, 2000 + 10 * (second - 20));
  EXPECT_DOUBLE_EQ(*left.Seconds(10000), (10000 - 2200) / 10.0);
  EXPECT_DOUBLE_EQ(*left.Seconds(1000), 0);
}

}  // namespace
}  // namespace quibbo::testing
