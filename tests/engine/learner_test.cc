// Learning: how a line becomes sentences, and the comparison of words it
// rests on. Which words become the seed and the fallback of a reply
// is pinned by the seeded conversation in tests/scale.
#include "engine/learner.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <atomic>
#include <filesystem>
#include <thread>

#include "engine/bulk_learner.h"
#include "engine/text.h"
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
    for (const char* b : {"", "a", "ß", "SS", "ss", "ü", "\xff"}) {
      words.push_back(std::string(a) + b);
    }
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
// end; the learner commits once more than it would have. Asking never
// creates the signal file, which lives as long as the learner.
TEST(LearnerTest, BulkLearnerMakesWayForAWaitingProgram) {
  const Strings lines = Script("w", 40);
  for (const bool other_comes : {false, true}) {
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
    std::thread other;
    if (other_comes) {
      other = std::thread([&] {
        while (seen.rows < 20) std::this_thread::yield();
        auto mine =
            Store::Open(memory.path(), Store::Access::kReadWrite,
                        {.busy_timeout = std::chrono::milliseconds(300)});
        try {
          Learn(*mine, "the other program.");
        } catch (const Error& error) {
          ADD_FAILURE() << "the other program waited in vain: " << error.what();
        }
      });
    }
    int64_t words = 0;
    {
      BulkLearner learner(*store, {.min_rows = 100000, .check_rows = 10});
      for (const std::string& line : lines) learner.Learn(line);
      learner.Commit();
      words = learner.committed().words;
      EXPECT_EQ(learner.committed().lines, 40);
    }
    if (other.joinable()) other.join();
    EXPECT_EQ(seen.commits, other_comes ? 2 : 1);
    Strings expected = SentencesOf(lines);
    const Strings stored = memory.Sentences();
    if (other_comes) {
      ASSERT_FALSE(stored.empty());
      EXPECT_EQ(std::ranges::count(stored, "The other program."), 1);
      std::erase(expected, "The other program.");
    }
    Strings learned = stored;
    std::erase(learned, "The other program.");
    EXPECT_EQ(learned, expected);
    EXPECT_EQ(words + (other_comes ? 3 : 0),
              static_cast<int64_t>(memory.Rows().size()));
    AskToMakeWay(memory.path());
    EXPECT_FALSE(std::filesystem::exists(WaitSignalPath(memory.path())));
  }
}

}  // namespace
}  // namespace quibbo::testing
