// quibbo-cli's commands that work on the memory as a whole, end to end:
// learn, stats, export, forget, backup and
// restore, with properties over generated memories and each command beside
// a running conversation or a learn; and unicase.so in the sqlite3 shell.
#include <gmock/gmock.h>
#include <sqlite3.h>
#include <sys/stat.h>

#include "quibbo/memory.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

namespace fs = std::filesystem;
using ::testing::ContainsRegex;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

TEST(CliTest, StatsAndExportShowWhatIsStored) {
  Strings lines(400, "the same words");
  lines.push_back("tab\there bell\x01 line\nbreak");
  TempMemory memory(lines);
  const Outcome text = Cli(memory, "stats");
  for (const char* shown :
       {"1,203 ", " KB", "Tab\\there", "bell\\x01", "line\\nbreak.", " 400\n"})
    EXPECT_THAT(text.out, HasSubstr(shown));
  EXPECT_TRUE(std::ranges::all_of(text.out, [](unsigned char c) {
    return c == '\n' || (c >= ' ' && c != 0x7f);
  })) << text.out;
  EXPECT_EQ(Stats(memory)["rows"], 1203);

  // Export writes to the standard output unless told otherwise, and warns
  // in one line of what plain text cannot keep.
  const Strings sentences = memory.Sentences();
  const Outcome plain = Cli(memory, "export");
  EXPECT_EQ(plain.out, Lines(sentences));
  EXPECT_TRUE(OneLine(plain.err)) << plain.err;
}

// Lines as a person might type them: empty words (two spaces), Unicode,
// tabs, full stops, and with `line_breaks` words holding line breaks.
Strings GeneratedLines(unsigned seed, bool line_breaks) {
  Strings pool = {"a",    "Bob", "über", "ß",    "日本", "😀",
                  "x\ty", "",    "end.", "b\rc", "ǆ",    "?"};
  if (line_breaks) pool.push_back("two\nlines");
  return RandomLines(seed, 20, pool, 1, 8);
}

// Learning what export wrote stores the same rows, and forget deletes
// exactly the sentences that hold its words.
TEST(ExportForgetTest, OnGeneratedMemories) {
  for (unsigned seed = 0; seed < 12; ++seed) {
    TempMemory from(GeneratedLines(seed, seed % 2)), to;
    const std::string file = from.folder() + "/export.txt";
    const std::string json = seed % 2 ? " --json" : "";
    const Outcome exported = Cli(from, "export " + file + json);
    ASSERT_EQ(exported.status, 0) << seed;
    EXPECT_TRUE(json.empty() || exported.err.empty()) << exported.err;
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
    const std::string told = "Forgot " + std::to_string(sentences) +
                             " sentences? \\(" + std::to_string(rows) +
                             " words?";
    EXPECT_THAT(gone.out, ContainsRegex(sentences ? told : "nothing was del"))
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
    auto reader = memory.Connect("BEGIN; SELECT count(*) FROM word;");
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
      // Renaming a word everywhere, as the README shows.
      "UPDATE word SET middle = 'Dog' WHERE middle = 'cat';"
      "UPDATE word SET previous = 'Dog' WHERE previous = 'cat';"
      "UPDATE word SET next = 'Dog' WHERE next = 'cat'",
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
