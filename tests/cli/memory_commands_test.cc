// The commands that own the memory as a whole: backup, restore, export,
// forget, and unicase.so in the sqlite3 shell. Properties over generated
// memories, and each command beside a running conversation.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <random>

#include "engine/forget.h"
#include "engine/text.h"
#include "tests/support/child.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

// Words whose kept count is missing, wrong or left over; 0 when exact.
int64_t MiscountedWords(const TempMemory& memory) {
  sqlite::Statement wrong(*memory.Connect(), R"(
      SELECT count(*) FROM word_count AS kept FULL JOIN (SELECT middle AS word,
        count(*) AS count FROM word GROUP BY middle COLLATE unicase) AS recount
      USING (word, count) WHERE kept.word IS NULL OR recount.word IS NULL)");
  return wrong.Step() ? wrong.ColumnInt(0) : -1;
}

int Mode(const std::string& path) {
  return static_cast<int>(std::filesystem::status(path).permissions()) & 0777;
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
    TempMemory from, to;
    from.Fill(GeneratedLines(seed, seed % 2));
    const std::string file = from.folder() + "/export.txt";
    for (const TempMemory* memory : {&from, &to}) {
      Strings arguments = {memory == &from ? "export" : "learn", file,
                           "--memory", memory->path()};
      if (seed % 2) arguments.push_back("--json");
      ASSERT_EQ(Cli(arguments).status, 0) << seed;
    }
    EXPECT_EQ(Mode(file), 0600);
    EXPECT_EQ(to.Rows(), from.Rows()) << seed;
    EXPECT_EQ(MiscountedWords(to), 0) << seed;

    // A word as typed: any case, with or without the sentence's full stop.
    const Strings words = {seed % 2 ? "BOB" : "bob.", "ÜBER"};
    Strings kept;
    int64_t sentences = 0, rows = 0;
    for (const std::string& sentence : from.Sentences()) {
      const Strings in = Cut(sentence, ' ');
      const bool holds = std::any_of(in.begin(), in.end(), [&](std::string w) {
        if (w.ends_with('.')) w.pop_back();
        return CompareIgnoringCase(w, "bob") == 0 ||
               CompareIgnoringCase(w, "über") == 0;
      });
      if (!holds) kept.push_back(sentence);
      sentences += holds;
      rows += holds ? in.size() : 0;
    }
    EXPECT_EQ(PreviewForget(from.path(), words, 2).rows, rows) << seed;
    const ForgetFigures gone = Forget(from.path(), words);
    EXPECT_EQ(std::pair(gone.sentences, gone.rows), std::pair(sentences, rows));
    EXPECT_EQ(from.Sentences(), kept) << seed;
    EXPECT_EQ(MiscountedWords(from), 0) << seed;
  }
}

TEST(BackupTest, BackupThenRestoreBesideAConversation) {
  TempMemory memory, copy;
  memory.Fill(GeneratedLines(7, true));
  std::filesystem::remove(copy.path());
  // A --json conversation that goes on beside them.
  Child chat(Program("quibbo-cli"), {"--json", "--memory", memory.path()}, "",
             true);
  auto say = [&](const std::string& line) {
    const auto lines = [&] { return std::ranges::count(chat.out(), '\n'); };
    const auto n = lines();
    chat.Write(line + "\n");
    ASSERT_TRUE(WaitUntil([&] { return lines() > n; }));
    EXPECT_EQ(Failures(chat.out()).back(), std::nullopt) << chat.out();
  };
  say("hello bob");
  ASSERT_EQ(Cli({"backup", copy.path(), "--memory", memory.path()}).status, 0);
  // Every file that holds what was said is for its owner's eyes only.
  for (const std::string& file : {memory.path(), memory.path() + "-wal",
                                  memory.path() + "-shm", copy.path()})
    EXPECT_EQ(Mode(file), 0600) << file;
  const std::vector<WordRecord> saved = memory.Rows();
  EXPECT_EQ(copy.Rows(), saved);
  say("something new to forget");

  const Strings restore = {"restore", copy.path(), "--memory", memory.path()};
  EXPECT_EQ(Cli(restore, "y\ncancel\n").status, 0);
  EXPECT_GT(memory.Rows().size(), saved.size());
  ASSERT_EQ(Cli(restore, "y\nok\n").status, 0);
  EXPECT_EQ(memory.Rows(), saved);
  // The conversation goes on over the restored memory, appending to it.
  say("after the restore");
  EXPECT_EQ(memory.Rows().size(), saved.size() + 3);
  EXPECT_EQ(memory.Sentences(saved.size()).size(), 1u);
  EXPECT_EQ(MiscountedWords(memory), 0);
}

// The sqlite3 shell with unicase.so: queries compare words, edits keep the
// counts exact, and Quibbo replies afterwards.
TEST(ExtensionTest, TheShellCanQueryAndEditTheMemory) {
  if (access("/usr/bin/sqlite3", X_OK) != 0) GTEST_SKIP() << "no sqlite3";
  TempMemory memory;
  for (int i = 0; i < 40; ++i)
    memory.Fill({"The cat " + std::to_string(i % 6) + " sat on " +
                 std::to_string(i % 4) + " mats."});
  const Strings shell = {"-bail", "-cmd",
                         ".load " QUIBBO_PROGRAM_DIR "/unicase", memory.path()};
  EXPECT_EQ(RunProgram("/usr/bin/sqlite3", shell,
                       "SELECT count(*) FROM word WHERE middle = 'THE';")
                .out,
            "40\n");
  const std::string edits[] = {
      // A memory of an earlier version, counted anew when first written.
      "DROP TRIGGER word_inserted; DROP TRIGGER word_deleted; DROP TRIGGER "
      "word_changed; DROP TABLE word_count; PRAGMA user_version = 0",
      // Renaming a word everywhere, as the README shows.
      "UPDATE word SET middle = 'Dog' WHERE middle = 'cat';"
      "UPDATE word SET previous = 'Dog' WHERE previous = 'cat';"
      "UPDATE word SET next = 'Dog' WHERE next = 'cat'",
      "DELETE FROM word WHERE id BETWEEN 8 AND 14",
      "INSERT INTO word VALUES (1000, NULL, 'Gap.', NULL, 0)"};
  for (const std::string& edit : edits) {
    const Outcome edited = RunProgram("/usr/bin/sqlite3", shell, edit);
    ASSERT_EQ(edited.status, 0) << edit << ": " << edited.err;
    const std::string out =
        Cli({"--memory", memory.path()}, "the dog\nmats\n").out;
    EXPECT_TRUE(out.starts_with("Quibbo: ") && out.find("trouble") == out.npos)
        << edit << out;
    EXPECT_EQ(MiscountedWords(memory), 0) << edit;
  }
}

}  // namespace
}  // namespace quibbo::testing
