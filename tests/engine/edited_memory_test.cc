// A memory edited by hand, as the sqlite3 shell allows: replies go on, and
// when a sentence has lost a word the failure says so. No edit may pass for
// another program changing the file.
#include <gtest/gtest.h>

#include <set>

#include "engine/reply.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

TEST(EditedMemoryTest, RepliesOrNamesTheBrokenSentence) {
  const std::pair<std::string, bool> edits[] = {
      // and whether it breaks. Gaps in the ids, then one-word sentences
      // between the words of others:
      {"UPDATE word SET id = id + 1000000;"
       "UPDATE word SET id = (id - 1000000) * 3;"
       "INSERT INTO word SELECT id + 1, NULL, 'Cat.', NULL, 0 FROM word "
       "WHERE position = 2;",
       false},
      // Rows gone from the middle of sentences: every word pair they held
      // is held elsewhere too, so walks step around them.
      {"DELETE FROM word WHERE id % 17 = 3;", false},
      // Words that no row before or after them leads to any more.
      {"UPDATE word SET middle = 'dog' WHERE id % 13 = 2;", true}};
  for (const auto& [sql, breaks] : edits) {
    TempMemory memory;
    std::vector<std::string> sentences;
    for (int i = 0; i < 60; ++i) {
      sentences.push_back("The cat " + std::to_string(i % 7) + " sat on the " +
                          std::to_string(i % 5) + " mat.");
    }
    memory.Fill(sentences);
    memory.Execute(sql.c_str());
    auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
    SeededRandom random(3);
    int damaged = 0;
    for (int i = 0; i < 300; ++i) {
      const std::string seed = std::to_string(i % 9);
      try {
        // Every word a walk adds is a stored word, and none is empty here.
        const std::string reply = ComposeReply(
            *store, random, {{"The cat " + seed + "."}, seed, "cat"});
        EXPECT_TRUE(!reply.empty() && reply.find("  ") == std::string::npos &&
                    reply.front() != ' ' && reply.back() != ' ')
            << reply;
      } catch (const Error& error) {
        ASSERT_EQ(error.kind(), Error::Kind::kDamaged) << error.what();
        ++damaged;
      }
    }
    EXPECT_EQ(damaged > 0, breaks) << sql;
  }
}

// After an edit that gives a row another word before it, a forward step
// reaches it as it reaches the rows Quibbo wrote: it holds the word pair.
// Starting where the edit left a row's next word without a row behind it
// that names it, the walk goes on from the row stored after it.
TEST(EditedMemoryTest, TheForwardStepFollowsTheWordPairs) {
  TempMemory memory;
  memory.Fill({"X A b c.", "Q b d."});
  memory.Execute("UPDATE word SET previous = 'A' WHERE id = 6;");
  auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
  std::set<int64_t> reached;
  for (uint64_t pick : {0, 1}) {
    reached.insert(store
                       ->Step(Direction::kForward, store->Row(2),
                              [pick](uint64_t n) { return pick % n; })
                       .id);
  }
  EXPECT_EQ(reached, (std::set<int64_t>{3, 6}));
  SeededRandom random(5);
  for (int i = 0; i < 40; ++i) {
    EXPECT_NO_THROW(ComposeReply(*store, random, {{"Q."}, "Q", "Q"}));
  }
}

}  // namespace
}  // namespace quibbo::testing
