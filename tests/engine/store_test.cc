// The seed search finds the same row whichever way it reads the memory, and
// word counts stay exact however rows arrive.
#include <gtest/gtest.h>

#include "engine/learner.h"
#include "engine/random.h"
#include "engine/text.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

TEST(StoreTest, NextIdWithWordIsTheFirstMatchAfterTheId) {
  // Words from very common to rare, in mixed letter case, and ids with gaps.
  const Strings words = {"the", "The", "cat", "CAT", "sat", "mat", "zebra"};
  TempMemory memory;
  SeededRandom random(7);
  auto store = Store::Open(memory.path(), Store::Access::kReadWrite);
  for (int i = 0; i < 400; ++i) {
    std::string line;
    for (int w = 0; w < 8; ++w) line += words[random.Below(1 + i % 7)] + " ";
    Learn(*store, line);
  }
  memory.Execute("DELETE FROM word WHERE id % 5 = 1 AND position = 0;");
  store = Store::Open(memory.path(), Store::Access::kReadWrite);
  const std::vector<WordRecord> rows = memory.Rows();
  for (int i = 0; i < 300; ++i) {
    const std::string& word = words[random.Below(words.size())];
    const int64_t id = static_cast<int64_t>(random.Below(rows.size() + 10));
    std::optional<int64_t> expected;
    for (const WordRecord& row : rows) {
      if (row.id > id && CompareIgnoringCase(row.middle, word) == 0) {
        expected = row.id;
        break;
      }
    }
    EXPECT_EQ(store->NextIdWithWord(word, id), expected) << word << " " << id;
  }
}

// Counts asked for word by word while a transaction appends, as choosing
// the rarest word of a line does, between transactions in which another
// program stores rows.
TEST(StoreTest, CountWordFollowsEveryAppendAndOtherPrograms) {
  TempMemory memory;
  auto mine = Store::Open(memory.path(), Store::Access::kReadWrite);
  auto other = Store::Open(memory.path(), Store::Access::kReadWrite);
  SeededRandom random(3);
  const Strings words = {"b", "B", "c"};
  int64_t b = 0;
  int64_t c = 0;
  for (int round = 0; round < 20; ++round) {
    Store::Transaction reading(*mine, Store::Transaction::Kind::kRead);
    ASSERT_EQ(mine->CountWord("b"), b);
    reading.Commit();
    Learn(*other, "b C d");
    ++b, ++c;
    Store::Transaction transaction(*mine, Store::Transaction::Kind::kWrite);
    for (int i = 0; i < 6; ++i) {
      ASSERT_EQ(mine->CountWord("B"), b) << round << " " << i;
      ASSERT_EQ(mine->CountWord("c"), c) << round << " " << i;
      const std::string& word = words[random.Below(words.size())];
      mine->Append({.middle = word, .position = i});
      ++(word == "c" ? c : b);
    }
    transaction.Commit();
  }
  EXPECT_EQ(other->CountWord("b"), b);
}

}  // namespace
}  // namespace quibbo::testing
