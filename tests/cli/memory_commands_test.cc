// The commands that own the memory as a whole: backup, restore, export,
// forget, chat --no-learn, and unicase.so in the sqlite3 shell. Properties
// over generated memories, and each command beside a running conversation.
#include <fcntl.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <nlohmann/json.hpp>
#include <random>

#include "engine/export.h"
#include "engine/forget.h"
#include "engine/learner.h"
#include "engine/random.h"
#include "engine/text.h"
#include "tests/support/child.h"
#include "tests/support/temp_memory.h"

extern char** environ;

namespace quibbo {
namespace {

using ::testing::HasSubstr;
using ProgramResult = testing::Outcome;
using testing::TempMemory;

using testing::Cli;

std::vector<WordRecord> RowsOf(const std::string& path) {
  auto file = MemoryFile::Open(path, MemoryFile::Access::kReadOnly);
  sqlite::Statement select(
      file->connection(),
      "SELECT id, previous, middle, next, position FROM word ORDER BY id");
  std::vector<WordRecord> rows;
  while (select.Step()) {
    rows.push_back({select.ColumnInt(0), select.ColumnOptionalText(1),
                    select.ColumnText(2), select.ColumnOptionalText(3),
                    select.ColumnInt(4)});
  }
  return rows;
}

// Words whose kept count differs from a count of the rows, or is missing
// or left over; 0 when word_count is exact.
int64_t MiscountedWords(const std::string& path) {
  auto file = MemoryFile::Open(path, MemoryFile::Access::kReadOnly);
  sqlite::Statement wrong(file->connection(), R"sql(
      WITH recount AS (SELECT middle AS word, count(*) AS count FROM word
                       GROUP BY middle COLLATE unicase)
      SELECT (SELECT count(*) FROM recount WHERE NOT EXISTS (
                SELECT 1 FROM word_count k
                WHERE k.word = recount.word AND k.count = recount.count))
           + abs((SELECT count(*) FROM word_count) -
                 (SELECT count(*) FROM recount)))sql");
  wrong.Step();
  return wrong.ColumnInt(0);
}

int Mode(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 ? info.st_mode & 0777 : -1;
}

// Lines as a person might type them: empty words (two spaces), Unicode,
// tabs, full stops, and with `line_breaks` words holding line breaks.
std::vector<std::string> GeneratedLines(unsigned seed, bool line_breaks) {
  std::mt19937 random(seed);
  std::vector<std::string> pool = {"a",    "Bob", "über", "ß",    "日本", "😀",
                                   "x\ty", "",    "end.", "b\rc", "ǆ",    "?"};
  if (line_breaks) pool.push_back("two\nlines");
  std::vector<std::string> lines(20);
  for (std::string& line : lines) {
    for (int words = 1 + random() % 8; words > 0; --words) {
      line += pool[random() % pool.size()] + (words > 1 ? " " : "");
    }
  }
  return lines;
}

void LearnLines(const std::string& path,
                const std::vector<std::string>& lines) {
  auto store = Store::Open(path, Store::Access::kReadWrite);
  for (const std::string& line : lines) Learn(*store, line);
}

// A --json conversation that goes on beside the commands under test.
class Conversation {
 public:
  explicit Conversation(const std::string& memory) {
    int in[2], out[2];
    if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) abort();
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, in[0], 0);
    posix_spawn_file_actions_adddup2(&actions, out[1], 1);
    std::string program = testing::Program("quibbo-cli");
    std::vector<std::string> arguments = {program, "--json", "--memory",
                                          memory};
    std::vector<char*> argv;
    for (std::string& argument : arguments) argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn(&pid_, program.c_str(), &actions, nullptr, argv.data(),
                environ);
    posix_spawn_file_actions_destroy(&actions);
    close(in[0]);
    close(out[1]);
    in_ = in[1];
    out_ = out[0];
  }
  ~Conversation() {
    close(in_);
    close(out_);
    waitpid(pid_, nullptr, 0);
  }

  // The reply to `line`, or a note of what went wrong.
  std::string Say(const std::string& line) {
    std::string text = line + "\n";
    if (write(in_, text.data(), text.size()) != ssize_t(text.size())) {
      return "(cannot write)";
    }
    std::string reply;
    char c;
    pollfd ready = {out_, POLLIN, 0};
    while (poll(&ready, 1, 10000) == 1 && read(out_, &c, 1) == 1 && c != '\n')
      reply += c;
    auto object = nlohmann::json::parse(reply, nullptr, false);
    return object.is_object() && object["quibbo"].is_string()
               ? object["quibbo"].get<std::string>()
               : "(no reply: " + reply + ")";
  }

 private:
  pid_t pid_ = -1;
  int in_ = -1, out_ = -1;
};

TEST(ExportTest, LearningTheExportStoresTheSameRows) {
  for (unsigned seed = 0; seed < 6; ++seed) {
    for (bool json : {false, true}) {
      SCOPED_TRACE("seed " + std::to_string(seed) + (json ? " json" : ""));
      TempMemory from, to;
      LearnLines(from.path(), GeneratedLines(seed, json));
      const std::string file = from.folder() + "/export.txt";
      std::vector<std::string> format;
      if (json) format.push_back("--json");
      std::vector<std::string> args = {"export", file, "--memory", from.path()};
      args.insert(args.end(), format.begin(), format.end());
      ASSERT_EQ(Cli(args).status, 0);
      EXPECT_EQ(Mode(file), 0600);
      args = {"learn", file, "--memory", to.path()};
      args.insert(args.end(), format.begin(), format.end());
      ProgramResult learn = Cli(args);
      ASSERT_EQ(learn.status, 0) << learn.err;
      EXPECT_EQ(RowsOf(to.path()), RowsOf(from.path()));
      EXPECT_EQ(MiscountedWords(to.path()), 0);
    }
  }
}

TEST(ForgetTest, DeletesExactlyTheSentencesHoldingTheWords) {
  for (unsigned seed = 0; seed < 12; ++seed) {
    SCOPED_TRACE("seed " + std::to_string(seed));
    TempMemory memory;
    LearnLines(memory.path(), GeneratedLines(seed, true));
    std::vector<std::string> before;
    ForEachSentence(memory.path(),
                    [&](const std::string& s) { before.push_back(s); });
    // A word as typed: any case, with or without the sentence's full stop.
    const std::vector<std::string> words = {seed % 2 ? "BOB" : "bob.",
                                            seed % 3 ? "ÜBER" : "日本"};
    std::vector<std::string> kept;
    int64_t rows_gone = 0;
    for (const std::string& sentence : before) {
      bool holds = false;
      for (std::string word : Cut(sentence, ' ')) {
        if (!word.empty() && word.back() == '.') word.pop_back();
        for (std::string w : words) {
          if (w.back() == '.') w.pop_back();
          holds |= CompareIgnoringCase(word, w) == 0;
        }
      }
      if (holds) rows_gone += static_cast<int64_t>(Cut(sentence, ' ').size());
      if (!holds) kept.push_back(sentence);
    }
    ForgetFigures preview = PreviewForget(memory.path(), words, 2);
    ForgetFigures gone = Forget(memory.path(), words);
    EXPECT_EQ(gone.sentences,
              static_cast<int64_t>(before.size() - kept.size()));
    EXPECT_EQ(gone.rows, rows_gone);
    EXPECT_EQ(preview.rows, gone.rows);
    std::vector<std::string> after;
    ForEachSentence(memory.path(),
                    [&](const std::string& s) { after.push_back(s); });
    EXPECT_EQ(after, kept);
    EXPECT_EQ(MiscountedWords(memory.path()), 0);
  }
}

TEST(ForgetTest, EveryRowLeftIsDrawnEquallyOften) {
  TempMemory memory;
  memory.Fill({"A b c.", "D e f g.", "H i.", "J k l."});
  Forget(memory.path(), {"e", "j"});  // gaps at both ends of H i.
  auto store = Store::Open(memory.path(), Store::Access::kReadOnly);
  SeededRandom random(11);
  std::map<int64_t, int> drawn;
  for (int i = 0; i < 5000; ++i) {
    ++drawn[store->DrawId([&](uint64_t n) { return random.Below(n); })];
  }
  EXPECT_EQ(drawn.size(), 5u);
  for (const auto& [id, times] : drawn) {
    EXPECT_NEAR(times, 1000, 150) << "row " << id;
  }
}

TEST(ForgetTest, AsksFirstAndRepliesComeFromWhatRemains) {
  TempMemory memory;
  memory.Fill({"Secret plans here.", "Nice weather today.", "The SECRET."});
  ProgramResult asked =
      Cli({"forget", "secret", "--memory", memory.path()}, "n\n");
  EXPECT_THAT(asked.out, HasSubstr("2 sentences (5 words in all)"));
  EXPECT_THAT(asked.out, HasSubstr("  Secret plans here.\n  The SECRET.\n"));
  EXPECT_EQ(RowsOf(memory.path()).size(), 8u);
  EXPECT_EQ(
      Cli({"forget", "secret", "--yes", "--memory", memory.path()}).status, 0);
  ProgramResult chat =
      Cli({"chat", "--no-learn", "--memory", memory.path()}, "secret\n");
  EXPECT_EQ(chat.out, "Quibbo: Nice weather today.\n\n");
  EXPECT_EQ(RowsOf(memory.path()).size(), 3u);
}

TEST(BackupTest, BackupThenRestoreBesideAConversation) {
  TempMemory memory;
  LearnLines(memory.path(), GeneratedLines(7, true));
  Conversation chat(memory.path());
  EXPECT_THAT(chat.Say("hello bob"), ::testing::Not(HasSubstr("trouble")));
  // Every file that holds what was said is for its owner's eyes only.
  for (const char* suffix : {"", "-wal", "-shm"}) {
    EXPECT_EQ(Mode(memory.path() + suffix), 0600) << suffix;
  }
  const std::string copy = memory.folder() + "/copy.mdb";
  ASSERT_EQ(Cli({"backup", copy, "--memory", memory.path()}).status, 0);
  EXPECT_EQ(Mode(copy), 0600);
  const std::vector<WordRecord> saved = RowsOf(memory.path());
  EXPECT_EQ(RowsOf(copy), saved);

  chat.Say("something new to forget");
  ProgramResult again = Cli({"backup", copy, "--memory", memory.path()});
  EXPECT_EQ(again.status, 1);
  EXPECT_THAT(again.err, HasSubstr("already exists"));
  EXPECT_EQ(RowsOf(copy), saved);

  const std::string junk = memory.folder() + "/junk.txt";
  std::ofstream(junk) << "not a memory";
  for (const std::string& bad : {junk, copy + ".none", memory.path()}) {
    ProgramResult refused =
        Cli({"restore", bad, "--yes", "--memory", memory.path()});
    EXPECT_EQ(refused.status, 1) << bad;
    EXPECT_THAT(refused.err, HasSubstr("left as it was")) << bad;
  }
  EXPECT_EQ(
      Cli({"restore", copy, "--memory", memory.path()}, "y\ncancel\n").status,
      0);
  EXPECT_GT(RowsOf(memory.path()).size(), saved.size());

  ProgramResult restored =
      Cli({"restore", copy, "--memory", memory.path()}, "y\nok\n");
  ASSERT_EQ(restored.status, 0) << restored.err;
  EXPECT_EQ(RowsOf(memory.path()), saved);
  // The conversation goes on over the restored memory, appending to it.
  EXPECT_THAT(chat.Say("after the restore"),
              ::testing::Not(HasSubstr("trouble")));
  const std::vector<WordRecord> rows = RowsOf(memory.path());
  ASSERT_EQ(rows.size(), saved.size() + 3);
  EXPECT_EQ(std::vector<WordRecord>(rows.begin(), rows.begin() + saved.size()),
            saved);
  EXPECT_EQ(MiscountedWords(memory.path()), 0);
}

// The sqlite3 shell with unicase.so: queries compare words, edits keep the
// counts exact, and Quibbo replies afterwards.
TEST(ExtensionTest, TheShellCanQueryAndEditTheMemory) {
  if (access("/usr/bin/sqlite3", X_OK) != 0) GTEST_SKIP() << "no sqlite3";
  TempMemory memory;
  std::vector<std::string> sentences;
  for (int i = 0; i < 40; ++i) {
    sentences.push_back("The cat " + std::to_string(i % 6) + " sat on " +
                        std::to_string(i % 4) + " mats.");
  }
  memory.Fill(sentences);
  auto shell = [&](const std::string& sql) {
    return testing::RunProgram(
        "/usr/bin/sqlite3",
        testing::Strings{
            memory.path(),
            ".load " + std::string(QUIBBO_PROGRAM_DIR) + "/unicase", sql});
  };
  ProgramResult count = shell("SELECT count(*) FROM word WHERE middle = 'THE'");
  EXPECT_EQ(count.out, "40\n") << count.err;
  struct Edit {
    std::string sql;
    bool breaks_sentences;  // a reply may name a sentence missing a word
  };
  const std::string no_triggers =
      "DROP TRIGGER word_inserted; DROP TRIGGER word_deleted; "
      "DROP TRIGGER word_changed; ";
  const Edit edits[] = {
      // Memories of earlier versions, counted anew when first written.
      {no_triggers + "DROP TABLE word_count; PRAGMA user_version = 0", false},
      {no_triggers + "DELETE FROM word WHERE id = 40; PRAGMA user_version = 1",
       false},
      // Renaming a word everywhere, as the README shows.
      {"UPDATE word SET middle = 'Dog' WHERE middle = 'cat';"
       "UPDATE word SET previous = 'Dog' WHERE previous = 'cat';"
       "UPDATE word SET next = 'Dog' WHERE next = 'cat'",
       false},
      {"DELETE FROM word WHERE id BETWEEN 8 AND 14", false},
      {"INSERT INTO word VALUES (1000, NULL, 'Gap.', NULL, 0)", false},
      {"UPDATE word SET middle = 'the' WHERE id = 1", false},
      {"DELETE FROM word WHERE id = 17", true}};
  for (const Edit& edit : edits) {
    ProgramResult edited = shell(edit.sql);
    ASSERT_EQ(edited.status, 0) << edit.sql << ": " << edited.err;
    for (const char* line : {"the dog\n", "mats\n"}) {
      ProgramResult reply = Cli({"--memory", memory.path()}, line);
      EXPECT_THAT(reply.out, ::testing::StartsWith("Quibbo: ")) << edit.sql;
      if (reply.out.find("trouble") != std::string::npos) {
        EXPECT_TRUE(edit.breaks_sentences) << edit.sql << reply.out;
        EXPECT_THAT(reply.out, HasSubstr("unfinished sentence"));
      }
    }
    EXPECT_EQ(MiscountedWords(memory.path()), 0) << edit.sql;
  }
}

}  // namespace
}  // namespace quibbo
