// quibbo-cli end to end, on temporary memories: the conversation, the
// questions before a deletion, the command line, learn, stats and export,
// the exit status of each kind of failure, and interrupts. Then the
// commands that own the memory as a whole: backup, restore, export, forget,
// and unicase.so in the sqlite3 shell, with properties over generated
// memories, and each command beside a running conversation or a learn.
// Also the progress bar's estimate of the time left.
#include <gmock/gmock.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include <cstring>
#include <fstream>
#include <random>
#include <set>

#include "cli/failure.h"
#include "cli/progress.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

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
}

// Only yes-words, at every question, delete or replace anything, and the
// memory is named before the first question.
TEST(CliTest, QuestionsTakeYesWordsAndNameTheMemory) {
  // Each command, what it asks at last, and answers that let it do its work
  // and answers that do not.
  const std::tuple<std::string, std::string, Strings, Strings> kCases[] = {
      {"wipe", "?", {"y\ny\n", " Yes \nOK\n"}, {"", "n\nok\n", "yep\ny\n"}},
      {"restore @/backup", "?", {"ok\nYES\n"}, {"y\nno\n", "y\n\n"}},
      {"forget bob", "Forget it?", {"y\n"}, {"sure\n"}},
      {"forget bob keep", "Forget them?", {"Ok\n"}, {}},
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
  Strings lines(400, "the same words");
  lines.push_back("tab\there bell\x01 line\nbreak");
  TempMemory memory(lines);
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

  // A memory whose first row starts no sentence, after an edit by hand:
  // stats counts the sentences export writes, and export says how many.
  memory.Execute("DELETE FROM word WHERE id = (SELECT min(id) FROM word);");
  const Outcome to_file = Cli(memory, "export @/out.json --json");
  const auto written =
      std::ranges::count(FileBytes(memory.folder() + "/out.json"), '\n');
  EXPECT_EQ(nlohmann::json::parse(Cli(memory, "stats --json").out)["sentences"],
            written);
  EXPECT_THAT(to_file.out,
              HasSubstr("Exported " + std::to_string(written) + " sentences"));
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
}

// The README's and the manual's tables of exit statuses give every status
// quibbo-cli exits with, each failure's with the name of its kind.
TEST(CliTest, TheDocsListEveryExitStatusWithItsKind) {
  for (const std::string doc : {"/README.md", "/doc/quibbo-cli.1.in"}) {
    // Each row's statuses and the word after them, as in "| 3 | `missing` |"
    // and ".BR 3 \" missing\"".
    std::set<std::pair<int, std::string>> rows;
    std::istringstream lines(FileBytes(QUIBBO_SOURCE_DIR + doc));
    for (std::string line; std::getline(lines, line);) {
      if (!line.starts_with("| ") && !line.starts_with(".B")) continue;
      std::erase_if(line, [](char c) { return std::strchr("|`\",\\", c); });
      std::istringstream words(
          line.substr(line[0] == '.' ? line.find(' ') : 0));
      std::vector<int> statuses;
      for (int status; words >> status;) statuses.push_back(status);
      std::string word;
      words.clear();
      words >> word;
      for (int status : statuses) rows.emplace(status, word);
    }
    for (const KindRow& kind : kKinds)
      EXPECT_TRUE(rows.contains({kind.status, kind.name})) << doc << kind.name;
    for (int status : {0, cli::kUsageStatus, kInternalErrorStatus,
                       128 + SIGTERM, 128 + SIGHUP}) {
      EXPECT_TRUE(std::ranges::any_of(
          rows, [&](const auto& row) { return row.first == status; }))
          << doc << " " << status;
    }
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
  auto holder = memory.Connect();
  holder->Execute(
      "PRAGMA wal_autocheckpoint = 0; PRAGMA user_version = 1; BEGIN; "
      "SELECT count(*) FROM word;");
  chmod((memory.path() + "-wal").c_str(), 0400);
  EXPECT_EQ(Cli(memory, "stats").status, 0);
  EXPECT_EQ(fs::status(memory.path() + "-wal").permissions(),
            fs::perms::owner_read | fs::perms::owner_write);
}

// A memory at a path longer than SQLite takes is reached through a shorter
// one to the same file.
TEST(CliTest, AMemoryAtALongPathWorks) {
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
      auto holder = memory.Connect();
      holder->Execute("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;");
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

// Lines as a person might type them: empty words (two spaces), Unicode,
// tabs, full stops, and with `line_breaks` words holding line breaks.
Strings GeneratedLines(unsigned seed, bool line_breaks) {
  std::mt19937 random(seed);
  Strings pool = {"a",    "Bob", "über", "ß",    "日本", "😀",
                  "x\ty", "",    "end.", "b\rc", "ǆ",    "?"};
  if (line_breaks) pool.push_back("two\nlines");
  Strings lines(20);
  for (std::string& line : lines)
    for (int words = 1 + random() % 8; words > 0; --words)
      line += pool[random() % pool.size()] + (words > 1 ? " " : "");
  return lines;
}

// Learning what export wrote stores the same rows, and forget deletes
// exactly the sentences that hold its words.
TEST(ExportForgetTest, OnGeneratedMemories) {
  for (unsigned seed = 0; seed < 12; ++seed) {
    TempMemory from(GeneratedLines(seed, seed % 2)), to;
    const std::string file = from.folder() + "/export.txt";
    const std::string json = seed % 2 ? " --json" : "";
    ASSERT_EQ(Cli(from, "export " + file + json).status, 0) << seed;
    ASSERT_EQ(Cli(to, "learn " + file + json).status, 0) << seed;
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600));
    EXPECT_EQ(to.Rows(), from.Rows()) << seed;
    EXPECT_EQ(MiscountedWords(to), 0) << seed;

    // A word as typed: any case, with or without the sentence's full stop;
    // one of punctuation alone stands for itself.
    const Strings words = {seed % 2 ? "BOB" : "bob.", "ÜBER", "?"};
    Strings kept;
    int64_t sentences = 0, rows = 0;
    for (const std::string& sentence : from.Sentences()) {
      const Strings in = Cut(sentence, ' ');
      const bool holds = std::ranges::any_of(in, [&](std::string w) {
        if (w.ends_with('.')) w.pop_back();
        return CompareIgnoringCase(w, "bob") == 0 ||
               CompareIgnoringCase(w, "über") == 0 || w == "?";
      });
      if (!holds) kept.push_back(sentence);
      sentences += holds;
      rows += holds ? in.size() : 0;
    }
    EXPECT_EQ(PreviewForget(from.path(), words, 2).rows, rows) << seed;
    const Outcome gone =
        Cli(from, "forget " + words[0] + " " + words[1] + " ? --yes");
    EXPECT_EQ(gone.status, 0) << gone.err;
    EXPECT_THAT(
        gone.out,
        ContainsRegex(sentences == 0 ? "nothing was deleted"
                                     : "Forgot " + std::to_string(sentences) +
                                           " sentences? \\(" +
                                           std::to_string(rows) + " words?\\)"))
        << seed;
    EXPECT_EQ(from.Sentences(), kept) << seed;
    EXPECT_EQ(MiscountedWords(from), 0) << seed;
  }
}

// A backup and a restore beside a conversation, which goes on over the
// restored memory; a restore would mix with a learn that goes on appending
// to the memory, so it is refused until the learn ends.
TEST(BackupTest, BackupThenRestoreBesideAConversationNotALearn) {
  TempMemory memory(GeneratedLines(7, true)), copy;
  fs::remove(copy.path());
  Child chat(Program("quibbo-cli"), Words("--json", memory), "", true);
  auto say = [&](const std::string& line) {
    const auto lines = [&] { return std::ranges::count(chat.out(), '\n'); };
    const auto n = lines();
    chat.Write(line + "\n");
    ASSERT_TRUE(WaitUntil([&] { return lines() > n; }));
    EXPECT_EQ(Failures(chat.out()).back(), std::nullopt) << chat.out();
  };
  say("hello bob");
  ASSERT_EQ(Cli(memory, "backup " + copy.path()).status, 0);
  // Every file that holds what was said is for its owner's eyes only.
  for (const std::string& file : {memory.path(), memory.path() + "-wal",
                                  memory.path() + "-shm", copy.path()})
    EXPECT_EQ(fs::status(file).permissions(), fs::perms(0600)) << file;
  const std::vector<WordRecord> saved = memory.Rows();
  EXPECT_EQ(copy.Rows(), saved);
  say("something new to forget");

  const std::string restore = "restore " + copy.path();
  ASSERT_EQ(Cli(memory, restore, "y\nok\n").status, 0);
  EXPECT_EQ(memory.Rows(), saved);
  say("after the restore");
  EXPECT_EQ(memory.Rows().size(), saved.size() + 3);
  EXPECT_EQ(memory.Sentences(saved.size()).size(), 1u);
  EXPECT_EQ(MiscountedWords(memory), 0);

  Child learn(Program("quibbo-cli"), Words("learn -", memory),
              "the learn goes on\n", true);
  ASSERT_TRUE(
      WaitUntil([&] { return memory.Rows().size() == saved.size() + 7; }));
  EXPECT_EQ(Cli(memory, restore + " --yes").status, ExitStatusOf(Kind::kBusy));
  EXPECT_EQ(memory.Rows().size(), saved.size() + 7);
  // Ctrl+C ends its wait for more input, and it tells what it stored.
  learn.Signal(SIGINT);
  EXPECT_EQ(learn.Wait(std::chrono::seconds(10)), 130);
  EXPECT_THAT(learn.out(), StartsWith("Interrupted; learned 1 "
                                      "line: 1 sentence, 4 words"));
  EXPECT_EQ(Cli(memory, restore + " --yes").status, 0);
  EXPECT_EQ(memory.Rows(), saved);
}

// Forget takes a word with the punctuation around it, a possessive after
// any apostrophe, any apostrophe within, and the capital a sentence starts
// with; a pronoun's "'s" is no possessive. Neither it nor a wipe leaves a
// copy of what went in the memory's files, beside a conversation that keeps
// them open; when a reader holds on to the log, they tell what went, which
// stands, and running them again empties the log.
TEST(ForgetTest, TakesEveryFormAndLeavesNoTrace) {
  const Strings said = {"Is that Bob?",   "Hey Bob!",        "I met Bob.",
                        "Bob, come here", "This is \"Bob\"", "Bob's car is red",
                        "The bobcat ran", "Bobs are here",   "Bob-Smith came",
                        "Bobʼs hat",      "BOB＇S pen",      "It's raining",
                        "Let’s go",       "ılık su içtik",   "Don’t, said he"};
  for (const char* command :
       {"forget BOB it let ılık don't --yes", "wipe --yes"}) {
    TempMemory memory(said);
    Child chat(Program("quibbo-cli"), Words("--json", memory),
               "Zanzibarquux is bob\n", true);
    ASSERT_TRUE(WaitUntil([&] { return chat.out().ends_with("}\n"); }));
    auto reader = memory.Connect();
    reader->Execute("BEGIN; SELECT count(*) FROM word;");
    const Outcome held = Cli(memory, command);
    EXPECT_EQ(held.status, ExitStatusOf(Kind::kBusy));
    EXPECT_THAT(held.out + held.err, Not(HasSubstr("othing was deleted")));
    reader.reset();
    ASSERT_EQ(Cli(memory, command).status, 0);
    const Strings kept = {"The bobcat ran.", "Bobs are here.",
                          "Bob-Smith came.", "It's raining.", "Let’s go."};
    EXPECT_EQ(memory.Sentences(), *command == 'f' ? kept : Strings());
    for (const std::string& file : {memory.path(), memory.path() + "-wal"}) {
      const std::string bytes = FileBytes(file);
      EXPECT_EQ(bytes.find("anzibarquux"), std::string::npos) << file;
      EXPECT_EQ(bytes.find(" red"), std::string::npos) << file;
    }
  }
}

// Unicode forms: a memory learned with each word typed composed or
// decomposed at random counts, answers and forgets as one learned all
// composed, and the words may be asked for in either form.
TEST(UnicodeFormsTest, AnyMixOfFormsCountsAnswersAndForgetsAsOne) {
  const Strings pool = {"café", "Über", "ılık", "naïve",
                        "ệ",    "한국", "Å",    "tea"};
  std::mt19937 random(5);
  Strings composed, mixed;
  for (int i = 0; i < 80; ++i) {
    std::string line;
    for (int words = 1 + random() % 5; words > 0; --words)
      line += Form(pool[random() % pool.size()], random() % 2) + " ";
    mixed.push_back(line);
    composed.push_back(Form(line));
  }
  TempMemory one(composed), other(mixed);
  // What a command tells, composed, its memory and the file's size aside.
  const auto told = [](const TempMemory& memory, const std::string& command,
                       const std::string& input, bool decomposed) {
    std::string out =
        Cli(memory, Form(command, decomposed), Form(input, decomposed)).out;
    if (command.starts_with("stats")) {
      auto json = nlohmann::json::parse(out);
      for (auto key : {"memory", "file_bytes", "bytes_per_row"})
        json.erase(key);
      out = json.dump();
    }
    for (size_t at; (at = out.find(memory.path())) != out.npos;)
      out.replace(at, memory.path().size(), "@");
    return Form(out);
  };
  for (const auto& [command, input] :
       {std::pair{"stats --json", ""},
        {"--json --seed 3", "CAFÉ\nthe naïve\nılık ệ\n"},
        {"forget café ệ --yes", ""}}) {
    EXPECT_EQ(told(one, command, input, false),
              told(other, command, input, true))
        << command;
  }
}

// A memory someone may read but not write, in a folder they may not write,
// can be read, and reading it leaves nothing behind.
TEST(BackupTest, AMemoryThatCannotBeWrittenCanBeRead) {
  TempMemory memory({"Read me."});
  const std::string out = memory.folder() + "/out";
  fs::create_directory(out);
  fs::permissions(out, fs::perms::all);
  // Root may write anything: the commands run as nobody instead.
  const bool root = geteuid() == 0;
  chmod(memory.folder().c_str(), root ? 0755 : 0555);
  chmod(memory.path().c_str(), root ? 0644 : 0444);
  const auto run = [&](const std::string& command) {
    Strings arguments = Words(command, memory);
    if (root) {
      arguments.insert(arguments.begin(),
                       {"--reuid=65534", "--regid=65534", "--clear-groups",
                        Program("quibbo-cli")});
    }
    return RunProgram(root ? "/usr/bin/setpriv" : Program("quibbo-cli"),
                      arguments, "read\n");
  };
  for (const std::string command :
       {"stats", "export -", "backup @/out/copy", "chat --no-learn", "chat"}) {
    const Outcome outcome = run(command);
    // Only learning writes.
    EXPECT_EQ(outcome.status,
              command == "chat" ? ExitStatusOf(Kind::kReadOnly) : 0)
        << command << outcome.err;
  }
  // Talking without learning is advised for a memory they may read, and
  // not for one they may not.
  EXPECT_THAT(run("chat").out, HasSubstr("--no-learn"));
  chmod(memory.path().c_str(), root ? 0600 : 0200);
  EXPECT_THAT(run("chat").out, ::testing::AllOf(Not(HasSubstr("--no-learn")),
                                                HasSubstr("read and write")));
  // The memory and the folder out.
  EXPECT_EQ(std::ranges::distance(fs::directory_iterator(memory.folder())), 2);
}

// The sqlite3 shell with unicase.so: queries compare words as Quibbo does,
// in any Unicode form, edits keep the counts exact, and Quibbo replies
// afterwards.
TEST(ExtensionTest, TheShellCanQueryAndEditTheMemory) {
  if (access("/usr/bin/sqlite3", X_OK) != 0) GTEST_SKIP() << "no sqlite3";
  TempMemory memory;
  for (int i = 0; i < 40; ++i)
    memory.Fill({"The cat " + std::to_string(i % 6) + " sat on " +
                 std::to_string(i % 4) + " matés."});
  const Strings shell = {"-bail", "-cmd",
                         ".load " QUIBBO_PROGRAM_DIR "/unicase", memory.path()};
  EXPECT_EQ(RunProgram("/usr/bin/sqlite3", shell,
                       "SELECT count(*) FROM word WHERE middle IN ('THE', "
                       "'MATE\u0301S.');")
                .out,
            "80\n");
  const std::string edits[] = {
      // A memory of an earlier version, counted anew when first written.
      "DROP TRIGGER word_inserted; DROP TRIGGER word_deleted; DROP TRIGGER "
      "word_changed; DROP TABLE word_count; PRAGMA user_version = 0",
      // Renaming a word everywhere, as the README shows.
      "UPDATE word SET middle = 'Dog' WHERE middle = 'cat';"
      "UPDATE word SET previous = 'Dog' WHERE previous = 'cat';"
      "UPDATE word SET next = 'Dog' WHERE next = 'cat'",
      "DELETE FROM word WHERE id BETWEEN 8 AND 14",
      "INSERT INTO word VALUES (1000, NULL, 'Gap.', NULL, 0)",
      // A replaced row fires no delete trigger of its own.
      "INSERT OR REPLACE INTO word VALUES (2, NULL, 'Cherry.', NULL, 0)"};
  for (const std::string& edit : edits) {
    const Outcome edited = RunProgram("/usr/bin/sqlite3", shell, edit);
    ASSERT_EQ(edited.status, 0) << edit << ": " << edited.err;
    const std::string out = Cli(memory, "chat", "the dog\nmats\n").out;
    EXPECT_TRUE(out.starts_with("Quibbo: ") && out.find("trouble") == out.npos)
        << edit << out;
    EXPECT_EQ(MiscountedWords(memory), 0) << edit;
  }
}

}  // namespace
}  // namespace quibbo::testing
