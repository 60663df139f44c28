#include "engine/bulk_learner.h"

#include <gtest/gtest.h>

#include "engine/learner.h"
#include "engine/store_error.h"
#include "tests/support/temp_memory.h"

namespace quibbo {
namespace {

using testing::TempMemory;
using Strings = std::vector<std::string>;

Strings Middles(const std::vector<WordRecord>& rows) {
  Strings words;
  for (const WordRecord& row : rows) words.push_back(row.middle);
  return words;
}

// Batches of exactly `rows` rows, or the line's end, whichever comes first.
BatchLimits RowsPerBatch(int64_t rows) {
  return {
      .min_rows = rows, .max_rows = rows, .max_wait = std::chrono::hours(1)};
}

class BulkLearnerTest : public ::testing::Test {
 protected:
  std::unique_ptr<Store> Open() {
    return Store::Open(memory_.path(), Store::Access::kReadWrite);
  }
  TempMemory memory_;
};

TEST_F(BulkLearnerTest, StoresTheRowsLearnWouldInTheSameOrder) {
  const Strings lines = {
      "hello there",  "a. . b",     "  two  spaces  ",   ".", "",
      "how are you?", "3.5 apples", "über alles. Straße"};
  TempMemory one_by_one;
  {
    auto store = Store::Open(one_by_one.path(), Store::Access::kReadWrite);
    for (const std::string& line : lines) Learn(*store, line);
  }
  auto store = Open();
  BulkLearner learner(*store, RowsPerBatch(2));
  for (const std::string& line : lines) learner.Learn(line);
  learner.Commit();

  EXPECT_EQ(memory_.Rows(), one_by_one.Rows());
  EXPECT_EQ(learner.committed().lines, 8);
  EXPECT_EQ(learner.committed().sentences, 9);
  EXPECT_EQ(learner.committed().words,
            static_cast<int64_t>(memory_.Rows().size()));
  // The words were counted as Respond counts them.
  EXPECT_EQ(WordFrequency(*store, "HELLO"), 1);
  EXPECT_EQ(WordFrequency(*store, "strasse."), 1);
  EXPECT_EQ(WordFrequency(*store, ""), 1);  // from "two  spaces"
}

TEST_F(BulkLearnerTest, StoresWholeSentencesAndDropsTheUncommittedOnes) {
  auto store = Open();
  {
    BulkLearner learner(*store, RowsPerBatch(4));
    learner.Learn("one a. two b");  // four rows: a batch
    EXPECT_EQ(learner.committed().lines, 1);
    learner.Learn("three c. four");  // three rows, not stored yet
    EXPECT_EQ(learner.committed().sentences, 2);
    EXPECT_EQ(learner.learned().sentences, 4);
    // Destroyed without Commit, as when the program is killed.
  }
  EXPECT_EQ(Middles(memory_.Rows()), (Strings{"One", "a.", "Two", "b."}));
  EXPECT_EQ(WordFrequency(*store, "three"), kUnknownWordCount);
}

TEST_F(BulkLearnerTest, ALongLineIsStoredInSeveralBatches) {
  auto store = Open();
  BulkLearner learner(*store, RowsPerBatch(4));
  learner.Learn("a b. c d. e f. g");
  // Two batches of whole sentences went in; the line is not whole yet.
  EXPECT_EQ(learner.committed().sentences, 2);
  EXPECT_EQ(learner.committed().lines, 0);
  EXPECT_EQ(memory_.Rows().size(), 4u);
  learner.Commit();
  EXPECT_EQ(learner.committed().lines, 1);
  EXPECT_EQ(memory_.Rows().size(), 7u);
}

TEST_F(BulkLearnerTest, StoresCollectedSentencesWhenTheyHaveWaitedLongEnough) {
  auto store = Open();
  BulkLearner learner(
      *store, {.min_rows = 1000, .max_wait = std::chrono::milliseconds(0)});
  learner.Learn("one");
  EXPECT_EQ(learner.committed().sentences, 1);
  // Another program sees it without any further call.
  EXPECT_EQ(memory_.Rows().size(), 1u);
}

TEST_F(BulkLearnerTest, AFailedBatchLeavesNothingAndEarlierOnesStay) {
  auto store = Store::Open(memory_.path(), Store::Access::kReadWrite,
                           {.busy_timeout = std::chrono::milliseconds(1)});
  BulkLearner learner(*store, RowsPerBatch(1));
  learner.Learn("kept");
  // A second program holds the write lock, so the next batch cannot begin.
  auto other = Open();
  Store::Transaction lock(*other, Store::Transaction::Kind::kWrite);
  EXPECT_THROW(learner.Learn("lost here"), StoreError);
  lock.Commit();
  EXPECT_EQ(learner.committed().lines, 1);
  EXPECT_EQ(learner.learned().lines, 1);
  EXPECT_EQ(Middles(memory_.Rows()), Strings{"Kept."});
  EXPECT_EQ(WordFrequency(*store, "lost"), kUnknownWordCount);
}

}  // namespace
}  // namespace quibbo
