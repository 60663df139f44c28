// Learning many lines at once through `quibbo-cli learn`; a conversation of
// 1500 made-up lines whose replies are pinned, so that no change made for speed
// can change what Quibbo answers; and memories of the first version, from
// before words were counted in a table of their own. Speed itself is measured
// in bench/, not here.
//
// pinned_replies.tsv holds each line, a tab and the reply it got. The lines
// repeat a small vocabulary in several letter cases, so that words and word
// pairs recur at many positions, as in a large memory.
#include <gmock/gmock.h>

#include <fstream>

#include "engine/file/wait_signal.h"
#include "quibbo/memory.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

// The pinned exchanges, or with `lines` only the lines said.
Strings Pinned(bool lines = true) {
  std::ifstream in(QUIBBO_SCALE_TEST_DIR "/pinned_replies.tsv");
  Strings pinned;
  for (std::string row; std::getline(in, row);)
    pinned.push_back(lines ? row.substr(0, row.find('\t')) : row);
  return pinned;
}

// From files and the standard input, in batches, with LF and CRLF line ends
// and lines not in UTF-8: the rows a conversation would store, in order.
TEST(LearnCommandTest, StoresWhatAConversationWouldAndSkipsBadLines) {
  const Strings lines = Pinned();
  TempMemory memory, reference;
  std::string file = "\xff\n", piped = "\xfe\n";
  auto store = Store::Open(reference.path(), Store::Access::kReadWrite);
  for (size_t i = 0; i < lines.size(); ++i) {
    (i < 1000 ? file : piped) += lines[i] + (i % 2 ? "\r\n" : "\n");
    if (i == 8) file += "\xc0\xaf\n";
    Learn(*store, lines[i]);
  }
  piped.pop_back();  // the last line may lack its line end
  const std::string a = memory.folder() + "/a.txt";
  std::ofstream(a, std::ios::binary) << file;
  const Outcome learn = Cli(memory, "learn " + a + " /dev/null -", piped);
  EXPECT_EQ(learn.status, 0) << learn.err;
  EXPECT_EQ(learn.err, "");  // no progress bar off a terminal
  EXPECT_EQ(memory.Rows(), reference.Rows());
  EXPECT_THAT(learn.out, ::testing::StartsWith("Learned 1,500 lines: 2,775 "
                                               "sentences, 18,425 words"));
  EXPECT_THAT(
      learn.out,
      ::testing::EndsWith("; skipped 3 lines not in UTF-8 (" + a + " line 1, " +
                          a + " line 11, standard input line 1).\n"));
}

// What `quibbo-cli stats --json` tells, but for the file and the letter
// case of the words, which old memories keep as they first were.
nlohmann::json Counts(const TempMemory& memory) {
  nlohmann::json counts = Stats(memory);
  for (nlohmann::json& top : counts["top_words"])
    top = UpperCase(top["word"].get<std::string>()) + " " + top["count"].dump();
  return counts;
}

// The memory's tables, indexes and triggers as SQLite lists them.
std::string Schema(const TempMemory& memory) {
  auto db = memory.Connect();
  sqlite::Statement schema(*db,
                           "SELECT group_concat(sql, ';\n') FROM "
                           "(SELECT sql FROM sqlite_schema ORDER BY name)");
  return schema.Step() ? schema.ColumnText(0) : "";
}

// Talks `lines` through quibbo-cli seeded with 7; each exchange as the line,
// a tab and the reply.
Strings Converse(const TempMemory& memory, const Strings& lines) {
  const auto replies =
      Replies(Cli(memory, "--json --seed 7", Lines(lines)).out);
  Strings exchanges;
  for (size_t i = 0; i < lines.size(); ++i)
    exchanges.push_back(lines[i] + '\t' + replies.at(i).value_or("(none)"));
  return exchanges;
}

// The recorded replies must never be edited to make this pass. Beside a
// learner in the middle of a batch, every line waits to be stored, and is
// answered as recorded all the same; once the learner lets go, the memory
// holds exactly what learning the lines gives.
TEST(PinnedRepliesTest, SeededConversationAnswersAsRecorded) {
  const Strings pinned = Pinned(false), lines = Pinned();
  ASSERT_EQ(pinned.size(), 1500u);
  const Strings actual = Converse(TempMemory(), lines);
  for (size_t i = 0, differences = 0; i < 1500 && differences < 5; ++i) {
    EXPECT_EQ(actual[i], pinned[i]) << "line " << i + 1;
    differences += actual[i] != pinned[i];
  }
  TempMemory memory, reference(Strings(lines.begin(), lines.begin() + 300));
  {
    auto learner = WaitSignal::Create(memory.path());
    auto batch = memory.Connect("BEGIN IMMEDIATE;");
    Engine engine(memory.path(), std::make_unique<SeededRandom>(7));
    engine.SetExplaining(true);  // which reads the pending rows' sentences
    for (size_t i = 0; i < 300; ++i) {
      const Response reply = engine.Respond(lines[i]);
      ASSERT_EQ(lines[i] + '\t' + reply.text.value_or("(none)"), pinned[i]);
    }
    EXPECT_TRUE(memory.Rows().empty());
    batch->Execute("COMMIT;");
  }
  EXPECT_EQ(memory.Rows(), reference.Rows());
}

// Memories of two earlier versions: the first, from before words were
// counted in a table of their own, and the last that held a word's Unicode
// forms apart, ordered and counted by a comparison that sees bytes and ASCII
// case alone. A reader counts a first-version memory's rows itself and
// leaves the file as it was. The preview of a forget brings a memory up to
// date, as the forget will, and so does the first writer; from then on it
// answers and counts as a memory that was never old.
TEST(StoreUpgradeTest, OldMemoriesAreReadAsTheyAreAndUpgradedOnFirstWrite) {
  const Strings pinned = Pinned();
  Strings lines(pinned.begin(), pinned.begin() + 200);
  // In the old order "caffeine" stands between the two spellings of "café".
  for (const char* line : {"Café crème. CAFE\u0301 cre\u0300me",
                           "ılık caffeine", "Ilık café", "cafe\u0301 the ılık"})
    lines.insert(lines.begin() + 60, line);
  Strings inputs(pinned.begin() + 300, pinned.begin() + 340);
  inputs.insert(inputs.end(), {"café ILIK", "Cafe\u0301 crème", "the ılık"});
  const auto preview = [](const TempMemory& memory) {
    return PreviewForget(memory.path(), {"CAFÉ", "ılık"}, 9).examples;
  };
  for (const int version : {0, 4}) {
    SCOPED_TRACE(version);
    TempMemory old(lines), untouched(lines);
    auto db = old.Connect();
    if (version == 0) {
      db->Execute(
          "DROP TABLE word_count; DROP TRIGGER word_inserted;"
          "DROP TRIGGER word_deleted; DROP TRIGGER word_changed;"
          "CREATE INDEX word_by_previous ON word (previous, middle, position) "
          "WHERE previous IS NOT NULL;"
          "DROP INDEX word_by_late_position;"
          "DROP INDEX word_sentence_end;"
          "CREATE INDEX word_by_position ON word (position);"
          "PRAGMA user_version = 0;");
      db.reset();
      const std::string bytes = FileBytes(old.path());
      EXPECT_EQ(Counts(old), Counts(untouched));
      EXPECT_EQ(FileBytes(old.path()), bytes);
    } else {
      sqlite3_create_collation(
          db->handle(), "unicase", SQLITE_UTF8, nullptr,
          [](void*, int n, const void* a, int m, const void* b) {
            const int c =
                sqlite3_strnicmp(static_cast<const char*>(a),
                                 static_cast<const char*>(b), std::min(n, m));
            return c != 0 ? c : n - m;
          });
      db->Execute(
          "DELETE FROM word_count; REINDEX unicase; INSERT INTO word_count "
          "SELECT middle, count(*) FROM word GROUP BY middle COLLATE unicase;"
          "PRAGMA user_version = 4;");
      db.reset();
      EXPECT_EQ(preview(old), preview(untouched));
    }
    EXPECT_EQ(Converse(old, inputs), Converse(untouched, inputs));
    EXPECT_EQ(Counts(old), Counts(untouched));
    EXPECT_EQ(Schema(old), Schema(untouched));
    EXPECT_EQ(MiscountedWords(old), 0);
    EXPECT_EQ(preview(old), preview(untouched));
  }
}

}  // namespace
}  // namespace quibbo::testing
