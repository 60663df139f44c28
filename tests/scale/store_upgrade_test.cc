// Memories made before words were counted in a table of their own: they are
// brought up to date by the first program that opens them for writing, and
// still read correctly by one that only reads them.
#include <gtest/gtest.h>

#include "engine/engine.h"
#include "engine/learner.h"
#include "engine/sqlite.h"
#include "tests/scale/pinned_conversation.h"
#include "tests/support/temp_memory.h"

namespace quibbo::testing {
namespace {

int64_t Query(Store& store, const char* sql) {
  sqlite::Statement statement(store.connection(), sql);
  return statement.Step() ? statement.ColumnInt(0) : -1;
}

// Turns the memory into one as the first version made it: three indexes,
// no word counts, schema version 0.
void MakeOld(const std::string& path) {
  auto store = Store::Open(path, Store::Access::kReadWrite);
  store->connection().Execute(
      "DROP TABLE word_count;"
      "CREATE INDEX word_by_previous ON word (previous, middle, position) "
      "WHERE previous IS NOT NULL;"
      "PRAGMA user_version = 0;");
}

class StoreUpgradeTest : public ::testing::Test {
 protected:
  void SetUp() override {
    auto store = Store::Open(memory_.path(), Store::Access::kReadWrite);
    for (const std::string& line : ConversationLines(300, 5)) {
      Learn(*store, line);
    }
    store.reset();
    rows_ = memory_.Rows();
    MakeOld(memory_.path());
  }

  // Every word's count, as counting its rows gives it.
  void ExpectCountsMatchRows(Store& store) {
    for (const char* word :
         {"the", "THE", "über", "strasse", "Hello", "", "cat.", "nowhere"}) {
      std::string sql =
          "SELECT count(*) FROM word WHERE middle = ?1 COLLATE unicase";
      sqlite::Statement count(store.connection(), sql);
      count.Bind(1, std::string_view(word));
      count.Step();
      int64_t rows = count.ColumnInt(0);
      EXPECT_EQ(WordFrequency(store, word),
                rows == 0 ? kUnknownWordCount : rows)
          << word;
    }
  }

  TempMemory memory_;
  std::vector<WordRecord> rows_;
};

TEST_F(StoreUpgradeTest, OpeningForWritingCountsTheWordsOnce) {
  auto store = Store::Open(memory_.path(), Store::Access::kReadWrite);
  EXPECT_EQ(Query(*store, "PRAGMA user_version"), 1);
  EXPECT_EQ(Query(*store,
                  "SELECT count(*) FROM sqlite_master WHERE name = "
                  "'word_by_previous'"),
            0);
  EXPECT_EQ(Query(*store, "SELECT sum(count) FROM word_count"),
            static_cast<int64_t>(rows_.size()));
  ExpectCountsMatchRows(*store);
  EXPECT_EQ(memory_.Rows(), rows_);

  // Learning goes on counting.
  Learn(*store, "the über cat. Hello nowhere");
  ExpectCountsMatchRows(*store);
}

TEST_F(StoreUpgradeTest, AReaderCountsRowsWithoutChangingTheFile) {
  auto store = Store::Open(memory_.path(), Store::Access::kReadOnly);
  EXPECT_EQ(Query(*store, "PRAGMA user_version"), 0);
  ExpectCountsMatchRows(*store);
  std::vector<Store::WordTally> top;
  EXPECT_GT(store->TallyWords(3, &top), 3);
  ASSERT_EQ(top.size(), 3u);
  EXPECT_GE(top[0].count, top[1].count);
}

TEST_F(StoreUpgradeTest, AnUpgradedMemoryAnswersAsBefore) {
  TempMemory untouched;
  {
    auto store = Store::Open(untouched.path(), Store::Access::kReadWrite);
    for (const std::string& line : ConversationLines(300, 5)) {
      Learn(*store, line);
    }
  }
  const std::vector<std::string> inputs = ConversationLines(40, 6);
  std::vector<Exchange> before = Converse(untouched.path(), inputs, 3);
  std::vector<Exchange> after = Converse(memory_.path(), inputs, 3);
  ASSERT_EQ(before.size(), after.size());
  for (size_t i = 0; i < before.size(); ++i) {
    EXPECT_EQ(after[i].reply, before[i].reply) << inputs[i];
  }
}

}  // namespace
}  // namespace quibbo::testing
