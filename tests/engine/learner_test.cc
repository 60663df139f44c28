// Learning: how a line becomes sentences, and the comparison of words it
// rests on. Which words become the seed and the fallback of a reply
// is pinned by the seeded conversation in tests/scale.
#include "engine/learner.h"

#include <sqlite3.h>

#include <atomic>

#include "engine/bulk_learner.h"
#include "tests/support/child.h"

namespace quibbo::testing {
namespace {

TEST(LearnerTest, CutsAndNormalisesEveryPieceBetweenFullStops) {
  const std::pair<const char*, Strings> cases[] = {
      {"hello there", {"Hello there."}},
      {"hello.", {"Hello.", ""}},
      {"a. . b", {"A.", "", "B."}},
      {"how are you?", {"How are you?."}},
      {"  hi   you  ", {"Hi   you."}},
      // Tabs and line breaks are neither trimmed nor separators.
      {" \ta\n ", {"\ta\n."}},
      {"über", {"Über."}}};
  for (const auto& [line, sentences] : cases) {
    EXPECT_EQ(CutSentences(line), sentences) << line;
  }
}

// Letter case ignored, equal texts compare equal, and the comparison is a
// total order over all words made of two of these pieces, as an SQLite
// collation must be. The cheap ASCII grouping never joins words it holds
// apart.
TEST(LearnerTest, WordsCompareIgnoringCaseInATotalOrder) {
  EXPECT_EQ(CompareIgnoringCase("Über STRASSE дом", "über straße ДОМ"), 0);
  Strings words;
  for (const char* a : {"", "a", "B", "ß", "SS", "Ü", "\xff", "z\x80"}) {
    for (const char* b : {"", "a", "ß", "SS", "ss", "ü", "\xff"})
      words.push_back(std::string(a) + b);
  }
  for (const std::string& x : words) {
    for (const std::string& y : words) {
      const int xy = CompareIgnoringCase(x, y);
      if (AsciiCaseEqual()(x, y)) {
        ASSERT_EQ(xy, 0) << x << " " << y;
        ASSERT_EQ(AsciiCaseHash()(x), AsciiCaseHash()(y)) << x << " " << y;
      }
      ASSERT_EQ(xy<0, CompareIgnoringCase(y, x)> 0) << x << " " << y;
      for (const std::string& z : words) {
        ASSERT_TRUE(xy > 0 || CompareIgnoringCase(y, z) > 0 ||
                    CompareIgnoringCase(x, z) <= 0)
            << x << " " << y << " " << z;
      }
    }
  }
}

// A program that finds the memory held by a bulk learner asks it to make
// way, and gets in at the next sentence boundary, long before the batch would
// end; the learner commits once more than it would have. A conversation does
// not ask: it is answered while the batch goes on, and its lines are stored
// after it, each once, whole and in order. Asking never creates the signal
// file, which lives as long as the learner.
TEST(LearnerTest, BulkLearnerMakesWayForAWaitingProgramAndAnswersATalk) {
  const Strings lines = Script("w", 40);
  const Strings talk = {"talk one. and two", "talk three"};
  int64_t rows = 0;
  for (const std::string& line : lines) rows += RowsLearnedFrom(line);
  for (const bool talking : {false, true}) {
    TempMemory memory;
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
    sqlite3* db = store->file().connection().handle();
    struct Seen {
      std::atomic<int> rows = 0;
      int commits = 0;
    } seen;
    sqlite3_commit_hook(
        db, [](void* s) { return ++static_cast<Seen*>(s)->commits, 0; }, &seen);
    // Each row takes a while, so that the batch holds the memory far longer
    // than the other program waits.
    sqlite3_update_hook(
        db,
        [](void* s, int, const char*, const char*, sqlite3_int64) {
          ++static_cast<Seen*>(s)->rows;
          std::this_thread::sleep_for(std::chrono::milliseconds(3));
        },
        &seen);
    {
      BulkLearner learner(*store, {.min_rows = 100000, .check_rows = 10});
      Engine engine(memory.path(), std::make_unique<SeededRandom>(1));
      std::thread other([&] {
        while (seen.rows < 20) std::this_thread::yield();
        if (!talking) {
          auto mine =
              Store::Open(memory.path(), Store::Access::kReadWrite,
                          {.busy_timeout = std::chrono::milliseconds(300)});
          EXPECT_NO_THROW(Learn(*mine, "the other program.")) << "in vain";
        }
        for (const std::string& line : talking ? talk : Strings()) {
          EXPECT_FALSE(engine.Respond(line).failure);
          EXPECT_LT(seen.rows, rows) << "answered only after the batch";
        }
      });
      for (const std::string& line : lines) learner.Learn(line);
      learner.Commit();
      EXPECT_EQ(learner.committed().lines, 40);
      other.join();
    }  // the engine stores what the talk said, then the learner ends
    EXPECT_EQ(seen.commits, talking ? 1 : 2);
    const Strings said =
        talking ? SentencesOf(talk) : Strings{"The other program."};
    const Strings stored = memory.Sentences();
    Strings learned, others;
    for (const std::string& sentence : stored) {
      (std::ranges::count(said, sentence) ? others : learned)
          .push_back(sentence);
    }
    EXPECT_EQ(learned, SentencesOf(lines));
    EXPECT_EQ(others, said);
    if (talking) {  // after the batch
      EXPECT_EQ(Strings(stored.end() - 3, stored.end()), said);
    }
    AskToMakeWay(memory.path());
    EXPECT_FALSE(std::filesystem::exists(WaitSignalPath(memory.path())));
  }
}

}  // namespace
}  // namespace quibbo::testing
